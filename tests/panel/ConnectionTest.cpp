// Reaching the board from the main window: the port toggle with and
// without the setup dialog, failures, "Format RS232...", the status bar's
// clock, the receive pane, the menus and the connection LED.
#include "serial_ui/CPortSetup.h"
#include "tests/panel/WindowFixture.h"
#include "tests/serial_ui/DialogDriver.h"
#include "tests/serial_ui/UiTestHelpers.h"
#include "tests/support/Capture.h"
#include "tests/support/Pump.h"

#include "serial/SetupDialogHook.h"

#include <QLocale>
#include <QTextCursor>

#include <thread>

using namespace std::chrono_literals;

namespace {

QString Path(const PtyPair& pty)
{
    return QString::fromStdString(pty.SlavePath());
}

// Closes (as Cancel) and counts every setup dialog that is shown while it
// lives, so that a dialog where none belongs fails the test instead of
// hanging it.
class DialogWatch {
public:
    DialogWatch()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (TComSetupFrm* dialog = ShownSetupDialog()) {
                ++shown;
                dialog->reject();
            }
        });
        timer_.start();
    }
    int shown = 0;

private:
    QTimer timer_;
};

class ConnectionTest : public WindowTest {
protected:
    void SetUp() override
    {
        previousHook_ = SetSetupDialogHook([](TCustomComPort& port) { EditPortSettings(&port); });
        WindowTest::SetUp();
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        SetSetupDialogHook(std::move(previousHook_));
    }

    // Waits until the pane's text is `expected`.
    bool PaneBecomes(const QString& expected)
    {
        return PumpUntil([&] { return form->PORTW->toPlainText() == expected; });
    }

    // A click in the pane that puts the caret before character `position`.
    void ClickInPane(int position)
    {
        QTextCursor at(form->PORTW->document());
        at.setPosition(position);
        const QRect place = form->PORTW->cursorRect(at);
        QTest::mouseClick(form->PORTW->viewport(), Qt::LeftButton, {}, place.center());
        ASSERT_EQ(form->PORTW->textCursor().position(), position);
    }

    PtyPair other;
    TSetupDialogHook previousHook_;
};

} // namespace

// ---- the port toggle ------------------------------------------------------------

TEST_F(ConnectionTest, FirstClickShowsTheDialogAndOpensThePortPickedThere)
{
    FedPortList ports({pty.SlavePath()});
    EXPECT_EQ(form->ComLed1->State(), lsOff);
    WithDialog(
        [&](TComSetupFrm* dialog) {
            TComComboBox* names = Part(dialog, "Combo1");
            names->setFocus();
            QTest::keyClick(names, Qt::Key_Home);
            EXPECT_EQ(names->currentText(), Path(pty));
            EXPECT_FALSE(form->ComPort1->Connected()) << "the dialog comes before the open";
            PressKey(dialog, Qt::Key_Return);
        },
        [&] { QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton); });
    ASSERT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->ComPort1->Port(), Path(pty));
    EXPECT_EQ(form->OPEN_PORT->text(), "CLOSE");
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT=OPEN");
    EXPECT_EQ(form->StatusPanels[1]->text(), "PORT = " + Path(pty));
    // Settings chosen there do not reach the line-format panel.
    EXPECT_EQ(form->StatusPanels[2]->text(), "PORT= None,8,9600,1");
    EXPECT_EQ(form->ComLed1->State(), lsOn);

    // Another name was chosen: from now on the button goes without it.
    DialogWatch watch;
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(form->OPEN_PORT->text(), "OPEN");
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT=CLOSE");
    EXPECT_EQ(form->ComLed1->State(), lsOff);
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->OPEN_PORT->text(), "CLOSE");
    PumpFor(50ms);
    EXPECT_EQ(watch.shown, 0);
    EXPECT_EQ(pty.Receive(1, 100ms), "") << "opening and closing send nothing";
}

