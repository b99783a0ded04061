// Modem lines and error counters, read from the kernel.
#include "serial/posix/LineStatus.h"

#include "serial/posix/LineSettings.h"

#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace serialdev {

bool Unsupported(int error)
{
    return error == ENOTTY || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

int ReadCounters(int fd, LineCounters& counters)
{
    serial_icounter_struct kernel{};
    if (::ioctl(fd, TIOCGICOUNT, &kernel) != 0)
        return errno;
    counters.frame = kernel.frame;
    counters.overrun = kernel.overrun;
    counters.parity = kernel.parity;
    counters.brk = kernel.brk;
    counters.bufferOverrun = kernel.buf_overrun;
    return 0;
}

int ReadModemLines(int fd, std::uint32_t& bits)
{
    bits = 0;
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) != 0)
        return errno;
    if (lines & TIOCM_CTS) bits |= ModemBit::CTS;
    if (lines & TIOCM_DSR) bits |= ModemBit::DSR;
    if (lines & TIOCM_RI) bits |= ModemBit::Ring;
    if (lines & TIOCM_CD) bits |= ModemBit::RLSD;
    return 0;
}

} // namespace serialdev
