// The main window against the virtual board, run as a program of its own:
// the operator opens the board's terminal through the setup dialog, moves
// controls with keys and clicks, and the board's decoded state and its
// answers in the receive pane show that everything arrived.
#include "serial_ui/CPortSetup.h"
#include "tests/panel/WindowFixture.h"
#include "tests/serial_ui/DialogDriver.h"
#include "tests/serial_ui/UiTestHelpers.h"
#include "tests/support/Pump.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/tools/BoardState.h"
#include "tests/tools/ChildProcess.h"

#include "serial/SetupDialogHook.h"

#include <QTemporaryDir>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

// rvd3318-board on a pseudo-terminal with a fixed name in a fresh folder.
class BoardProgram {
public:
    explicit BoardProgram(const std::string& link)
        : process_(BOARD_PROGRAM, {"--link", link, "--idle-ms", "200"})
    {
        linked_ = process_.WaitForLine("linked as ").has_value();
    }

    bool Linked() const { return linked_; }

    // The board's state lines.
    std::vector<std::string> State() { return BoardState(process_); }

    ChildProcess& Process() { return process_; }

private:
    ChildProcess process_;
    bool linked_ = false;
};

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace

TEST(PanelAndBoardTest, TheOperatorOpensTheBoardsTerminalAndDrivesIt)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string link = folder.filePath(QStringLiteral("board.tty")).toStdString();
    BoardProgram board(link);
    ASSERT_TRUE(board.Linked()) << Joined(board.Process().Seen());
    ScopedEnvironment listed("CPORT_EXTRA_PORTS", link);
    const TSetupDialogHook previousHook = SetSetupDialogHook([](TCustomComPort& port) { EditPortSettings(&port); });

    {
        TZARIDOForm1 form;
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

        // OPEN PORT: the dialog lists the board's terminal; the operator
        // picks it from the drop-down with the keyboard and confirms with
        // Enter.
        WithDialog(
            [&](TComSetupFrm* dialog) {
                TComComboBox* names = Part(dialog, "Combo1");
                EXPECT_GE(names->findText(QString::fromStdString(link)), 0) << "the board is listed";
                ChooseItem(names, QString::fromStdString(link));
                PressKey(dialog, Qt::Key_Return);
            },
            [&] { QTest::mouseClick(form.OPEN_PORT, Qt::LeftButton); });
        ASSERT_TRUE(form.ComPort1->Connected());
        EXPECT_EQ(form.StatusPanels[1]->text(), QString::fromStdString("PORT = " + link));
        EXPECT_EQ(form.ComLed1->State(), lsOn);

        // The mode by a click, sliders by keys.
        QTest::mouseClick(form.SEL_RGB, Qt::LeftButton);
        form.REDTrack->setFocus();
        QTest::keyClick(form.REDTrack, Qt::Key_End);
        form.IPEAKTrack->setFocus();
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(form.IPEAKTrack, Qt::Key_Right);
        form.GD_WIDTH_Track->setFocus();
        QTest::keyClick(form.GD_WIDTH_Track, Qt::Key_PageUp);
        EXPECT_EQ(form.GD_WIDTH_Track->value(), 2);

        // The board's answers reach the pane.
        EXPECT_TRUE(PumpUntil([&] {
            const QString pane = form.PORTW->toPlainText();
            return pane.contains("OK RGB") && pane.contains("OK LED-1 99.99%") &&
                   pane.contains("OK STR DIM 16ms");
        }, 5s)) << form.PORTW->toPlainText().toStdString();

        const std::vector<std::string> state = board.State();
        EXPECT_TRUE(HasLine(state, "state mode RGB")) << Joined(state);
        EXPECT_TRUE(HasLine(state, "state LED-1 31 99.99%")) << Joined(state);
        EXPECT_TRUE(HasLine(state, "state STR DIM 2 16ms")) << Joined(state);
        const auto ipeak = std::find_if(state.begin(), state.end(),
                                        [](const std::string& line) { return line.rfind("state I-PEAK ", 0) == 0; });
        ASSERT_NE(ipeak, state.end());
        EXPECT_EQ(ipeak->substr(0, 15), "state I-PEAK 3 ") << *ipeak;
        EXPECT_NE(state.back().find(" 0 half commands, 0 stray bytes"), std::string::npos) << state.back();

        // EXIT closes the window; the board sees the line closed.
        QTest::mouseClick(form.EXITBUT, Qt::LeftButton);
        EXPECT_FALSE(form.isVisible());
    }
    EXPECT_TRUE(board.Process().WaitForLine("line closed by the other side").has_value())
        << Joined(board.Process().Seen());
    SetSetupDialogHook(previousHook);
    board.Process().Write("quit\n");
    EXPECT_EQ(board.Process().Wait(), 0);
}