TEST_F(ConnectionTest, AnEmptyNameAlsoAsksFirst)
{
    FedPortList ports({pty.SlavePath()});
    form->ComPort1->SetPort(QString());
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo1"), Path(pty));
            ClickOk(dialog);
        },
        [&] { QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton); });
    EXPECT_TRUE(form->ComPort1->Connected());
}

TEST_F(ConnectionTest, TheStartNameIsComparedWithItsLetterCase)
{
    // "com1" is not the start name: no dialog, straight to the toggle
    // (which fails or not, depending on the machine's first UART).
    ErrorCapture errors;
    DialogWatch watch;
    form->ComPort1->SetPort(QStringLiteral("com1"));
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    PumpFor(50ms);
    EXPECT_EQ(watch.shown, 0);
}

TEST_F(ConnectionTest, OpenRs232GoesWithoutTheDialog)
{
    DialogWatch watch;
    form->ComPort1->SetPort(Path(pty));
    form->OpenRS2321->trigger();
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->OPEN_PORT->text(), "CLOSE");
    EXPECT_EQ(form->StatusPanels[1]->text(), "PORT = " + Path(pty));
    // The same item closes an open port; its caption never changes.
    form->OpenRS2321->trigger();
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(form->OPEN_PORT->text(), "OPEN");
    EXPECT_EQ(form->OpenRS2321->text(), "Open RS232");
    PumpFor(50ms);
    EXPECT_EQ(watch.shown, 0);
}

TEST_F(ConnectionTest, OpenRs232AtStartTriesTheStartPortWithoutTheDialog)
{
    ErrorCapture errors;
    DialogWatch watch;
    form->OpenRS2321->trigger();
    PumpFor(50ms);
    EXPECT_EQ(watch.shown, 0);
    // COM1 is the machine's first UART: it opens or it fails, and the
    // window says which.
    if (form->ComPort1->Connected()) {
        EXPECT_TRUE(errors.Messages().empty());
        EXPECT_EQ(form->StatusPanels[1]->text(), "PORT = COM1");
        EXPECT_EQ(form->OPEN_PORT->text(), "CLOSE");
    } else {
        EXPECT_EQ(errors.Messages().size(), 1u);
        EXPECT_EQ(form->StatusPanels[1]->text(), "COM1");
        EXPECT_EQ(form->OPEN_PORT->text(), "OPEN PORT");
    }
}

TEST_F(ConnectionTest, AMissingPortShowsItsErrorAndLeavesTheBareName)
{
    ErrorCapture errors;
    const QString missing = QStringLiteral("/tmp/rvd3318-no-such-port");
    form->ComPort1->SetPort(missing);
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    ASSERT_EQ(errors.Messages().size(), 1u);
    EXPECT_NE(errors.Messages()[0].find("Unable to open com port"), std::string::npos) << errors.Messages()[0];
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(form->OPEN_PORT->text(), "OPEN PORT");
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT : CLOSE");
    EXPECT_EQ(form->StatusPanels[1]->text(), missing);
    EXPECT_EQ(form->ComLed1->State(), lsOff);

    // After a close the captions of the closed state stay as they were.
    form->ComPort1->SetPort(Path(pty));
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    form->ComPort1->SetPort(missing);
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    EXPECT_EQ(errors.Messages().size(), 2u);
    EXPECT_EQ(form->OPEN_PORT->text(), "OPEN");
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT=CLOSE");
}

TEST_F(ConnectionTest, ADialogThatCannotBeBuiltStopsTheToggleAndTheFormatText)
{
    FedPortList unreadable({}, 13);
    ErrorCapture errors;
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    ASSERT_EQ(errors.Messages().size(), 1u);
    EXPECT_NE(errors.Messages()[0].find("Combo1"), std::string::npos) << errors.Messages()[0];
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(form->StatusPanels[1]->text(), "PORT : xxxx") << "the toggle did not start";

    form->FormatRS2321->trigger();
    EXPECT_EQ(errors.Messages().size(), 2u);
    EXPECT_EQ(form->StatusPanels[1]->text(), "PORT : xxxx");
    EXPECT_EQ(form->StatusPanels[2]->text(), "PORT= None,8,9600,1");
    EXPECT_EQ(SetupDialogsAlive(), 0);
}

