#include "framework/ThreadSync.h"

#include "framework/ErrorDisplay.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace {

struct QueuedCall {
    std::function<void()> call;
    bool releaseFirst = false;   // the caller waits only until the call is taken
    bool done = false;
    std::exception_ptr error;
};

std::mutex queueMutex;
std::condition_variable queueChanged;   // a call was queued, or a thread ended
std::condition_variable callDone;       // a queued call was taken or finished
std::deque<std::shared_ptr<QueuedCall>> queue;

void PostRunner()
{
    // The posted event makes the main thread's event loop run the queue.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] { TSyncThread::RunQueuedCalls(); }, Qt::QueuedConnection);
}

void Enqueue(const std::shared_ptr<QueuedCall>& item)
{
    {
        std::lock_guard lock(queueMutex);
        queue.push_back(item);
    }
    queueChanged.notify_all();
    PostRunner();
    std::unique_lock lock(queueMutex);
    callDone.wait(lock, [&] { return item->done; });
}

// Runs one queued call; the queue lock is not held.
void RunItem(const std::shared_ptr<QueuedCall>& item)
{
    if (item->releaseFirst) {
        {
            std::lock_guard lock(queueMutex);
            item->done = true;
        }
        callDone.notify_all();
        GuardedCall(item->call);
        return;
    }
    try {
        item->call();
    } catch (...) {
        item->error = std::current_exception();
    }
    {
        std::lock_guard lock(queueMutex);
        item->done = true;
    }
    callDone.notify_all();
}

} // namespace

bool IsMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void TSyncThread::Synchronize(const std::function<void()>& call)
{
    if (IsMainThread() || !QCoreApplication::instance()) {
        call();
        return;
    }
    auto item = std::make_shared<QueuedCall>();
    item->call = call;
    Enqueue(item);
    if (item->error)
        std::rethrow_exception(item->error);
}

void TSyncThread::Notify(const std::function<void()>& call)
{
    if (IsMainThread() || !QCoreApplication::instance()) {
        GuardedCall(call);
        return;
    }
    auto item = std::make_shared<QueuedCall>();
    item->call = call;
    item->releaseFirst = true;
    Enqueue(item);
}

void TSyncThread::RunQueuedCalls()
{
    for (;;) {
        std::shared_ptr<QueuedCall> item;
        {
            std::lock_guard lock(queueMutex);
            if (queue.empty())
                return;
            item = queue.front();
            queue.pop_front();
        }
        RunItem(item);
    }
}

void TSyncThread::WaitFor()
{
    if (!IsMainThread()) {
        wait();
        return;
    }
    for (;;) {
        RunQueuedCalls();
        std::unique_lock lock(queueMutex);
        if (ended_.load())
            break;
        queueChanged.wait(lock, [&] { return ended_.load() || !queue.empty(); });
    }
    RunQueuedCalls();
    wait();
}

void TSyncThread::run()
{
    try {
        Execute();
    } catch (...) {
        // Execute is expected to deal with its own errors; anything that
        // escapes is shown rather than lost.
        const std::string message = ExceptionMessage(std::current_exception());
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [message] { ShowErrorMessage(message); }, Qt::QueuedConnection);
        else
            ShowErrorMessage(message);
    }
    {
        std::lock_guard lock(queueMutex);
        ended_.store(true);
    }
    queueChanged.notify_all();
}
