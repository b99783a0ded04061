// The event character after a long burst, the port's parts outliving its
// event thread, input left over across a close, a close from inside a
// handler, and line rates as other termios programs read them.
#include "framework/ErrorDisplay.h"
#include "serial/CPort.h"
#include "tests/serial/CatchComError.h"
#include "tests/serial/PtyPort.h"
#include "tests/support/Capture.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

void ExpectFlagAfterBurst(std::size_t burst)
{
    PtyPair pty;
    PtyPort port(pty);
    port.SetEventChar('\n');
    std::string received;
    std::atomic<int> flags = 0;
    port.OnRxChar = [&](QObject*, std::int32_t count) {
        std::string text;
        port.ReadText(text, count);
        received += text;
        // Whatever else came meanwhile, too: the handler empties the queue.
        while (port.PendingInputCount() > 0) {
            port.ReadText(text, port.PendingInputCount());
            received += text;
        }
    };
    port.OnRxFlag = [&](QObject*) { ++flags; };
    port.OpenPort();
    ASSERT_EQ(port.Buffer()->InputSize(), 1024);
    // One write at the far end; it blocks while the line is full, so it
    // runs beside the main thread, whose handler empties the line.
    std::thread farEnd([&] { pty.Send(std::string(burst, 'A') + "\n"); });
    EXPECT_TRUE(PumpUntil([&] { return received.size() == burst + 1 && flags > 0; }, 5000ms))
        << received.size() << " bytes, " << flags << " flags";
    farEnd.join();
    EXPECT_EQ(flags, 1);
}

TEST(PortFaultsTest, EventCharacterIsSeenAfterABurstOfTheInputQueueSize)
{
    ExpectFlagAfterBurst(1024);
}

TEST(PortFaultsTest, EventCharacterIsSeenAfterLongerBursts)
{
    ExpectFlagAfterBurst(3000);
    ExpectFlagAfterBurst(20000);
}

// Under smNone the handler runs on the event thread; the port it reports
// for must still be whole while it runs, even when the port is being
// destroyed meanwhile.
TEST(PortFaultsTest, NoneDeliveryEndsBeforeThePortIsTornDown)
{
    PtyPair pty;
    std::atomic<bool> inHandler = false;
    std::mutex mutex;
    std::vector<std::string> classNames;
    // A port as the component hands it out, without a destructor of the
    // test's own that would close it first.
    auto* port = new TComPort;
    port->SetPort(QString::fromStdString(pty.SlavePath()));
    port->SetSyncMethod(smNone);
    port->OnRxChar = [&](QObject* sender, std::int32_t) {
        inHandler = true;
        std::this_thread::sleep_for(150ms);
        std::lock_guard lock(mutex);
        classNames.push_back(sender->metaObject()->className());
    };
    port->OpenPort();
    pty.Send("x");
    // Deleted either way, so that a handler that never ran fails the test
    // below instead of leaving the port behind.
    EXPECT_TRUE(PumpUntil([&] { return inHandler.load(); })) << "the handler did not run";
    delete port;
    std::lock_guard lock(mutex);
    ASSERT_EQ(classNames.size(), 1u);
    EXPECT_EQ(classNames[0], "TComPort");
}

// A port that adds a slow notification of its own and, as a class that
// runs code under smNone must, closes first thing in its destructor. It
// records the end of the notification and of its destruction.
class SlowNotifyingPort : public TComPort {
public:
    SlowNotifyingPort(const PtyPair& pty, std::vector<std::string>& journal, std::mutex& mutex)
        : journal_(journal), mutex_(mutex)
    {
        SetPort(QString::fromStdString(pty.SlavePath()));
        SetSyncMethod(smNone);
    }
    ~SlowNotifyingPort() override
    {
        CloseForDestruction();
        std::lock_guard lock(mutex_);
        journal_.push_back("destructor");
    }
    std::atomic<bool> notified = false;

protected:
    void DoRxChar(std::int32_t) override
    {
        notified = true;
        std::this_thread::sleep_for(150ms);
        std::lock_guard lock(mutex_);
        journal_.push_back("notification done");
    }

private:
    std::vector<std::string>& journal_;
    std::mutex& mutex_;
};

TEST(PortFaultsTest, NoneDeliveryOfADerivedPortEndsBeforeItsDestructor)
{
    PtyPair pty;
    std::vector<std::string> journal;
    std::mutex mutex;
    auto* port = new SlowNotifyingPort(pty, journal, mutex);
    port->OpenPort();
    pty.Send("x");
    EXPECT_TRUE(PumpUntil([&] { return port->notified.load(); })) << "no notification came";
    delete port;
    EXPECT_EQ(journal, (std::vector<std::string>{"notification done", "destructor"}));
}

