// Tests of calls handed to the main thread and of waits for a thread's end.
#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "framework/ThreadSync.h"
#include "tests/support/Capture.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
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
    ErrorCapture shown;
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
    EXPECT_EQ(journal, (std::vector<std::string>{"handler after release", "posted"}));
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"notified call failed"});
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

TEST(ThreadSyncTest, EachOfManyThreadsIsReleasedByItsOwnCallOnly)
{
    // Four threads hand calls over at once. A thread must come back from
    // Synchronize only once its own call has run: a wake-up meant for
    // another thread, or one left over from an earlier call, would let it
    // see its counter unchanged.
    constexpr int threads = 4;
    constexpr int calls = 300;
    std::array<int, threads> counters{};
    std::atomic<int> mismatches = 0;
    std::vector<std::unique_ptr<Worker>> workers;
    for (int t = 0; t < threads; ++t) {
        workers.push_back(std::make_unique<Worker>([&, t] {
            for (int i = 0; i < calls; ++i) {
                if (i % 3 == 0) // a released-first call between them must not steal a wake-up
                    TSyncThread::Notify([] {});
                TSyncThread::Synchronize([&, t] { ++counters[static_cast<std::size_t>(t)]; });
                int seen = 0;
                TSyncThread::Synchronize([&, t] { seen = counters[static_cast<std::size_t>(t)]; });
                if (seen != i + 1)
                    ++mismatches;
            }
        }));
    }
    for (auto& worker : workers)
        worker->Start();
    ASSERT_TRUE(PumpUntil([&] {
        for (auto& worker : workers)
            if (!worker->Ended())
                return false;
        return true;
    }, 20000ms));
    for (auto& worker : workers)
        worker->WaitFor();
    EXPECT_EQ(mismatches.load(), 0);
    for (int count : counters)
        EXPECT_EQ(count, calls);
}
