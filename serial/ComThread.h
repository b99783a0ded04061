// The thread that waits for line events of an open port and hands each
// batch to the port's handlers, in the way the port's SyncMethod asks.
#pragma once

#include "framework/ThreadSync.h"
#include "serial/ComTypes.h"

class TCustomComPort;

class TComThread : public TSyncThread {
public:
    explicit TComThread(TCustomComPort* port);
    ~TComThread() override;

    // Asks the loop to end; it wakes at once.
    void Stop();
    // Whether the stop event could be made (a process out of descriptors
    // cannot, and such a thread could never be stopped).
    bool CanStop() const { return stopFd_ >= 0; }

    // The events of the batch being delivered.
    TComEvents Events() const { return events_; }

protected:
    void Execute() override;

private:
    void Dispatch();

    TCustomComPort* port_;
    int stopFd_;
    TComEvents events_;
};
