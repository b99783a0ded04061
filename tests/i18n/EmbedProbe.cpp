// A small program that links the catalogue engine, so that the tests can
// embed catalogues into it with mo_embed and watch it find them at run time.
//   i18n_embed_probe DOMAIN TEXT...   prints each text's lookup on a line
#include "i18n/gnugettext.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    try {
        StartCatalogueEngine(RunningExecutablePath());
        std::printf("embedded: %zu\n", EmbeddedCatalogues()->Entries().size());
        for (int i = 2; i < argc; ++i)
            std::printf("%s\n", LookupTextInDomain(argv[1], argv[i]).c_str());
        StopCatalogueEngine();
    } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());
        return 1;
    }
    return 0;
}