// ---- Format RS232... ----------------------------------------------------------

TEST_F(ConnectionTest, FormatRs232ShowsTheChosenLineFormat)
{
    FedPortList ports({pty.SlavePath()});
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo2"), "19200");
            ClickOk(dialog);
        },
        [&] { form->FormatRS2321->trigger(); });
    EXPECT_EQ(form->ComPort1->BaudRate(), br19200);
    EXPECT_EQ(form->StatusPanels[2]->text(), "PORT= None,8,19200,1");
    // The operator chose no port: the start name stays.
    EXPECT_EQ(form->StatusPanels[1]->text(), "PORT = COM1");

    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo3"), DataBitsText(dbSeven));
            ChooseItem(Part(dialog, "Combo4"), StopBitsText(sbTwoStopBits));
            ChooseItem(Part(dialog, "Combo5"), ParityText(prEven));
            ClickOk(dialog);
        },
        [&] { form->FormatRS2321->trigger(); });
    EXPECT_EQ(form->StatusPanels[2]->text(), "PORT= Even,7,19200,2");
}

TEST_F(ConnectionTest, FormatRs232CancelledStillRewritesThePanels)
{
    FedPortList ports({pty.SlavePath()});
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo2"), "300");
            ClickCancel(dialog);
        },
        [&] { form->FormatRS2321->trigger(); });
    EXPECT_EQ(form->ComPort1->BaudRate(), br9600);
    EXPECT_EQ(form->StatusPanels[1]->text(), "PORT = COM1");
    EXPECT_EQ(form->StatusPanels[2]->text(), "PORT= None,8,9600,1");
}

TEST_F(ConnectionTest, ALongPortNameIsShortenedInTheMiddleWithTheWholeNameAsToolTip)
{
    const QString name = QStringLiteral("/dev/serial/by-id/usb-Brevantis_RVD3318_EVB-if00-port0");
    form->ComPort1->SetPort(name);
    FedPortList ports({pty.SlavePath()});
    WithDialog([&](TComSetupFrm* dialog) { ClickCancel(dialog); }, [&] { form->FormatRS2321->trigger(); });
    TStatusPanel* panel = form->StatusPanels[1];
    EXPECT_EQ(panel->text(), "PORT = " + name);
    ASSERT_TRUE(panel->Elided());
    const QString shown = panel->ShownText();
    EXPECT_TRUE(shown.startsWith("PORT")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("port0")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_LE(panel->fontMetrics().horizontalAdvance(shown), panel->contentsRect().width());

    // A short name is shown whole.
    form->ComPort1->SetPort(QStringLiteral("COM3"));
    WithDialog([&](TComSetupFrm* dialog) { ClickCancel(dialog); }, [&] { form->FormatRS2321->trigger(); });
    EXPECT_FALSE(panel->Elided());
    EXPECT_EQ(panel->ShownText(), "PORT = COM3");
}

// ---- the clock ---------------------------------------------------------------------

TEST_F(ConnectionTest, ClockShowsShortDateAndLongTimeAndTheDateAloneAtMidnight)
{
    LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(form->StatusPanels[3]->text(), "") << "empty until the first tick";

    QDateTime now(QDate(2026, 3, 7), QTime(0, 0, 0, 400));
    form->Clock = [&] { return now; };
    ASSERT_TRUE(PumpUntil([&] { return !form->StatusPanels[3]->text().isEmpty(); }, 3s));
    EXPECT_EQ(form->StatusPanels[3]->text(), "07.03.26");

    now = QDateTime(QDate(2026, 3, 7), QTime(0, 0, 1));
    form->Timer1Timer(form->Timer1);
    EXPECT_EQ(form->StatusPanels[3]->text(), "07.03.26 00:00:01");
    now = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999));
    form->Timer1Timer(form->Timer1);
    EXPECT_EQ(form->StatusPanels[3]->text(), "31.12.26 23:59:59");

    LocaleScope american(QLocale(QLocale::English, QLocale::UnitedStates));
    now = QDateTime(QDate(2026, 12, 8), QTime(16, 5, 9));
    form->Timer1Timer(form->Timer1);
    const QString text = form->StatusPanels[3]->text();
    EXPECT_TRUE(text.startsWith("12/8/26 4:05:09")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("PM")) << text.toStdString();
    EXPECT_FALSE(form->StatusPanels[3]->Elided()) << text.toStdString();
}

