// A port's life under its own handlers: deleted from inside a delivery,
// and closing while batches are on their way, for every delivery method.
#include "framework/ThreadSync.h"
#include "serial/CPort.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Pump.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

TComPort* NewPort(const PtyPair& pty, TSyncMethod method)
{
    auto* port = new TComPort;
    port->SetPort(QString::fromStdString(pty.SlavePath()));
    port->SetSyncMethod(method);
    return port;
}

// Under smNone a handler runs alongside the main thread: one that closes
// or deletes the port waits until OpenPort has returned there (bytes that
// passed through the pty in between order nothing for the sanitizer).
void AwaitOpened(const std::atomic<bool>& opened)
{
    while (!opened)
        std::this_thread::yield();
}

// Every thread the port started has ended and been joined.
bool AllReaped(const std::set<pid_t>& before)
{
    return TSyncThread::RetiredCount() == 0 && ThreadsStartedSince(before).empty();
}

class PortLifeTest : public ::testing::TestWithParam<TSyncMethod> {};

TEST_P(PortLifeTest, PortDeletedByItsOwnHandlerLetsGoOfThreadAndDevice)
{
    enum Way { ByRxChar, ByLink, ByDeviceLost };
    for (Way way : {ByRxChar, ByLink, ByDeviceLost}) {
        SCOPED_TRACE(way);
        PtyPair pty;
        const std::set<pid_t> before = ThreadIds();
        TComPort* port = NewPort(pty, GetParam());
        std::atomic<int> deleted = 0;
        std::atomic<int> after = 0;   // notifications once the delete began
        std::atomic<bool> opened = false;
        TComLink link;
        auto destroy = [&] {
            AwaitOpened(opened);
            if (deleted++ == 0)
                delete port;
        };
        port->OnRxChar = [&](QObject*, std::int32_t) { way == ByRxChar ? destroy() : void(++after); };
        port->OnDeviceLost = [&](QObject*) { destroy(); };
        link.OnReceiveActivity = [&](QObject*, bool) { if (way == ByLink) destroy(); };
        port->RegisterLink(&link);
        port->OpenPort();
        opened = true;
        if (way == ByDeviceLost)
            pty.HangUp();
        else
            pty.Send("go");
        ASSERT_TRUE(PumpUntil([&] { return deleted > 0 && AllReaped(before); }));
        EXPECT_EQ(deleted, 1);
        EXPECT_EQ(after, 0);
        if (way == ByDeviceLost)
            continue;
        // The device was released: a new port opens it and hears it.
        TComPort again;
        again.SetPort(QString::fromStdString(pty.SlavePath()));
        std::atomic<int> heard = 0;
        again.OnRxChar = [&](QObject*, std::int32_t n) {
            std::string text;
            again.ReadText(text, n);
            heard += static_cast<int>(text.size());
        };
        again.OpenPort();
        pty.Send("ok");
        EXPECT_TRUE(PumpUntil([&] { return heard == 2; }));
    }
}

TEST_P(PortLifeTest, NothingReachesAHandlerOnceTheCloseHasBegun)
{
    PtyPair pty;
    std::unique_ptr<TComPort> port(NewPort(pty, GetParam()));
    std::atomic<bool> closing = false;
    std::atomic<int> late = 0;    // notifications after OnBeforeClose
    std::atomic<int> heard = 0;
    TComLink link;
    link.OnReceiveActivity = [&](QObject*, bool) { late += closing ? 1 : 0; };
    link.OnTransmitEmpty = [&](QObject*) { late += closing ? 1 : 0; };
    port->RegisterLink(&link);
    port->OnTxEmpty = [&](QObject*) { late += closing ? 1 : 0; };
    port->OnRxChar = [&](QObject*, std::int32_t) {
        late += closing ? 1 : 0;
        ++heard;
        // A smNone handler still running when the main thread closes is
        // let finish before the close says anything.
        std::this_thread::sleep_for(1ms);
        late += closing ? 1 : 0;
    };
    port->OnBeforeOpen = [&](QObject*) { closing = false; };
    port->OnBeforeClose = [&](QObject*) {
        closing = true;
        pty.Send("late"); // arrives while the close runs
    };

    // 1. Bytes waiting for the main thread when the close begins.
    const std::set<pid_t> before = ThreadIds();
    port->OpenPort();
    const std::set<pid_t> started = ThreadsStartedSince(before);
    ASSERT_EQ(started.size(), 1u);
    pty.Send("queued");
    if (GetParam() == smNone) // nothing to pump: the handler runs by itself
        ASSERT_TRUE(PumpUntil([&] { return heard > 0; }));
    else // left waiting with its batch, as the main thread runs no events
        ASSERT_TRUE(WaitForThreadState(*started.begin(), BlockedInRead));
    port->ClosePort();
    EXPECT_EQ(late, 0);

    // 2. A handler closes its own port: the rest of the batch is dropped.
    std::atomic<bool> opened = false;
    port->OnRxChar = [&](QObject*, std::int32_t) {
        late += closing ? 1 : 0;
        AwaitOpened(opened);
        port->ClosePort();
    };
    std::atomic<int> beforeClose = 0;
    std::atomic<int> afterClose = 0;
    port->OnBeforeClose = [&](QObject*) {
        closing = true;
        ++beforeClose;
        port->ClosePort(); // the close already under way, not a second one
    };
    port->OnAfterClose = [&](QObject*) { ++afterClose; };
    port->OpenPort();
    port->WriteText("tx");
    opened = true; // an empty output queue in the same batch or the next
    pty.Send("in");
    ASSERT_TRUE(PumpUntil([&] { return afterClose == 1 && TSyncThread::RetiredCount() == 0; }));
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(beforeClose, 1);
    EXPECT_EQ(late, 0);
    port->OnBeforeClose = [&](QObject*) { closing = true; };
    port->OnAfterClose = nullptr;

    // 3. Many closes with bytes streaming in.
    port->OnRxChar = [&](QObject*, std::int32_t n) {
        late += closing ? 1 : 0;
        std::string t;
        port->ReadText(t, n);
    };
    std::atomic<bool> stop = false;
    std::thread sender([&] {
        while (!stop) {
            pty.Send("s");
            std::this_thread::sleep_for(100us);
        }
    });
    for (int cycle = 0; cycle < 200; ++cycle) {
        port->OpenPort();
        QCoreApplication::processEvents();
        port->ClosePort();
    }
    stop = true;
    sender.join();
    EXPECT_EQ(late, 0);
    port->UnregisterLink(&link);
}

