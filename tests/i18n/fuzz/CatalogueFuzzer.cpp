// Fuzzes the two readers of untrusted bytes: the embedded catalogue
// directory and the catalogue itself. Each input is written as a pretend
// executable; its first 8 bytes give the directory's position. When the
// directory names "xx/LC_MESSAGES/fuzz.mo" the domain opens that embedded
// catalogue, otherwise the same bytes serve as a catalogue file.
#include "i18n/AssemblyAnalyzer.h"
#include "i18n/GnuGettextInstance.h"

#include "framework/Exception.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string createdFolder; // removed at exit

const std::string& Folder()
{
    static const std::string folder = [] {
        // Memory-backed when possible: rewriting a file in place thousands of
        // times a second makes a disk file system flush on every close.
        std::string pattern = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/i18n-fuzz-XXXXXX"
                                                                          : "/tmp/i18n-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        std::filesystem::create_directories(pattern + "/xx/LC_MESSAGES");
        createdFolder = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(createdFolder, ignored);
        });
        return pattern + "/";
    }();
    return folder;
}

void Write(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
}

std::uint32_t Word(const unsigned char* p, bool swapped)
{
    const std::uint32_t v = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
        | (std::uint32_t(p[3]) << 24);
    return swapped ? __builtin_bswap32(v) : v;
}

void Lookup(TGnuGettextInstance& translator, const std::string& text)
{
    try {
        translator.LookupTextInDomain("fuzz", text);
    } catch (const Exception&) {
        // Refused catalogues and untranslatable texts are expected here.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string executable = Folder() + "program";
    Write(executable, data, size);
    Write(Folder() + "xx/LC_MESSAGES/fuzz.mo", data, size);

    std::uint64_t position = 0;
    for (std::size_t i = 0; i < 8 && i < size; ++i)
        position |= std::uint64_t(data[i]) << (8 * i);
    position %= size + 16; // mostly inside the file, sometimes just past it

    TAssemblyAnalyzer analyzer;
    analyzer.Analyze(executable, position);
    TGnuGettextInstance translator(executable, &analyzer);
    translator.ChooseLanguage("xx");
    translator.BindDomainFolder("fuzz", Folder());

    Lookup(translator, "");
    Lookup(translator, std::string(reinterpret_cast<const char*>(data), size < 12 ? size : 12));
    Lookup(translator, "Cancel\nOK\r\n");

    // Every key of an accepted catalogue, read the way a careless reader
    // would: the engine's checks at opening must make this safe.
    const TDomain& domain = translator.Domain("fuzz");
    if (domain.Opened()) {
        const unsigned char* base = domain.CatalogueBase();
        const std::uint32_t count = domain.EntryCount() < 64 ? domain.EntryCount() : 64;
        for (std::uint32_t i = 0; i < count; ++i) {
            const unsigned char* entry = base + domain.SourceTable() + 8 * i;
            const std::uint32_t length = Word(entry, domain.Swapped());
            const std::uint32_t offset = Word(entry + 4, domain.Swapped());
            Lookup(translator, std::string(reinterpret_cast<const char*>(base + offset), length));
        }
    }
    return 0;
}
