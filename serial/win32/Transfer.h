// The record of one transfer on Windows, shared by the Windows devices: a
// COM port starts it as overlapped I/O on `overlapped`, whose event is the
// record's own; the network device moves the bytes itself and ends it with
// Finish. Either way a waiter waits on Event(), which is set when the
// transfer has ended. A fresh record counts as complete with nothing
// transferred.
#pragma once

#include "framework/win32/Windows.h"

#include <atomic>
#include <cstdint>

namespace serialdev {

class Device;
class Transfer;

// A device whose transfers the system carries on as overlapped I/O: the
// system writes into the record (and its buffer) until the I/O has ended,
// so a record that goes away while pending must first have its I/O ended
// and be forgotten by the device.
class OverlappedOwner {
public:
    // Cancels `transfer`'s I/O, waits (bounded) for the system to let go
    // of it, and drops it from the device's pending transfers.
    virtual void Forget(Transfer& transfer) = 0;

protected:
    ~OverlappedOwner() = default;
};

class Transfer {
public:
    Transfer();
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    HANDLE Event() const { return overlapped.hEvent; }
    bool Completed() const { return !pending.load(); }

    // Starts it anew: not complete, nothing done, its event reset.
    void Begin(Device* by, bool isWrite, std::int32_t wanted);
    // Ends it with `result` (0 or a Windows error code) after `count`
    // bytes, and wakes whoever waits. For devices that complete transfers
    // themselves.
    void Finish(int result, std::int32_t count);

    OVERLAPPED overlapped{};
    std::atomic<Device*> owner{nullptr}; // the device while it is pending
    // Set, while pending, by a device whose I/O is overlapped (Begin clears it).
    std::atomic<OverlappedOwner*> overlappedOwner{nullptr};
    std::atomic<bool> pending{false};
    bool write = false;
    std::int32_t count = 0;  // bytes asked for
    std::int32_t done = 0;   // bytes moved, once ended
    int error = 0;           // once ended
};

} // namespace serialdev
