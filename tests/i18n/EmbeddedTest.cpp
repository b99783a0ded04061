// Catalogues carried inside the executable: the directory reader on files
// written here, and the embedding tool's output read back by the engine.
#include "CatalogueFiles.h"

#include "i18n/AssemblyAnalyzer.h"
#include "i18n/Domain.h"
#include "i18n/gnugettext.h"

#include "framework/Exception.h"
#include "tests/support/Capture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace i18ntest {
namespace {

namespace fs = std::filesystem;

void AppendLittleEndian64(std::string& bytes, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Appends one directory entry; returns its position.
std::uint64_t AppendEntry(std::string& bytes, const std::string& name, std::int64_t offset, std::int64_t size)
{
    const std::uint64_t here = bytes.size();
    AppendLittleEndian64(bytes, here + 24 + name.size());
    AppendLittleEndian64(bytes, static_cast<std::uint64_t>(offset));
    AppendLittleEndian64(bytes, static_cast<std::uint64_t>(size));
    bytes += name;
    return here;
}

TEST(I18nEmbeddedDirectoryTest, EntriesAreReadTrimmedAndFoundWithoutRegardToCase)
{
    ScratchFolder scratch;
    std::string bytes = "program bytes";
    const std::uint64_t first = AppendEntry(bytes, "  locale/de/LC_MESSAGES/default.mo\t", 3, 10);
    AppendEntry(bytes, "locale/fr/LC_MESSAGES/cport.mo", 5, 7);
    AppendLittleEndian64(bytes, 0);
    bytes += "trailing bytes are never read";
    const std::string executable = scratch / "bin/panel";
    WriteBytes(executable, bytes);

    TAssemblyAnalyzer analyzer;
    analyzer.Analyze(executable, first);
    EXPECT_EQ(analyzer.ExecutableFolder(), scratch / "bin/");
    ASSERT_EQ(analyzer.Entries().size(), 2u);
    const auto de = analyzer.Locate(scratch / "bin/locale/de/LC_MESSAGES/default.mo");
    ASSERT_TRUE(de.has_value());
    EXPECT_EQ(de->Offset, 3);
    EXPECT_EQ(de->Size, 10);
    EXPECT_TRUE(analyzer.IsEmbedded(scratch / "bin/LOCALE/FR/lc_messages/CPORT.MO"));
    EXPECT_TRUE(analyzer.IsEmbedded("locale/fr/LC_MESSAGES/cport.mo"));
    EXPECT_FALSE(analyzer.IsEmbedded(scratch / "other/locale/fr/LC_MESSAGES/cport.mo"));
    EXPECT_FALSE(analyzer.IsEmbedded(scratch / "bin/locale/fr/LC_MESSAGES/cport"));

    TAssemblyAnalyzer none;
    none.Analyze(executable, 0);
    EXPECT_TRUE(none.Entries().empty());
    EXPECT_TRUE(none.ExecutableFolder().empty());
}

TEST(I18nEmbeddedDirectoryTest, DamagedDirectoryKeepsWhatWasReadBeforeTheDamage)
{
    ScratchFolder scratch;
    const std::string executable = scratch / "panel";
    struct Case {
        const char* what;
        std::function<std::uint64_t(std::string&)> build; // returns the first entry's position
        std::size_t kept;
    };
    const std::vector<Case> cases = {
        {"repeated name", [](std::string& b) {
             const auto first = AppendEntry(b, "a.mo", 0, 0);
             AppendEntry(b, "b.mo", 0, 0);
             AppendEntry(b, "A.MO", 0, 0);
             AppendEntry(b, "c.mo", 0, 0);
             AppendLittleEndian64(b, 0);
             return first;
         }, 2},
        {"no end entry", [](std::string& b) { return AppendEntry(b, "a.mo", 0, 0); }, 1},
        {"entry pointing to itself", [](std::string& b) {
             const auto first = AppendEntry(b, "a.mo", 0, 0);
             const std::uint64_t here = b.size();
             AppendLittleEndian64(b, here);
             AppendLittleEndian64(b, 0);
             AppendLittleEndian64(b, 0);
             return first;
         }, 1},
        {"entry pointing backwards", [](std::string& b) {
             const auto first = AppendEntry(b, "a.mo", 0, 0);
             AppendLittleEndian64(b, first);
             AppendLittleEndian64(b, 0);
             AppendLittleEndian64(b, 0);
             return first;
         }, 1},
        {"next entry far past the end", [](std::string& b) {
             const auto first = AppendEntry(b, "a.mo", 0, 0);
             AppendLittleEndian64(b, 0x7FFFFFFFFFFFFFF0ull);
             AppendLittleEndian64(b, 0);
             AppendLittleEndian64(b, 0);
             return first;
         }, 1},
        {"cut inside an entry", [](std::string& b) {
             const auto first = AppendEntry(b, "a.mo", 0, 0);
             AppendEntry(b, "b.mo", 0, 0);
             b.resize(b.size() - 2);
             return first;
         }, 1},
        {"first entry past the end", [](std::string& b) { return b.size() + 100; }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = "ELF";
        const std::uint64_t first = c.build(bytes);
        WriteBytes(executable, bytes);
        TAssemblyAnalyzer analyzer;
        analyzer.Analyze(executable, first);
        EXPECT_EQ(analyzer.Entries().size(), c.kept);
    }
    TAssemblyAnalyzer missing;
    missing.Analyze(scratch / "no-such-program", 8);
    EXPECT_TRUE(missing.Entries().empty());
}

// A pretend executable that carries one catalogue for "default" in German.
class I18nEmbeddedCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        catalogue = BuildCatalogue({{"Cancel", "Abbrechen (eingebettet)"}, {"Open", "Offen"}});
        std::string bytes = "program bytes";
        offset = static_cast<std::int64_t>(bytes.size());
        bytes += catalogue;
        const std::uint64_t first = AppendEntry(bytes, "locale/de/LC_MESSAGES/default.mo", offset,
                                                static_cast<std::int64_t>(catalogue.size()));
        AppendEntry(bytes, "locale/de/LC_MESSAGES/broken.mo", static_cast<std::int64_t>(bytes.size()) + 4096, 20);
        AppendEntry(bytes, "locale/de/LC_MESSAGES/negative.mo", -1, 20);
        AppendLittleEndian64(bytes, 0);
        image = bytes;
        WriteBytes(executable, image);
        analyzer.Analyze(executable, first);
    }

    ScratchFolder scratch;
    const std::string executable = scratch / "bin/panel";
    const std::string folder = scratch / "bin/locale";
    std::string catalogue, image;
    std::int64_t offset = 0;
    TAssemblyAnalyzer analyzer;
};

TEST_F(I18nEmbeddedCatalogueTest, TakesPrecedenceOverAFileOfTheSamePath)
{
    CompileCatalogue(PoSource({{"Cancel", "Abbrechen (Datei)"}}), folder + "/de/LC_MESSAGES/default.mo");
    TDomain domain("default", folder, "de_DE", &analyzer);
    EXPECT_EQ(domain.FindKey("Cancel"), "Abbrechen (eingebettet)");
    EXPECT_EQ(domain.CatalogueOffset(), static_cast<std::uint64_t>(offset));
    EXPECT_EQ(domain.CatalogueBase()[0], static_cast<unsigned char>(catalogue[0]));
    // Without the embedded directory the file serves.
    TDomain plain("default", folder, "de_DE", nullptr);
    EXPECT_EQ(plain.FindKey("Cancel"), "Abbrechen (Datei)");
}

TEST_F(I18nEmbeddedCatalogueTest, ErrorsNameTheExecutable)
{
    for (const std::string name : {"broken", "negative"}) {
        TDomain domain(name, folder, "de", &analyzer);
        EXPECT_EQ(RaisedMessage([&] { domain.FindKey("Cancel"); }),
                  "This file is not a valid GNU gettext mo file: " + executable);
        EXPECT_EQ(domain.FindKey("Cancel"), "Cancel");
    }

    // A failure to open leaves the domain pending for the next try.
    TDomain domain("default", folder, "de", &analyzer);
    fs::remove(executable);
    EXPECT_EQ(RaisedMessage([&] { domain.FindKey("Cancel"); }), "Cannot open file " + executable);
    EXPECT_TRUE(domain.OpenPending());
    WriteBytes(executable, image);
    EXPECT_EQ(domain.FindKey("Cancel"), "Abbrechen (eingebettet)");
}

TEST_F(I18nEmbeddedCatalogueTest, AFailureToMapNamesTheExecutableAndLeavesTheDomainPending)
{
    // A folder in the executable's place opens on Linux and cannot be mapped.
    TDomain domain("default", folder, "de", &analyzer);
    fs::remove(executable);
    fs::create_directory(executable);
    EXPECT_EQ(RaisedMessage([&] { domain.FindKey("Cancel"); }), "Cannot create memory map on file " + executable);
    EXPECT_TRUE(domain.OpenPending());
    fs::remove(executable);
    WriteBytes(executable, image);
    EXPECT_EQ(domain.FindKey("Cancel"), "Abbrechen (eingebettet)");
}

// The embedding tool against a real program that links the engine.
class I18nEmbeddingToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(scratch / "bin");
        fs::copy_file(EMBED_PROBE_PROGRAM, program);
        CompileCatalogue(PoSource({{"Cancel", "Abbrechen (eingebettet)"}, {"Line\none", "Zeile\neins"}}),
                         scratch / "po/default.mo");
        CompileCatalogue(PoSource({{"Setup", "Einstellungen"}}), scratch / "po/cport.mo", "--endianness=big");
    }

    CommandResult Embed(const std::string& arguments)
    {
        return RunCommand(std::string(MO_EMBED_PROGRAM) + " " + arguments + " 2>&1");
    }

    CommandResult Probe(const std::string& executable, const std::string& lang, const std::string& arguments)
    {
        return RunCommand("env -u LC_ALL -u LC_MESSAGES LANG=" + lang + " " + ShellQuoted(executable) + " "
                          + arguments + " 2>&1");
    }

    ScratchFolder scratch;
    const std::string program = scratch / "bin/panel";
};

