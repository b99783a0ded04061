// The setup dialog as the operator meets it: shown modally by
// EditPortSettings (or the port's ShowSetupDialog), driven with clicks and
// keys, against ports on real pseudo-terminals.
#include "framework/FormReadError.h"
#include "serial/CPort.h"
#include "serial/SetupDialogHook.h"
#include "serial_ui/CPortCtl.h"
#include "serial_ui/CPortSetup.h"
#include "tests/serial/CatchComError.h"
#include "tests/serial_ui/DialogDriver.h"
#include "tests/serial_ui/UiTestHelpers.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Pump.h"
#include "tests/support/ScopedEnvironment.h"

#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace {

using Journal = std::vector<std::string>;

// A port that records what reaches its device and its open/close steps.
class CountingPort : public TComPort {
public:
    CountingPort()
    {
        OnBeforeOpen = [this](QObject*) { journal.push_back("BeforeOpen"); };
        OnAfterOpen = [this](QObject*) { journal.push_back("AfterOpen"); };
        OnBeforeClose = [this](QObject*) { journal.push_back("BeforeClose"); };
        OnAfterClose = [this](QObject*) { journal.push_back("AfterClose"); };
    }
    ~CountingPort() override { GuardedCall([this] { ClosePort(); }); }

    void ApplyLineSettings() override
    {
        if (CanApply())
            journal.push_back("line");
        TComPort::ApplyLineSettings();
    }
    void ApplyTimeoutSettings() override
    {
        if (CanApply())
            journal.push_back("timeouts");
        TComPort::ApplyTimeoutSettings();
    }
    void ApplyQueueSizes() override
    {
        if (CanApply())
            journal.push_back("queues");
        TComPort::ApplyQueueSizes();
    }
    bool InBatch() const { return updateCount_ > 0; }

    Journal Take()
    {
        Journal taken;
        taken.swap(journal);
        return taken;
    }
    Journal journal;
};

// What a dialog may change, to compare before and after.
struct PortSettings {
    QString port;
    TBaudRate baud;
    TDataBits data;
    TStopBits stop;
    TParityBits parity;
    TFlowControl flow;
    bool connected;
    bool operator==(const PortSettings&) const = default;
};

PortSettings SettingsOf(const TCustomComPort& port)
{
    return {port.Port(),           port.BaudRate(),
            port.DataBits(),       port.StopBits(),
            port.Parity()->Bits(), port.FlowControl()->FlowControl(),
            port.Connected()};
}

QString Path(const PtyPair& pty)
{
    return QString::fromStdString(pty.SlavePath());
}

// Two pseudo-terminals listed as the system's ports, and a port open on
// the first.
class SetupDialogTest : public ::testing::Test {
protected:
    SetupDialogTest() : ports({pty.SlavePath(), other.SlavePath()}) {}

    void OpenOnFirst()
    {
        port.SetPort(Path(pty));
        port.OpenPort();
        ASSERT_TRUE(port.Connected());
        port.Take();
    }

    // Changes every selector to something else than it shows.
    static void ChangeEverySelector(TComSetupFrm* dialog, const QString& otherPort)
    {
        ChooseItem(Part(dialog, "Combo1"), otherPort);
        ChooseItem(Part(dialog, "Combo2"), "19200");
        ChooseItem(Part(dialog, "Combo3"), DataBitsText(dbSeven));
        ChooseItem(Part(dialog, "Combo4"), StopBitsText(sbTwoStopBits));
        ChooseItem(Part(dialog, "Combo5"), ParityText(prOdd));
        ChooseItem(Part(dialog, "Combo6"), FlowControlText(fcSoftware));
    }

    PtyPair pty;
    PtyPair other;
    FedPortList ports;
    CountingPort port;
};

