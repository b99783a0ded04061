// Calls handed from a thread to the main thread, and waits that keep serving them.
#include "framework/ThreadSync.h"

#include "framework/ErrorDisplay.h"
#include "framework/MainWakeup.h"
#include "framework/PathStamps.h"
#include "framework/WakeEvent.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace {

// A call handed to the main thread. One that somebody waits for lives on
// the waiting thread's stack, and the main thread lets go of it for good the
// moment it marks it done; a posted call lives on the heap and the main
// thread deletes it. Either way exactly one thread ends its life, after
// every use by the other, so even the exception it carries back is never
// released by the main thread while the waiting thread still reads it.
struct QueuedCall {
    std::function<void()> call;
    bool releaseFirst = false;   // the caller waits only until the call is taken
    bool detached = false;       // nobody waits at all
    bool done = false;            // when there is no doneSignal
    std::exception_ptr error;
    // The waiting thread's own wake-up, signalled once when the item is
    // done: the main thread's last touch, and the waiter returns only after
    // taking it, so it outlives the signal.
    const WakeEvent* doneSignal = nullptr;
};

std::mutex queueMutex;
std::condition_variable queueChanged;   // a call was queued, or a thread ended
std::condition_variable callDone;       // a call without doneSignal was taken or finished
std::deque<QueuedCall*> queue;
std::size_t retiredThreads = 0;   // guarded by queueMutex

void EnsureWakeup()
{
    if (IsMainThread() && !mainwakeup::Started())
        mainwakeup::Start([] { TSyncThread::RunQueuedCalls(); });
}

void PostRunner()
{
    if (mainwakeup::Started()) {
        mainwakeup::Signal();
        return;
    }
    // A thread started before the main thread could set up its wake-up:
    // a posted event does the same job.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] { GuardedCall([] { TSyncThread::RunQueuedCalls(); }); }, Qt::QueuedConnection);
}

// Queues `call` for the main thread's event loop, also when called on the
// main thread itself: a join must not run inside the delivery it waits for.
void QueueForEventLoop(std::function<void()> call)
{
    auto* item = new QueuedCall;
    item->call = std::move(call);
    item->detached = true;
    {
        std::lock_guard lock(queueMutex);
        queue.push_back(item);
    }
    queueChanged.notify_all();
    PostRunner();
}

// Each thread that hands calls over waits on a wake-up of its own
// (mainwakeup::ThreadDoneSignal): the main thread wakes exactly that
// thread, with one system call, and neither side meets the other on the
// queue's lock on the way back.
const WakeEvent* DoneSignal()
{
    return mainwakeup::ThreadDoneSignal();
}

// Queues `item` and, unless it is detached, waits until it is done.
void Enqueue(QueuedCall* item)
{
    const bool wait = !item->detached;
    if (wait)
        item->doneSignal = DoneSignal();
    {
        std::lock_guard lock(queueMutex);
        queue.push_back(item);
    }
    queueChanged.notify_all();
    if (wait)
        pathstamps::Stamp(pathstamps::HandedOver);
    PostRunner();
    if (!wait)
        return; // a detached item may be gone already
    if (item->doneSignal) {
        item->doneSignal->Wait();
    } else {
        std::unique_lock lock(queueMutex);
        callDone.wait(lock, [&] { return item->done; });
    }
    pathstamps::Stamp(pathstamps::ThreadResumed);
}

void MarkDone(QueuedCall* item)
{
    if (const WakeEvent* signal = item->doneSignal) {
        signal->Signal(); // from here on the item is its thread's alone
        return;
    }
    {
        std::lock_guard lock(queueMutex);
        item->done = true;
    }
    callDone.notify_all();
}

// Runs one queued call on the main thread; the queue lock is not held.
void RunItem(QueuedCall* item)
{
    if (item->detached) {
        GuardedCall(item->call);
        delete item;
        return;
    }
    if (item->releaseFirst) {
        const std::function<void()> call = std::move(item->call);
        MarkDone(item); // from here on the item belongs to its thread alone
        GuardedCall(call);
        return;
    }
    try {
        item->call();
    } catch (...) {
        item->error = std::current_exception();
    }
    pathstamps::Stamp(pathstamps::Handled);
    MarkDone(item);
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
    QueuedCall item;
    item.call = call;
    Enqueue(&item);
    if (item.error)
        std::rethrow_exception(item.error);
}