TEST_F(I18nEmbeddingToolTest, EmbeddedCataloguesAreFoundByTheProgramAndByTheReader)
{
    const std::string unpatched = ReadBytes(program);
    const CommandResult embed =
        Embed(ShellQuoted(program) + " 'locale\\de\\LC_MESSAGES\\default.mo=" + (scratch / "po/default.mo")
              + "' locale/de/LC_MESSAGES/cport.mo=" + ShellQuoted(scratch / "po/cport.mo"));
    ASSERT_EQ(embed.status, 0) << embed.output;

    // A file beside the program must lose against the embedded catalogue.
    CompileCatalogue(PoSource({{"Cancel", "Abbrechen (Datei)"}}), scratch / "bin/locale/de/LC_MESSAGES/default.mo");
    const CommandResult run = Probe(program, "de_DE.UTF-8", "default Cancel 'Line\none' Other");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "embedded: 2\nAbbrechen (eingebettet)\nZeile\r\neins\nOther\n");
    const CommandResult cport = Probe(program, "de", "CPORT Setup");
    EXPECT_EQ(cport.output, "embedded: 2\nEinstellungen\n");

    // The reader sees the same directory in the patched file.
    const std::string patched = ReadBytes(program);
    const std::string id(reinterpret_cast<const char*>(const_cast<const unsigned char*>(EmbeddedCatalogueMarker)),
                         EmbeddedCatalogueMarkerIdSize);
    const std::size_t at = patched.find(id);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(patched.find(id, at + 1), std::string::npos);
    std::string expected = unpatched;
    expected.replace(at + id.size(), 8, patched, at + id.size(), 8);
    EXPECT_TRUE(patched.compare(0, unpatched.size(), expected) == 0)
        << "only the marker's position may change in the program's own bytes";
    std::uint64_t first = 0;
    for (int i = 7; i >= 0; --i)
        first = (first << 8) | static_cast<unsigned char>(patched[at + id.size() + static_cast<std::size_t>(i)]);
    TAssemblyAnalyzer analyzer;
    analyzer.Analyze(program, first);
    ASSERT_EQ(analyzer.Entries().size(), 2u);
    for (const std::string domain : {"default", "cport"}) {
        const auto entry = analyzer.Locate(scratch / ("bin/locale/de/LC_MESSAGES/" + domain + ".mo"));
        ASSERT_TRUE(entry.has_value()) << domain;
        const std::string original = ReadBytes(scratch / ("po/" + domain + ".mo"));
        EXPECT_EQ(entry->Size, static_cast<std::int64_t>(original.size()));
        EXPECT_EQ(patched.substr(static_cast<std::size_t>(entry->Offset), original.size()), original);
    }
}

