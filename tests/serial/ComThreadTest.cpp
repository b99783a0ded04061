// Line events on a pseudo-terminal: the event thread, the three delivery
// methods and the receive handling.
#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "serial/CPort.h"
#include "tests/support/Capture.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Pump.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

using Journal = std::vector<std::string>;
using namespace std::chrono_literals;

// Opens `port` and returns the event thread that the opening started.
pid_t OpenAndFindEventThread(TComPort& port)
{
    const std::set<pid_t> before = ThreadIds();
    port.OpenPort();
    const std::set<pid_t> started = ThreadsStartedSince(before);
    EXPECT_EQ(started.size(), 1u) << "opening should start exactly the event thread";
    return started.empty() ? 0 : *started.begin();
}

// A port whose receive handler reads what it is told of, recording where
// and how much.
class ReceivingPort : public TComPort {
public:
    explicit ReceivingPort(const PtyPair& pty)
    {
        SetPort(QString::fromStdString(pty.SlavePath()));
        OnRxChar = [this](QObject*, std::int32_t count) {
            std::string text;
            ReadText(text, count);
            std::lock_guard lock(mutex);
            onMainThread.push_back(QThread::currentThread() == qApp->thread());
            counts.push_back(count);
            received += text;
        };
    }
    ~ReceivingPort() override { GuardedCall([this] { ClosePort(); }); }

    std::string Received()
    {
        std::lock_guard lock(mutex);
        return received;
    }

    using TComPort::HandleEvents;

    // Line errors a pseudo-terminal cannot produce, for checking the order
    // in which a batch is handled.
    TComErrors TakeLineErrors() override
    {
        const TComErrors errors = injectedErrors;
        injectedErrors = {};
        return errors;
    }
    TComErrors injectedErrors;

    std::mutex mutex;
    std::vector<bool> onMainThread;
    std::vector<std::int32_t> counts;
    std::string received;
};

TEST(ComThreadTest, ReceivedBytesReachOnRxChar)
{
    PtyPair pty;
    ReceivingPort port(pty);
    port.OpenPort();
    pty.Send("hello");
    ASSERT_TRUE(PumpUntil([&] { return port.Received() == "hello"; }));
    for (bool main : port.onMainThread)
        EXPECT_TRUE(main);
    std::int32_t total = 0;
    for (std::int32_t c : port.counts)
        total += c;
    EXPECT_EQ(total, 5);

    // Nothing new arrives: no further batch, however long the loop runs.
    const std::size_t calls = port.counts.size();
    PumpFor(200ms);
    EXPECT_EQ(port.counts.size(), calls);
}

