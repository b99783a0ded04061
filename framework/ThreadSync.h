// Threads that run calls on the main thread.
//
// A thread hands a call to the main thread and blocks until it has run
// (Synchronize); the main thread runs queued calls when a wake-up its
// event loop watches wakes it (a posted event where there is none yet), and
// also while it waits for a thread to end (WaitFor), so a thread that is
// mid-hand-over when the main thread asks it to stop is served instead of
// deadlocking.
//
// The threads are plain std::threads: their start, hand-over and join are
// then all visible to ThreadSanitizer, which cannot see into Qt's own
// futex-based locking.
#pragma once

#include <QThread>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

class TSyncThread {
public:
    TSyncThread() = default;
    virtual ~TSyncThread();
    TSyncThread(const TSyncThread&) = delete;
    TSyncThread& operator=(const TSyncThread&) = delete;

    // Starts Execute() on a new thread with the given priority (as far as
    // the system lets an unprivileged process raise it).
    void Start(QThread::Priority priority = QThread::InheritPriority);

    // Runs `call` on the main thread and waits until it has run. An
    // exception from the call is rethrown here. On the main thread the call
    // simply runs.
    static void Synchronize(const std::function<void()>& call);

    // Hands `call` to the main thread and returns as soon as the main
    // thread has taken it, before it runs. Its exceptions go to the
    // standard error display.
    static void Notify(const std::function<void()>& call);

    // Queues `call` for the main thread and returns at once. Its exceptions
    // go to the standard error display.
    static void Post(const std::function<void()>& call);

    // Runs every call queued for the main thread. Main thread only.
    static void RunQueuedCalls();

    // Waits until Execute() has returned, running queued calls meanwhile
    // when called on the main thread; then joins the thread.
    void WaitFor();

    bool Ended() const { return ended_.load(); }

    // Takes over a thread that its owner can neither wait for nor keep:
    // one asked to stop from inside its own delivery, whose owner is going
    // away. It is joined and deleted on the main thread, from the event
    // loop, once it has ended; it must touch nothing of its owner after its
    // present delivery returns.
    static void Retire(std::unique_ptr<TSyncThread> thread);
    // How many retired threads have not been joined yet.
    static std::size_t RetiredCount();

protected:
    // The thread's work.
    virtual void Execute() = 0;

    // Waits until `done()` holds, running queued calls meanwhile when
    // called on the main thread. `done` is checked whenever a call is
    // queued, a thread ends or WakeWaiters is called; it must not block.
    static void ServeUntil(const std::function<bool()>& done);
    static void WakeWaiters();

private:
    void Run(QThread::Priority priority);

    std::thread thread_;
    std::atomic<bool> ended_ = false;
    bool retired_ = false; // guarded by the queue's lock
};

// Whether the calling thread is the application's main thread.
bool IsMainThread();