TEST_F(I18nEmbeddingToolTest, RefusesWhatWouldLeaveCataloguesUnreachable)
{
    const std::string copy = scratch / "bin/copy";
    fs::copy_file(program, copy);
    const std::string original = ReadBytes(program);
    WriteBytes(scratch / "po/not-a-catalogue.mo", "plain text, no catalogue");

    EXPECT_NE(Embed(ShellQuoted(program) + " x.mo=" + ShellQuoted(scratch / "po/not-a-catalogue.mo")).status, 0);
    EXPECT_NE(Embed(ShellQuoted(program) + " a.mo=" + ShellQuoted(scratch / "po/default.mo") + " A.MO="
                    + ShellQuoted(scratch / "po/cport.mo"))
                  .status,
              0);
    EXPECT_NE(Embed(ShellQuoted(program) + " /abs/a.mo=" + ShellQuoted(scratch / "po/default.mo")).status, 0);
    EXPECT_NE(Embed(ShellQuoted(scratch / "po/default.mo") + " a.mo=" + ShellQuoted(scratch / "po/cport.mo")).status,
              0) << "a file without the marker";
    EXPECT_EQ(ReadBytes(program), original);

    // -o leaves the input alone; the output cannot take a second directory.
    const std::string output = scratch / "bin/out";
    ASSERT_EQ(Embed("-o " + ShellQuoted(output) + " " + ShellQuoted(copy) + " a.mo=" + ShellQuoted(scratch / "po/default.mo"))
                  .status,
              0);
    EXPECT_EQ(ReadBytes(copy), original);
    EXPECT_EQ(fs::status(output).permissions(), fs::status(copy).permissions());
    EXPECT_NE(Embed(ShellQuoted(output) + " b.mo=" + ShellQuoted(scratch / "po/cport.mo")).status, 0);
    EXPECT_EQ(Probe(output, "de", "default Cancel").output, "embedded: 1\nCancel\n");
}

} // namespace
} // namespace i18ntest
