// Transfers that progress on their own: a waiting read wakes for bytes the
// event wait took in, pending reads and writes move while the caller does
// other work (and both at once), an abort still ends them together, and a
// read on a line that hung up fails as a read.
#include "framework/ErrorDisplay.h"
#include "serial/CPort.h"
#include "serial/posix/Transfer.h"
#include "tests/serial/CatchComError.h"
#include "tests/serial/PtyPort.h"
#include "tests/support/Capture.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sched.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Keeps the calling thread (and every thread it starts) on one CPU while
// it lives: then the event thread and a waiting read take turns, as on a
// single-core machine.
class PinnedToOneCpu {
public:
    PinnedToOneCpu()
    {
        sched_getaffinity(0, sizeof previous_, &previous_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &previous_)) {
                CPU_SET(cpu, &one);
                break;
            }
        sched_setaffinity(0, sizeof one, &one);
    }
    ~PinnedToOneCpu() { sched_setaffinity(0, sizeof previous_, &previous_); }

private:
    cpu_set_t previous_;
};

// The far end sends "wxyz" 100 ms after a waiting read of 4 bytes starts;
// the event thread (watching for the event character) sees them first.
void ReadsWhatArrivesWhileTheEventWaitWatches(int rounds)
{
    PtyPair pty;
    PtyPort port(pty, AllComEvents);
    port.Timeouts()->SetReadInterval(0);
    port.Timeouts()->SetReadTotalMultiplier(0);
    port.Timeouts()->SetReadTotalConstant(1500);
    port.OpenPort();
    for (int round = 0; round < rounds; ++round) {
        std::thread farEnd([&] {
            std::this_thread::sleep_for(100ms);
            pty.Send("wxyz");
        });
        std::string text;
        const std::int32_t read = port.ReadText(text, 4);
        farEnd.join();
        ASSERT_EQ(read, 4) << "round " << round;
        EXPECT_EQ(text, "wxyz");
    }
}

TEST(TransferProgressTest, WaitingReadWakesForBytesTheEventWaitTookIn)
{
    ReadsWhatArrivesWhileTheEventWaitWatches(10);
}

TEST(TransferProgressTest, WaitingReadWakesForBytesTheEventWaitTookInOnOneCpu)
{
    PinnedToOneCpu pinned;
    ReadsWhatArrivesWhileTheEventWaitWatches(10);
}

TEST(TransferProgressTest, PendingReadCollectsBytesWhileTheCallerWorks)
{
    PtyPair pty;
    PtyPort port(pty, {});
    port.Timeouts()->SetReadInterval(0);
    port.Timeouts()->SetReadTotalConstant(400);
    port.OpenPort();
    char buffer[10] = {};
    TComAsync async;
    ASSERT_EQ(port.ReadBufferAsync(buffer, 10, &async), 0);
    std::this_thread::sleep_for(50ms);
    pty.Send("0123456789");
    std::this_thread::sleep_for(600ms); // past the read's time-out
    EXPECT_EQ(port.WaitForCompletion(&async), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(port.PendingInputCount(), 0);
}

// Reads whatever reaches the far end until told to stop.
class FarEndReader {
public:
    explicit FarEndReader(PtyPair& pty)
        : thread_([this, &pty] {
              while (!stop_) {
                  pollfd fd{pty.MasterFd(), POLLIN, 0};
                  if (::poll(&fd, 1, 10) > 0)
                      received_ += pty.Drain().size();
              }
              received_ += pty.Drain().size();
          })
    {
    }
    ~FarEndReader() { Stop(); }
    std::size_t Received() const { return received_; }
    std::size_t Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return received_;
    }

private:
    std::atomic<bool> stop_ = false;
    std::atomic<std::size_t> received_ = 0;
    std::thread thread_;
};

TEST(TransferProgressTest, PendingWriteGoesOnAfterTheCallerStoppedWaiting)
{
    PtyPair pty;
    PtyPort port(pty, {});
    port.Timeouts()->SetWriteTotalMultiplier(0);
    port.Timeouts()->SetWriteTotalConstant(500);
    port.OpenPort();
    FarEndReader reader(pty);
    const std::string data(256 * 1024, 'd');
    TComAsync async;
    port.WriteBufferAsync(data.data(), static_cast<std::int32_t>(data.size()), &async);
    std::this_thread::sleep_for(800ms);
    EXPECT_EQ(port.WaitForCompletion(&async), static_cast<std::int32_t>(data.size()));
    EXPECT_TRUE(PumpUntil([&] { return reader.Received() >= data.size(); }));
    EXPECT_EQ(reader.Stop(), data.size());
}

