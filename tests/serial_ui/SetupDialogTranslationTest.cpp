// The setup dialog translates its captions in the domain "cport" when it is
// built, and leaves its selectors' items as the settings' own texts.
#include "i18n/GnuGettextQt.h"
#include "serial/CPort.h"
#include "serial_ui/CPortCtl.h"
#include "serial_ui/CPortSetup.h"
#include "tests/i18n/CatalogueFiles.h"
#include "tests/serial_ui/DialogDriver.h"
#include "tests/serial_ui/UiTestHelpers.h"
#include "tests/support/ScopedEnvironment.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

using i18ntest::CompileCatalogue;
using i18ntest::PoSource;
using i18ntest::ScratchFolder;

TEST(SetupDialogTranslationTest, CaptionsComeFromTheCportCatalogueAndSelectorsStayAsTheyAre)
{
    ScratchFolder scratch;
    CompileCatalogue(PoSource({{"Setup", "Einstellungen"},
                               {" Settings ", " Parameter "},
                               {"Baud rate", "Baudrate"},
                               {"Flow control", "Fluss"},
                               {"OK", "Gut"},
                               {"Cancel", "Abbrechen"},
                               // Texts the selectors show and parse: never translated.
                               {"9600", "neun"},
                               {"None", "Keine"},
                               {"Custom", "Eigene"},
                               {"COM2", "KOM2"}}),
                     scratch / "bin/locale/de/LC_MESSAGES/cport.mo");
    // The same texts in the default domain must not be what the dialog uses.
    CompileCatalogue(PoSource({{"Setup", "falsche Domäne"}, {"OK", "falsch"}}),
                     scratch / "bin/locale/de/LC_MESSAGES/default.mo");
    ScopedEnvironment lang("LANG", "de_DE.UTF-8");
    ScopedEnvironment all("LC_ALL", std::nullopt);
    ScopedEnvironment messages("LC_MESSAGES", std::nullopt);
    StartCatalogueEngine(scratch / "bin/panel");

    FedPortList ports({"COM2", "COM1"});
    TComPort port;
    port.SetPort("COM2");
    port.Parity()->SetBits(prNone);
    WithDialog(
        [&](TComSetupFrm* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Einstellungen");
            EXPECT_EQ(Part<QGroupBox>(dialog, "GroupBox1")->title(), " Parameter ");
            EXPECT_EQ(Part<QLabel>(dialog, "Label2")->text(), "Baudrate");
            EXPECT_EQ(Part<QLabel>(dialog, "Label6")->text(), "Fluss");
            EXPECT_EQ(Part<QLabel>(dialog, "Label1")->text(), "Port") << "no translation: as stored";
            EXPECT_EQ(Part<QPushButton>(dialog, "Button1")->text(), "Gut");
            EXPECT_EQ(Part<QPushButton>(dialog, "Button2")->text(), "Abbrechen");

            EXPECT_EQ(Part(dialog, "Combo1")->Text(), "COM2");
            EXPECT_EQ(Part(dialog, "Combo2")->Text(), "9600");
            EXPECT_EQ(Part(dialog, "Combo2")->itemText(0), "Custom");
            EXPECT_EQ(Part(dialog, "Combo5")->Text(), "None");
            EXPECT_EQ(Part(dialog, "Combo6")->findText("Eigene"), -1);
            // The operator's choice still parses.
            ChooseItem(Part(dialog, "Combo2"), "19200");
            ClickOk(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(port.BaudRate(), br19200);
    EXPECT_EQ(port.Port(), "COM2");

    StopCatalogueEngine();
}

TEST(SetupDialogTranslationTest, WithoutACatalogueEveryTextStaysAsStored)
{
    ScratchFolder scratch;
    ScopedEnvironment lang("LANG", "de_DE.UTF-8");
    StartCatalogueEngine(scratch / "bin/panel");
    FedPortList ports({});
    TComPort port;
    WithDialog(
        [&](TComSetupFrm* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Setup");
            EXPECT_EQ(Part<QGroupBox>(dialog, "GroupBox1")->title(), " Settings ");
            EXPECT_EQ(Part<QLabel>(dialog, "Label3")->text(), "Data bits");
            EXPECT_EQ(Part<QPushButton>(dialog, "Button2")->text(), "Cancel");
            ClickCancel(dialog);
        },
        [&] { EditPortSettings(&port); });
    StopCatalogueEngine();
}

} // namespace