// A notification of the close deletes the port, whoever asked for the
// close: the port's destructor finishes that close, and nothing of the port
// is touched after the delete (AddressSanitizer and ThreadSanitizer would
// see it).
TEST_P(PortLifeTest, PortDeletedByANotificationOfItsCloseFinishesTheCloseAndLetsGo)
{
    enum Deleter { InBeforeClose, InAfterClose, InLinkSlot };
    enum Closer { ByMainThread, ByRxCharHandler, ByNewPortName, ByDeviceLost };
    for (Deleter deleter : {InBeforeClose, InAfterClose, InLinkSlot}) {
        for (Closer closer : {ByMainThread, ByRxCharHandler, ByNewPortName, ByDeviceLost}) {
            SCOPED_TRACE("deleter " + std::to_string(deleter) + ", closer " + std::to_string(closer));
            PtyPair pty, other;
            const std::set<pid_t> before = ThreadIds();
            TComPort* port = NewPort(pty, GetParam());
            std::atomic<int> deleted = 0, afterClose = 0, linkClosed = 0;
            std::atomic<bool> opened = false;
            TComLink link;
            const auto destroy = [&] {
                if (deleted++ == 0)
                    delete port;
            };
            port->OnBeforeClose = [&](QObject*) { if (deleter == InBeforeClose) destroy(); };
            port->OnAfterClose = [&](QObject*) {
                ++afterClose;
                if (deleter == InAfterClose)
                    destroy();
            };
            link.OnConnectionChange = [&](QObject*, bool open) {
                linkClosed += open ? 0 : 1;
                if (!open && deleter == InLinkSlot)
                    destroy();
            };
            port->OnRxChar = [&](QObject*, std::int32_t) {
                AwaitOpened(opened);
                port->ClosePort();
            };
            port->OnDeviceLost = [&](QObject*) { port->ClosePort(); };
            port->RegisterLink(&link);
            port->OpenPort();
            opened = true;
            switch (closer) {
            case ByMainThread: port->ClosePort(); break;
            case ByRxCharHandler: pty.Send("go"); break;
            case ByNewPortName: port->SetPort(QString::fromStdString(other.SlavePath())); break;
            case ByDeviceLost: pty.HangUp(); break;
            }
            ASSERT_TRUE(PumpUntil([&] { return deleted > 0 && AllReaped(before); }));
            EXPECT_EQ(deleted, 1);
            EXPECT_EQ(linkClosed, 1) << "the link hears of the close once";
            EXPECT_EQ(afterClose, 1) << "OnAfterClose runs once";
            // Neither device is held: the old one (unless it hung up) and the
            // one a new name would have opened are free for a new port.
            for (PtyPair* line : {&pty, &other}) {
                if (line == &pty && closer == ByDeviceLost)
                    continue;
                TComPort again;
                again.SetPort(QString::fromStdString(line->SlavePath()));
                std::atomic<int> heard = 0;
                again.OnRxChar = [&](QObject*, std::int32_t n) {
                    std::string text;
                    again.ReadText(text, n);
                    heard += static_cast<int>(text.size());
                };
                again.OpenPort();
                line->Send("ok");
                EXPECT_TRUE(PumpUntil([&] { return heard == 2; }));
            }
        }
    }
}

// The destructor's own close cannot hand the port to a handler that deletes
// it: the port is being destroyed already, and a second destruction would
// free it under the first. The program ends with a message that says so.
TEST(PortLifeDeathTest, PortDeletedByTheCloseItsDestructorMakesEndsTheProgramWithAMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            PtyPair pty;
            TComPort* port = NewPort(pty, smThreadSync);
            port->OnAfterClose = [&](QObject*) { delete port; };
            port->OpenPort();
            delete port;
        },
        "deleted by a notification of the close its own destruction makes");
}

INSTANTIATE_TEST_SUITE_P(AllMethods, PortLifeTest, ::testing::Values(smThreadSync, smWindowSync, smNone));

} // namespace
