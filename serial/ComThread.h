// The thread that waits for line events of an open port and hands each
// batch on, in the way the port's SyncMethod asks. It knows the device it
// waits on and the calls it is given, nothing else of the port.
#pragma once

#include "framework/EventFd.h"
#include "framework/ThreadSync.h"
#include "serial/ComTypes.h"

#include <functional>

namespace serialdev {
class SerialDevice;
}

class TComThread : public TSyncThread {
public:
    // Handles one batch of events (on the main thread, or on this one for
    // smNone).
    using THandleEvents = std::function<void(TComEvents events)>;
    // Whether the port is still open when a notification comes to run.
    using TIsOpen = std::function<bool()>;

    TComThread(serialdev::SerialDevice& device, TSyncMethod method, THandleEvents handle, TIsOpen isOpen);
    ~TComThread() override;

    // Asks the loop to end; it wakes at once.
    void Stop();
    // Whether the stop event could be made (a process out of descriptors
    // cannot, and such a thread could never be stopped), and the errno
    // value that says why not.
    bool CanStop() const { return stop_.IsOpen(); }
    int StopEventError() const { return stopError_; }

    // The events of the batch being delivered.
    TComEvents Events() const { return events_; }

protected:
    void Execute() override;

private:
    void Dispatch();

    serialdev::SerialDevice& device_;
    TSyncMethod method_;
    THandleEvents handle_;
    TIsOpen isOpen_;
    EventFd stop_;
    int stopError_ = 0;
    TComEvents events_;
};
