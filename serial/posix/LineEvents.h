// The wait for line events: received bytes (once per arrival), the event
// character, the input queue crossing 80 %, the output running empty, and
// the modem lines and error counters, which are polled on devices that
// have them. A stop event ends the wait at once.
#pragma once

#include "framework/EventFd.h"
#include "serial/posix/UniqueFd.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace serialdev {

class LineInput;
class LineStatus;

class LineEvents {
public:
    // `writing` tells whether a write is still pending (the output is not
    // empty before it ends); `inputHeld` is called after the wait took
    // arrived bytes into the held input, where a pending read must see them.
    // The modem lines and counters come from `status`, attached to the same
    // line.
    LineEvents(LineInput& input, LineStatus& status, std::function<bool()> writing,
               std::function<void()> inputHeld);

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
    void WriteStarted();
    // A read took bytes in. Reading below the 80 % mark lets the next
    // crossing be reported; until a crossing was, there is nothing to look
    // at (`queued` tells what is left).
    void InputTaken(const std::function<std::int32_t()>& queued);
    // The input queue was emptied.
    void InputPurged() { wasNearlyFull_ = false; }
    // A read found the event character among bytes the wait never saw.
    void EventCharSeen();

    // Waits until a masked event happens (reported in `events`), `stopFd`
    // becomes readable (ECANCELED), or the line fails (EIO on hang-up).
    int Wait(std::uint32_t& events, int stopFd);

private:
    bool NearlyFull(std::int32_t queued) const;
    // With the lock held: puts `stopFd` in the epoll set unless it is there.
    int WatchStop(int stopFd);

    LineInput& input_;
    LineStatus& status_;
    std::function<bool()> writing_;
    std::function<void()> inputHeld_;
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
