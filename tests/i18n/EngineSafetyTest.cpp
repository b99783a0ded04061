// The engine under conditions a running program meets: catalogues replaced
// on disk while it runs, texts that hold nothing but CRs, and lookups from
// several threads at once.
#include "EngineFixture.h"

#include "i18n/AsciiCase.h"
#include "i18n/CatalogueFile.h"
#include "i18n/Domain.h"

#include "framework/Exception.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <set>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace i18ntest {
namespace {

const std::vector<std::pair<std::string, std::string>> kEntries = {
    {"Cancel", "Abbrechen"},
    {"Open", "\xC3\x96" "ffnen"},
    {"Parity", "Parit\xC3\xA4t"},
};

// Overwrites `path` in place, as `cp new old` and `> old` do: same file,
// new (here: fewer) bytes.
void OverwriteInPlace(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// A catalogue's memory is given back to the system when it is freed, and
// its last byte lies just before a page that cannot be read: a search that
// ran past a catalogue's end would fault at once.
TEST(I18nCatalogueMemoryTest, ZeroFilledWritableToItsEndAndAReadPastItFaults)
{
    for (const std::size_t size : {std::size_t(1), std::size_t(13), std::size_t(4096), std::size_t(5000)}) {
        const CatalogueMemory memory(size);
        unsigned char* data = memory.Data();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(std::count(data, data + size, 0), static_cast<std::ptrdiff_t>(size));
        data[size - 1] = 1;
    }
    EXPECT_EQ(CatalogueMemory(0).Data(), nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(CatalogueMemory(3 * 8).Data()) % alignof(std::uint64_t), 0u);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            const CatalogueMemory memory(13);
            [[maybe_unused]] const volatile unsigned char past = memory.Data()[13];
        },
        "");
}

TEST_F(I18nEngineTest, ACatalogueCutShortOnDiskChangesNothingForTheRunningProgram)
{
    const std::string path = CataloguePath("de", "default");
    CompileCatalogue(PoSource(kEntries), path);
    StartEngine("de");
    ASSERT_EQ(LookupText("Cancel"), "Abbrechen");

    OverwriteInPlace(path, "");
    EXPECT_EQ(LookupText("Cancel"), "Abbrechen");
    EXPECT_EQ(LookupText("Parity"), "Parit\xC3\xA4t");
    // A smaller, different catalogue copied over it.
    CompileCatalogue(PoSource({{"Cancel", "Nein"}}), scratch / "small.mo");
    OverwriteInPlace(path, ReadBytes(scratch / "small.mo"));
    EXPECT_EQ(LookupText("Open"), "\xC3\x96" "ffnen");
    EXPECT_EQ(LookupText("Cancel"), "Abbrechen");
    EXPECT_EQ(LookupText("Missing"), "Missing");
}

