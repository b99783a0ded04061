// The wait for line events: received bytes (once per arrival), the event
// character, the input queue crossing 80 %, the output running empty, and
// the modem lines and error counters, which are polled on devices that
// have them. A stop event ends the wait at once.
#pragma once

#include "framework/posix/EventFd.h"
#include "serial/posix/Transfer.h"
#include "serial/posix/UniqueFd.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace serialdev {

class LineInput;
class LineStatus;

// The device's transfers tell it what they did (TransferActivity); it asks
// them whether a write is pending (the output is not empty before it ends)
// and hands pending reads the bytes it took into the held input.
class LineEvents : public TransferActivity {
public:
    // The held input, the modem lines and counters, and the transfers of
    // the same line. Only references are kept: the wait touches none of
    // them before Attach.
    LineEvents(LineInput& input, LineStatus& status, Transfers& transfers);

    // Starts watching an opened line. Returns 0 or the errno value; then
    // nothing is watched.
    int Attach(int fd);
    // Stops watching (the line is closing).
    void Detach();

    void SetInputSize(std::int32_t size) { inputSize_ = size; }
    // The mask uses the EventBit bits. A change ends a wait in progress,
    // which then reports no events.
    void SetMask(std::uint32_t mask);
    // A write has begun: the wait watches the output drain.
    void WriteStarted() override;
    // A read took bytes in. Reading below the 80 % mark lets the next
    // crossing be reported; until a crossing was, there is nothing to look
    // at. The event character found by the read is reported by the wait.
    void InputTaken(int fd, bool eventChar) override;
    // The input queue was emptied.
    void InputPurged() { wasNearlyFull_ = false; }

    // Waits until a masked event happens (reported in `events`), `stopFd`
    // becomes readable (ECANCELED), or the line fails (EIO on hang-up).
    int Wait(std::uint32_t& events, int stopFd);

private:
    bool NearlyFull(std::int32_t queued) const;
    // With the lock held: puts `stopFd` in the epoll set unless it is there.
    int WatchStop(int stopFd);

    LineInput& input_;
    LineStatus& status_;
    Transfers& transfers_;
    int fd_ = -1;
    UniqueFd epoll_;
    EventFd maskChange_;     // wakes the wait when the mask or output changes
    std::atomic<std::int32_t> inputSize_ = 1024;

    // Touched by the waiting thread; the mask and output state by others.
    std::mutex mutex_;
    std::uint32_t mask_ = 0;
    bool maskChanged_ = false;
    bool txPending_ = false;
    int stopWatched_ = -1;      // the stop event in the epoll set
    std::atomic<bool> wasNearlyFull_ = false;  // input queue at 80 % or more
    std::atomic<bool> eventCharSeen_ = false;  // by a read, not yet reported
};

} // namespace serialdev
