// What the kernel tells of a line's state: the modem input lines and the
// counters of line errors and breaks. Devices without them (a
// pseudo-terminal) say so instead of failing.
#pragma once

#include <cstdint>

namespace serialdev {

// The kernel's running counts for one line, by name.
struct LineCounters {
    int frame = 0;
    int overrun = 0;
    int parity = 0;
    int brk = 0;
    int bufferOverrun = 0;
};

// ioctl failures that only say the device has no such facility (a
// pseudo-terminal has no modem lines and no UART counters).
bool Unsupported(int error);

// The counters (TIOCGICOUNT). Returns 0 or the errno value.
int ReadCounters(int fd, LineCounters& counters);

// The modem input lines as ModemBit bits (TIOCMGET). Returns 0 or the
// errno value; Unsupported() tells a device without modem lines.
int ReadModemLines(int fd, std::uint32_t& bits);

} // namespace serialdev
