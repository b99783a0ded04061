// Lookups through the started engine in catalogues that msgfmt writes, and
// in damaged catalogues written by hand.
#include "EngineFixture.h"

#include "framework/Exception.h"
#include "tests/support/Capture.h"

#include <gmock/gmock.h>

#include <filesystem>

namespace i18ntest {
namespace {

using ::testing::HasSubstr;

const std::vector<std::pair<std::string, std::string>> kGermanEntries = {
    {"Open", "\xC3\x96" "ffnen"},                   // Öffnen
    {"Cancel", "Abbrechen"},
    {"Baud rate", "Baudrate"},
    {"Unable to open com port", "Port kann nicht ge\xC3\xB6" "ffnet werden"},
    {"Line one\nLine two", "Zeile eins\nZeile zwei"},
    {"Ends with a line\n", "Endet mit einer Zeile\n"},
    {"\xE2\x82\xAC sign", "Euro-Zeichen \xE2\x82\xAC"}, // € sign: sorts after every ASCII key
    {"A", "Ah"},
    {"AB", "Ah-Beh"},
};

TEST_F(I18nEngineTest, BothByteOrdersGiveTheSameTranslations)
{
    CompileCatalogue(PoSource(kGermanEntries), CataloguePath("de", "little"), "--endianness=little");
    CompileCatalogue(PoSource(kGermanEntries), CataloguePath("de", "big"), "--endianness=big");
    StartEngine("de");
    for (const auto& [id, translation] : kGermanEntries) {
        std::string expected;
        for (const char c : translation)
            expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
        EXPECT_EQ(LookupTextInDomain("little", id), expected) << id;
        EXPECT_EQ(LookupTextInDomain("big", id), expected) << id;
    }
    EXPECT_FALSE(DefaultTranslator()->Domain("little").Swapped());
    EXPECT_TRUE(DefaultTranslator()->Domain("big").Swapped());
    // Keys around and between the entries are absent in both orders.
    for (const std::string missing : {"0", "AA", "ABC", "Open ", "Ope", "zzz", "\xE2\x82\xAC"}) {
        EXPECT_EQ(LookupTextInDomain("little", missing), missing);
        EXPECT_EQ(LookupTextInDomain("big", missing), missing);
    }
}

// The search looks at a key's first eight bytes before the key itself:
// keys alike there, keys that differ only there, keys with a zero byte or
// bytes above 0x7F early on, and keys shorter than eight bytes must all be
// told apart as whole byte strings.
TEST_F(I18nEngineTest, KeysAlikeOrDifferentInTheirFirstEightBytesAreToldApart)
{
    using namespace std::string_literals;
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"Setting", "1"}, {"Settings", "2"}, {"Settings ", "3"}, {"Settings of the port", "4"},
        {"Settings of the line", "5"}, {"Settingz", "6"}, {"ab", "7"}, {"ab\0"s, "8"}, {"ab\0c"s, "9"},
        {"ab\x01", "10"}, {"\x7F", "11"}, {"\xC3\xA4rger", "12"}, {"\xC3\xA4rgerlich und mehr", "13"},
        {"a", "14"}, {"", "header"}};
    for (const bool bigEndian : {false, true})
        WriteBytes(CataloguePath("de", bigEndian ? "big" : "little"), BuildCatalogue(entries, bigEndian));
    StartEngine("de");
    for (const std::string domain : {"little", "big"}) {
        SCOPED_TRACE(domain);
        for (const auto& [key, translation] : entries) {
            if (!key.empty()) {
                EXPECT_EQ(LookupTextInDomain(domain, key), translation) << key;
            }
        }
        for (const std::string& missing : {"Settin"s, "Settings!"s, "Settings of the"s, "Settings of the portx"s,
                                          "ab\0b"s, "ab\0\0"s, "ab\0d"s, "\x7E"s, "\xC3\xA4rgerlich"s, "b"s}) {
            EXPECT_EQ(LookupTextInDomain(domain, missing), missing) << missing;
        }
    }
}

TEST_F(I18nEngineTest, LineEndsAreFoldedForTheKeyAndWidenedInTheResult)
{
    CompileCatalogue(PoSource(kGermanEntries), CataloguePath("de", "default"));
    StartEngine("de");
    // A CR LF text finds the LF entry and comes back with CR LF.
    EXPECT_EQ(LookupText("Line one\r\nLine two"), "Zeile eins\r\nZeile zwei");
    EXPECT_EQ(LookupText("Line one\nLine two"), "Zeile eins\r\nZeile zwei");
    EXPECT_EQ(LookupText("Ends with a line\r\n"), "Endet mit einer Zeile\r\n");
    // Untranslated: bare LF widened, a lone CR dropped, CR LF kept once.
    EXPECT_EQ(LookupText("one\ntwo\n\nthree"), "one\r\ntwo\r\n\r\nthree");
    EXPECT_EQ(LookupText("one\rtwo"), "onetwo");
    EXPECT_EQ(LookupText("one\r\ntwo"), "one\r\ntwo");
    EXPECT_EQ(LookupText("\r\r\n"), "\r\n");
}