TEST_F(SetupDialogTest, ShowsTheLayoutWithThePortsPresentValues)
{
    port.SetPort(Path(other));
    port.SetBaudRate(br38400);
    port.Parity()->SetBits(prEven);
    port.FlowControl()->SetFlowControl(fcHardware);
    WithDialog(
        [&](TComSetupFrm* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Setup");
            EXPECT_TRUE(dialog->isModal());
            EXPECT_EQ(dialog->size(), QSize(231, 216));
            EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "fixed size";
            const QPoint offCentre =
                dialog->frameGeometry().center() - dialog->screen()->availableGeometry().center();
            EXPECT_LE(offCentre.manhattanLength(), 2) << "centred on the screen";
            EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
            EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
            EXPECT_EQ(Part<QGroupBox>(dialog, "GroupBox1")->title(), " Settings ");
            EXPECT_EQ(Part<QPushButton>(dialog, "Button1")->text(), "OK");
            EXPECT_TRUE(Part<QPushButton>(dialog, "Button1")->isDefault());
            EXPECT_EQ(Part<QPushButton>(dialog, "Button2")->text(), "Cancel");
            EXPECT_FALSE(Part<QPushButton>(dialog, "Button2")->isDefault());

            // Each label on the row of its selector, which edits its property.
            const struct {
                const char* label;
                const char* text;
                const char* combo;
                TComProperty property;
                QString shown;
            } rows[] = {
                {"Label1", "Port", "Combo1", cpPort, Path(other)},
                {"Label2", "Baud rate", "Combo2", cpBaudRate, "38400"},
                {"Label3", "Data bits", "Combo3", cpDataBits, DataBitsText(dbEight)},
                {"Label4", "Stop bits", "Combo4", cpStopBits, StopBitsText(sbOneStopBit)},
                {"Label5", "Parity", "Combo5", cpParity, ParityText(prEven)},
                {"Label6", "Flow control", "Combo6", cpFlowControl, FlowControlText(fcHardware)},
            };
            for (const auto& row : rows) {
                QLabel* label = Part<QLabel>(dialog, row.label);
                TComComboBox* combo = Part(dialog, row.combo);
                EXPECT_EQ(label->text(), row.text);
                EXPECT_EQ(combo->ComProperty(), row.property) << row.combo;
                EXPECT_EQ(combo->Text(), row.shown) << row.combo;
                EXPECT_EQ(combo->ComPort(), &port) << row.combo;
                EXPECT_FALSE(combo->AutoApply()) << row.combo;
                EXPECT_FALSE(combo->isEditable()) << row.combo;
                const QRect l = label->geometry(), c = combo->geometry();
                EXPECT_TRUE(l.top() < c.bottom() && c.top() < l.bottom()) << row.label << " beside " << row.combo;
                EXPECT_LE(l.right(), c.left()) << row.label;
                // The caption fits its label.
                EXPECT_GE(l.width(), label->sizeHint().width()) << row.label;
                EXPECT_GE(l.height(), label->fontMetrics().height()) << row.label;
            }
            // Tab order: the six selectors, then OK and Cancel.
            const char* order[] = {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo6", "Button1", "Button2"};
            QWidget* w = Part(dialog, "Combo1");
            for (const char* name : order) {
                EXPECT_EQ(w->objectName(), name);
                w = w->nextInFocusChain();
                while (w->focusPolicy() == Qt::NoFocus || !w->isVisible())
                    w = w->nextInFocusChain();
            }
            ClickCancel(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(SetupDialogsAlive(), 0) << "the dialog is released";
}

TEST_F(SetupDialogTest, CancelAfterChangingEverySelectorChangesNothing)
{
    OpenOnFirst();
    const PortSettings before = SettingsOf(port);
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChangeEverySelector(dialog, Path(other));
            EXPECT_EQ(SettingsOf(port), before) << "nothing reaches the port while the dialog is shown";
            EXPECT_TRUE(port.journal.empty());
            ClickCancel(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(SettingsOf(port), before);
    EXPECT_EQ(port.Take(), Journal{});
    EXPECT_FALSE(port.InBatch());
}

TEST_F(SetupDialogTest, ThePortsEventsGoOnWhileTheDialogIsShown)
{
    OpenOnFirst();
    std::string received;
    port.OnRxChar = [&](QObject*, std::int32_t count) {
        std::string bytes;
        port.ReadText(bytes, count);
        received += bytes;
    };
    WithDialog(
        [&](TComSetupFrm* dialog) {
            pty.Send("board");
            EXPECT_TRUE(PumpUntil([&] { return received == "board"; })) << received;
            EXPECT_TRUE(dialog->isVisible());
            ClickCancel(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(received, "board");
    port.OnRxChar = nullptr;
}

TEST_F(SetupDialogTest, ClosingByTheTitleBarIsCancel)
{
    const PortSettings before = SettingsOf(port);
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChangeEverySelector(dialog, Path(other));
            CloseByTitleBar(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(SettingsOf(port), before);
    EXPECT_EQ(SetupDialogsAlive(), 0);
}

TEST_F(SetupDialogTest, OkUntouchedReappliesAnOpenPortsSettingsExactlyOnce)
{
    port.SetBaudRate(br57600);
    port.Parity()->SetBits(prOdd);
    OpenOnFirst();
    const PortSettings before = SettingsOf(port);
    WithDialog(ClickOk, [&] { EditPortSettings(&port); });
    EXPECT_EQ(SettingsOf(port), before);
    EXPECT_EQ(port.Take(), (Journal{"queues", "line", "timeouts"}));
    EXPECT_FALSE(port.InBatch());

    // Still the same device: a byte written now reaches the first pty.
    port.WriteText("k");
    EXPECT_EQ(pty.Receive(1), "k");
}

TEST_F(SetupDialogTest, OkWithNewBaudRateAndParityGivesOneLineSettingsChange)
{
    OpenOnFirst();
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo2"), "115200");
            ChooseItem(Part(dialog, "Combo5"), ParityText(prSpace));
            ClickOk(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(port.BaudRate(), br115200);
    EXPECT_EQ(port.Parity()->Bits(), prSpace);
    const Journal journal = port.Take();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "line"), 1) << ::testing::PrintToString(journal);
    EXPECT_EQ(journal, (Journal{"queues", "line", "timeouts"}));
    EXPECT_TRUE(port.Connected());
    // The device has the new rate (a pty keeps the speed it is given).
    EXPECT_EQ(pty.OutputSpeed(), 115200u);
}

TEST_F(SetupDialogTest, OkWithAnotherDeviceReopensTheOpenPortOnItWithinTheCall)
{
    OpenOnFirst();
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo1"), Path(other));
            ChooseItem(Part(dialog, "Combo2"), "4800");
            ClickOk(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.Port(), Path(other));
    EXPECT_EQ(port.BaudRate(), br4800);
    // Closed and opened under the new name inside the batch, whose
    // settings reach the new device once, at its end.
    EXPECT_EQ(port.Take(), (Journal{"BeforeClose", "AfterClose", "BeforeOpen", "AfterOpen", "queues", "line",
                                    "timeouts"}));
    port.WriteText("n");
    EXPECT_EQ(other.Receive(1), "n");
    EXPECT_EQ(pty.Drain(), "");
}

TEST_F(SetupDialogTest, EnterConfirmsAndEscapeDoesNotClose)
{
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo4"), StopBitsText(sbTwoStopBits));
            ASSERT_EQ(QApplication::focusWidget(), Part(dialog, "Combo4"));
            PressKey(dialog, Qt::Key_Escape);
            QCoreApplication::processEvents();
            EXPECT_TRUE(dialog->isVisible()) << "Escape closed the dialog";
            EXPECT_EQ(port.StopBits(), sbOneStopBit);
            PressKey(dialog, Qt::Key_Return);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(port.StopBits(), sbTwoStopBits);

    // Enter on the numeric keypad does the same.
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo3"), DataBitsText(dbSix));
            PressKey(dialog, Qt::Key_Enter);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(port.DataBits(), dbSix);
}

TEST_F(SetupDialogTest, TheFocusStartsOnThePortAndTypingAPortsFirstLettersPicksIt)
{
    FedPortList listed({"ttyS0", "ttyUSB0", "ttyACM0", "ttyUSB1"});
    port.SetPort("COM1");
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ASSERT_EQ(QApplication::focusWidget(), Part(dialog, "Combo1"));
            QTest::keyClicks(QApplication::focusWidget(), "ttyU");
            EXPECT_EQ(Part(dialog, "Combo1")->Text(), "ttyUSB0");
            // Tab goes on down the selectors, then to OK and Cancel.
            QStringList walk;
            for (int i = 0; i < 7; ++i) {
                PressKey(dialog, Qt::Key_Tab);
                walk << QApplication::focusWidget()->objectName();
            }
            EXPECT_EQ(walk, QStringList({"Combo2", "Combo3", "Combo4", "Combo5", "Combo6", "Button1", "Button2"}));
            PressKey(dialog, Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), Part(dialog, "Combo1"));
            PressKey(dialog, Qt::Key_Return);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(port.Port(), "ttyUSB0");
}

TEST_F(SetupDialogTest, ANameThatIsNotListedSurvivesOk)
{
    // The start name COM1 is /dev/ttyS0, which the list leaves out unless
    // it is a real UART.
    ASSERT_EQ(port.Port(), "COM1");
    WithDialog(
        [&](TComSetupFrm* dialog) {
            EXPECT_EQ(Part(dialog, "Combo1")->currentIndex(), -1);
            EXPECT_EQ(Part(dialog, "Combo1")->Text(), "");
            ChooseItem(Part(dialog, "Combo2"), "1200");
            ClickOk(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(port.Port(), "COM1") << "OK without a chosen port keeps the name";
    EXPECT_EQ(port.BaudRate(), br1200);

    // A chosen port is written.
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo1"), Path(pty));
            ClickOk(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(port.Port(), Path(pty));
}

TEST_F(SetupDialogTest, AnEmptyPortListOpensTheDialogAndKeepsTheName)
{
    FedPortList none({});
    port.SetPort(Path(pty));
    WithDialog(
        [&](TComSetupFrm* dialog) {
            EXPECT_EQ(Part(dialog, "Combo1")->count(), 0);
            ClickOk(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(port.Port(), Path(pty));
}

TEST_F(SetupDialogTest, OkTakesTheRegisteredLetterCaseOfTheName)
{
    FedPortList registered({"COM2", "COM3"});
    port.SetPort("com3");
    WithDialog(
        [&](TComSetupFrm* dialog) {
            EXPECT_EQ(Part(dialog, "Combo1")->Text(), "COM3");
            ClickOk(dialog);
        },
        [&] { EditPortSettings(&port); });
    EXPECT_EQ(port.Port(), "COM3");
}

TEST_F(SetupDialogTest, AnUnreadablePortListIsAFormReadingErrorAndNoDialogIsShown)
{
    OpenOnFirst();
    const PortSettings before = SettingsOf(port);
    FedPortList broken({"COM1"}, EACCES);
    const EReadError error = CatchError([&] { EditPortSettings(&port); }, EReadError(""));
    EXPECT_EQ(std::string(error.what()), "Error reading Combo1.ComProperty: Registry error (win error code: " +
                                             std::to_string(EACCES) + ")");
    EXPECT_EQ(SetupDialogsAlive(), 0) << "the half-built dialog is released";
    EXPECT_EQ(SettingsOf(port), before);
    EXPECT_EQ(port.Take(), Journal{});
}

TEST_F(SetupDialogTest, AFailedWriteEndsTheBatchAndLeavesTheLaterSelectorsUnwritten)
{
    FedPortList listed({pty.SlavePath(), "/dev/no-such-port-here"});
    OpenOnFirst();
    EComPort raised(0);
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo1"), "/dev/no-such-port-here");
            ChooseItem(Part(dialog, "Combo2"), "300");
            ClickOk(dialog);
        },
        [&] { raised = CatchComError([&] { EditPortSettings(&port); }); });
    EXPECT_EQ(raised.Code(), CError_OpenFailed);
    EXPECT_EQ(raised.OsCode(), ENOENT);
    EXPECT_FALSE(port.Connected()) << "a port that failed to reopen stays closed";
    EXPECT_EQ(port.Port(), "/dev/no-such-port-here");
    EXPECT_EQ(port.BaudRate(), br9600) << "selectors after the failing one are not written";
    EXPECT_FALSE(port.InBatch()) << "the settings batch was ended";
    EXPECT_EQ(SetupDialogsAlive(), 0);

    // The port is usable again as soon as it has a good name.
    port.SetPort(Path(pty));
    port.OpenPort();
    EXPECT_TRUE(port.Connected());
}

TEST_F(SetupDialogTest, ShowSetupDialogRunsTheInstalledDialog)
{
    const TSetupDialogHook previous = SetSetupDialogHook({});
    EXPECT_THROW(port.ShowSetupDialog(), Exception) << "no dialog installed";

    InstallSetupDialogHook();
    WithDialog(
        [&](TComSetupFrm* dialog) {
            EXPECT_EQ(Part(dialog, "Combo1")->ComPort(), &port);
            ChooseItem(Part(dialog, "Combo2"), "600");
            ClickOk(dialog);
        },
        [&] { port.ShowSetupDialog(); });
    EXPECT_EQ(port.BaudRate(), br600);
    SetSetupDialogHook(previous);
}

TEST_F(SetupDialogTest, APortDestroyedWhileTheDialogIsShownIsNotWritten)
{
    auto doomed = std::make_unique<TComPort>();
    WithDialog(
        [&](TComSetupFrm* dialog) {
            ChooseItem(Part(dialog, "Combo2"), "110");
            doomed.reset();
            EXPECT_EQ(Part(dialog, "Combo2")->ComPort(), nullptr);
            ClickOk(dialog);
        },
        [&] { EditPortSettings(doomed.get()); });
    EXPECT_EQ(SetupDialogsAlive(), 0);
}

TEST(SetupDialogSystemListTest, ListsThePathsOfCportExtraPortsForTheOperatorToPick)
{
    PtyPair board;
    ScopedEnvironment extra("CPORT_EXTRA_PORTS", board.SlavePath());
    const TPortNameSource source = SetPortNameSource({});

    CountingPort port;
    WithDialog(
        [&](TComSetupFrm* dialog) {
            TComComboBox* combo = Part(dialog, "Combo1");
            EXPECT_GE(combo->findText(Path(board)), 0);
            ChooseItem(combo, Path(board));
            ClickOk(dialog);
        },
        [&] { EditPortSettings(&port); });
    SetPortNameSource(source);

    EXPECT_EQ(port.Port(), Path(board));
    port.OpenPort();
    ASSERT_TRUE(port.Connected());
    port.WriteText("20");
    EXPECT_EQ(board.Receive(2), "20");
}

} // namespace

TEST_F(SetupDialogTest, EveryCaptionFitsInThePanelsFontToo)
{
    // The panel program makes its window's font the application's; the
    // dialog then shows in it, and its captions must fit there as well.
    const QFont previous = QApplication::font();
    QFont panelFont(QStringLiteral("Liberation Sans"));
    panelFont.setPixelSize(11);
    QApplication::setFont(panelFont);
    WithDialog(
        [&](TComSetupFrm* dialog) {
            EXPECT_EQ(QFontInfo(dialog->font()).family(), "Liberation Sans");
            for (QLabel* label : dialog->findChildren<QLabel*>()) {
                EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
                EXPECT_GE(label->height(), label->fontMetrics().height()) << label->objectName().toStdString();
            }
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()) + 8)
                    << button->objectName().toStdString();
            auto* group = Part<QGroupBox>(dialog, "GroupBox1");
            EXPECT_LE(group->fontMetrics().horizontalAdvance(group->title()) + 16, group->width());
            ClickCancel(dialog);
        },
        [&] { EditPortSettings(&port); });
    QApplication::setFont(previous);
}
