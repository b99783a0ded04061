#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "framework/ThreadSync.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A thread whose work is given as a function.
class Worker : public TSyncThread {
public:
    explicit Worker(std::function<void()> work) : work_(std::move(work)) {}
    ~Worker() override { WaitFor(); }

protected:
    void Execute() override { work_(); }

private:
    std::function<void()> work_;
};

TEST(ThreadSyncTest, SynchronizedCallRunsOnTheMainThreadAndItsErrorComesBack)
{
    std::atomic<bool> ranOnMain = false;
    std::string caught;
    Worker worker([&] {
        TSyncThread::Synchronize([&] { ranOnMain = QThread::currentThread() == qApp->thread(); });
        try {
            TSyncThread::Synchronize([] { throw Exception("from the main thread"); });
        } catch (const Exception& e) {
            caught = e.Message();
        }
    });
    worker.Start();
    ASSERT_TRUE(PumpUntil([&] { return worker.Ended(); }));
    worker.WaitFor();
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(caught, "from the main thread");
}

TEST(ThreadSyncTest, WaitingForAThreadServesItsPendingCalls)
{
    // The thread hands a call over while the main thread does not run its
    // event loop but waits for the thread to end: without serving the call
    // this would never finish.
    std::vector<std::string> journal;
    Worker worker([&] {
        std::this_thread::sleep_for(20ms);
        TSyncThread::Synchronize([&] { journal.push_back("call"); });
        TSyncThread::Synchronize([&] { journal.push_back("second call"); });
    });
    worker.Start();
    worker.WaitFor();
    journal.push_back("ended");
    EXPECT_EQ(journal, (std::vector<std::string>{"call", "second call", "ended"}));
}

TEST(ThreadSyncTest, NotifiedCallReleasesTheThreadBeforeItRuns)
{
    std::vector<std::string> shown;
    auto previous = SetErrorDisplay([&](const std::string& m) { shown.push_back(m); });
    std::mutex mutex;
    std::vector<std::string> journal;
    auto note = [&](const std::string& what) {
        std::lock_guard lock(mutex);
        journal.push_back(what);
    };
    std::atomic<bool> released = false;
    Worker worker([&] {
        TSyncThread::Notify([&] {
            // The thread is already on its way when this runs.
            PumpUntil([&] { return released.load(); }, 2000ms);
            note(released ? "handler after release" : "handler before release");
            throw Exception("notified call failed");
        });
        released = true;
        TSyncThread::Post([&] { note("posted"); });
    });
    worker.Start();
    ASSERT_TRUE(PumpUntil([&] {
        std::lock_guard lock(mutex);
        return journal.size() == 2;
    }));
    worker.WaitFor();
    SetErrorDisplay(previous);
    EXPECT_EQ(journal, (std::vector<std::string>{"handler after release", "posted"}));
    EXPECT_EQ(shown, std::vector<std::string>{"notified call failed"});
}

TEST(ThreadSyncTest, OnTheMainThreadCallsRunDirectly)
{
    int runs = 0;
    TSyncThread::Synchronize([&] { ++runs; });
    TSyncThread::Post([&] { ++runs; });
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(IsMainThread());
}

} // namespace
