// Built-in texts of the framework: the resource-text domains in order, and
// Qt's own texts reaching them through the installed translator.
#include "EngineFixture.h"

#include "i18n/GnuGettextQt.h"
#include "i18n/ResourceTextTranslator.h"

#include "framework/ErrorDisplay.h"

#include <QCoreApplication>

#include <filesystem>

namespace i18ntest {
namespace {

TEST(I18nResourceTextsTest, WithoutTheEngineTextsPassUnchanged)
{
    ASSERT_EQ(DefaultTranslator(), nullptr);
    EXPECT_EQ(TranslateResourceText("OK"), "OK");
    EXPECT_EQ(LookupText("a\nb"), "a\nb");
    EXPECT_EQ(LookupTextInDomain("cport", "Setup"), "Setup");
    AddResourceTextDomain("cport");
    EXPECT_TRUE(ResourceTextDomains().empty());
}

TEST_F(I18nEngineTest, ResourceTextsTryDefaultThenTheAddedDomains)
{
    CompileCatalogue(PoSource({{"OK", "Jawohl"}, {"&Yes", "&Ja"}}), CataloguePath("de", "default"));
    CompileCatalogue(PoSource({{"OK", "In Ordnung"}, {"Cancel", "Abbrechen"}}), CataloguePath("de", "cport"));
    StartEngine("de");
    EXPECT_EQ(ResourceTextDomains(), std::vector<std::string>{"default"});
    EXPECT_EQ(TranslateResourceText("Cancel"), "Cancel");

    AddResourceTextDomain("cport");
    EXPECT_EQ(ResourceTextDomains(), (std::vector<std::string>{"default", "cport"}));
    // "default" translates it: "cport" is never consulted, not even created.
    EXPECT_EQ(TranslateResourceText("OK"), "Jawohl");
    for (const auto& domain : DefaultTranslator()->DomainTable())
        EXPECT_NE(domain->DomainName(), "cport");
    // Only "cport" knows it.
    EXPECT_EQ(TranslateResourceText("Cancel"), "Abbrechen");
    EXPECT_EQ(TranslateResourceText("Retry"), "Retry");

    StopCatalogueEngine();
    EXPECT_EQ(TranslateResourceText("OK"), "OK");
    EXPECT_TRUE(ResourceTextDomains().empty());
    EXPECT_EQ(ExecutablePath(), "");
    EXPECT_EQ(EmbeddedCatalogues(), nullptr);
}

TEST_F(I18nEngineTest, QtTextsGoThroughTheEngineAndReportErrorsOnce)
{
    // Latin-1 bytes: the catalogue cannot give "Cancel" as UTF-8.
    CompileCatalogue(PoSource({{"OK", "Jawohl"}, {"Cancel", "Abbruch \xA1"}}, "ISO-8859-1"),
                     CataloguePath("de", "default"));
    StartEngine("de");
    ResourceTextTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("Jawohl"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Apply"), QStringLiteral("Apply"));

    std::vector<std::string> shown;
    const ErrorDisplayFunction previous = SetErrorDisplay([&](const std::string& message) {
        shown.push_back(message);
        // The display loads Qt texts itself; that must not report again.
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    });
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    SetErrorDisplay(previous);
    QCoreApplication::removeTranslator(&translator);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Error: Could not translate Cancel. Probably because the mo file doesn't contain utf-8 "
                        "encoded translations.");
}

TEST(I18nResourceTextsTest, StartupStepRoutesQtTextsUntilShutdown)
{
    // The start-up step uses the running program's folder: a language code
    // nobody else uses keeps this catalogue to this test.
    const std::filesystem::path locale =
        std::filesystem::path(RunningExecutablePath()).parent_path() / "locale" / "zz_ZZ";
    CompileCatalogue(PoSource({{"OK", "Zustimmung"}}), (locale / "LC_MESSAGES/default.mo").string());
    ScopedEnvironment lang("LANG", "zz_ZZ.UTF-8");

    GnuGettextStartup();
    EXPECT_EQ(ExecutablePath(), RunningExecutablePath());
    EXPECT_EQ(DefaultTranslator()->ActiveLanguage(), "zz_ZZ");
    EXPECT_FALSE(DefaultTranslator()->Domain("default").Opened()) << "nothing is opened before the first lookup";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("Zustimmung"));
    GnuGettextShutdown();
    EXPECT_EQ(DefaultTranslator(), nullptr);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("OK"));
    std::filesystem::remove_all(locale);
}

} // namespace
} // namespace i18ntest