TEST(ComThreadTest, ByteArrivingWhileTheHandlerRunsIsReportedByTheNextBatch)
{
    PtyPair pty;
    ReceivingPort port(pty);
    bool first = true;
    port.OnRxChar = [&](QObject*, std::int32_t count) {
        if (first) {
            first = false;
            pty.Send("Z"); // arrives while this handler still runs
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (port.PendingInputCount() < 3 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            EXPECT_EQ(port.PendingInputCount(), 3);
        }
        std::string text;
        port.ReadText(text, count); // only what this batch announced
        port.counts.push_back(count);
        port.received += text;
    };
    port.OpenPort();
    pty.Send("AB");
    ASSERT_TRUE(PumpUntil([&] { return port.received == "ABZ"; }));
    port.ClosePort();
    ASSERT_EQ(port.counts.size(), 2u);
    EXPECT_EQ(port.counts[0], 2);
    EXPECT_EQ(port.counts[1], 1);
}

TEST(ComThreadTest, BatchIsHandledInTheFixedOrder)
{
    PtyPair pty;
    ReceivingPort port(pty);
    port.SetEvents({}); // the test hands the batch over itself
    Journal journal;
    TComLink link;
    link.OnTransmitActivity = [&](QObject*, bool on) { journal.push_back(on ? "link tx on" : "link tx off"); };
    link.OnTransmitEmpty = [&](QObject*) { journal.push_back("link tx empty"); };
    link.OnReceiveActivity = [&](QObject*, bool on) { journal.push_back(on ? "link rx on" : "link rx off"); };
    link.OnRingSignal = [&](QObject*) { journal.push_back("link ring"); };
    link.OnFlagCharacter = [&](QObject*) { journal.push_back("link flag"); };
    port.RegisterLink(&link);
    port.OnError = [&](QObject*, TComErrors e) { journal.push_back("error " + std::to_string(e.ToBits())); };
    port.OnRxChar = [&](QObject*, std::int32_t count) { journal.push_back("rxchar " + std::to_string(count)); };
    port.OnTxEmpty = [&](QObject*) { journal.push_back("txempty"); };
    port.OnBreak = [&](QObject*) { journal.push_back("break"); };
    port.OnRing = [&](QObject*) { journal.push_back("ring"); };
    port.OnCTSChange = [&](QObject*, bool on) { journal.push_back(std::string("cts ") + (on ? "1" : "0")); };
    port.OnDSRChange = [&](QObject*, bool on) { journal.push_back(std::string("dsr ") + (on ? "1" : "0")); };
    port.OnRxFlag = [&](QObject*) { journal.push_back("rxflag"); };
    port.OnRLSDChange = [&](QObject*, bool on) { journal.push_back(std::string("rlsd ") + (on ? "1" : "0")); };
    port.OnRx80Full = [&](QObject*) { journal.push_back("rx80full"); };
    port.OpenPort();
    pty.Send("q");
    ASSERT_TRUE(PumpUntil([&] { return port.PendingInputCount() == 1; }));
    journal.clear();

    port.injectedErrors = {ceFrame, ceOverrun};
    port.HandleEvents(AllComEvents);
    EXPECT_EQ(journal, (Journal{"error 5", "link rx on", "rxchar 1", "link tx off", "link tx empty", "txempty",
                                "break", "link ring", "ring", "cts 0", "dsr 0", "link flag", "rxflag", "rlsd 0",
                                "rx80full"}));

    // No errors: no OnError. No bytes waiting: no OnRxChar.
    journal.clear();
    std::string drained;
    port.ReadText(drained, 10);
    journal.clear();
    port.HandleEvents({evError, evRxChar});
    EXPECT_EQ(journal, Journal{});
    port.ClosePort(); // its handlers write into locals of this test
    port.UnregisterLink(&link);
}

TEST(ComThreadTest, WithoutRxCharReportsEachBatchIsReadAndGivenToOnRxBuf)
{
    PtyPair pty;
    ReceivingPort port(pty);
    port.SetReportRxChar(false);
    std::string buffered;
    port.OnRxBuf = [&](QObject*, const char* buffer, std::int32_t count) {
        buffered.append(buffer, static_cast<std::size_t>(count));
    };
    port.OpenPort();
    pty.Send("abc");
    ASSERT_TRUE(PumpUntil([&] { return buffered == "abc"; }));
    pty.Send("de");
    ASSERT_TRUE(PumpUntil([&] { return buffered == "abcde"; }));
    EXPECT_TRUE(port.counts.empty()); // OnRxChar was never called
    EXPECT_EQ(port.PendingInputCount(), 0);
    port.ClosePort();
}

TEST(ComThreadTest, LinksWantingDataGetTheBytesReadOnTheirBehalf)
{
    PtyPair pty;
    ReceivingPort port(pty);
    Journal journal;
    TComLink first;
    TComLink second;
    TComLink quiet; // wants nothing
    first.OnReceivedData = [&](QObject*, const char* b, std::int32_t n) { journal.push_back("first " + std::string(b, n)); };
    second.OnReceivedData = [&](QObject*, const char* b, std::int32_t n) { journal.push_back("second " + std::string(b, n)); };
    port.OnRxBuf = [&](QObject*, const char* b, std::int32_t n) { journal.push_back("rxbuf " + std::string(b, n)); };
    port.RegisterLink(&quiet);
    port.RegisterLink(&first);
    port.RegisterLink(&second);
    port.OpenPort();
    pty.Send("xyz");
    ASSERT_TRUE(PumpUntil([&] { return journal.size() >= 3; }));
    EXPECT_EQ(journal, (Journal{"rxbuf xyz", "first xyz", "second xyz"}));
    EXPECT_TRUE(port.counts.empty());
    port.ClosePort();
    port.UnregisterLink(&quiet);
    port.UnregisterLink(&first);
    port.UnregisterLink(&second);
}

TEST(ComThreadTest, HandlerFailureEndsDeliveryAndIsShown)
{
    ErrorCapture errors;
    PtyPair pty;
    ReceivingPort port(pty);
    int calls = 0;
    port.OnRxChar = [&](QObject*, std::int32_t) {
        ++calls;
        throw Exception("handler broke");
    };
    port.OpenPort();
    pty.Send("1");
    ASSERT_TRUE(PumpUntil([&] { return !errors.Messages().empty(); }));
    EXPECT_EQ(errors.Messages(), Journal{"handler broke"});
    pty.Send("2");
    PumpFor(200ms);
    EXPECT_EQ(calls, 1); // the loop has ended until the port is reopened

    port.ClosePort();
    port.OnRxChar = [&](QObject*, std::int32_t count) {
        ++calls;
        std::string t;
        port.ReadText(t, count);
    };
    port.OpenPort();
    pty.Send("3");
    ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
    port.ClosePort();
}

TEST(ComThreadTest, WindowSyncGoesOnAfterAHandlerFailure)
{
    ErrorCapture errors;
    PtyPair pty;
    ReceivingPort port(pty);
    port.SetSyncMethod(smWindowSync);
    std::string received;
    port.OnRxChar = [&](QObject*, std::int32_t count) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        std::string text;
        port.ReadText(text, count);
        received += text;
        if (text.find('!') != std::string::npos)
            throw Exception("bang");
    };
    port.OpenPort();
    pty.Send("a!");
    ASSERT_TRUE(PumpUntil([&] { return !errors.Messages().empty(); }));
    pty.Send("b");
    ASSERT_TRUE(PumpUntil([&] { return received == "a!b"; }));
    port.ClosePort();
    EXPECT_EQ(errors.Messages(), Journal{"bang"});
}

