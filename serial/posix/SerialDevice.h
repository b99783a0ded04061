// The serial device on Linux: a tty opened exclusively, configured through
// termios2, with its transfers (Transfer.h), its held input (LineInput.h),
// its line events (LineEvents.h) and its modem lines and counters
// (LineStatus.h). Functions return 0 or an errno value; they never throw.
#pragma once

#include "serial/device/Device.h"
#include "serial/posix/LineEvents.h"
#include "serial/posix/LineInput.h"
#include "serial/posix/LineStatus.h"
#include "serial/posix/Transfer.h"
#include "serial/posix/UniqueFd.h"

#include <cerrno>
#include <cstdint>
#include <string_view>

namespace serialdev {

// A tty that hung up answers every read, write and wait with EIO; a
// removed device gives ENXIO or ENODEV: both are LineGone.
class SerialDevice : public Device {
public:
    SerialDevice();
    ~SerialDevice() override;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens `name` (see DevicePath) for exclusive use: a second opener is
    // refused, root too.
    DeviceKind Kind() const override { return DeviceKind::Tty; }
    int Open(std::string_view name) override;
    void Close() override;

    int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize) override;
    int SetLineSettings(const LineSettings& settings) override;
    int SetTimeouts(const Timeouts& timeouts) override;

    // Transfers: see Transfers in Transfer.h.
    int StartRead(Transfer& transfer, char* destination, std::int32_t count, std::int32_t& immediate) override;
    int StartWrite(Transfer& transfer, const char* source, std::int32_t count, std::int32_t& immediate) override;
    int Wait(Transfer& transfer, std::int32_t& transferred) override;
    // Ends every pending transfer at once (they fail); queues keep their bytes.
    int AbortPending() override;

    int Purge(bool input, bool output) override;
    // Bytes waiting to be read, and the error flags gathered since the last
    // call (which clears them).
    int ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount) override;
    // Modem status bits; all off for a device without modem lines.
    int ModemStatus(std::uint32_t& bits) override;
    // Where the modem-line and counter calls go from the next Open on
    // (nullptr: the kernel). Lets a line's state be set by hand.
    void SetLineProbe(LineProbe* probe) { status_.SetProbe(probe); }

    // Line events: see LineEvents.
    int SetEventMask(std::uint32_t mask) override;
    int WaitEvent(std::uint32_t& events, int stopFd) override;

private:
    UniqueFd fd_;
    Timeouts timeouts_{};
    // Each unit keeps references to those above it; the event wait also
    // to the transfers below it, which it first uses once a line is open.
    // Destroyed from the bottom: the transfers' worker ends before the
    // event wait it reports to.
    LineStatus status_;
    LineInput input_;
    LineEvents events_;
    Transfers transfers_;
};

} // namespace serialdev
