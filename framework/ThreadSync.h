// Running calls on the main thread for other threads.
//
// A thread hands a call to the main thread and blocks until it has run
// (Synchronize); the main thread runs queued calls from a posted event, and
// also while it waits for a thread to end (TSyncThread::WaitFor), so a
// thread that is mid-hand-over when the main thread asks it to stop is
// served instead of deadlocking.
#pragma once

#include <QThread>

#include <atomic>
#include <functional>

class TSyncThread : public QThread {
    Q_OBJECT

public:
    using QThread::QThread;

    // Runs `call` on the main thread and waits until it has run. An
    // exception from the call is rethrown here. On the main thread the call
    // simply runs.
    static void Synchronize(const std::function<void()>& call);

    // Hands `call` to the main thread and returns as soon as the main
    // thread has taken it, before it runs. Its exceptions go to the
    // standard error display.
    static void Notify(const std::function<void()>& call);

    // Runs every call queued for the main thread. Main thread only.
    static void RunQueuedCalls();

    // Waits, on the main thread, until this thread's run() has returned,
    // running queued calls meanwhile; then joins it.
    void WaitFor();

    bool Ended() const { return ended_.load(); }

protected:
    // The thread's work; subclasses override this instead of run().
    virtual void Execute() = 0;

private:
    void run() final;
    std::atomic<bool> ended_ = false;
};

// Whether the calling thread is the application's main thread.
bool IsMainThread();