TEST(ComThreadTest, WithoutSynchronisationHandlersRunOnTheEventThread)
{
    PtyPair pty;
    ReceivingPort port(pty);
    port.SetSyncMethod(smNone);
    port.OpenPort();
    pty.Send("n");
    // No event processing needed: the event thread runs the handler itself.
    for (int i = 0; i < 500 && port.Received().empty(); ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(port.Received(), "n");
    std::lock_guard lock(port.mutex);
    ASSERT_FALSE(port.onMainThread.empty());
    EXPECT_FALSE(port.onMainThread.front());
}

TEST(ComThreadTest, OutputRunningEmptyIsReportedAfterAWrite)
{
    PtyPair pty;
    ReceivingPort port(pty);
    Journal journal;
    TComLink link;
    link.OnTransmitActivity = [&](QObject*, bool on) { journal.push_back(on ? "transmitting" : "idle"); };
    link.OnTransmitEmpty = [&](QObject*) { journal.push_back("link empty"); };
    port.OnTxEmpty = [&](QObject*) { journal.push_back("empty"); };
    port.RegisterLink(&link);
    port.OpenPort();
    PumpFor(50ms);
    EXPECT_EQ(journal, Journal{}); // nothing written, nothing to report

    port.WriteText("0121");
    ASSERT_TRUE(PumpUntil([&] { return journal.size() >= 4; }));
    EXPECT_EQ(journal, (Journal{"transmitting", "idle", "link empty", "empty"}));
    EXPECT_EQ(pty.Receive(4), "0121");
    PumpFor(100ms);
    EXPECT_EQ(journal.size(), 4u); // reported once per write, not again
    port.ClosePort();
    port.UnregisterLink(&link);
}

TEST(ComThreadTest, InputQueueReachingEightyPercentIsReportedOnceItCrossesTheMark)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    port.Buffer()->SetInputSize(10);
    int full = 0;
    port.OnRx80Full = [&](QObject*) { ++full; };
    port.OpenPort(); // nobody reads: the queue only grows
    pty.Send("1234567");
    ASSERT_TRUE(PumpUntil([&] { return port.PendingInputCount() == 7; }));
    PumpFor(50ms);
    EXPECT_EQ(full, 0);
    pty.Send("8");
    ASSERT_TRUE(PumpUntil([&] { return full == 1; }));
    pty.Send("9");
    PumpFor(100ms);
    EXPECT_EQ(full, 1);
    std::string text;
    port.ReadText(text, 9); // below the mark again
    pty.Send("abcdefgh");
    ASSERT_TRUE(PumpUntil([&] { return full == 2; }));
    port.ClosePort();
}

