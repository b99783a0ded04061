// The catalogues the program ships, as the build puts them beside a
// program: German for the serial module's error texts, for Qt's message-box
// buttons and for the setup dialog's captions.
#include "ItemsCombo.h"
#include "ui_SettingsForm.h"

#include "../CatalogueFiles.h"

#include "i18n/GnuGettextQt.h"
#include "serial/ComError.h"
#include "serial/ComPortList.h"
#include "serial/device/OsError.h"
#include "tests/support/ScopedEnvironment.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace i18ntest {
namespace {

class ShippedCataloguesTest : public ::testing::Test {
protected:
    void Start(const char* lang)
    {
        lang_.emplace("LANG", lang);
        GnuGettextStartup();
        InitComPortModule();
    }
    void TearDown() override
    {
        DoneComPortModule();
        GnuGettextShutdown();
    }

private:
    std::optional<ScopedEnvironment> lang_;
    ScopedEnvironment lcAll_{"LC_ALL", std::nullopt};
    ScopedEnvironment lcMessages_{"LC_MESSAGES", std::nullopt};
};

TEST(ShippedPoFilesTest, PassMsgfmtCheck)
{
    int checked = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(SHIPPED_PO_FOLDER)) {
        if (entry.path().extension() != ".po")
            continue;
        const CommandResult run =
            RunCommand(std::string(MSGFMT_PROGRAM) + " --check -o /dev/null " + ShellQuoted(entry.path().string()));
        EXPECT_EQ(run.status, 0) << entry.path() << "\n" << run.output;
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

TEST_F(ShippedCataloguesTest, TheCataloguesBesideTheProgramAreUsed)
{
    Start("de_DE.UTF-8");
    const std::string folder = std::filesystem::path(RunningExecutablePath()).parent_path().string();
    EXPECT_EQ(DefaultTranslator()->LocaleFolder(), folder + "/locale");
    EXPECT_TRUE(std::filesystem::exists(folder + "/locale/de/LC_MESSAGES/default.mo"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/locale/de/LC_MESSAGES/cport.mo"));
    // "de_DE" has no folder of its own: the two-letter one serves.
    EXPECT_TRUE(DefaultTranslator()->Domain("default").Opened());
}

TEST_F(ShippedCataloguesTest, EveryPortErrorTextComesInGerman)
{
    Start("de_DE.UTF-8");
    for (std::int32_t code = 1; code <= 23; ++code) {
        EXPECT_NE(ComErrorText(code), ComErrorOriginalText(code)) << "message " << code << " untranslated";
        EXPECT_FALSE(ComErrorText(code).empty());
    }
    EXPECT_STREQ(EComPort(CError_OpenFailed, 13).what(),
                 "Die serielle Schnittstelle kann nicht ge\xC3\xB6" "ffnet werden (Fehlercode des Systems: 13)");
    EXPECT_STREQ(EComPort(CError_ConnChangeProp).what(),
                 "Die Eigenschaft kann bei ge\xC3\xB6" "ffneter Schnittstelle nicht ge\xC3\xA4ndert werden");
}

TEST_F(ShippedCataloguesTest, ThePortsExplainingLinesComeInGermanWithTheCLibrarysOwnText)
{
    // A German message locale for the C library's own texts, made of its
    // built-in UTF-8 one, so that the machine need not have generated de_DE.
    ScratchFolder locales;
    std::filesystem::create_directories(locales / "de_DE.UTF-8");
    for (const std::string category : {"LC_CTYPE", "LC_MESSAGES"})
        std::filesystem::copy("/usr/lib/locale/C.utf8/" + category, locales / ("de_DE.UTF-8/" + category),
                              std::filesystem::copy_options::recursive);
    ScopedEnvironment locpath("LOCPATH", locales.Path().string());
    ScopedEnvironment language("LANGUAGE", std::nullopt);
    Start("de_DE.UTF-8");
    EXPECT_EQ(ComErrorDetails(EComPort(CError_OpenFailed, ENOENT, "/dev/ttyUSB7")),
              (std::vector<std::string>{"/dev/ttyUSB7: Datei oder Verzeichnis nicht gefunden",
                                        "Das Ger\xC3\xA4t ist nicht vorhanden: Ist es angeschlossen?"}));
}

// What is said under the failure of a port on a serial server, and how
// the port list describes one, in German too.
TEST_F(ShippedCataloguesTest, TheLinesAboutNetworkPortsComeInGerman)
{
    Start("de_DE.UTF-8");
    const auto second = [](const EComPort& error) { return ComErrorDetails(error).at(1); };
    // The platform's own codes for what went wrong (errno values on Linux,
    // Windows and Winsock codes on Windows).
    using serialdev::OsErrorCode;
    using serialdev::OsErrorKind;
    EXPECT_EQ(second(EComPort(CError_OpenFailed, OsErrorCode(OsErrorKind::Refused), "rfc2217://rack:2001")),
              "Auf rack:2001 nimmt niemand Verbindungen an: L\xC3\xA4uft dort der serielle Server (ser2net), "
              "und auf welchem Port lauscht er?");
    EXPECT_EQ(second(EComPort(CError_OpenFailed, OsErrorCode(OsErrorKind::InvalidArgument), "rfc2217://rack:2001?speed=9600")),
              "Die Option \xE2\x80\x9Espeed=9600\xE2\x80\x9C ist unbekannt: Nach ? folgen ign_set_control, "
              "poll_modem, timeout=SEKUNDEN oder logging=STUFE.");
    EXPECT_EQ(second(EComPort(CError_OpenFailed, OsErrorCode(OsErrorKind::InUse), "rfc2217://rack:2001", "Port already in use")),
              "Der serielle Server hat den Port verweigert: \xE2\x80\x9EPort already in use\xE2\x80\x9C.");
    EXPECT_EQ(ComErrorDetails(EComPort(CError_OpenFailed, OsErrorCode(OsErrorKind::HostNotFound), "socket://nowhere:3001")).at(0),
              "socket://nowhere:3001: Der Rechner nowhere wurde nicht gefunden: Stimmt sein Name?");
    EXPECT_EQ(NetworkPortDescription("rfc2217://rack:2001?ign_set_control").toStdString(),
              "serieller Port auf dem Server rack:2001 (RFC 2217)");
}

TEST_F(ShippedCataloguesTest, MessageBoxButtonsComeInGerman)
{
    Start("de_DE.UTF-8");
    QMessageBox box(QMessageBox::Question, "Port", "Close the port?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Abbrechen"));

    // The operator sees them on the shown box and answers with one.
    QMessageBox::StandardButton seen = QMessageBox::NoButton;
    QTimer::singleShot(0, &box, [&] {
        QAbstractButton* no = nullptr;
        for (QAbstractButton* button : box.buttons()) {
            if (button->isVisible() && button->text() == QStringLiteral("&Nein"))
                no = button;
        }
        if (no != nullptr) {
            seen = QMessageBox::No;
            QTest::mouseClick(no, Qt::LeftButton);
        } else {
            box.reject();
        }
    });
    EXPECT_EQ(box.exec(), QMessageBox::No);
    EXPECT_EQ(seen, QMessageBox::No);
}

TEST_F(ShippedCataloguesTest, TheSetupDialogsCaptionsComeInGerman)
{
    Start("de_DE.UTF-8");
    QDialog dialog;
    Ui::SettingsForm form;
    form.setupUi(&dialog);
    for (const char* name : {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo6"})
        TP_Ignore(&dialog, name);
    TranslateObjectTree(&dialog, "cport");
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Einrichtung"));
    EXPECT_EQ(form.GroupBox1->title(), QStringLiteral(" Einstellungen "));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Anschluss"));
    EXPECT_EQ(form.Label2->text(), QStringLiteral("Baudrate"));
    EXPECT_EQ(form.Label3->text(), QStringLiteral("Datenbits"));
    EXPECT_EQ(form.Label4->text(), QStringLiteral("Stoppbits"));
    EXPECT_EQ(form.Label5->text(), QString::fromUtf8("Parit\xC3\xA4t"));
    EXPECT_EQ(form.Label6->text(), QStringLiteral("Handshake"));
    EXPECT_EQ(form.Button1->text(), QStringLiteral("OK"));
    EXPECT_EQ(form.Button2->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(form.Combo5->itemText(0), QStringLiteral("None"));
}

TEST_F(ShippedCataloguesTest, AnotherLanguageKeepsTheTextsAsWritten)
{
    Start("fr_FR.UTF-8");
    EXPECT_EQ(ComErrorText(CError_OpenFailed), "Unable to open com port");
    QMessageBox box(QMessageBox::Question, "Port", "Close the port?", QMessageBox::Yes | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(LookupTextInDomain("cport", "Setup"), "Setup");
}

} // namespace
} // namespace i18ntest