TEST_F(ConnectionTest, AClockTickRepaintsTheClocksPanelAloneAndLeavesTheBarAsLaidOut)
{
    struct PaintCount : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override { paints += event->type() == QEvent::Paint; return false; }
    } counts[TZARIDOForm1::StatusPanelCount];
    QDateTime now(QDate(2026, 3, 7), QTime(9, 0, 0));
    form->Clock = [&] { return now; };
    form->Timer1Timer(form->Timer1); // fills the empty panel
    QCoreApplication::processEvents();
    std::vector<QRect> laidOut;
    for (std::size_t i = 0; i < TZARIDOForm1::StatusPanelCount; ++i) {
        form->StatusPanels[i]->installEventFilter(&counts[i]);
        laidOut.push_back(form->StatusPanels[i]->geometry());
    }
    for (int tick = 1; tick <= 3; ++tick) {
        now = now.addSecs(1);
        form->Timer1Timer(form->Timer1);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        for (std::size_t i = 0; i < TZARIDOForm1::StatusPanelCount; ++i) {
            EXPECT_EQ(counts[i].paints, i == TZARIDOForm1::ClockPanel ? tick : 0) << "panel " << i;
            EXPECT_EQ(form->StatusPanels[i]->geometry(), laidOut[i]) << "panel " << i;
        }
    }
}

// ---- the receive pane ------------------------------------------------------------

TEST_F(ConnectionTest, ReceivedTextGoesInAtTheCaretAndReplacesASelection)
{
    OpenPort();
    pty.Send("HELLO WORLD");
    ASSERT_TRUE(PaneBecomes("HELLO WORLD"));

    ClickInPane(5);
    pty.Send("XYZ");
    ASSERT_TRUE(PaneBecomes("HELLOXYZ WORLD"));
    pty.Send("12");
    ASSERT_TRUE(PaneBecomes("HELLOXYZ12 WORLD")) << "the caret follows what came in";

    // The operator selects " WORLD" with the keyboard.
    QTest::keyClick(form->PORTW, Qt::Key_End, Qt::ShiftModifier);
    ASSERT_EQ(form->PORTW->textCursor().selectedText(), " WORLD");
    pty.Send("!");
    ASSERT_TRUE(PaneBecomes("HELLOXYZ12!"));
}

TEST_F(ConnectionTest, WhatTheOperatorTypesStaysInThePaneAndIsNeverSent)
{
    OpenPort();
    form->PORTW->setFocus();
    QTest::keyClicks(form->PORTW, "note 1");
    EXPECT_EQ(form->PORTW->toPlainText(), "note 1");
    pty.Send("OK");
    ASSERT_TRUE(PaneBecomes("note 1OK"));
    EXPECT_EQ(pty.Receive(1, 100ms), "");
}

TEST_F(ConnectionTest, ClearWindowEmptiesThePaneAndLaterTextStartsAtTheTop)
{
    QTest::mouseClick(form->CLEARW, Qt::LeftButton);
    EXPECT_TRUE(form->PORTW->toPlainText().isEmpty());

    OpenPort();
    pty.Send("first line\r\nsecond line\r\n");
    ASSERT_TRUE(PumpUntil([&] { return form->PORTW->toPlainText().contains("second"); }));
    QTest::mouseClick(form->CLEARW, Qt::LeftButton);
    EXPECT_TRUE(form->PORTW->toPlainText().isEmpty());
    pty.Send("AB");
    ASSERT_TRUE(PaneBecomes("AB"));
    EXPECT_EQ(form->PORTW->textCursor().position(), 2);
}