TEST_F(I18nEngineTest, NonUtf8TranslationRaisesCouldNotTranslateEveryTime)
{
    // A Latin-1 catalogue: msgfmt keeps its bytes, so "ö" is the single byte F6.
    CompileCatalogue(PoSource({{"Close", "Schlie\xDF" "en"}, {"Open", "\xD6" "ffnen"}, {"Stop", "Halt"}},
                              "ISO-8859-1"),
                     CataloguePath("de", "default"));
    StartEngine("de");
    const std::string expected = "Error: Could not translate Open. Probably because the mo file doesn't "
                                 "contain utf-8 encoded translations.";
    EXPECT_EQ(RaisedMessage([] { LookupText("Open"); }), expected);
    EXPECT_EQ(RaisedMessage([] { LookupText("Open"); }), expected);
    // The message names the text as given, CR included.
    EXPECT_THAT(RaisedMessage([] { LookupText("Clo\rse"); }), HasSubstr("translate Clo\rse. Probably"));
    // The catalogue stays open and its well-formed entries still serve.
    EXPECT_TRUE(DefaultTranslator()->Domain("default").Opened());
    EXPECT_EQ(LookupText("Stop"), "Halt");
    // A text that is itself not UTF-8 and has no entry cannot come back either.
    EXPECT_EQ(RaisedMessage([] { LookupText("\xC0\xAF"); }).rfind("Error: Could not translate \xC0\xAF.", 0), 0u);
}

TEST_F(I18nEngineTest, EmptyTextGivesTheHeaderOnlyWhenACatalogueIsOpen)
{
    StartEngine("de");
    EXPECT_EQ(LookupText(""), "");
    EXPECT_EQ(LookupTextInDomain("cport", ""), "");

    CompileCatalogue(PoSource(kGermanEntries), CataloguePath("de", "withheader"));
    const std::string header = LookupTextInDomain("withheader", "");
    EXPECT_EQ(header.rfind("MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n", 0), 0u) << header;
}

TEST_F(I18nEngineTest, DomainNamesDifferingInCaseNameOneDomain)
{
    CompileCatalogue(PoSource(kGermanEntries), CataloguePath("de", "cport"));
    StartEngine("de");
    // The name first used spells the file name; later spellings find that domain.
    EXPECT_EQ(LookupTextInDomain("cport", "Cancel"), "Abbrechen");
    EXPECT_EQ(LookupTextInDomain("CPort", "Cancel"), "Abbrechen");
    EXPECT_EQ(LookupTextInDomain("CPORT", "Open"), "\xC3\x96" "ffnen");
    EXPECT_EQ(LookupTextInDomain("DEFAULT", "Cancel"), "Cancel");
    TGnuGettextInstance& translator = *DefaultTranslator();
    EXPECT_EQ(&translator.Domain("cport"), &translator.Domain("cPORT"));
    // "default" from the start-up step plus the one created by the first lookup.
    ASSERT_EQ(translator.DomainTable().size(), 2u);
    EXPECT_EQ(translator.DomainTable()[1]->DomainName(), "cport");
}

TEST_F(I18nEngineTest, CatalogueWithoutEntriesLeavesEveryTextUnchanged)
{
    // msgfmt writes nothing for an empty .po; a header-only catalogue is as
    // empty as it gets, the zero-entry one is written by hand.
    CompileCatalogue(PoSource({}), CataloguePath("de", "headeronly"));
    WriteBytes(CataloguePath("de", "noentries"), BuildCatalogue({}));
    StartEngine("de");
    for (const std::string domain : {"headeronly", "noentries"}) {
        EXPECT_EQ(LookupTextInDomain(domain, "Open"), "Open");
        EXPECT_EQ(LookupTextInDomain(domain, "a\nb"), "a\r\nb");
        EXPECT_TRUE(DefaultTranslator()->Domain(domain).Opened());
    }
    EXPECT_EQ(DefaultTranslator()->Domain("noentries").EntryCount(), 0u);
    EXPECT_EQ(LookupTextInDomain("noentries", ""), "");
}

TEST_F(I18nEngineTest, MissingCatalogueMakesTheDomainAbsentUntilItsLanguageChanges)
{
    StartEngine("de");
    EXPECT_EQ(LookupText("Cancel"), "Cancel");
    const TDomain& domain = DefaultTranslator()->Domain("default");
    EXPECT_FALSE(domain.Opened());
    EXPECT_FALSE(domain.OpenPending());

    // A catalogue that appears later is not looked for again...
    CompileCatalogue(PoSource(kGermanEntries), CataloguePath("de", "default"));
    EXPECT_EQ(LookupText("Cancel"), "Cancel");
    // ...until the language (or folder) changes.
    ChooseLanguage("de");
    EXPECT_TRUE(domain.OpenPending());
    EXPECT_EQ(LookupText("Cancel"), "Abbrechen");
}

