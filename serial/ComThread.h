// The thread that waits for line events of an open port and hands each
// batch on, in the way the port's SyncMethod asks. It knows the device it
// waits on and the calls it is given, nothing else of the port.
#pragma once

#include "framework/WakeEvent.h"
#include "framework/ThreadSync.h"
#include "serial/ComTypes.h"

#include <atomic>
#include <functional>
#include <thread>

namespace serialdev {
class Device;
}

class TComThread : public TSyncThread {
public:
    // Handles one batch of events (on the main thread, or on this one for
    // smNone).
    using THandleEvents = std::function<void(TComEvents events)>;
    // Whether the port is still open when a notification comes to run.
    using TIsOpen = std::function<bool()>;
    // Called on this thread as its last act when the wait ended because
    // the line is gone (given the errno value), not because it was stopped.
    using TLineLost = std::function<void(int error)>;

    TComThread(serialdev::Device& device, TSyncMethod method, THandleEvents handle, TIsOpen isOpen,
               TLineLost lost = {});
    ~TComThread() override;

    // Asks the loop to end; it wakes at once, and touches the device no
    // more once its present delivery has returned.
    void Stop();
    // Whether the calling thread is inside one of this thread's deliveries
    // (a handler on the main thread for smThreadSync, this thread itself
    // for smNone): the thread cannot end before that handler returns.
    bool DeliveringOnCallingThread() const { return deliveringOn_.load() == std::this_thread::get_id(); }
    // Waits until no delivery runs on another thread (a handler on this
    // thread under smNone), serving calls queued for the main thread
    // meanwhile. A delivery that starts after the port's close has begun
    // must find the close and hand nothing on.
    void WaitForOtherDeliveries();
    // Whether the stop event could be made (a process out of descriptors
    // cannot, and such a thread could never be stopped), and the errno
    // value that says why not.
    bool CanStop() const { return stop_.IsOpen(); }
    int StopEventError() const { return stopError_; }

protected:
    void Execute() override;

private:
    void Dispatch(TComEvents batch);
    // Runs the handler, marking the calling thread as delivering.
    void Deliver(TComEvents batch);

    serialdev::Device& device_;
    TSyncMethod method_;
    THandleEvents handle_;
    TIsOpen isOpen_;
    TLineLost lost_;
    WakeEvent stop_;
    int stopError_ = 0;
    std::atomic<bool> stopped_ = false;
    std::atomic<std::thread::id> deliveringOn_{};
};
