// Modem lines and error counters, read from the kernel, and their changes.
#include "serial/posix/LineStatus.h"

#include "serial/device/LineSettings.h"

#include <cerrno>
#include <sys/ioctl.h>

namespace serialdev {

namespace {

class KernelProbe final : public LineProbe {
public:
    int ModemLines(int fd, int& lines) override
    {
        lines = 0;
        return ::ioctl(fd, TIOCMGET, &lines) == 0 ? 0 : errno;
    }
    int Counters(int fd, serial_icounter_struct& counters) override
    {
        counters = {};
        return ::ioctl(fd, TIOCGICOUNT, &counters) == 0 ? 0 : errno;
    }
    int SetModemLines(int fd, int lines, bool raise) override
    {
        return ::ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &lines) == 0 ? 0 : errno;
    }
};

constexpr std::uint32_t modemEvents = EventBit::CTS | EventBit::DSR | EventBit::RLSD | EventBit::Ring;
constexpr std::uint32_t counterEvents = EventBit::Err | EventBit::Break;

} // namespace

bool Unsupported(int error)
{
    return error == ENOTTY || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

LineProbe& KernelLineProbe()
{
    static KernelProbe probe;
    return probe;
}

std::uint32_t ModemBitsFrom(int lines)
{
    std::uint32_t bits = 0;
    if (lines & TIOCM_CTS) bits |= ModemBit::CTS;
    if (lines & TIOCM_DSR) bits |= ModemBit::DSR;
    if (lines & TIOCM_RI) bits |= ModemBit::Ring;
    if (lines & TIOCM_CD) bits |= ModemBit::RLSD;
    return bits;
}

void LineStatus::SetProbe(LineProbe* probe)
{
    nextProbe_ = probe;
}

void LineStatus::Attach(int fd)
{
    std::lock_guard lock(mutex_);
    LineProbe* next = nextProbe_;
    probe_ = next ? next : &KernelLineProbe();
    fd_ = fd;
    int lines = 0;
    hasModemLines_ = probe_->ModemLines(fd, lines) == 0;
    lastModem_ = hasModemLines_ ? ModemBitsFrom(lines) : 0;
    lastCounters_ = {};
    hasCounters_ = probe_->Counters(fd, lastCounters_) == 0;
    pendingEvents_ = 0;
    pendingErrors_ = 0;
}

void LineStatus::SetOutputs(bool dtr, bool rts)
{
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return;
    probe_->SetModemLines(fd_, TIOCM_DTR, dtr);
    probe_->SetModemLines(fd_, TIOCM_RTS, rts);
}

void LineStatus::Detach()
{
    std::lock_guard lock(mutex_);
    fd_ = -1;
    hasModemLines_ = false;
    hasCounters_ = false;
}

int LineStatus::ModemBits(std::uint32_t& bits)
{
    bits = 0;
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return EBADF;
    int lines = 0;
    if (const int error = probe_->ModemLines(fd_, lines))
        return Unsupported(error) ? 0 : error;
    bits = ModemBitsFrom(lines);
    return 0;
}

bool LineStatus::DsrOff()
{
    if (!hasModemLines_)
        return false;
    std::uint32_t bits = 0;
    return ModemBits(bits) == 0 && !(bits & ModemBit::DSR);
}

void LineStatus::SampleCounters()
{
    serial_icounter_struct now{};
    if (!hasCounters_ || probe_->Counters(fd_, now) != 0)
        return;
    const serial_icounter_struct& last = lastCounters_;
    std::uint32_t errors = 0;
    if (now.frame != last.frame) errors |= ErrorFlag::Frame;
    if (now.overrun != last.overrun) errors |= ErrorFlag::Overrun;
    if (now.parity != last.parity) errors |= ErrorFlag::RxParity;
    if (now.brk != last.brk) errors |= ErrorFlag::Break;
    if (now.buf_overrun != last.buf_overrun) errors |= ErrorFlag::RxOver;
    lastCounters_ = now;
    pendingErrors_ |= errors;
    // A break is an event of its own; the other steps are line errors.
    if (errors & ErrorFlag::Break) pendingEvents_ |= EventBit::Break;
    if (errors & ~ErrorFlag::Break) pendingEvents_ |= EventBit::Err;
}

std::uint32_t LineStatus::TakeEvents(std::uint32_t mask)
{
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return 0;
    std::uint32_t events = 0;
    int lines = 0;
    if (hasModemLines_ && (mask & modemEvents) && probe_->ModemLines(fd_, lines) == 0) {
        const std::uint32_t now = ModemBitsFrom(lines);
        const std::uint32_t changed = now ^ lastModem_;
        if (changed & ModemBit::CTS) events |= EventBit::CTS;
        if (changed & ModemBit::DSR) events |= EventBit::DSR;
        if (changed & ModemBit::RLSD) events |= EventBit::RLSD;
        // A ring is reported as it starts, not as it ends.
        if ((changed & now) & ModemBit::Ring) events |= EventBit::Ring;
        lastModem_ = now;
    }
    if (mask & counterEvents)
        SampleCounters();
    events |= pendingEvents_;
    pendingEvents_ = 0;
    return events & mask;
}

std::uint32_t LineStatus::TakeErrors()
{
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return 0;
    SampleCounters();
    const std::uint32_t errors = pendingErrors_;
    pendingErrors_ = 0;
    return errors;
}

} // namespace serialdev