TEST_F(I18nEngineTest, ChangingLanguageOrFolderClosesAndReopens)
{
    CompileCatalogue(PoSource({{"Cancel", "Abbrechen"}}), CataloguePath("de", "default"));
    CompileCatalogue(PoSource({{"Cancel", "Annuler"}}), CataloguePath("fr", "default"));
    CompileCatalogue(PoSource({{"Cancel", "Afbryd"}}), scratch / "other/da/LC_MESSAGES/default.mo");
    StartEngine("de");
    EXPECT_EQ(LookupText("Cancel"), "Abbrechen");
    ChooseLanguage("fr");
    EXPECT_FALSE(DefaultTranslator()->Domain("default").Opened());
    EXPECT_EQ(LookupText("Cancel"), "Annuler");
    ChooseLanguage("da");
    BindDomainFolder("default", scratch / "other"); // separator added
    EXPECT_EQ(DefaultTranslator()->Domain("default").CatalogueFolder(), scratch / "other/");
    EXPECT_EQ(LookupText("Cancel"), "Afbryd");
}

// Damaged catalogues: each must be refused as a whole, by name, and then
// never searched -- every text comes back as it went in.
struct Damage {
    const char* what;
    std::function<void(std::string&)> apply;
};

TEST_F(I18nEngineTest, DamagedCataloguesAreRefusedAndNeverRead)
{
    const std::vector<std::pair<std::string, std::string>> entries = {{"Cancel", "Abbrechen"}, {"Open", "Offen"}};
    const std::vector<Damage> damages = {
        {"wrong magic", [](std::string& b) { PutWord(b, 0, 0x12345678); }},
        {"magic of the other order only half", [](std::string& b) { b[0] = '\x95'; }},
        {"empty file", [](std::string& b) { b.clear(); }},
        {"cut inside the header", [](std::string& b) { b.resize(19); }},
        {"source table past the end", [](std::string& b) { PutWord(b, 12, static_cast<std::uint32_t>(b.size())); }},
        {"translation table past the end", [](std::string& b) { PutWord(b, 16, 0xFFFFFFF0u); }},
        {"entry count past the end", [](std::string& b) { PutWord(b, 8, 0x20000000u); }},
        {"source position past the end", [](std::string& b) { PutWord(b, 28 + 4, 0xFFFFFFFFu); }},
        {"source length past the end", [](std::string& b) { PutWord(b, 28 + 8, static_cast<std::uint32_t>(b.size())); }},
        {"translation length huge", [](std::string& b) { PutWord(b, 44 + 8, 0xFFFFFFFFu); }},
        {"file cut before the last text", [](std::string& b) { b.resize(b.size() - 3); }},
    };
    StartEngine("de");
    for (std::size_t i = 0; i < damages.size(); ++i) {
        SCOPED_TRACE(damages[i].what);
        std::string bytes = BuildCatalogue(entries);
        damages[i].apply(bytes);
        const std::string domain = "damaged" + std::to_string(i);
        const std::string path = CataloguePath("de", domain);
        WriteBytes(path, bytes);
        EXPECT_EQ(RaisedMessage([&] { LookupTextInDomain(domain, "Open"); }),
                  "This file is not a valid GNU gettext mo file: " + path);
        const TDomain& d = DefaultTranslator()->Domain(domain);
        EXPECT_FALSE(d.Opened());
        EXPECT_FALSE(d.OpenPending());
        EXPECT_EQ(LookupTextInDomain(domain, "Open"), "Open");
        EXPECT_EQ(LookupTextInDomain(domain, "Cancel"), "Cancel");
    }
    // The undamaged catalogue, for contrast.
    WriteBytes(CataloguePath("de", "sound"), BuildCatalogue(entries));
    EXPECT_EQ(LookupTextInDomain("sound", "Open"), "Offen");
}

TEST_F(I18nEngineTest, LanguageFolderIsTriedBeforeTheTwoLetterOne)
{
    CompileCatalogue(PoSource({{"Cancel", "Abbrechen (de)"}}), CataloguePath("de", "default"));
    CompileCatalogue(PoSource({{"Cancel", "Abbrechen (de_AT)"}}), CataloguePath("de_AT", "default"));
    {
        StartEngine("de_DE.UTF-8");
        EXPECT_EQ(DefaultTranslator()->ActiveLanguage(), "de_DE");
        EXPECT_EQ(LookupText("Cancel"), "Abbrechen (de)");
    }
    StartEngine("de_AT.UTF-8");
    EXPECT_EQ(LookupText("Cancel"), "Abbrechen (de_AT)");
    // A folder in place of the catalogue file is no catalogue.
    std::filesystem::remove(CataloguePath("de_AT", "default"));
    std::filesystem::create_directories(CataloguePath("de_AT", "default"));
    ChooseLanguage("de_AT");
    EXPECT_EQ(LookupText("Cancel"), "Abbrechen (de)");
}

} // namespace
} // namespace i18ntest
