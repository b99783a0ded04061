// What the port's line settings become for the real port on a serial
// server: RFC 2217's codes for rate, data size, parity, stop size and flow
// control, and the levels of DTR and RTS. Plain data, the same on every
// platform.
#pragma once

#include "serial/device/LineSettings.h"

#include <cstdint>

namespace serialdev::net {

struct RemoteSettings {
    std::uint32_t baudRate = 0;
    std::uint8_t dataSize = 8;
    std::uint8_t parity = 1;   // 1 none, 2 odd, 3 even, 4 mark, 5 space
    std::uint8_t stopSize = 1; // 1 one, 2 two, 3 one and a half
    std::uint8_t control = 1;  // 1 none, 2 XON/XOFF, 3 RTS/CTS
    bool dtr = false;
    bool rts = false;
};

// Judges the record as a local line judges it (a rate, 5 to 8 data bits,
// a known parity, 1.5 stop bits only with 5 data bits) and gives its
// RFC 2217 form. Returns 0 or the InvalidArgument code.
int ToRemote(const LineSettings& settings, RemoteSettings& remote);

} // namespace serialdev::net