TEST(PortFaultsTest, ClosingWithoutAnEventThreadDiscardsUnreadInput)
{
    PtyPair pty;
    PtyPort port(pty, {});
    port.OpenPort();
    pty.Send("leftover");
    ASSERT_TRUE(PumpUntil([&] { return port.PendingInputCount() == 8; }));
    port.ClosePort();
    port.OpenPort();
    EXPECT_EQ(port.PendingInputCount(), 0);
    std::string text;
    EXPECT_EQ(port.ReadText(text, 8), 0);
    pty.Send("fresh");
    ASSERT_TRUE(PumpUntil([&] { return port.PendingInputCount() == 5; }));
    EXPECT_EQ(port.ReadText(text, 5), 5);
    EXPECT_EQ(text, "fresh");
}

// A handler closes the port it handles; the close finishes once the
// handler has returned, and the port opens again as usual.
void CloseFromHandler(TSyncMethod method)
{
    ErrorCapture errors;
    PtyPair pty;
    PtyPort port(pty);
    port.SetSyncMethod(method);
    std::atomic<int> calls = 0;
    std::atomic<bool> closedInside = false;
    // Under smNone the handler runs beside the main thread; it starts on
    // the port only once the main thread has let go of it.
    std::atomic<bool> opened = false;
    port.OnRxChar = [&](QObject*, std::int32_t) {
        while (!opened)
            std::this_thread::yield();
        ++calls;
        port.ClosePort();
        closedInside = !port.Connected();
    };
    std::atomic<int> afterClose = 0;
    port.OnAfterClose = [&](QObject*) { ++afterClose; };
    port.OpenPort();
    opened = true;
    pty.Send("bye");
    ASSERT_TRUE(PumpUntil([&] { return closedInside.load(); }, 5000ms));
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(afterClose, 1);
    EXPECT_TRUE(errors.Messages().empty()) << errors.Messages().front();

    // Open again: the old thread is gone, a new one delivers.
    std::mutex mutex;
    std::string received;
    opened = false;
    port.OnRxChar = [&](QObject*, std::int32_t count) {
        while (!opened)
            std::this_thread::yield();
        std::string text;
        port.ReadText(text, count);
        std::lock_guard lock(mutex);
        received += text;
    };
    port.OpenPort();
    opened = true;
    pty.Send("again");
    EXPECT_TRUE(PumpUntil([&] {
        std::lock_guard lock(mutex);
        return received == "again";
    }));
    port.ClosePort();
    EXPECT_TRUE(errors.Messages().empty());
}

TEST(PortFaultsTest, CloseFromAHandlerOnTheMainThreadFinishes)
{
    CloseFromHandler(smThreadSync);
}

TEST(PortFaultsTest, CloseFromAHandlerOnTheEventThreadFinishes)
{
    CloseFromHandler(smNone);
}

// The rate as another program sees it: the far end of a pty pair reads the
// slave's termios.
termios2 FarEndSettings(const PtyPair& pty)
{
    termios2 t{};
    EXPECT_EQ(::ioctl(pty.MasterFd(), TCGETS2, &t), 0);
    return t;
}

TEST(PortFaultsTest, TableRatesUseTheirClassicConstantsAndOthersBother)
{
    PtyPair pty;
    PtyPort port(pty, {});
    port.OpenPort();
    termios2 t = FarEndSettings(pty);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(B9600));
    EXPECT_EQ(t.c_ospeed, 9600u);
    termios classic{};
    ASSERT_EQ(::ioctl(pty.MasterFd(), TCGETS, &classic), 0);
    EXPECT_EQ(classic.c_cflag & CBAUD, tcflag_t(B9600));

    port.SetBaudRate(br115200);
    t = FarEndSettings(pty);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(B115200));
    EXPECT_EQ(t.c_ospeed, 115200u);

    // 56000 is in the port's table but not in the kernel's.
    port.SetBaudRate(br56000);
    t = FarEndSettings(pty);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_EQ(t.c_ospeed, 56000u);

    port.SetCustomBaudRate(31250);
    port.SetBaudRate(brCustom);
    t = FarEndSettings(pty);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_EQ(t.c_ospeed, 31250u);
    EXPECT_EQ(t.c_ispeed, 31250u);
}

TEST(PortFaultsTest, ARateThatIsNotPositiveIsRefused)
{
    PtyPair pty;
    PtyPort port(pty, {});
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(19200);
    port.OpenPort();
    for (const std::int32_t rate : {-5, 0, -2147483647 - 1}) {
        const EComPort error = CatchComError([&] { port.SetCustomBaudRate(rate); });
        EXPECT_EQ(error.Code(), CError_SetStateFailed) << rate;
        EXPECT_EQ(error.OsCode(), EINVAL) << rate;
        EXPECT_EQ(FarEndSettings(pty).c_ospeed, 19200u) << rate;
    }
}

} // namespace
