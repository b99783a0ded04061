// The serial device on Windows: a COM port opened for this program alone,
// with overlapped transfers, the device-control record, the driver's
// time-outs and its line events. Functions return 0 or a Windows error
// code; they never throw.
#pragma once

#include "serial/device/Device.h"
#include "serial/win32/Transfer.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace serialdev {

class Win32Device : public Device, private OverlappedOwner {
public:
    Win32Device() = default;
    ~Win32Device() override;
    Win32Device(const Win32Device&) = delete;
    Win32Device& operator=(const Win32Device&) = delete;

    DeviceKind Kind() const override { return DeviceKind::Tty; }
    // Opens `name` ("COM3", or a device path as it is; Win32DevicePath).
    // Another program's handle, or another device of this program, refuses
    // it with ERROR_ACCESS_DENIED.
    int Open(std::string_view name) override;
    void Close() override;

    int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize) override;
    int SetLineSettings(const LineSettings& settings) override;
    int SetTimeouts(const Timeouts& timeouts) override;

    int StartRead(Transfer& transfer, char* destination, std::int32_t count, std::int32_t& immediate) override;
    int StartWrite(Transfer& transfer, const char* source, std::int32_t count, std::int32_t& immediate) override;
    int Wait(Transfer& transfer, std::int32_t& transferred) override;
    int AbortPending() override;

    int Purge(bool input, bool output) override;
    int ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount) override;
    int ModemStatus(std::uint32_t& bits) override;

    int SetEventMask(std::uint32_t mask) override;
    int WaitEvent(std::uint32_t& events, WakeHandle stop) override;

private:
    void Forget(Transfer& transfer) override;
    // The bytes waiting to be read; the error flags this takes from the
    // driver are kept for the next ClearErrors.
    int Queued(DWORD& queued);
    // 0 while the line answers, else the code it fails with.
    int CheckLine();
    int Start(Transfer& transfer, bool write, void* buffer, std::int32_t count, std::int32_t wanted,
              std::int32_t& immediate);
    // Takes the result of a transfer whose I/O has ended. Lock held.
    void Collect(Transfer& transfer);
    // Cancels the I/O of every pending transfer and waits (bounded) for
    // each to end. Lock held.
    void CancelPending(std::unique_lock<std::mutex>& lock);
    // Ends the WaitCommEvent in progress and collects it (bounded); false
    // when it would not end.
    bool EndEventWait();
    // Collects an event wait that an earlier call could not end in time;
    // false when it is still pending after `stop`'s wait.
    bool SettleEventWait(WakeHandle stop);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE lock_ = nullptr; // the port's named lock while open
    Timeouts timeouts_{};

    std::mutex mutex_; // the pending transfers, the mask
    std::vector<Transfer*> pending_;
    std::uint32_t mask_ = 0;
    // Error flags that a read's ClearCommError took, kept for the port's
    // next ClearErrors.
    DWORD heldErrors_ = 0;
    // Counts mask changes, so that the event wait tells one (which ends it
    // with ERROR_OPERATION_ABORTED under wine) from other ends.
    std::atomic<std::uint32_t> maskChanges_{0};
    HANDLE maskChanged_ = nullptr; // set by each change, for a wait between two WaitCommEvents

    // The event wait's own overlapped record and mask, which the system
    // writes into until the wait has ended.
    OVERLAPPED waitOverlapped_{};
    DWORD waitMask_ = 0;
    bool waitPending_ = false;
};

} // namespace serialdev