TEST(TransferProgressTest, PendingReadAndWriteMoveTogetherWithNobodyWaiting)
{
    PtyPair pty;
    PtyPort port(pty, {});
    port.Timeouts()->SetReadInterval(0);
    port.Timeouts()->SetReadTotalConstant(3000);
    port.Timeouts()->SetWriteTotalMultiplier(0);
    port.Timeouts()->SetWriteTotalConstant(3000);
    port.OpenPort();
    const std::string data(64 * 1024, 'w');
    char buffer[6] = {};
    TComAsync read;
    TComAsync write;
    port.ReadBufferAsync(buffer, 6, &read);
    port.WriteBufferAsync(data.data(), static_cast<std::int32_t>(data.size()), &write);
    // The far end takes everything and answers, while nobody waits.
    const std::string arrived = pty.Receive(data.size(), 5000ms);
    pty.Send("answer");
    // Both end before anybody waits for them.
    EXPECT_TRUE(PumpUntil([&] { return read.DeviceTransfer().Completed() && write.DeviceTransfer().Completed(); }));
    EXPECT_EQ(arrived.size(), data.size());
    EXPECT_EQ(port.WaitForCompletion(&write), static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(port.WaitForCompletion(&read), 6);
    EXPECT_EQ(std::string(buffer, 6), "answer");
}

TEST(TransferProgressTest, AnAbortEndsAPendingReadAndWriteAtOnce)
{
    PtyPair pty;
    PtyPort port(pty, {});
    port.Timeouts()->SetReadInterval(0);
    port.Timeouts()->SetReadTotalConstant(0);  // would wait forever
    port.Timeouts()->SetWriteTotalMultiplier(0);
    port.Timeouts()->SetWriteTotalConstant(0);  // would wait forever
    port.OpenPort();
    // Nobody reads at the far end: the write fills the line and stays pending.
    const std::string data(1024 * 1024, 'a');
    char buffer[4];
    TComAsync read;
    TComAsync write;
    port.ReadBufferAsync(buffer, 4, &read);
    port.WriteBufferAsync(data.data(), static_cast<std::int32_t>(data.size()), &write);
    std::this_thread::sleep_for(100ms);
    port.AbortPending();
    const EComPort readError = CatchComError([&] { port.WaitForCompletion(&read); });
    EXPECT_EQ(readError.Code(), CError_ReadFailed);
    EXPECT_EQ(readError.OsCode(), ECANCELED);
    const EComPort writeError = CatchComError([&] { port.WaitForCompletion(&write); });
    EXPECT_EQ(writeError.Code(), CError_WriteFailed);
    EXPECT_EQ(writeError.OsCode(), ECANCELED);
}

TEST(TransferProgressTest, ReadAfterTheFarEndHungUpFailsAsARead)
{
    PtyPair pty;
    PtyPort port(pty, {});
    port.OpenPort();
    pty.HangUp();
    std::string text;
    const EComPort error = CatchComError([&] { port.ReadText(text, 4); });
    EXPECT_EQ(error.Code(), CError_ReadFailed);
    EXPECT_EQ(error.OsCode(), EIO);
}

TEST(TransferProgressTest, BytesTheEventWaitHeldAreReadBeforeTheHangUpIsReported)
{
    PtyPair pty;
    PtyPort port(pty, {evRxFlag});
    port.SetEventChar('\n');
    bool flagged = false;
    port.OnRxFlag = [&](QObject*) { flagged = true; };
    port.OpenPort();
    pty.Send("bye\n");
    ASSERT_TRUE(PumpUntil([&] { return flagged; })); // the wait holds the line now
    pty.HangUp();
    std::string text;
    EXPECT_EQ(port.ReadText(text, 16), 4);
    EXPECT_EQ(text, "bye\n");
    EXPECT_EQ(CatchComError([&] { port.ReadText(text, 16); }).OsCode(), EIO);
}

} // namespace
