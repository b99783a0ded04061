// The serial device on Linux: a tty opened exclusively, configured through
// termios2, with transfers that start at once and finish in a wait, an
// abort that wakes every waiter, status queries and an interruptible wait
// for line events. Functions return 0 or an errno value; they never throw.
#pragma once

#include "serial/posix/InputFilter.h"
#include "serial/posix/LineSettings.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

struct serial_icounter_struct;

namespace serialdev {

// "COMn" names /dev/ttyS(n-1); an absolute path stays as it is; any other
// name is looked for under /dev/.
std::string DevicePath(std::string_view name);

class SerialDevice;

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
    friend class SerialDevice;
    using Clock = std::chrono::steady_clock;

    int wakeFd_ = -1;          // signalled by an abort
    SerialDevice* device_ = nullptr;  // set while registered as pending
    bool write_ = false;
    char* readTo_ = nullptr;
    const char* writeFrom_ = nullptr;
    std::int32_t count_ = 0;
    std::int32_t done_ = 0;
    bool completed_ = true;
    int error_ = 0;
    std::atomic<bool> aborted_ = false;
    bool hasTotal_ = false;
    Clock::time_point totalDeadline_{};
    std::uint32_t interval_ = 0;      // ms between bytes; 0 none
    Clock::time_point lastByte_{};
    bool firstByteOnly_ = false;      // return as soon as anything arrived
};

class SerialDevice {
public:
    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens `name` for exclusive use: a second opener is refused, root too.
    int Open(std::string_view name);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize);
    int SetLineSettings(const LineSettings& settings);
    int SetTimeouts(const Timeouts& timeouts);

    // Starts a transfer: does what can be done at once. When that finishes
    // it, the transfer is complete and `immediate` holds the count;
    // otherwise it is pending and Wait finishes it.
    int StartRead(Transfer& transfer, char* destination, std::int32_t count, std::int32_t& immediate);
    int StartWrite(Transfer& transfer, const char* source, std::int32_t count, std::int32_t& immediate);
    // Blocks until the transfer has ended; an aborted transfer fails with
    // ECANCELED, a line that hung up with EIO.
    int Wait(Transfer& transfer, std::int32_t& transferred);
    // Ends every pending transfer at once (they fail); queues keep their bytes.
    int AbortPending();

    int Purge(bool input, bool output);
    // Bytes waiting to be read, and the error flags gathered since the last
    // call (which clears them).
    int ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount);
    // Modem status bits; all off for a device without modem lines.
    int ModemStatus(std::uint32_t& bits);

    // Line events. The mask uses the driver's event bits. A change of the
    // mask ends a wait in progress, which then reports no events.
    int SetEventMask(std::uint32_t mask);
    // Waits until a masked event happens (reported in `events`), `stopFd`
    // becomes readable (ECANCELED), or the line fails (EIO on hang-up).
    int WaitEvent(std::uint32_t& events, int stopFd);

private:
    friend class Transfer;
    void Unregister(Transfer& transfer);
    int Register(Transfer& transfer);
    // Checks the arguments and readies the transfer for a new start.
    int Begin(Transfer& transfer, bool write, const void* buffer, std::int32_t count, std::int32_t& immediate);
    int Finish(Transfer& transfer, int error, bool complete, std::int32_t& immediate);
    static void SetTotal(Transfer& transfer, std::uint64_t totalMs, std::chrono::steady_clock::time_point now);
    int ReadSome(Transfer& transfer);
    int WriteSome(Transfer& transfer);
    bool ReadSatisfied(const Transfer& transfer, Transfer::Clock::time_point now) const;
    int PollTimeout(const Transfer& transfer, Transfer::Clock::time_point now) const;
    std::int32_t BufferedInput() const;
    bool NearlyFull(std::int32_t queued) const;
    // Takes what the line has received into the backlog (up to the input
    // queue size) and tells whether the event character was among it.
    bool TakeInForEventChar();
    void ApplyModemLines(bool dtr, bool rts);
    int ReadCounters(::serial_icounter_struct& counters) const;

    int fd_ = -1;
    int epollFd_ = -1;
    int maskFd_ = -1;       // wakes WaitEvent when the mask or output changes
    Timeouts timeouts_{};
    std::atomic<std::int32_t> inputSize_ = 1024;
    std::atomic<std::int32_t> outputSize_ = 1024;

    // Input resolved by the filter but not yet asked for: what a pending mark
    // left over, and what the event wait took in to look for the event
    // character.
    mutable std::mutex inputMutex_;
    InputFilter filter_;
    std::string backlog_;
    char eventChar_ = 0;

    std::mutex pendingMutex_;
    std::set<Transfer*> pending_;

    // Error counters as last taken by ClearErrors and by the event wait.
    mutable std::mutex statusMutex_;
    bool hasCounters_ = false;
    int errorBase_[5] = {};   // frame, overrun, parity, brk, buf_overrun

    // Event wait state (touched by the waiting thread, mask by others).
    std::mutex eventMutex_;
    std::uint32_t eventMask_ = 0;
    bool maskChanged_ = false;
    bool txPending_ = false;
    bool hasModemLines_ = false;
    std::uint32_t lastModem_ = 0;
    int eventBase_[6] = {};   // frame, overrun, parity, brk, buf_overrun, rng
    std::atomic<bool> wasNearlyFull_ = false;  // input queue at 80 % or more
};

} // namespace serialdev
