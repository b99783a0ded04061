// Where the language comes from: the caller, "LANG", or the user's locale.
#include "CatalogueFiles.h"

#include "i18n/Language.h"
#include "i18n/gnugettext.h"
#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace i18ntest {
namespace {

struct Environment {
    std::optional<std::string> lang, lcAll, lcMessages;
};

std::string ChosenLanguage(const Environment& environment)
{
    ScopedEnvironment lang("LANG", environment.lang);
    ScopedEnvironment lcAll("LC_ALL", environment.lcAll);
    ScopedEnvironment lcMessages("LC_MESSAGES", environment.lcMessages);
    TGnuGettextInstance translator("/opt/panel/panel", nullptr);
    return translator.ActiveLanguage();
}

TEST(I18nLanguageTest, LangIsCutBeforeItsFirstDot)
{
    EXPECT_EQ(ChosenLanguage({"de_DE.UTF-8", "fr_FR", "it_IT"}), "de_DE");
    EXPECT_EQ(ChosenLanguage({"de_DE.UTF-8.x", {}, {}}), "de_DE");
    EXPECT_EQ(ChosenLanguage({"pt_BR@latin", {}, {}}), "pt_BR@latin");
    EXPECT_EQ(ChosenLanguage({"C", {}, {}}), "C");
    EXPECT_EQ(ChosenLanguage({".UTF-8", {}, {}}), "");
}

TEST(I18nLanguageTest, WithoutLangTheUserLocaleGivesLanguageAndCountry)
{
    EXPECT_EQ(ChosenLanguage({{}, {}, "fr_CA.UTF-8"}), "fr_CA");
    EXPECT_EQ(ChosenLanguage({"", {}, "fr_CA"}), "fr_CA");
    EXPECT_EQ(ChosenLanguage({{}, "de_CH.UTF-8@euro", "fr_CA.UTF-8"}), "de_CH");
    EXPECT_EQ(ChosenLanguage({{}, "", "fr_CA.UTF-8"}), "fr_CA");
    // LC_ALL wins even when it names no language: no two-letter codes, "C".
    EXPECT_EQ(ChosenLanguage({{}, "C.UTF-8", "fr_CA.UTF-8"}), "C");
    EXPECT_EQ(ChosenLanguage({{}, {}, "ast_ES.UTF-8"}), "C");
    EXPECT_EQ(ChosenLanguage({{}, {}, "de"}), "C");
    EXPECT_EQ(ChosenLanguage({{}, {}, "POSIX"}), "C");
}

TEST(I18nLanguageTest, WithoutAnyLocaleVariableTheLanguageIsC)
{
    // On Linux the variables are the user's locale; Windows asks the system.
    EXPECT_EQ(ChosenLanguage({{}, {}, {}}), "C");
}

TEST(I18nLanguageTest, CallerCodeIsUsedUnchanged)
{
    ScopedEnvironment lang("LANG", "fr_FR.UTF-8");
    TGnuGettextInstance translator("/opt/panel/panel", nullptr);
    translator.ChooseLanguage("de_DE.UTF-8");
    EXPECT_EQ(translator.ActiveLanguage(), "de_DE.UTF-8");
    EXPECT_EQ(translator.Domain("default").CatalogueLanguage(), "de_DE.UTF-8");
    translator.ChooseLanguage("");
    EXPECT_EQ(translator.ActiveLanguage(), "fr_FR");
}

TEST(I18nLanguageTest, LocaleIdentifiersMapOnlyThroughTheirTable)
{
    EXPECT_EQ(LocaleIdentifierLanguage(3084), "fr_CA");
    EXPECT_EQ(LocaleIdentifierLanguage(0x0C0A), "es_ES");
    EXPECT_EQ(LocaleIdentifierLanguage(0x040A), "es_ES");
    EXPECT_EQ(LocaleIdentifierLanguage(0x0408), "gr_GR");
    EXPECT_EQ(LocaleIdentifierLanguage(0x0411), "C"); // Japanese is not in the table
    EXPECT_EQ(LocaleIdentifierLanguage(0), "C");
}

TEST(I18nLanguageTest, TranslatorStartsWithDefaultDomainInTheLocaleFolder)
{
    ScopedEnvironment lang("LANG", "nl_BE.UTF-8");
    TGnuGettextInstance translator("/opt/panel/bin/panel", nullptr);
    EXPECT_EQ(translator.ActiveDomain(), "default");
    EXPECT_EQ(translator.LocaleFolder(), "/opt/panel/bin/locale");
    ASSERT_EQ(translator.DomainTable().size(), 1u);
    const TDomain& domain = *translator.DomainTable()[0];
    EXPECT_EQ(domain.DomainName(), "default");
    EXPECT_EQ(domain.CatalogueFolder(), "/opt/panel/bin/locale/");
    EXPECT_EQ(domain.CatalogueLanguage(), "nl_BE");
    EXPECT_TRUE(domain.OpenPending());
    EXPECT_FALSE(domain.Opened());
    // New domains take the locale folder and the language of the moment.
    translator.ChooseLanguage("sv_SE");
    EXPECT_EQ(translator.Domain("cport").CatalogueFolder(), "/opt/panel/bin/locale/");
    EXPECT_EQ(translator.Domain("cport").CatalogueLanguage(), "sv_SE");
}

} // namespace
} // namespace i18ntest