TEST(ComThreadTest, EventCharacterIsReportedAndItsBytesStayReadable)
{
    PtyPair pty;
    ReceivingPort port(pty);
    port.SetEventChar('\n');
    Journal journal;
    TComLink link;
    link.OnFlagCharacter = [&](QObject*) { journal.push_back("link flag"); };
    port.OnRxFlag = [&](QObject*) { journal.push_back("flag"); };
    port.RegisterLink(&link);
    port.OpenPort();
    pty.Send("no end yet");
    ASSERT_TRUE(PumpUntil([&] { return port.Received() == "no end yet"; }));
    PumpFor(50ms);
    EXPECT_EQ(journal, Journal{});

    pty.Send("line\nmore");
    ASSERT_TRUE(PumpUntil([&] { return journal.size() == 2; }));
    EXPECT_EQ(journal, (Journal{"link flag", "flag"}));
    ASSERT_TRUE(PumpUntil([&] { return port.Received() == "no end yetline\nmore"; }));
    port.ClosePort();
    port.UnregisterLink(&link);
}

TEST(ComThreadTest, ClosingDiscardsUnreadBytes)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    port.OpenPort(); // no OnRxChar: nothing reads
    pty.Send("left behind");
    ASSERT_TRUE(PumpUntil([&] { return port.PendingInputCount() == 11; }));
    port.ClosePort();
    port.OpenPort();
    EXPECT_EQ(port.PendingInputCount(), 0);
}

TEST(ComThreadTest, ClosingWhileABatchWaitsForTheMainThreadCompletesWithoutIt)
{
    PtyPair pty;
    ReceivingPort port(pty);
    Journal journal;
    port.OnBeforeClose = [&](QObject*) { journal.push_back("before close"); };
    port.OnRxChar = [&](QObject*, std::int32_t count) {
        std::string text;
        port.ReadText(text, count); // the device is still open here
        journal.push_back("rx " + text);
    };
    port.OnAfterClose = [&](QObject*) { journal.push_back("after close"); };
    const pid_t eventThread = OpenAndFindEventThread(port);
    pty.Send("late");
    // The main thread does not run events now, so the event thread is left
    // waiting with its batch when the close begins.
    ASSERT_TRUE(WaitForThreadState(eventThread, BlockedInRead)) << "the batch was not handed over";
    port.ClosePort();
    // Once the close has begun, the batch reaches no handler.
    EXPECT_EQ(journal, (Journal{"before close", "after close"}));
}

TEST(ComThreadTest, FarEndHangingUpEndsTheLoopWithoutSpinning)
{
    PtyPair pty;
    ReceivingPort port(pty);
    const std::set<pid_t> before = ThreadIds();
    port.OpenPort();
    pty.Send("x");
    ASSERT_TRUE(PumpUntil([&] { return port.Received() == "x"; }));
    pty.HangUp();
    // Every thread the port started ends: a wait that kept seeing the
    // hang-up would spin here for good instead.
    EXPECT_TRUE(PumpUntil([&] { return ThreadsStartedSince(before).empty(); }));
    port.ClosePort();
    EXPECT_FALSE(port.Connected());
}

TEST(ComThreadTest, OpenPortIdlesWithoutCpu)
{
    PtyPair pty;
    ReceivingPort port(pty);
    const pid_t eventThread = OpenAndFindEventThread(port);
    ASSERT_TRUE(WaitForThreadState(eventThread, BlockedInEventWait));
    const long wakeUps = ReadThreadState(eventThread).voluntarySwitches;
    // A pseudo-terminal has no modem lines to poll: nothing may wake the
    // wait, however long or short the look at it is. A poll of 100 ms
    // would wake it five times here.
    std::this_thread::sleep_for(500ms);
    const ThreadState after = ReadThreadState(eventThread);
    EXPECT_TRUE(BlockedInEventWait(after)) << after.state << " " << after.syscall;
    EXPECT_LE(after.voluntarySwitches - wakeUps, 1);
}

TEST(ComThreadTest, ManyOpenCloseCyclesWithBytesArrivingDuringClose)
{
    PtyPair pty;
    ReceivingPort port(pty);
    std::atomic<bool> stop = false;
    std::thread sender([&] {
        while (!stop) {
            pty.Send("s");
            std::this_thread::sleep_for(200us);
        }
    });
    int deliveries = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        port.OpenPort();
        if (cycle % 100 == 0) {
            // Now and then make sure reception really works in between.
            const std::size_t before = port.Received().size();
            deliveries += PumpUntil([&] { return port.Received().size() > before; }) ? 1 : 0;
        } else {
            QCoreApplication::processEvents();
        }
        port.ClosePort();
    }
    stop = true;
    sender.join();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(deliveries, 10);
}

} // namespace
