// The main window in the language of the catalogues the program ships:
// German captions, menus, state texts and refusal that fit their controls,
// and under LANG=C the very texts of the untranslated form.
#include "i18n/GnuGettextQt.h"
#include "panel/CaptionFit.h"
#include "tests/panel/WindowFixture.h"
#include "tests/support/ScopedEnvironment.h"

#include <QMenu>

namespace {

// Every text an operator reads in the window, by the control's name.
std::map<QString, QString> Texts(const TZARIDOForm1& form)
{
    std::map<QString, QString> texts{{QStringLiteral("window"), form.windowTitle()}};
    for (const QWidget* control : form.centralWidget()->findChildren<QWidget*>())
        if (!CaptionText(control).isEmpty())
            texts[control->objectName()] = CaptionText(control);
    for (const QMenu* menu : form.findChildren<QMenu*>())
        texts[menu->objectName()] = menu->title();
    for (const QAction* item : form.findChildren<QAction*>())
        if (!item->objectName().isEmpty())
            texts[item->objectName()] = item->text();
    return texts;
}

class GermanWindowTest : public WindowTest {
protected:
    // The window comes once the language is chosen.
    void SetUp() override {}
    void Start(const char* lang)
    {
        lang_.emplace("LANG", lang);
        GnuGettextStartup();
        ShowWindow();
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        GnuGettextShutdown();
    }

    void ExpectEveryCaptionFits()
    {
        for (QWidget* control : form->centralWidget()->findChildren<QWidget*>()) {
            const QString text = CaptionText(control);
            // A status panel with a port's path or settings shortens them
            // by design; its state panel is the panel's own text.
            const bool ownText = !qobject_cast<TStatusPanel*>(control) || control == form->StatusPanels[0];
            if (text.isEmpty() || !ownText)
                continue;
            SCOPED_TRACE(control->objectName().toStdString() + " \"" + text.toStdString() + "\"");
            EXPECT_LE(CaptionWidth(control), CaptionRoom(control));
            EXPECT_TRUE(control->font().stretch() == QFont::AnyStretch || control->font().stretch() >= 85);
        }
    }

private:
    std::optional<ScopedEnvironment> lang_;
    ScopedEnvironment lcAll_{"LC_ALL", std::nullopt};
    ScopedEnvironment lcMessages_{"LC_MESSAGES", std::nullopt};
};

TEST_F(GermanWindowTest, InGermanEveryCaptionMenuAndStateIsGermanAndFits)
{
    Start("de_DE.UTF-8");
    std::map<QString, QString> texts = Texts(*form);
    EXPECT_EQ(texts["GroupBox1"], "Betriebsart wählen");
    EXPECT_EQ(texts["SweepLED"], "Dimmen wiederholen");
    EXPECT_EQ(texts["EXITBUT"], "BEENDEN");
    EXPECT_EQ(texts["OPEN_PORT"], "VERBINDEN");
    EXPECT_EQ(texts["File1"], "Datei");
    EXPECT_EQ(texts["FormatRS2321"], "RS232 einrichten...");
    EXPECT_EQ(texts["Close1"], "Schließen");
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT : ZU");
    // Names, designators, readouts and the caption with its blanks stay.
    EXPECT_EQ(texts["window"], QString(92, QLatin1Char(' ')) + "RVD3318 CONTROLLER");
    EXPECT_EQ(texts["Label9"], "Brevantis");
    EXPECT_EQ(texts["Label2"], "LED-1");
    EXPECT_EQ(texts["VALIPK"], "00mA");
    EXPECT_EQ(form->StatusPanels[2]->text(), "PORT= None,8,9600,1");
    ExpectEveryCaptionFits();

    // The button's later captions fit too.
    form->ComPort1->SetPort(QString::fromStdString(pty.SlavePath()));
    form->TogglePort();
    EXPECT_EQ(form->OPEN_PORT->text(), "TRENNEN");
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT=AUF");
    ExpectEveryCaptionFits();
    form->TogglePort();
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT=ZU");

    // The refusal of a command on the closed port.
    const std::vector<AnsweredBox> boxes = AnswerBoxes([&] { form->REDTrack->setValue(3); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Befehl kann nicht gesendet werden :ERST DEN RS232-PORT ÖFFNEN");
    EXPECT_EQ(form->Rval->text(), "9.677%");
}

TEST_F(GermanWindowTest, WithoutAGermanLanguageEveryTextIsTheFormsOwn)
{
    // The form's texts as stored, before any catalogue is in play.
    std::map<QString, QString> stored;
    {
        TZARIDOForm1 untranslated;
        stored = Texts(untranslated);
    }
    Start("C");
    EXPECT_EQ(Texts(*form), stored);
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT : CLOSE");
    const std::vector<AnsweredBox> boxes = AnswerBoxes([&] { form->REDTrack->setValue(3); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot send command :OPEN THE RS232 PORT FIRST");
}

} // namespace
