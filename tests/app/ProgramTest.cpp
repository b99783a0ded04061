// The built program as a process: a clean end with the port open, a
// screenshot run, the runtime error of a damaged catalogue, its arguments
// and a missing display.
#include "serial/posix/DeviceDiagnosis.h"
#include "tests/support/PtyPair.h"
#include "tests/tools/ChildProcess.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> Offscreen = {"QT_QPA_PLATFORM=offscreen"};

std::vector<std::string> With(std::vector<std::string> environment, const std::string& entry)
{
    environment.push_back(entry);
    return environment;
}

std::vector<std::string> With(std::vector<std::string> environment, const std::vector<std::string>& entries)
{
    environment.insert(environment.end(), entries.begin(), entries.end());
    return environment;
}

// The program's language, with the variables that would override LANG
// emptied (empty counts as unset).
std::vector<std::string> Language(const std::string& lang)
{
    return {"LANG=" + lang, "LC_ALL=", "LC_MESSAGES=", "LANGUAGE="};
}

// Whether `pid` holds the device's lock (has the port open). The lock is
// looked up, not tried: a probe that took it, however briefly, would be
// what the program's own opening met, and the program would find its port
// in use.
bool HoldsDevice(int pid, const std::string& path)
{
    return serialdev::DeviceLockOwner(path) == pid;
}

} // namespace

namespace {

// The panel with its port open on a pty gets `signal`: the window closes
// with its port, nothing is sent, and the program ends with status 0.
void ExpectSignalToCloseThePanelCleanly(int signal)
{
    PtyPair pty;
    ChildProcess panel(PANEL_PROGRAM, {}, With(Offscreen, "RVD3318_PANEL_OPEN=" + pty.SlavePath()));
    // Looked for until it is there; the bound only keeps a panel that never
    // opens from holding up the run (a loaded machine starts it slowly).
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    bool open = false;
    while (!open && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(25ms);
        open = HoldsDevice(panel.Pid(), pty.SlavePath());
    }
    ASSERT_TRUE(open) << "the panel did not open its port";
    panel.Signal(signal);
    EXPECT_EQ(panel.Wait(10s), 0);
    EXPECT_EQ(serialdev::DeviceLockOwner(pty.SlavePath()), 0) << "the device is still locked";
    EXPECT_EQ(pty.Receive(1, 200ms), "");
}

} // namespace

TEST(PanelProgramTest, ClosingTheWindowWithThePortOpenEndsWithZeroAndSendsNothing)
{
    // The operator closes the window (SIGTERM closes it the same way).
    ExpectSignalToCloseThePanelCleanly(SIGTERM);
}

// Ctrl-C in the terminal that started it, and that terminal going away.
class PanelTerminationSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(PanelTerminationSignalTest, ClosesTheWindowWithThePortOpenAndEndsWithZero)
{
    ExpectSignalToCloseThePanelCleanly(GetParam());
}

INSTANTIATE_TEST_SUITE_P(InterruptAndHangUp, PanelTerminationSignalTest, ::testing::Values(SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGINT ? "SIGINT" : "SIGHUP");
                         });

TEST(PanelProgramTest, ScreenshotRunSavesTheWindowAndEnds)
{
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const fs::path picture = fs::path(folder.path().toStdString()) / "panel.png";
    const ProgramResult result =
        RunProgram(PANEL_PROGRAM, {}, With(Offscreen, "RVD3318_PANEL_SCREENSHOT=" + picture.string()));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("screenshot saved to " + picture.string()), std::string::npos);
    const QImage image(QString::fromStdString(picture.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 696);
    EXPECT_GT(image.height(), 294);
}

TEST(PanelProgramTest, WithoutCataloguesTheWindowIsShown)
{
    // No catalogue for the language either: the texts stay as written.
    const ProgramResult result =
        RunProgram(PANEL_PROGRAM, {}, With(With(Offscreen, "RVD3318_PANEL_EXIT_WHEN_SHOWN=1"), Language("C")));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(("\n" + result.output).find("\nshown "), std::string::npos) << result.output;
}

TEST(PanelProgramTest, DamagedDefaultCatalogueEndsWithRuntimeError217AndNoWindow)
{
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const fs::path root = folder.path().toStdString();
    const fs::path program = root / "rvd3318-panel";
    fs::copy_file(PANEL_PROGRAM, program);
    fs::create_directories(root / "locale/de/LC_MESSAGES");
    std::ofstream(root / "locale/de/LC_MESSAGES/default.mo") << "this is not a catalogue at all";

    ChildProcess panel(program.string(), {},
                       With(With(Offscreen, "RVD3318_PANEL_EXIT_WHEN_SHOWN=1"), Language("de_DE.UTF-8")));
    const auto line = panel.WaitForLine("Runtime error 217 at ", 10s);
    ASSERT_TRUE(line.has_value()) << ::testing::PrintToString(panel.Seen());
    EXPECT_EQ(line->size(), std::string("Runtime error 217 at XXXXXXXX").size());
    // The box waits for OK; the operator (here a signal) closes it.
    panel.Signal(SIGTERM);
    EXPECT_EQ(panel.Wait(10s), 217);
    bool causeTold = false;
    bool shown = false;
    for (const std::string& seen : panel.Seen()) {
        causeTold |= seen.find("This file is not a valid GNU gettext mo file: ") != std::string::npos &&
                     seen.find("default.mo") != std::string::npos;
        shown |= seen.rfind("shown", 0) == 0;
    }
    EXPECT_TRUE(causeTold);
    EXPECT_FALSE(shown);
}