TEST_F(ConnectionTest, EveryByteIsOneCharacterWhateverTheLineSendsAndHowItSplits)
{
    OpenPort();
    // Bytes above 0x7F are Latin-1 characters; a UTF-8 sequence split
    // over two batches still gives one character per byte.
    pty.Send("\xE4\xB5\xFF");
    ASSERT_TRUE(PaneBecomes(QString::fromUtf8("\u00E4\u00B5\u00FF")));
    pty.Send("\xC3");
    ASSERT_TRUE(PumpUntil([&] { return form->PORTW->toPlainText().size() == 4; }));
    pty.Send("\xA4");
    ASSERT_TRUE(PaneBecomes(QString::fromUtf8("\u00E4\u00B5\u00FF\u00C3\u00A4")));
}

TEST_F(ConnectionTest, ACrLfPairSplitBetweenBatchesIsOneLineEnd)
{
    OpenPort();
    pty.Send("OK RGB\r");
    ASSERT_TRUE(PaneBecomes("OK RGB\n"));
    pty.Send("\nOK LED-1\r\n\n");
    ASSERT_TRUE(PaneBecomes("OK RGB\nOK LED-1\n\n")) << "a second LF is a line end of its own";
}

TEST_F(ConnectionTest, AZeroByteIsLeftOutAndTheRestOfItsBatchIsShown)
{
    OpenPort();
    pty.Send(std::string("ab\0cd\0\0ef", 9));
    ASSERT_TRUE(PaneBecomes("abcdef"));
    pty.Send(std::string("\0", 1));
    pty.Send("gh");
    ASSERT_TRUE(PaneBecomes("abcdefgh"));
}

TEST_F(ConnectionTest, AFloodedPaneKeepsItsNewestText)
{
    form->ReceivePane->Limit = 1000;
    OpenPort();
    std::string sent;
    for (int line = 0; line < 300; ++line) {
        const std::string text = "line " + std::to_string(line) + "\n";
        sent += text;
        pty.Send(text);
    }
    const QString all = QString::fromLatin1(sent.data(), static_cast<qsizetype>(sent.size()));
    ASSERT_TRUE(PumpUntil([&] { return form->PORTW->toPlainText().endsWith("line 299\n"); }));
    const QString kept = form->PORTW->toPlainText();
    EXPECT_GE(kept.size(), 1000);
    EXPECT_LE(kept.size(), 1000 + 1000 / 16 + 16);
    EXPECT_TRUE(all.endsWith(kept)) << "nothing lost from the newest text";
}

TEST_F(ConnectionTest, AFloodFasterThanThePaneKeepsAnUnbrokenRunOfTheNewestText)
{
    form->ReceivePane->Limit = 1000;
    OpenPort();
    std::string sent;
    for (int line = 0; sent.size() < 300 * 1024; ++line)
        sent += "line " + std::to_string(line) + "\n";
    std::thread board([&] { pty.Send(sent); });
    const QString all = QString::fromLatin1(sent.data(), static_cast<qsizetype>(sent.size()));
    const QString last = all.mid(all.lastIndexOf('\n', -2) + 1);
    const bool arrived = PumpUntil([&] { return form->PORTW->toPlainText().endsWith(last); }, 20s);
    board.join();
    ASSERT_TRUE(arrived);
    PumpFor(50ms);
    const QString kept = form->PORTW->toPlainText();
    EXPECT_GE(kept.size(), 1000);
    EXPECT_LE(kept.size(), 1000 + 1000 / 16);
    EXPECT_TRUE(all.endsWith(kept)) << kept.left(200).toStdString();
}

