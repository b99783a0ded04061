// Peak memory of a program that changes its language again and again with
// a large catalogue, while another thread keeps looking texts up.
//
//   i18n_language_change_bench [CHANGES] [MEGABYTES]    (default: 100 changes, 6 MB)
//
// Two catalogues of about MEGABYTES each (languages "de" and "fr") are
// written to a scratch folder; the language then alternates between them,
// each change followed by a lookup that reads the new catalogue in. The
// peak resident memory (VmHWM) is reset once the files are written, and
// read with the first catalogue in use, after the first change and after
// the last one.
#include "../CatalogueFiles.h"

#include "i18n/gnugettext.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kEntries = 60000;

std::string Key(int i)
{
    char key[32];
    std::snprintf(key, sizeof key, "text number %06d", i);
    return key;
}

// Keys and translations padded so that the catalogue takes about `bytes`:
// two texts and two table entries of 8 bytes each per entry.
std::string Padding(std::size_t bytes)
{
    const std::size_t per = bytes / kEntries;
    const std::size_t text = per > 16 + 2 * 24 ? (per - 16) / 2 : 24;
    return std::string(text - 20, '.');
}

std::string Translation(const std::string& language, int i, const std::string& padding)
{
    return language + " " + Key(i) + padding;
}

std::string LargeCatalogue(const std::string& language, const std::string& padding)
{
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i)
        entries.emplace_back(Key(i) + padding, Translation(language, i, padding));
    return i18ntest::BuildCatalogue(std::move(entries));
}

long StatusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string name;
    while (status >> name) {
        if (name == field) {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

// Makes VmHWM start again from the present resident size.
bool ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

} // namespace

int main(int argc, char** argv)
{
    const int changes = argc > 1 ? std::atoi(argv[1]) : 100;
    const int megabytes = argc > 2 ? std::atoi(argv[2]) : 6;
    if (changes < 1 || megabytes < 1) {
        std::fprintf(stderr, "usage: %s [CHANGES] [MEGABYTES]\n", argv[0]);
        return 2;
    }
    i18ntest::ScratchFolder scratch;
    const std::string padding = Padding(std::size_t(megabytes) * 1000000);
    // Written by a child, so that building them leaves nothing in this
    // process's memory.
    const pid_t writer = ::fork();
    if (writer == 0) {
        for (const char* language : {"de", "fr"})
            i18ntest::WriteBytes(scratch / ("bin/locale/" + std::string(language) + "/LC_MESSAGES/default.mo"),
                                 LargeCatalogue(language, padding));
        std::_Exit(0);
    }
    int status = -1;
    if (writer < 0 || ::waitpid(writer, &status, 0) != writer || status != 0) {
        std::fprintf(stderr, "writing the catalogues failed\n");
        return 1;
    }
    const std::uint64_t catalogueBytes = std::filesystem::file_size(scratch / "bin/locale/de/LC_MESSAGES/default.mo");

    const bool reset = ResetPeak();
    const long start = StatusKilobytes("VmHWM:");
    StartCatalogueEngine(scratch / "bin/bench");
    ChooseLanguage("de");
    const std::string probe = Key(kEntries / 2) + padding;
    if (LookupText(probe) != Translation("de", kEntries / 2, padding)) {
        std::fprintf(stderr, "the catalogue was not read as written\n");
        return 1;
    }

    std::atomic<bool> stop{false};
    std::atomic<long> lookups{0}, wrong{0};
    std::thread reader([&] {
        for (int i = 0; !stop.load(std::memory_order_relaxed); i = (i + 7919) % kEntries) {
            const std::string text = LookupText(Key(i) + padding);
            if (text != Translation("de", i, padding) && text != Translation("fr", i, padding))
                wrong.fetch_add(1, std::memory_order_relaxed);
            lookups.fetch_add(1, std::memory_order_relaxed);
        }
    });

    const long inUse = StatusKilobytes("VmHWM:");
    long afterOne = 0;
    const auto begun = std::chrono::steady_clock::now();
    for (int change = 1; change <= changes; ++change) {
        ChooseLanguage(change % 2 ? "fr" : "de");
        LookupText(probe);
        if (change == 1)
            afterOne = StatusKilobytes("VmHWM:");
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begun;
    const long afterAll = StatusKilobytes("VmHWM:");
    stop = true;
    reader.join();
    StopCatalogueEngine();

    std::printf("catalogues: 2 x %.1f MB, %d entries each; %d language changes in %.2f s\n",
                double(catalogueBytes) / 1e6, kEntries, changes, took.count());
    std::printf("peak resident (VmHWM%s): before the engine %ld kB, one catalogue in use %ld kB,\n"
                "  after 1 change %ld kB, after %d changes %ld kB\n",
                reset ? ", reset after writing the files" : ", not reset: clear_refs refused", start, inUse,
                afterOne, changes, afterAll);
    std::printf("ratio after %d changes / after 1: %.2f\n", changes, double(afterAll) / double(afterOne));
    std::printf("lookups on the other thread meanwhile: %ld, wrong: %ld\n", lookups.load(), wrong.load());
    return wrong.load() == 0 ? 0 : 1;
}