namespace {

// The setup dialog (Edit > Format RS232...), then an open of a port that
// does not exist; every dialog's texts as the program reports them.
ProgramResult SetupAndMissingPort(const std::string& lang)
{
    std::vector<std::string> environment = With(With(Offscreen, Language(lang)), "RVD3318_PANEL_SETUP=1");
    environment.push_back("RVD3318_PANEL_REPORT_DIALOGS=1");
    environment.push_back("RVD3318_PANEL_OPEN=/tmp/rvd3318-no-such-port");
    return RunProgram(PANEL_PROGRAM, {}, environment);
}

bool Shows(const std::string& output, const std::string& line)
{
    return ("\n" + output).find("\n" + line + "\n") != std::string::npos;
}

} // namespace

TEST(PanelProgramTest, InGermanTheSetupDialogAndThePortsErrorAreGerman)
{
    const ProgramResult result = SetupAndMissingPort("de_DE.UTF-8");
    EXPECT_EQ(result.status, 0) << result.output;
    // The dialog's captions come from the "cport" domain.
    EXPECT_TRUE(Shows(result.output, "dialog Einrichtung")) << result.output;
    EXPECT_TRUE(Shows(result.output, "text  Einstellungen ")) << result.output;
    EXPECT_TRUE(Shows(result.output, "text Anschluss")) << result.output;
    EXPECT_TRUE(Shows(result.output, "text Abbrechen")) << result.output;
    // The port's error message from the "default" domain, in the standard
    // error display.
    EXPECT_NE(result.output.find("text Die serielle Schnittstelle kann nicht geöffnet werden"), std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("Unable to open com port"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("\nDas Gerät ist nicht vorhanden: Ist es angeschlossen?\n"), std::string::npos)
        << result.output;
}

TEST(PanelProgramTest, WithoutAGermanLanguageTheSameTextsStayAsWritten)
{
    const ProgramResult result = SetupAndMissingPort("C");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(Shows(result.output, "dialog Setup")) << result.output;
    EXPECT_TRUE(Shows(result.output, "text Cancel")) << result.output;
    EXPECT_NE(result.output.find("text Unable to open com port"), std::string::npos) << result.output;
    EXPECT_TRUE(Shows(result.output, "text /tmp/rvd3318-no-such-port: No such file or directory\n"
                                     "The device is not there: is it plugged in?"))
        << result.output;
}

TEST(PanelProgramTest, HelpVersionAndBadArgumentsEndBeforeAnyWindow)
{
    // No display at all: these answers must not need one.
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};

    const ProgramResult help = RunProgram(PANEL_PROGRAM, {"--help"}, noDisplay);
    EXPECT_EQ(help.status, 0) << help.output;
    EXPECT_EQ(help.output.rfind("Usage: rvd3318-panel", 0), 0u) << help.output;
    for (const char* variable : {"RVD3318_PANEL_OPEN=", "RVD3318_PANEL_SETUP=", "RVD3318_PANEL_REPORT_DIALOGS=",
                                 "RVD3318_PANEL_SCREENSHOT=", "RVD3318_PANEL_EXIT_WHEN_SHOWN=", "CPORT_EXTRA_PORTS="})
        EXPECT_NE(help.output.find(variable), std::string::npos) << variable;

    const ProgramResult version = RunProgram(PANEL_PROGRAM, {"--version"}, noDisplay);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "rvd3318-panel " RVD3318_PANEL_VERSION "\n");

    for (const std::vector<std::string>& args : {std::vector<std::string>{"--port"},
                                                 std::vector<std::string>{"/dev/ttyUSB0"},
                                                 std::vector<std::string>{"-platform", "offscreen"}}) {
        const ProgramResult bad = RunProgram(PANEL_PROGRAM, args, Offscreen);
        EXPECT_EQ(bad.status, 2) << args[0];
        EXPECT_EQ(bad.output, "rvd3318-panel: unknown argument '" + args[0] +
                                  "'\nTry 'rvd3318-panel --help'.\n");
    }
}

TEST(PanelProgramTest, WithoutADisplayItSaysSoInOneLineAndEndsWithOne)
{
    const ProgramResult result =
        RunProgram(PANEL_PROGRAM, {}, {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(result.output, "rvd3318-panel: no display to show the window on (neither DISPLAY nor "
                             "WAYLAND_DISPLAY is set)\n");
}
