// The serial device: exclusive open and close, line settings, queue sizes,
// purge and status; transfers and line events are handed to their units.
#include "serial/posix/SerialDevice.h"

#include "serial/posix/PortList.h"
#include "serial/posix/TermiosMapping.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace serialdev {

SerialDevice::SerialDevice() : events_(input_, status_, transfers_), transfers_(input_, events_) {}

SerialDevice::~SerialDevice()
{
    Close();
}

int SerialDevice::Open(std::string_view name)
{
    if (fd_.Valid())
        return EBUSY;
    const std::string path = DevicePath(name);
    if (path.empty())
        return ENOENT;
    // Every step below may fail; the descriptor then closes on its own,
    // which also drops the lock.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid())
        return errno;
    if (!::isatty(fd.Get()))
        return ENOTTY;
    // The lock keeps out every other opener, root included.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? EBUSY : errno;
    termios2 tio{};
    if (::ioctl(fd.Get(), TCGETS2, &tio) != 0)
        return errno;
    if (const int error = events_.Attach(fd.Get()))
        return error;
    // Nothing fails after this: TIOCEXCL, which also keeps out programs
    // that do not take the lock, never needs taking back here.
    ::ioctl(fd.Get(), TIOCEXCL);

    fd_ = std::move(fd);
    status_.Attach(fd_.Get());
    input_.Reset();
    transfers_.SetFd(fd_.Get());
    return 0;
}

void SerialDevice::Close()
{
    if (!fd_.Valid())
        return;
    transfers_.SetFd(-1); // aborts what is pending
    // What the line received belongs to this opening only: the next one
    // starts with an empty input queue. Output already written still goes
    // out (a write reported as done must reach the line).
    ::ioctl(fd_.Get(), TCFLSH, TCIFLUSH);
    ::ioctl(fd_.Get(), TIOCNXCL);
    events_.Detach();
    input_.Reset();
    status_.Detach();
    fd_.Reset(); // also releases the lock
}

int SerialDevice::SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize)
{
    if (!fd_.Valid())
        return EBADF;
    if (inputSize < 0 || outputSize < 0)
        return EINVAL;
    // The output size bounds nothing here: the kernel's own queue holds
    // what a write hands it.
    events_.SetInputSize(inputSize);
    return 0;
}

int SerialDevice::SetLineSettings(const LineSettings& settings)
{
    if (!fd_.Valid())
        return EBADF;
    termios2 current{};
    if (::ioctl(fd_.Get(), TCGETS2, &current) != 0)
        return errno;
    TermiosSetup setup;
    if (const int error = BuildTermios(settings, current, setup))
        return error;
    if (::ioctl(fd_.Get(), TCSETS2, &setup.tio) != 0)
        return errno;
    status_.SetOutputs(setup.raiseDTR, setup.raiseRTS);
    input_.Configure(setup.markErrors, setup.replaceErrors, setup.errorChar, setup.discardNull, settings.EvtChar);
    input_.SetDsrGate(setup.dsrSensitive ? &status_ : nullptr);
    return 0;
}

int SerialDevice::SetTimeouts(const Timeouts& timeouts)
{
    if (!fd_.Valid())
        return EBADF;
    timeouts_ = timeouts;
    return 0;
}

int SerialDevice::StartRead(Transfer& transfer, char* destination, std::int32_t count, std::int32_t& immediate)
{
    return transfers_.StartRead(transfer, timeouts_, destination, count, immediate);
}

int SerialDevice::StartWrite(Transfer& transfer, const char* source, std::int32_t count, std::int32_t& immediate)
{
    return transfers_.StartWrite(transfer, timeouts_, source, count, immediate);
}

int SerialDevice::Wait(Transfer& transfer, std::int32_t& transferred)
{
    return transfers_.Wait(transfer, transferred);
}

int SerialDevice::AbortPending()
{
    if (!fd_.Valid())
        return EBADF;
    transfers_.AbortPending();
    return 0;
}

int SerialDevice::Purge(bool input, bool output)
{
    if (!fd_.Valid())
        return EBADF;
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if ((input || output) && ::ioctl(fd_.Get(), TCFLSH, which) != 0)
        return errno;
    if (input) {
        input_.Clear();
        events_.InputPurged();
    }
    return 0;
}

int SerialDevice::ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount)
{
    errorFlags = 0;
    inputCount = 0;
    if (!fd_.Valid())
        return EBADF;
    // What the line refuses is not waiting to be read.
    input_.DropRefused(fd_.Get());
    if (const int error = input_.Queued(fd_.Get(), inputCount)) {
        inputCount = 0;
        return error;
    }
    errorFlags = status_.TakeErrors();
    return 0;
}

int SerialDevice::ModemStatus(std::uint32_t& bits)
{
    bits = 0;
    if (!fd_.Valid())
        return EBADF;
    return status_.ModemBits(bits);
}

int SerialDevice::SetEventMask(std::uint32_t mask)
{
    if (!fd_.Valid())
        return EBADF;
    events_.SetMask(mask);
    return 0;
}

int SerialDevice::WaitEvent(std::uint32_t& events, int stopFd)
{
    return events_.Wait(events, stopFd);
}

} // namespace serialdev
