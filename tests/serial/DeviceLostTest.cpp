// A device that goes away while its port is open: OnDeviceLost, for every
// delivery method, once per loss, and never once the owner has closed.
#include "serial/CPort.h"
#include "tests/serial/CatchComError.h"
#include "tests/serial/PtyPort.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <cerrno>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Loss {
    int count = 0;
    bool onMainThread = true;
    bool openWhenTold = true;
    QObject* sender = nullptr;
};

void Record(TComPort& port, Loss& loss)
{
    port.OnDeviceLost = [&](QObject* sender) {
        ++loss.count;
        loss.onMainThread = loss.onMainThread && QThread::currentThread() == qApp->thread();
        loss.openWhenTold = loss.openWhenTold && port.Connected();
        loss.sender = sender;
    };
}

// A port on a pseudo-terminal whose losses are recorded; Lose() opens it
// and hangs up the far end. The record outlives the port.
struct LostLine {
    explicit LostLine(TComEvents events = AllComEvents) : port(pty, events) { Record(port, loss); }
    void Lose()
    {
        port.OpenPort();
        pty.HangUp();
    }
    Loss loss;
    PtyPair pty;
    PtyPort port;
};

class DeviceLostTest : public ::testing::TestWithParam<TSyncMethod> {};

TEST_P(DeviceLostTest, FarEndHangingUpIsToldOnceOnTheMainThread)
{
    LostLine line;
    const Loss& loss = line.loss;
    line.port.SetSyncMethod(GetParam());
    line.Lose();
    ASSERT_TRUE(PumpUntil([&] { return loss.count > 0; }));
    PumpFor(100ms);
    EXPECT_EQ(loss.count, 1);
    EXPECT_TRUE(loss.onMainThread);
    EXPECT_TRUE(loss.openWhenTold) << "the owner closes; the port does not close itself";
    EXPECT_EQ(loss.sender, &line.port);
    // A write that meets the dead line afterwards fails as before, and
    // tells nothing new.
    EXPECT_EQ(CatchComError([&] { line.port.WriteText("00"); }).OsCode(), EIO);
    PumpFor(50ms);
    EXPECT_EQ(loss.count, 1);
    line.port.ClosePort();
}

INSTANTIATE_TEST_SUITE_P(EveryDelivery, DeviceLostTest, ::testing::Values(smThreadSync, smWindowSync, smNone));

TEST(DeviceLostTest, AWriteBeforeTheWaitNoticedMakesTheSameSingleReport)
{
    LostLine line;
    const Loss& loss = line.loss;
    line.Lose();
    // No event loop has run yet: the event wait's report cannot have come.
    EXPECT_EQ(CatchComError([&] { line.port.WriteText("01"); }).Code(), CError_WriteFailed);
    EXPECT_EQ(loss.count, 0) << "never told from inside the failing transfer";
    ASSERT_TRUE(PumpUntil([&] { return loss.count > 0; }));
    PumpFor(100ms);
    EXPECT_EQ(loss.count, 1);
    line.port.ClosePort();
}

TEST(DeviceLostTest, APortWithoutEventThreadLearnsOfItFromAFailedWrite)
{
    LostLine line{TComEvents{}};
    const Loss& loss = line.loss;
    line.Lose();
    PumpFor(50ms);
    EXPECT_EQ(loss.count, 0) << "nothing waits on the line";
    EXPECT_EQ(CatchComError([&] { line.port.WriteText("01"); }).OsCode(), EIO);
    ASSERT_TRUE(PumpUntil([&] { return loss.count > 0; }));
    EXPECT_EQ(loss.count, 1);
}

TEST(DeviceLostTest, NothingIsToldOnceTheOwnerClosedOrOpenedAgain)
{
    LostLine line;
    Loss& loss = line.loss;
    line.Lose();
    // The event thread's report is queued or on its way while the owner
    // closes; the close's own wait for the thread serves queued calls.
    std::this_thread::sleep_for(50ms);
    line.port.ClosePort();
    PumpFor(100ms);
    EXPECT_EQ(loss.count, 0);

    // A failed write's report is queued, then the port is closed and
    // opened anew on a live line: that opening has lost nothing.
    PtyPair second;
    PtyPort other(second);
    Record(other, loss);
    other.OpenPort();
    second.HangUp();
    EXPECT_THROW(other.WriteText("02"), EComPort);
    other.ClosePort();
    PtyPair third;
    other.SetPort(QString::fromStdString(third.SlavePath()));
    other.OpenPort();
    PumpFor(150ms);
    EXPECT_EQ(loss.count, 0);
    EXPECT_TRUE(other.Connected());
}

TEST(DeviceLostTest, APortDestroyedBeforeTheReportRunsIsNotTouched)
{
    Loss loss;
    {
        PtyPair pty;
        PtyPort port(pty);
        Record(port, loss);
        port.OpenPort();
        pty.HangUp();
        EXPECT_THROW(port.WriteText("03"), EComPort);
        std::this_thread::sleep_for(50ms); // the event thread's report is queued too
    }
    PumpFor(100ms);
    EXPECT_EQ(loss.count, 0);
}

} // namespace