TEST_F(I18nEngineTest, TruncatingTheCatalogueUnderRunningLookupsChangesNothing)
{
    const std::string path = CataloguePath("de", "default");
    CompileCatalogue(PoSource(kEntries), path);
    const std::string original = ReadBytes(path);
    StartEngine("de");
    ASSERT_EQ(LookupText("Open"), "\xC3\x96" "ffnen");

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::atomic<long> lookups{0};
    std::thread reader([&] {
        while (!stop.load()) {
            if (LookupText("Parity") != "Parit\xC3\xA4t" || LookupText("Cancel") != "Abbrechen")
                ++wrong;
            ++lookups;
        }
    });
    // Cut the file to nothing and write it back, over and over, until the
    // reader has looked up many times across the changes.
    for (int round = 0; round < 200 || lookups.load() < 1000; ++round) {
        OverwriteInPlace(path, "");
        OverwriteInPlace(path, original.substr(0, original.size() / 3));
        OverwriteInPlace(path, original);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(I18nEngineTest, ACatalogueReadShortIsRejectedAsInvalid)
{
    // What a program started while the file is being rewritten can meet.
    const std::string path = CataloguePath("de", "default");
    CompileCatalogue(PoSource(kEntries), path);
    const std::string whole = ReadBytes(path);
    WriteBytes(path, whole.substr(0, whole.size() - 4));
    StartEngine("de");
    try {
        LookupText("Cancel");
        ADD_FAILURE() << "a cut catalogue was taken";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "This file is not a valid GNU gettext mo file: " + path);
    }
    EXPECT_EQ(LookupText("Cancel"), "Cancel");
}

TEST_F(I18nEngineTest, ATextOfNothingButCarriageReturnsComesBackUnchanged)
{
    StartEngine("de");
    // No catalogue at all.
    EXPECT_EQ(LookupText("\r"), "\r");
    EXPECT_EQ(LookupText("\r\r\r"), "\r\r\r");
    EXPECT_EQ(LookupTextInDomain("cport", "\r"), "\r");
    EXPECT_EQ(TranslateResourceText("\r\r"), "\r\r");
    // With one: not its header, which is what the empty key finds.
    CompileCatalogue(PoSource(kEntries), CataloguePath("de", "withheader"));
    EXPECT_EQ(LookupTextInDomain("withheader", "\r"), "\r");
    EXPECT_EQ(LookupTextInDomain("withheader", "\r\r"), "\r\r");
    // Line ends next to real text keep their rule.
    EXPECT_EQ(LookupTextInDomain("withheader", "Cancel\r"), "Abbrechen");
    EXPECT_EQ(LookupTextInDomain("withheader", "\r\n"), "\r\n");
}

TEST_F(I18nEngineTest, FirstUseOfDomainsFromManyThreadsAtOnce)
{
    constexpr int kDomains = 6;
    constexpr int kThreads = 8;
    for (int d = 0; d < kDomains; ++d)
        CompileCatalogue(PoSource({{"Cancel", "Abbrechen " + std::to_string(d)}}),
                         CataloguePath("de", "domain" + std::to_string(d)));
    StartEngine("de");

    for (int round = 0; round < 20; ++round) {
        // Every round starts with fresh domains, so each is created and
        // opened by whichever thread comes first.
        StopCatalogueEngine();
        StartEngine("de");
        std::barrier start(kThreads);
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int i = 0; i < kDomains; ++i) {
                    const int d = (t + i) % kDomains;
                    const std::string name = "domain" + std::to_string(d);
                    if (LookupTextInDomain(name, "Cancel") != "Abbrechen " + std::to_string(d))
                        ++wrong;
                    if (TranslateResourceText("Cancel") != "Cancel")
                        ++wrong;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(wrong.load(), 0);

        std::set<std::string, AsciiLessIgnoringCase> names;
        for (TDomain* domain : DefaultTranslator()->DomainTable())
            EXPECT_TRUE(names.insert(domain->DomainName()).second) << domain->DomainName();
        EXPECT_EQ(names.size(), static_cast<std::size_t>(kDomains + 1)); // and "default"
    }
}

TEST_F(I18nEngineTest, ChangingTheLanguageOverAndOverKeepsOneCatalogueAndLookupsOnOtherThreadsRight)
{
    // Large enough that a search takes a while, so that the changes meet
    // lookups in the middle of one.
    std::vector<std::pair<std::string, std::string>> german, french;
    for (int i = 0; i < 4000; ++i) {
        const std::string key = "text " + std::to_string(i);
        german.emplace_back(key, "Text " + std::to_string(i));
        french.emplace_back(key, "texte " + std::to_string(i));
    }
    german.emplace_back("Cancel", "Abbrechen");
    french.emplace_back("Cancel", "Annuler");
    const std::string de = BuildCatalogue(german), fr = BuildCatalogue(french);
    WriteBytes(CataloguePath("de", "default"), de);
    WriteBytes(CataloguePath("fr", "default"), fr);
    const std::uint64_t heldBefore = TDomain::CatalogueBytesHeld();
    StartEngine("de");
    ASSERT_EQ(LookupText("Cancel"), "Abbrechen");

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::atomic<long> lookups{0};
    const auto reader = [&](auto lookup) {
        return std::thread([&, lookup] {
            for (int i = 0; !stop.load(); i = (i + 37) % 4000) {
                const std::string text = lookup("text " + std::to_string(i));
                if (text != "Text " + std::to_string(i) && text != "texte " + std::to_string(i))
                    ++wrong;
                ++lookups;
            }
        });
    };
    std::thread direct = reader([](const std::string& key) { return LookupText(key); });
    std::thread resource = reader([](const std::string& key) { return TranslateResourceText(key); });
    std::uint64_t mostHeld = 0;
    for (int change = 1; change <= 100 || lookups.load() < 2000; ++change) {
        ChooseLanguage(change % 2 ? "fr" : "de");
        EXPECT_EQ(LookupText("Cancel"), change % 2 ? "Annuler" : "Abbrechen");
        mostHeld = std::max(mostHeld, TDomain::CatalogueBytesHeld() - heldBefore);
    }
    stop = true;
    direct.join();
    resource.join();
    EXPECT_EQ(wrong.load(), 0);
    // One catalogue at a time: each one left behind is freed.
    EXPECT_LE(mostHeld, std::max(de.size(), fr.size()));
    StopCatalogueEngine();
    EXPECT_EQ(TDomain::CatalogueBytesHeld(), heldBefore);
}

} // namespace
} // namespace i18ntest
