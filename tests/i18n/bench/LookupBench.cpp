// Times LookupTextInDomain against glibc's dgettext on the same catalogue,
// for keys it holds and keys it does not, in one run.
//
//   i18n_lookup_bench [CATALOGUE.mo]    (default: iso-codes' German iso_639-3)
//
// The catalogue path must have the form <folder>/<language>/LC_MESSAGES/<domain>.mo.
#include "i18n/gnugettext.h"

#include <libintl.h>
#include <locale.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The catalogue's own keys, read straight from its tables (little-endian
// catalogues only; enough for the system catalogues this is run on).
std::vector<std::string> CatalogueKeys(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto word = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
        return v;
    };
    std::vector<std::string> keys;
    if (bytes.size() < 20 || word(0) != 0x950412DE)
        return keys;
    const std::uint32_t count = word(8), table = word(12);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string key = bytes.substr(word(table + 8 * i + 4), word(table + 8 * i));
        if (!key.empty() && key.find('\0') == std::string::npos)
            keys.push_back(key);
    }
    return keys;
}

template <class Lookup>
double NanosecondsPerLookup(const std::vector<std::string>& keys, Lookup&& lookup, std::size_t& sink)
{
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int repeat = 0; repeat < 5; ++repeat) {
            for (const std::string& key : keys)
                sink += lookup(key);
        }
        const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / (5.0 * static_cast<double>(keys.size())));
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path mo = argc > 1 ? argv[1] : LARGE_CATALOGUE;
    const std::string domain = mo.stem().string();
    const std::string language = mo.parent_path().parent_path().filename().string();
    const std::string folder = mo.parent_path().parent_path().parent_path().string();

    std::vector<std::string> hits = CatalogueKeys(mo.string());
    if (hits.empty()) {
        std::fprintf(stderr, "no keys read from %s\n", mo.c_str());
        return 1;
    }
    std::vector<std::string> misses;
    for (const std::string& key : hits)
        misses.push_back(key + "~");

    StartCatalogueEngine("/nonexistent/bench");
    ChooseLanguage(language);
    BindDomainFolder(domain, folder);

    // glibc needs a locale other than "C" to honour LANGUAGE.
    if (setlocale(LC_ALL, "C.UTF-8") == nullptr) {
        std::fprintf(stderr, "locale C.UTF-8 is not available\n");
        return 1;
    }
    setenv("LANGUAGE", language.c_str(), 1);
    bindtextdomain(domain.c_str(), folder.c_str());
    bind_textdomain_codeset(domain.c_str(), "UTF-8");

    std::size_t differ = 0, translated = 0;
    for (const std::string& key : hits) {
        const std::string ours = LookupTextInDomain(domain, key);
        differ += ours != dgettext(domain.c_str(), key.c_str());
        translated += ours != key;
    }
    if (translated == 0 || differ != 0) {
        std::fprintf(stderr, "catalogue not read alike: %zu translated, %zu differ\n", translated, differ);
        return 1;
    }

    std::size_t sink = 0;
    const auto ours = [&](const std::string& key) { return LookupTextInDomain(domain, key).size(); };
    const auto glibc = [&](const std::string& key) {
        return std::char_traits<char>::length(dgettext(domain.c_str(), key.c_str()));
    };
    const double oursHit = NanosecondsPerLookup(hits, ours, sink);
    const double glibcHit = NanosecondsPerLookup(hits, glibc, sink);
    const double oursMiss = NanosecondsPerLookup(misses, ours, sink);
    const double glibcMiss = NanosecondsPerLookup(misses, glibc, sink);

    std::printf("catalogue %s: %zu keys (%zu translated)\n", mo.c_str(), hits.size(), translated);
    std::printf("%-14s %22s %16s %8s\n", "keys", "LookupTextInDomain ns", "dgettext ns", "ratio");
    std::printf("%-14s %22.1f %16.1f %8.2f\n", "present", oursHit, glibcHit, oursHit / glibcHit);
    std::printf("%-14s %22.1f %16.1f %8.2f\n", "missing", oursMiss, glibcMiss, oursMiss / glibcMiss);
    std::printf("(checksum %zu)\n", sink);
    StopCatalogueEngine();
    return 0;
}
