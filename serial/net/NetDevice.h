// The network device: a port on a serial server, reached by a name such
// as "rfc2217://rack-pc:2001" or "socket://rack-pc:3001" (NetName.h).
//
// The port's line is the slave side of a pseudo-terminal that this device
// makes for each opening; its master is joined to the server by a NetLink.
// So the tty device runs the line as it runs any other (transfers and
// their time-outs, held input, line events, purge, the hang-up when the
// connection goes), and what belongs to the real port on the server goes
// there as RFC 2217 requests: rate, data size, parity, stop size, flow
// control, DTR and RTS, purges, and the modem lines and line errors the
// server reports. A socket:// port carries bytes only: its settings are
// kept by the port but reach no device.
#pragma once

#include "serial/device/Device.h"
#include "serial/net/NetLink.h"
#include "serial/posix/SerialDevice.h"

#include <string>

namespace serialdev::net {

class NetDevice : public Device {
public:
    NetDevice() = default;
    ~NetDevice() override;

    DeviceKind Kind() const override { return DeviceKind::Network; }
    int Open(std::string_view name) override;
    void Close() override;
    std::string RefusalText() const override { return refusal_; }

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
    int WaitEvent(std::uint32_t& events, int stopFd) override;

private:
    // Declared first, so that it goes last: the line's units use the link
    // as their probe until the line has closed.
    NetLink link_;
    SerialDevice line_;
    // Keeps the pseudo-terminal's slave side open for the link's life, so
    // that its master never reads as hung up while the port's own
    // descriptor is not there yet or has gone.
    UniqueFd keeper_;
    std::string refusal_;
};

} // namespace serialdev::net
