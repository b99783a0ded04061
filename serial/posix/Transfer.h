// Reads and writes of a device: each starts at once and does what it can
// without blocking; one that is not finished then is pending until a wait
// finishes it, and an abort ends every pending one at once.
#pragma once

#include "framework/EventFd.h"
#include "serial/posix/Deadlines.h"
#include "serial/posix/LineSettings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>

namespace serialdev {

class LineInput;
class Transfers;

// One transfer in flight (a read or a write) with its own completion state.
// A fresh transfer counts as complete with nothing transferred.
class Transfer {
public:
    Transfer();
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    bool Completed() const { return completed_; }

private:
    friend class Transfers;

    EventFd wake_;                  // signalled by an abort
    Transfers* owner_ = nullptr;    // set while registered as pending
    bool write_ = false;
    char* readTo_ = nullptr;
    const char* writeFrom_ = nullptr;
    std::int32_t count_ = 0;
    std::int32_t done_ = 0;
    bool completed_ = true;
    int error_ = 0;
    std::atomic<bool> aborted_ = false;
    Deadlines deadlines_;
    Clock::time_point lastByte_{};
};

// The transfers of one device.
class Transfers {
public:
    // `inputTaken` runs after a read took bytes; `writeStarted` when a
    // write begins (the event wait then watches the output drain).
    Transfers(LineInput& input, std::function<void()> inputTaken, std::function<void()> writeStarted);
    ~Transfers();
    Transfers(const Transfers&) = delete;
    Transfers& operator=(const Transfers&) = delete;

    // The open line's descriptor, or -1 once it is closed.
    void SetFd(int fd) { fd_ = fd; }

    // Starts a transfer: does what can be done at once. When that finishes
    // it, the transfer is complete and `immediate` holds the count;
    // otherwise it is pending and Wait finishes it.
    int StartRead(Transfer& transfer, const Timeouts& timeouts, char* destination, std::int32_t count,
                  std::int32_t& immediate);
    int StartWrite(Transfer& transfer, const Timeouts& timeouts, const char* source, std::int32_t count,
                   std::int32_t& immediate);
    // Blocks until the transfer has ended; an aborted transfer fails with
    // ECANCELED, a line that hung up with EIO.
    int Wait(Transfer& transfer, std::int32_t& transferred);
    // Ends every pending transfer at once (they fail).
    void AbortPending();
    // Whether a write is pending.
    bool Writing();

private:
    friend class Transfer;
    int Register(Transfer& transfer);
    void Unregister(Transfer& transfer);
    // Checks the arguments and readies the transfer for a new start.
    int Begin(Transfer& transfer, bool write, const void* buffer, std::int32_t count, std::int32_t& immediate);
    int Finish(Transfer& transfer, int error, bool complete, std::int32_t& immediate);
    int ReadSome(Transfer& transfer);
    int WriteSome(Transfer& transfer);

    LineInput& input_;
    std::function<void()> inputTaken_;
    std::function<void()> writeStarted_;
    int fd_ = -1;

    std::mutex mutex_;
    std::set<Transfer*> pending_;
};

} // namespace serialdev
