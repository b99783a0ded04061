// Reads and writes of a device. Each starts at once and does what it can
// without blocking; one that is not finished then is pending, and a worker
// thread of the device carries it on while the caller does other work, as
// a device completes an overlapped transfer: until it is done, its
// time-out (counted from its start) passes, the line fails, or an abort
// ends it. A wait only waits for that end.
//
// The worker starts with the first pending transfer and blocks in poll
// whenever nothing can move, so an idle port costs nothing. One worker
// serves every transfer of the device, so a pending read and a pending
// write move at the same time and one abort ends both.
#pragma once

#include "framework/posix/EventFd.h"
#include "serial/device/Deadlines.h"
#include "serial/device/LineSettings.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace serialdev {

class LineInput;
class Transfers;

// What a device's transfers tell its event wait, which watches the input
// queue and the output drain. Called with the transfers' lock held, so an
// implementation takes no lock that is held while it asks the transfers.
class TransferActivity {
public:
    // A read took bytes from the line `fd`. `eventChar` tells that the
    // event character was among bytes the read took straight from the tty,
    // which the event wait never saw.
    virtual void InputTaken(int fd, bool eventChar) = 0;
    // A write has begun (called once the transfers' lock is let go).
    virtual void WriteStarted() = 0;

protected:
    ~TransferActivity() = default;
};

// One transfer (a read or a write) with its own completion state. A fresh
// transfer counts as complete with nothing transferred.
class Transfer {
public:
    Transfer();
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    bool Completed() const { return completed_; }

private:
    friend class Transfers;

    // Everything below is guarded by the owning Transfers' lock while the
    // transfer is pending.
    std::atomic<Transfers*> owner_ = nullptr;  // set while pending
    bool write_ = false;
    char* readTo_ = nullptr;
    const char* writeFrom_ = nullptr;
    std::int32_t count_ = 0;
    std::int32_t done_ = 0;
    std::atomic<bool> completed_ = true;
    int error_ = 0;
    Deadlines deadlines_;
    Clock::time_point lastByte_{};
};

// The transfers of one device.
class Transfers {
public:
    // Reads take from `input`; what they and the writes do is told to
    // `activity`.
    Transfers(LineInput& input, TransferActivity& activity);
    ~Transfers();
    Transfers(const Transfers&) = delete;
    Transfers& operator=(const Transfers&) = delete;

    // The open line's descriptor. Setting -1 (the line is closing) aborts
    // whatever is pending and ends the worker.
    void SetFd(int fd);

    // Starts a transfer: does what can be done at once. When that finishes
    // it, the transfer is complete and `immediate` holds the count;
    // otherwise it is pending.
    int StartRead(Transfer& transfer, const Timeouts& timeouts, char* destination, std::int32_t count,
                  std::int32_t& immediate);
    int StartWrite(Transfer& transfer, const Timeouts& timeouts, const char* source, std::int32_t count,
                   std::int32_t& immediate);
    // Blocks until the transfer has ended; an aborted transfer fails with
    // ECANCELED, a line that hung up with EIO.
    int Wait(Transfer& transfer, std::int32_t& transferred);
    // Ends every pending transfer at once (they fail with ECANCELED).
    void AbortPending();
    // Whether a write is pending.
    bool Writing();
    // Bytes reached the device's held input by another way than a read
    // (the event wait took them in): pending reads take them now.
    void InputHeld()
    {
        // A read that becomes pending later looks at the held input itself.
        if (pendingCount_ > 0)
            wake_.Signal();
    }

private:
    friend class Transfer;
    void Unregister(Transfer& transfer);
    // With the lock held: checks the arguments and readies the transfer.
    int Begin(Transfer& transfer, bool write, const void* buffer, std::int32_t count, std::int32_t& immediate);
    // With the lock held: completes the transfer, or hands it to the worker.
    int Finish(Transfer& transfer, int error, bool complete, std::int32_t& immediate);
    void Complete(Transfer& transfer, int error);
    // With the lock held: ends every pending transfer with ECANCELED and
    // wakes those waiting for one.
    void CancelAll();
    int ReadSome(Transfer& transfer);
    int WriteSome(Transfer& transfer);
    // With the lock held: moves every pending transfer as far as it goes
    // and ends those that are done; `hungUp` says the line reported a
    // hang-up, which ends a transfer that got nothing more.
    void Progress(bool hungUp);
    void Work();
    void StopWorker(std::unique_lock<std::mutex>& lock);

    LineInput& input_;
    TransferActivity& activity_;

    std::mutex mutex_;
    std::condition_variable completed_;
    int fd_ = -1;
    std::vector<Transfer*> pending_;   // in start order
    std::atomic<std::size_t> pendingCount_ = 0;  // pending_.size(), for a look without the lock
    EventFd wake_;                     // wakes the worker's poll
    int wakeError_ = 0;                // why it could not be made
    std::thread worker_;
    bool stopWorker_ = false;
};

} // namespace serialdev