TEST_F(ConnectionTest, ABacklogLargerThanOnePieceArrivesWholeAndInOrder)
{
    OpenPort();
    std::string sent;
    for (int line = 0; sent.size() < 200 * 1024; ++line)
        sent += "answer " + std::to_string(line) + "\r\n";
    // More than the line holds: the board writes while the window reads.
    std::thread board([&] { pty.Send(sent); });
    // Each CR LF is one line end in the pane.
    QString expected = QString::fromLatin1(sent.data(), static_cast<qsizetype>(sent.size()));
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const bool arrived = PumpUntil([&] { return form->PORTW->toPlainText().size() >= expected.size(); }, 20s);
    board.join();
    ASSERT_TRUE(arrived);
    EXPECT_TRUE(form->PORTW->toPlainText() == expected);
    EXPECT_EQ(form->PORTW->textCursor().position(), expected.size());
}

// ---- menus, exit, LED ----------------------------------------------------------------

TEST_F(ConnectionTest, MenusHaveNoAccessKeysOrShortcuts)
{
    QList<QAction*> items = form->menuBar()->actions();
    for (QMenu* menu : {form->File1, form->Edit1, form->Help1})
        items += menu->actions();
    for (QAction* item : items) {
        SCOPED_TRACE(item->text().toStdString());
        EXPECT_FALSE(item->text().contains('&'));
        EXPECT_TRUE(item->shortcut().isEmpty());
    }
    EXPECT_TRUE(form->FormatRS2321->isEnabled());
    EXPECT_TRUE(form->OpenRS2321->isEnabled());
}

TEST_F(ConnectionTest, FileExitClosesTheWindowAndItsOpenPort)
{
    OpenPort();
    form->Exit1->trigger();
    EXPECT_FALSE(form->isVisible());
    form.reset();
    TComPort again;
    again.SetPort(Path(pty));
    again.SetEvents(TComEvents{});
    EXPECT_NO_THROW(again.OpenPort());
}

TEST_F(ConnectionTest, TheLedSitsBesideTheButtonAndFollowsTheConnection)
{
    EXPECT_EQ(form->ComLed1->parentWidget(), form->GroupBox5);
    EXPECT_EQ(form->ComLed1->geometry(), QRect(80, 24, 25, 25));
    EXPECT_EQ(form->ComLed1->ComPort(), form->ComPort1);
    EXPECT_EQ(form->ComLed1->LedSignal(), lsConn);
    EXPECT_EQ(form->ComLed1->Kind(), lkRedLight);
    EXPECT_TRUE(form->ComLed1->isVisible());

    form->ComPort1->SetPort(Path(pty));
    form->OpenRS2321->trigger();
    EXPECT_EQ(form->ComLed1->State(), lsOn);
    const QImage lit = form->ComLed1->grab().toImage();
    form->OpenRS2321->trigger();
    EXPECT_EQ(form->ComLed1->State(), lsOff);
    const QImage dark = form->ComLed1->grab().toImage();
    const QColor litCentre = lit.pixelColor(12, 12), darkCentre = dark.pixelColor(12, 12);
    EXPECT_GT(litCentre.red(), darkCentre.red()) << "the lamp is brighter red while connected";
    EXPECT_LT(litCentre.green(), 100);
}

TEST_F(ConnectionTest, AClickQueuedBeforeAnOpenRunsOnlyAfterTheOpen)
{
    // The LED shows the open at once by repainting itself; a click that
    // waits in the queue meanwhile must not run inside the open.
    form->ComPort1->SetPort(Path(pty));
    std::vector<std::string> journal;
    form->ComPort1->OnAfterOpen = [&](QObject*) { journal.push_back("opened"); };
    QObject::connect(form->CLEARW, &QPushButton::pressed, [&] { journal.push_back("clear pressed"); });
    QueueClick(form->CLEARW);
    form->TogglePort();
    journal.push_back("toggle returned");
    EXPECT_EQ(form->ComLed1->State(), lsOn);
    PumpUntil([&] { return journal.size() >= 3; }, 1s);
    EXPECT_EQ(journal, (std::vector<std::string>{"opened", "toggle returned", "clear pressed"}));
}
