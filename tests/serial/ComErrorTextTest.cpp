// The port's error texts come from the message catalogues once the serial
// module has started, with the OS-code suffix translated too.
#include "i18n/gnugettext.h"
#include "serial/CPort.h"
#include "tests/i18n/CatalogueFiles.h"
#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

using i18ntest::CompileCatalogue;
using i18ntest::PoSource;
using i18ntest::ScratchFolder;

std::string OpenFailure(const char* device)
{
    TComPort port;
    port.SetPort(device);
    try {
        port.OpenPort();
    } catch (const EComPort& e) {
        return e.what();
    }
    return "opened";
}

// A scratch program folder, a language chosen through LANG alone, and the
// serial module started and stopped around each test.
class ComErrorTextTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        DoneComPortModule();
        StopCatalogueEngine();
    }

    void UseLanguage(const char* language)
    {
        lang_.emplace("LANG", language);
        all_.emplace("LC_ALL", std::nullopt);
        messages_.emplace("LC_MESSAGES", std::nullopt);
    }
    void StartModule()
    {
        StartCatalogueEngine(scratch / "bin/panel");
        InitComPortModule();
    }

    ScratchFolder scratch;

private:
    std::optional<ScopedEnvironment> lang_, all_, messages_;
};

TEST_F(ComErrorTextTest, TextsAndSuffixComeFromTheDefaultCatalogue)
{
    CompileCatalogue(PoSource({{"Unable to open com port", "Port kann nicht geöffnet werden"},
                               {" (win error code: %d)", " (Systemfehler %d)"},
                               {"Cannot set property while connected", "Nicht bei offenem Port"}}),
                     scratch / "bin/locale/de/LC_MESSAGES/default.mo");
    UseLanguage("de_DE.UTF-8");

    EXPECT_EQ(OpenFailure("/dev/no-such-port"), "Unable to open com port (win error code: 2)");

    StartModule();
    EXPECT_EQ(OpenFailure("/dev/no-such-port"), "Port kann nicht geöffnet werden (Systemfehler 2)");
    EXPECT_EQ(EComPort(CError_ConnChangeProp).what(), std::string("Nicht bei offenem Port"));
    // Texts without a translation stay as they are.
    EXPECT_EQ(EComPort(CError_RegFailed).what(), std::string("Link (un)registration failed"));
    const auto domains = ResourceTextDomains();
    EXPECT_NE(std::find(domains.begin(), domains.end(), "cport"), domains.end());

    DoneComPortModule();
    StopCatalogueEngine();
    EXPECT_EQ(OpenFailure("/dev/no-such-port"), "Unable to open com port (win error code: 2)");
}

TEST_F(ComErrorTextTest, ATranslatedSuffixCannotInjectFormatDirectives)
{
    CompileCatalogue(PoSource({{" (win error code: %d)", " %s%n (code %d, again %d)"}}),
                     scratch / "bin/locale/fr/LC_MESSAGES/default.mo");
    UseLanguage("fr");
    StartModule();
    EXPECT_EQ(std::string(EComPort(CError_OpenFailed, 13).what()),
              "Unable to open com port %s%n (code 13, again %d)");
}

} // namespace
