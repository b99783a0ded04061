// The test programs' own error display: an error that no test expects
// fails the test that is running, from a slot or from any thread; one that
// an ErrorCapture expects does not.
#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "framework/Timer.h"
#include "tests/support/Capture.h"
#include "tests/support/Pump.h"

#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <thread>

namespace {

using ::testing::HasSubstr;
using ::testing::ScopedFakeTestPartResultReporter;
using ::testing::TestPartResultArray;

// A timer whose first tick throws, as a slot with a fault would.
void RunThrowingTimer(const char* message)
{
    TTimer timer;
    timer.SetInterval(1);
    bool ticked = false;
    timer.OnTimer = [&](QObject*) {
        ticked = true;
        timer.SetEnabled(false);
        throw Exception(message);
    };
    PumpUntil([&] { return ticked; });
    EXPECT_TRUE(ticked);
}

TEST(ErrorDisplayHarnessTest, AnUnexpectedErrorFailsTheRunningTestWhereverItIsShown)
{
    TestPartResultArray failures;
    {
        ScopedFakeTestPartResultReporter reporter(ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
        RunThrowingTimer("slot broke");
        std::thread([] { GuardedCall([] { throw Exception("thread broke"); }); }).join();
    }
    ASSERT_EQ(failures.size(), 2);
    for (int i = 0; i < failures.size(); ++i)
        EXPECT_TRUE(failures.GetTestPartResult(i).nonfatally_failed());
    EXPECT_THAT(failures.GetTestPartResult(0).message(), HasSubstr("slot broke"));
    EXPECT_THAT(failures.GetTestPartResult(1).message(), HasSubstr("thread broke"));
}

TEST(ErrorDisplayHarnessTest, AnErrorCaptureSaysTheErrorIsExpectedAndHandsTheDisplayBack)
{
    TestPartResultArray failures;
    std::vector<std::string> captured;
    {
        ScopedFakeTestPartResultReporter reporter(ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
        {
            ErrorCapture errors;
            RunThrowingTimer("expected");
            captured = errors.Messages();
        }
        ShowErrorMessage("after the capture");
    }
    EXPECT_EQ(captured, std::vector<std::string>{"expected"});
    ASSERT_EQ(failures.size(), 1);
    EXPECT_THAT(failures.GetTestPartResult(0).message(), HasSubstr("after the capture"));
}

} // namespace
