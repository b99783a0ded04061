// The application shell in-process: the title rule, the full-stop rule,
// the runtime error text, the order of start-up and shutdown steps, and
// the standard error display as the operator sees it.
#include "app/ErrorBox.h"
#include "app/Startup.h"
#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "tests/support/AnswerBoxes.h"
#include "tests/support/Capture.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;

void StartA() { calls.push_back("start A"); }
void StopA() { calls.push_back("stop A"); }
void StartB() { calls.push_back("start B"); }
void StopB() { calls.push_back("stop B"); }
void StartFailing()
{
    calls.push_back("start F");
    throw Exception("This file is not a valid GNU gettext mo file: /x/default.mo");
}
void StopFailing() { calls.push_back("stop F"); }
void StartC() { calls.push_back("start C"); }
void StartReporting()
{
    calls.push_back("start R");
    ShowErrorMessage("Cannot open file /x/default.mo");
}

} // namespace

TEST(ApplicationTitleTest, FileNameCutBeforeItsFirstDotRestLowerCase)
{
    EXPECT_EQ(ApplicationTitle("/opt/bin/PANEL.EXE"), "Panel");
    EXPECT_EQ(ApplicationTitle("/usr/bin/rvd3318-panel"), "rvd3318-panel");
    EXPECT_EQ(ApplicationTitle("/home/x.y/bin/My.Tool.bin"), "My");
    EXPECT_EQ(ApplicationTitle("RVD3318-PANEL"), "Rvd3318-panel");
    EXPECT_EQ(ApplicationTitle("/a/.hidden"), "");
}

TEST(StandardErrorDisplayTest, FullStopOnlyAfterCharactersThatSortAfterTheDot)
{
    EXPECT_EQ(MessageWithFullStop(""), "");
    EXPECT_EQ(MessageWithFullStop("Access denied"), "Access denied.");
    EXPECT_EQ(MessageWithFullStop("Port 7"), "Port 7.");
    EXPECT_EQ(MessageWithFullStop("Unable to open com port (win error code: 2)"),
              "Unable to open com port (win error code: 2)");
    EXPECT_EQ(MessageWithFullStop("Done."), "Done.");
    EXPECT_EQ(MessageWithFullStop("a-"), "a-");
    EXPECT_EQ(MessageWithFullStop("path/"), "path/.");
    EXPECT_EQ(MessageWithFullStop("Gr\xc3\xbc\xc3\x9f"), "Gr\xc3\xbc\xc3\x9f.");
}

TEST(StartupFailureTest, RuntimeErrorTextHasTheClassicForm)
{
    EXPECT_EQ(RuntimeErrorText(0x1A2B), "Runtime error 217 at 00001A2B");
    EXPECT_EQ(RuntimeErrorText(0xDEADBEEF), "Runtime error 217 at DEADBEEF");
}

TEST(ModuleStepsTest, ShutdownStepsRunInReverseOrder)
{
    calls.clear();
    {
        TModuleSteps modules({{"A", StartA, StopA}, {"none", nullptr, nullptr}, {"B", StartB, StopB}});
        TStartupFailure failure;
        ASSERT_TRUE(modules.Start(failure));
        EXPECT_EQ(calls, (std::vector<std::string>{"start A", "start B"}));
        modules.Stop();
        modules.Stop();
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"start A", "start B", "stop B", "stop A"}));
}

TEST(ModuleStepsTest, FailingStepStopsStartUpAndShutsDownWhatStartedIncludingItself)
{
    calls.clear();
    TModuleSteps modules({{"A", StartA, StopA}, {"catalogues", StartFailing, StopFailing}, {"C", StartC, nullptr}});
    TStartupFailure failure;
    EXPECT_FALSE(modules.Start(failure));
    EXPECT_EQ(calls, (std::vector<std::string>{"start A", "start F", "stop F", "stop A"}));
    EXPECT_EQ(failure.Module, "catalogues");
    EXPECT_EQ(failure.Message, "This file is not a valid GNU gettext mo file: /x/default.mo");
    EXPECT_EQ(failure.Place, StepPlace(StartFailing));
    EXPECT_NE(StepPlace(StartFailing), StepPlace(StartA));
}

TEST(StandardErrorDisplayTest, ModalBoxWithStopIconOneOkAndTheApplicationsTitle)
{
    const QString savedName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName("Panel");
    const std::vector<AnsweredBox> boxes = AnswerBoxes([] { ShowErrorBox("Unable to open com port"); });
    QCoreApplication::setApplicationName(savedName);
    ASSERT_EQ(boxes.size(), 1u);
    const AnsweredBox& shown = boxes[0];
    EXPECT_EQ(shown.title, "Panel");
    EXPECT_EQ(shown.text, "Unable to open com port.");
    EXPECT_EQ(shown.icon, QMessageBox::Critical);
    EXPECT_EQ(shown.buttons, 1);
    EXPECT_TRUE(shown.applicationModal);
}

TEST(StandardErrorDisplayTest, AnErrorInAnEventHandlerIsShownAndTheProgramGoesOn)
{
    TErrorDisplayInstallation installation;
    bool later = false;
    const std::vector<AnsweredBox> boxes = AnswerBoxes([&] {
        QTimer::singleShot(0, [] { GuardedCall([] { throw Exception("Write failed (win error code: 5)"); }); });
        QTimer::singleShot(50, [&] { later = true; });
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Write failed (win error code: 5)");
    EXPECT_TRUE(later);
}

TEST(StandardErrorDisplayTest, WhatExplainsAnErrorStandsUnderItsUnchangedMessage)
{
    struct Explained : Exception {
        using Exception::Exception;
        std::vector<std::string> Details() const override { return {"/dev/ttyUSB0: Permission denied", "Ask."}; }
    };
    TErrorDisplayInstallation installation;
    const std::vector<AnsweredBox> boxes = AnswerBoxes([] {
        GuardedCall([] { throw Explained("Unable to open com port (win error code: 13)"); });
        GuardedCall([] { throw Exception("Plain"); });
    });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Unable to open com port (win error code: 13)");
    EXPECT_EQ(boxes[0].informativeText, "/dev/ttyUSB0: Permission denied\nAsk.");
    EXPECT_EQ(boxes[1].text, "Plain.");
    EXPECT_EQ(boxes[1].informativeText, "");
}

TEST(ModuleStepsTest, AnErrorAStepOnlyReportsStopsStartUpToo)
{
    calls.clear();
    ErrorCapture displayed;
    {
        TModuleSteps modules({{"A", StartA, StopA}, {"engine", StartReporting, StopB}, {"C", StartC, nullptr}});
        TStartupFailure failure;
        EXPECT_FALSE(modules.Start(failure));
        EXPECT_EQ(failure.Module, "engine");
        EXPECT_EQ(failure.Message, "Cannot open file /x/default.mo");
    }
    // The step's report went to the failure, not to the display.
    EXPECT_TRUE(displayed.Messages().empty());
    ShowErrorMessage("later");
    EXPECT_EQ(displayed.Messages(), std::vector<std::string>{"later"});
    EXPECT_EQ(calls, (std::vector<std::string>{"start A", "start R", "stop B", "stop A"}));
}