void TSyncThread::Notify(const std::function<void()>& call)
{
    if (IsMainThread() || !QCoreApplication::instance()) {
        GuardedCall(call);
        return;
    }
    QueuedCall item;
    item.call = call;
    item.releaseFirst = true;
    Enqueue(&item);
}

void TSyncThread::Post(const std::function<void()>& call)
{
    if (IsMainThread() || !QCoreApplication::instance()) {
        GuardedCall(call);
        return;
    }
    auto* item = new QueuedCall;
    item->call = call;
    item->detached = true;
    Enqueue(item);
}

void TSyncThread::RunQueuedCalls()
{
    for (;;) {
        QueuedCall* item;
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

TSyncThread::~TSyncThread()
{
    // An owner that forgot WaitFor must not leave a running thread behind;
    // a thread deleting its own object cannot join itself.
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

namespace {

// Joins and deletes a retired thread whose Execute has returned.
void Reap(TSyncThread* thread, std::thread& handle)
{
    if (handle.joinable())
        handle.join();
    delete thread;
    {
        std::lock_guard lock(queueMutex);
        --retiredThreads;
    }
}

} // namespace

void TSyncThread::Retire(std::unique_ptr<TSyncThread> thread)
{
    if (!thread)
        return;
    TSyncThread* raw = thread.release();
    bool ended;
    {
        std::lock_guard lock(queueMutex);
        ++retiredThreads;
        ended = raw->ended_.load();
        raw->retired_ = !ended;
    }
    // One still running reaps itself as it ends (Run).
    if (ended)
        QueueForEventLoop([raw] { Reap(raw, raw->thread_); });
}

std::size_t TSyncThread::RetiredCount()
{
    std::lock_guard lock(queueMutex);
    return retiredThreads;
}

void TSyncThread::ServeUntil(const std::function<bool()>& done)
{
    if (!IsMainThread()) {
        std::unique_lock lock(queueMutex);
        queueChanged.wait(lock, done);
        return;
    }
    for (;;) {
        RunQueuedCalls();
        std::unique_lock lock(queueMutex);
        if (done())
            return;
        queueChanged.wait(lock, [&] { return done() || !queue.empty(); });
    }
}

void TSyncThread::WakeWaiters()
{
    // Taken and let go so that a waiter between its check and its wait
    // cannot miss the change.
    { std::lock_guard lock(queueMutex); }
    queueChanged.notify_all();
}

void TSyncThread::Start(QThread::Priority priority)
{
    EnsureWakeup();
    ended_.store(false);
    thread_ = std::thread([this, priority] { Run(priority); });
}

void TSyncThread::WaitFor()
{
    if (!thread_.joinable())
        return;
    if (IsMainThread()) {
        ServeUntil([this] { return ended_.load(); });
        RunQueuedCalls();
    }
    thread_.join();
}

void TSyncThread::Run(QThread::Priority priority)
{
    ApplyThreadPriority(priority);
    try {
        Execute();
    } catch (...) {
        // Execute is expected to deal with its own errors; anything that
        // escapes is shown rather than lost.
        const std::string message = ExceptionMessage(std::current_exception());
        Post([message] { ShowErrorMessage(message); });
    }
    bool retired;
    {
        std::lock_guard lock(queueMutex);
        ended_.store(true);
        retired = retired_;
    }
    queueChanged.notify_all();
    if (!retired)
        return;
    // Nobody owns this thread any more: the main thread joins and deletes
    // it. From here on this thread touches its object no more.
    if (QCoreApplication::instance()) {
        QueueForEventLoop([this] { Reap(this, thread_); });
        return;
    }
    // No event loop will ever run the reaper: let the thread go by itself.
    thread_.detach();
    {
        std::lock_guard lock(queueMutex);
        --retiredThreads;
    }
    delete this;
}
