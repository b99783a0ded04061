// What the port component asks of a device, whatever kind it is: a tty on
// this machine, or a port on a server reached over the network. The port
// knows only this interface; the kind is chosen from the port's name
// (serial/ComDevice.h) and each kind lives in a folder of its own.
//
// Every call returns 0 or the platform's error code (serial/device/OsError.h)
// and never throws. The calls are
// made from the port's thread, except WaitEvent (the event thread) and
// Wait (either); a device makes those two safe alongside the others.
#pragma once

#include "framework/WakeEvent.h"
#include "serial/device/LineSettings.h"
#include "serial/device/OsError.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace serialdev {

// The record of one transfer, as the platform's devices share it: it
// lives in the port's transfer record while the device carries the
// transfer on (serial/posix/Transfer.h, serial/win32/Transfer.h). Only
// the platform's folder knows what is in it.
class Transfer;
struct TransferDelete {
    void operator()(Transfer* transfer) const;
};
using TransferPtr = std::unique_ptr<Transfer, TransferDelete>;
// A fresh record: complete, with nothing transferred.
TransferPtr NewTransfer();

enum class DeviceKind : std::uint8_t { Tty, Network };

class Device {
public:
    virtual ~Device() = default;

    virtual DeviceKind Kind() const = 0;

    // Opens `name` for this program's sole use.
    virtual int Open(std::string_view name) = 0;
    // Closes; what is pending fails, output written goes out.
    virtual void Close() = 0;
    // After a refused Open: what the far end gave as its reason (a
    // server's own text), "" when it gave none.
    virtual std::string RefusalText() const { return {}; }

    virtual int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize) = 0;
    // The device-control record. A device that cannot carry a field keeps
    // it for the port and does what it can.
    virtual int SetLineSettings(const LineSettings& settings) = 0;
    virtual int SetTimeouts(const Timeouts& timeouts) = 0;

    // Transfers: each starts at once; one not finished then is pending and
    // progresses on its own until it is done, its time-out passes, the line
    // fails or it is aborted. `immediate` holds the count of one that
    // finished at once.
    virtual int StartRead(Transfer& transfer, char* destination, std::int32_t count, std::int32_t& immediate) = 0;
    virtual int StartWrite(Transfer& transfer, const char* source, std::int32_t count, std::int32_t& immediate) = 0;
    // Blocks until the transfer has ended.
    virtual int Wait(Transfer& transfer, std::int32_t& transferred) = 0;
    // Ends every pending transfer at once (they fail); queues keep their bytes.
    virtual int AbortPending() = 0;

    virtual int Purge(bool input, bool output) = 0;
    // Bytes waiting to be read, and the error flags (ErrorFlag) gathered
    // since the last call, which clears them.
    virtual int ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount) = 0;
    // ModemBit bits; all off for a device without modem lines.
    virtual int ModemStatus(std::uint32_t& bits) = 0;

    // Line events (EventBit). A mask change ends a wait in progress.
    virtual int SetEventMask(std::uint32_t mask) = 0;
    // Waits until a masked event happens (in `events`), `stop` is
    // signalled (a Cancelled code), or the line fails (a LineGone error when it is
    // gone).
    virtual int WaitEvent(std::uint32_t& events, WakeHandle stop) = 0;
};

} // namespace serialdev
