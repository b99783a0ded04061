#include "serial/posix/SerialDevice.h"

#include "serial/posix/TermiosMapping.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace serialdev {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t allOnes = 0xFFFFFFFFu;

// How often modem lines and error counters are looked at while someone
// waits for their events: the line has no change notification we can
// interrupt, and nobody notices a tenth of a second on a modem line.
constexpr int modemPollMs = 100;
// How often the output queue is looked at while it drains.
constexpr int drainPollMs = 10;

// ioctl failures that only say the device has no such facility (a
// pseudo-terminal has no modem lines and no UART counters).
bool Unsupported(int error)
{
    return error == ENOTTY || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

void Signal(int fd)
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void Drain(int fd)
{
    if (fd < 0)
        return;
    std::uint64_t value;
    while (::read(fd, &value, sizeof value) > 0) {
    }
}

int MsUntil(Clock::time_point deadline, Clock::time_point now)
{
    if (deadline <= now)
        return 0;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
    const auto ms = (us + 999) / 1000;
    return static_cast<int>(std::min<long long>(ms, 24 * 3600 * 1000));
}

int MinTimeout(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

} // namespace

std::string DevicePath(std::string_view name)
{
    if (name.empty())
        return std::string();
    if (name.front() == '/')
        return std::string(name);
    if (name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(name[2])) == 'M' &&
        std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        name.size() <= 8) {
        const long number = std::stol(std::string(name.substr(3)));
        if (number >= 1)
            return "/dev/ttyS" + std::to_string(number - 1);
    }
    return "/dev/" + std::string(name);
}

// ---- Transfer -----------------------------------------------------------------

Transfer::Transfer() = default;

Transfer::~Transfer()
{
    if (device_)
        device_->Unregister(*this);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

// ---- SerialDevice ------------------------------------------------------------

SerialDevice::SerialDevice() = default;

SerialDevice::~SerialDevice()
{
    Close();
    std::lock_guard lock(pendingMutex_);
    for (Transfer* t : pending_)
        t->device_ = nullptr;
    pending_.clear();
}

int SerialDevice::Open(std::string_view name)
{
    if (fd_ >= 0)
        return EBUSY;
    const std::string path = DevicePath(name);
    if (path.empty())
        return ENOENT;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    auto fail = [fd](int error) {
        ::close(fd);
        return error;
    };
    if (!::isatty(fd))
        return fail(ENOTTY);
    // The lock keeps out every other opener, root included; TIOCEXCL also
    // keeps out programs that do not take the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    ::ioctl(fd, TIOCEXCL);

    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return fail(errno);

    const int epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    const int maskFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epollFd < 0 || maskFd < 0) {
        const int error = errno;
        if (epollFd >= 0)
            ::close(epollFd);
        if (maskFd >= 0)
            ::close(maskFd);
        ::ioctl(fd, TIOCNXCL);
        return fail(error);
    }
    // Edge-triggered: one report per arrival, none while old bytes sit unread.
    epoll_event lineEvent{};
    lineEvent.events = EPOLLIN | EPOLLET;
    lineEvent.data.fd = fd;
    epoll_event maskEvent{};
    maskEvent.events = EPOLLIN;
    maskEvent.data.fd = maskFd;
    if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &lineEvent) != 0 ||
        ::epoll_ctl(epollFd, EPOLL_CTL_ADD, maskFd, &maskEvent) != 0) {
        const int error = errno;
        ::close(epollFd);
        ::close(maskFd);
        ::ioctl(fd, TIOCNXCL);
        return fail(error);
    }

    fd_ = fd;
    epollFd_ = epollFd;
    maskFd_ = maskFd;
    {
        std::lock_guard lock(inputMutex_);
        backlog_.clear();
        filter_.Configure(false, false, 0, false);
    }
    int lines = 0;
    {
        std::lock_guard lock(eventMutex_);
        hasModemLines_ = ::ioctl(fd, TIOCMGET, &lines) == 0;
        lastModem_ = 0;
        eventMask_ = 0;
        txPending_ = false;
        wasNearlyFull_ = false;
    }
    serial_icounter_struct counters{};
    std::lock_guard lock(statusMutex_);
    hasCounters_ = ReadCounters(counters) == 0;
    const int base[6] = {counters.frame, counters.overrun, counters.parity, counters.brk,
                         counters.buf_overrun, counters.rng};
    std::copy(base, base + 5, errorBase_);
    {
        std::lock_guard eventLock(eventMutex_);
        std::copy(base, base + 6, eventBase_);
        if (hasModemLines_) {
            lastModem_ = 0;
            if (lines & TIOCM_CTS) lastModem_ |= ModemBit::CTS;
            if (lines & TIOCM_DSR) lastModem_ |= ModemBit::DSR;
            if (lines & TIOCM_RI) lastModem_ |= ModemBit::Ring;
            if (lines & TIOCM_CD) lastModem_ |= ModemBit::RLSD;
        }
    }
    return 0;
}

void SerialDevice::Close()
{
    if (fd_ < 0)
        return;
    AbortPending();
    ::ioctl(fd_, TIOCNXCL);
    ::close(epollFd_);
    ::close(maskFd_);
    ::close(fd_); // also releases the lock
    fd_ = epollFd_ = maskFd_ = -1;
    std::lock_guard lock(inputMutex_);
    backlog_.clear();
    filter_.Reset();
}

int SerialDevice::ReadCounters(serial_icounter_struct& counters) const
{
    if (::ioctl(fd_, TIOCGICOUNT, &counters) != 0)
        return errno;
    return 0;
}

int SerialDevice::SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize)
{
    if (fd_ < 0)
        return EBADF;
    if (inputSize < 0 || outputSize < 0)
        return EINVAL;
    inputSize_ = inputSize;
    outputSize_ = outputSize;
    return 0;
}

void SerialDevice::ApplyModemLines(bool dtr, bool rts)
{
    const int dtrBit = TIOCM_DTR;
    const int rtsBit = TIOCM_RTS;
    // A device without modem lines has nothing to set; that is no failure.
    ::ioctl(fd_, dtr ? TIOCMBIS : TIOCMBIC, &dtrBit);
    ::ioctl(fd_, rts ? TIOCMBIS : TIOCMBIC, &rtsBit);
}

int SerialDevice::SetLineSettings(const LineSettings& settings)
{
    if (fd_ < 0)
        return EBADF;
    termios2 current{};
    if (::ioctl(fd_, TCGETS2, &current) != 0)
        return errno;
    TermiosSetup setup;
    if (const int error = BuildTermios(settings, current, setup))
        return error;
    if (::ioctl(fd_, TCSETS2, &setup.tio) != 0)
        return errno;
    ApplyModemLines(setup.raiseDTR, setup.raiseRTS);
    std::lock_guard lock(inputMutex_);
    filter_.Configure(setup.markErrors, setup.replaceErrors, setup.errorChar, setup.discardNull);
    eventChar_ = settings.EvtChar;
    return 0;
}

int SerialDevice::SetTimeouts(const Timeouts& timeouts)
{
    if (fd_ < 0)
        return EBADF;
    timeouts_ = timeouts;
    return 0;
}

// ---- transfers ---------------------------------------------------------------

int SerialDevice::Register(Transfer& transfer)
{
    // Most transfers finish when they start; only a pending one needs the
    // event an abort wakes it with.
    if (transfer.wakeFd_ < 0) {
        transfer.wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (transfer.wakeFd_ < 0)
            return errno;
    }
    std::lock_guard lock(pendingMutex_);
    pending_.insert(&transfer);
    transfer.device_ = this;
    return 0;
}

void SerialDevice::Unregister(Transfer& transfer)
{
    std::lock_guard lock(pendingMutex_);
    pending_.erase(&transfer);
    transfer.device_ = nullptr;
}

std::int32_t SerialDevice::BufferedInput() const
{
    int queued = 0;
    if (fd_ >= 0 && ::ioctl(fd_, FIONREAD, &queued) != 0)
        queued = 0;
    std::lock_guard lock(inputMutex_);
    return queued + static_cast<std::int32_t>(backlog_.size() + filter_.Carried());
}

bool SerialDevice::TakeInForEventChar()
{
    // A tty cannot be peeked at, so the bytes are read here and kept for the
    // owner's reads, which take the backlog first. The input queue size
    // bounds how much is held, so flow control still sees a filling queue.
    std::lock_guard lock(inputMutex_);
    const std::size_t limit = static_cast<std::size_t>(std::max<std::int32_t>(inputSize_, 1));
    bool seen = false;
    while (backlog_.size() < limit) {
        char raw[4096];
        const ssize_t n = ::read(fd_, raw, std::min(sizeof raw, limit - backlog_.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // nothing more, or a failure the next wait reports
        const std::size_t from = backlog_.size();
        filter_.Process(raw, static_cast<std::size_t>(n), backlog_);
        seen = seen || backlog_.find(eventChar_, from) != std::string::npos;
    }
    return seen;
}

bool SerialDevice::NearlyFull(std::int32_t queued) const
{
    const std::int64_t size = inputSize_;
    return size > 0 && std::int64_t(queued) * 10 >= size * 8;
}

int SerialDevice::ReadSome(Transfer& t)
{
    std::lock_guard lock(inputMutex_);
    std::int32_t before = t.done_;
    auto take = [&](std::string& from) {
        const auto n = std::min<std::size_t>(from.size(), static_cast<std::size_t>(t.count_ - t.done_));
        std::copy_n(from.data(), n, t.readTo_ + t.done_);
        from.erase(0, n);
        t.done_ += static_cast<std::int32_t>(n);
    };
    take(backlog_);
    int error = 0;
    while (t.done_ < t.count_) {
        const std::size_t want = static_cast<std::size_t>(t.count_ - t.done_);
        ssize_t n;
        if (!filter_.Active()) {
            n = ::read(fd_, t.readTo_ + t.done_, want);
            if (n > 0)
                t.done_ += static_cast<std::int32_t>(n);
        } else {
            char raw[4096];
            n = ::read(fd_, raw, std::min(want, sizeof raw));
            if (n > 0) {
                filter_.Process(raw, static_cast<std::size_t>(n), backlog_);
                take(backlog_);
            }
        }
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        // A raw tty (VMIN and VTIME 0) reads 0 when nothing is queued; a line
        // that is gone answers EIO, or shows up as POLLHUP in the wait.
        if (n == 0 || errno == EAGAIN)
            break;
        error = errno;
        break;
    }
    if (t.done_ > before) {
        t.lastByte_ = Clock::now();
        // Reading below the 80 % mark lets the next crossing be reported.
        int queued = 0;
        if (::ioctl(fd_, FIONREAD, &queued) == 0 &&
            !NearlyFull(queued + static_cast<std::int32_t>(backlog_.size() + filter_.Carried())))
            wasNearlyFull_ = false;
    }
    return error;
}

int SerialDevice::WriteSome(Transfer& t)
{
    while (t.done_ < t.count_) {
        const ssize_t n = ::write(fd_, t.writeFrom_ + t.done_, static_cast<std::size_t>(t.count_ - t.done_));
        if (n > 0) {
            t.done_ += static_cast<std::int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno == EAGAIN)
            return 0;
        return errno;
    }
    return 0;
}

bool SerialDevice::ReadSatisfied(const Transfer& t, Clock::time_point now) const
{
    if (t.done_ >= t.count_)
        return true;
    if (t.firstByteOnly_ && t.done_ > 0)
        return true;
    if (t.hasTotal_ && now >= t.totalDeadline_)
        return true;
    if (t.interval_ && t.done_ > 0 && now - t.lastByte_ >= std::chrono::milliseconds(t.interval_))
        return true;
    return false;
}

int SerialDevice::PollTimeout(const Transfer& t, Clock::time_point now) const
{
    int timeout = -1;
    if (t.hasTotal_)
        timeout = MsUntil(t.totalDeadline_, now);
    if (!t.write_ && t.interval_ && t.done_ > 0)
        timeout = MinTimeout(timeout, MsUntil(t.lastByte_ + std::chrono::milliseconds(t.interval_), now));
    return timeout;
}

int SerialDevice::Begin(Transfer& t, bool write, const void* buffer, std::int32_t count, std::int32_t& immediate)
{
    immediate = 0;
    if (fd_ < 0)
        return EBADF;
    if (count < 0 || (count > 0 && !buffer))
        return EINVAL;
    Drain(t.wakeFd_);
    t.aborted_ = false;
    t.write_ = write;
    t.count_ = count;
    t.done_ = 0;
    t.error_ = 0;
    t.completed_ = false;
    t.firstByteOnly_ = false;
    t.interval_ = 0;
    t.hasTotal_ = false;
    return 0;
}

int SerialDevice::Finish(Transfer& t, int error, bool complete, std::int32_t& immediate)
{
    if (!error && !complete)
        error = Register(t); // pending: Wait finishes it
    if (error || complete) {
        t.completed_ = true;
        t.error_ = error;
        if (!error)
            immediate = t.done_;
    }
    return error;
}

void SerialDevice::SetTotal(Transfer& t, std::uint64_t totalMs, Clock::time_point now)
{
    t.hasTotal_ = totalMs > 0;
    // All-ones settings multiply up to centuries; a year is forever enough.
    t.totalDeadline_ = now + std::chrono::milliseconds(std::min<std::uint64_t>(totalMs, 365ull * 24 * 3600 * 1000));
}

int SerialDevice::StartRead(Transfer& t, char* destination, std::int32_t count, std::int32_t& immediate)
{
    if (const int error = Begin(t, false, destination, count, immediate))
        return error;
    t.readTo_ = destination;

    // The usual meaning of the read time-outs: all-ones interval with zero
    // totals returns at once; all-ones interval and multiplier with a
    // constant waits that long for the first byte only; otherwise a total
    // of multiplier x count + constant and a longest gap between bytes.
    const Timeouts& to = timeouts_;
    const auto now = Clock::now();
    const bool returnAtOnce = to.ReadInterval == allOnes && to.ReadTotalMultiplier == 0 && to.ReadTotalConstant == 0;
    t.firstByteOnly_ = to.ReadInterval == allOnes && to.ReadTotalMultiplier == allOnes &&
                       to.ReadTotalConstant > 0 && to.ReadTotalConstant < allOnes;
    SetTotal(t,
             t.firstByteOnly_ ? to.ReadTotalConstant
                              : std::uint64_t(to.ReadTotalMultiplier) * std::uint64_t(count) + to.ReadTotalConstant,
             now);
    t.interval_ = (to.ReadInterval == allOnes) ? 0 : to.ReadInterval;
    t.lastByte_ = now;

    const int error = ReadSome(t);
    return Finish(t, error, returnAtOnce || ReadSatisfied(t, Clock::now()), immediate);
}

int SerialDevice::StartWrite(Transfer& t, const char* source, std::int32_t count, std::int32_t& immediate)
{
    if (const int error = Begin(t, true, source, count, immediate))
        return error;
    t.writeFrom_ = source;
    SetTotal(t, std::uint64_t(timeouts_.WriteTotalMultiplier) * std::uint64_t(count) + timeouts_.WriteTotalConstant,
             Clock::now());
    {
        std::lock_guard lock(eventMutex_);
        txPending_ = true;
    }
    Signal(maskFd_); // an event waiter starts watching the output drain

    const int error = WriteSome(t);
    return Finish(t, error, t.done_ == t.count_, immediate);
}

int SerialDevice::Wait(Transfer& t, std::int32_t& transferred)
{
    while (!t.completed_) {
        const auto now = Clock::now();
        if (t.write_ ? (t.done_ >= t.count_ || (t.hasTotal_ && now >= t.totalDeadline_)) : ReadSatisfied(t, now)) {
            t.completed_ = true;
            break;
        }
        if (fd_ < 0) {
            t.completed_ = true;
            t.error_ = EBADF;
            break;
        }
        pollfd fds[2] = {{fd_, static_cast<short>(t.write_ ? POLLOUT : POLLIN), 0}, {t.wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, PollTimeout(t, now));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            t.completed_ = true;
            t.error_ = errno;
            break;
        }
        if (t.aborted_) {
            t.completed_ = true;
            t.error_ = ECANCELED;
            break;
        }
        const short revents = fds[0].revents;
        if (revents == 0)
            continue;
        const std::int32_t before = t.done_;
        int error = t.write_ ? WriteSome(t) : ReadSome(t);
        // A hung-up line keeps reporting itself; once nothing more comes
        // out of it the transfer ends instead of spinning.
        if (!error && (revents & (POLLHUP | POLLERR | POLLNVAL)) && t.done_ == before)
            error = EIO;
        if (error) {
            t.completed_ = true;
            t.error_ = error;
        }
    }
    if (t.device_)
        Unregister(t);
    transferred = t.done_;
    return t.error_;
}

int SerialDevice::AbortPending()
{
    if (fd_ < 0)
        return EBADF;
    std::lock_guard lock(pendingMutex_);
    for (Transfer* t : pending_) {
        t->aborted_ = true;
        Signal(t->wakeFd_);
    }
    return 0;
}

// ---- status --------------------------------------------------------------------

int SerialDevice::Purge(bool input, bool output)
{
    if (fd_ < 0)
        return EBADF;
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if ((input || output) && ::ioctl(fd_, TCFLSH, which) != 0)
        return errno;
    if (input) {
        std::lock_guard lock(inputMutex_);
        backlog_.clear();
        filter_.Reset();
        wasNearlyFull_ = false;
    }
    return 0;
}

int SerialDevice::ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount)
{
    errorFlags = 0;
    inputCount = 0;
    if (fd_ < 0)
        return EBADF;
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0)
        return errno;
    {
        std::lock_guard lock(inputMutex_);
        inputCount = queued + static_cast<std::int32_t>(backlog_.size() + filter_.Carried());
    }
    std::lock_guard lock(statusMutex_);
    if (hasCounters_) {
        serial_icounter_struct counters{};
        if (ReadCounters(counters) == 0) {
            const int now[5] = {counters.frame, counters.overrun, counters.parity, counters.brk,
                                counters.buf_overrun};
            const std::uint32_t flags[5] = {ErrorFlag::Frame, ErrorFlag::Overrun, ErrorFlag::RxParity,
                                            ErrorFlag::Break, ErrorFlag::RxOver};
            for (int i = 0; i < 5; ++i) {
                if (now[i] != errorBase_[i])
                    errorFlags |= flags[i];
                errorBase_[i] = now[i];
            }
        }
    }
    return 0;
}

int SerialDevice::ModemStatus(std::uint32_t& bits)
{
    bits = 0;
    if (fd_ < 0)
        return EBADF;
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) != 0)
        return Unsupported(errno) ? 0 : errno;
    if (lines & TIOCM_CTS) bits |= ModemBit::CTS;
    if (lines & TIOCM_DSR) bits |= ModemBit::DSR;
    if (lines & TIOCM_RI) bits |= ModemBit::Ring;
    if (lines & TIOCM_CD) bits |= ModemBit::RLSD;
    return 0;
}

// ---- line events -----------------------------------------------------------------

int SerialDevice::SetEventMask(std::uint32_t mask)
{
    if (fd_ < 0)
        return EBADF;
    {
        std::lock_guard lock(eventMutex_);
        eventMask_ = mask;
        maskChanged_ = true;
    }
    Signal(maskFd_);
    return 0;
}

int SerialDevice::WaitEvent(std::uint32_t& events, int stopFd)
{
    events = 0;
    if (fd_ < 0)
        return EBADF;
    {
        std::lock_guard lock(eventMutex_);
        maskChanged_ = false;
    }
    for (;;) {
        std::uint32_t mask;
        bool txPending;
        {
            std::lock_guard lock(eventMutex_);
            mask = eventMask_;
            txPending = txPending_;
        }
        const std::uint32_t lineEvents = EventBit::CTS | EventBit::DSR | EventBit::RLSD | EventBit::Break | EventBit::Err | EventBit::Ring;
        int timeout = -1;
        if ((mask & lineEvents) && (hasModemLines_ || hasCounters_))
            timeout = modemPollMs;
        if ((mask & EventBit::TxEmpty) && txPending)
            timeout = MinTimeout(timeout, drainPollMs);

        pollfd fds[2] = {{stopFd, POLLIN, 0}, {epollFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR)
            return errno;
        if (fds[0].revents)
            return ECANCELED;

        bool arrived = false;
        if (fds[1].revents & POLLIN) {
            epoll_event happened[4];
            const int n = ::epoll_wait(epollFd_, happened, 4, 0);
            for (int i = 0; i < n; ++i) {
                if (happened[i].data.fd == maskFd_) {
                    Drain(maskFd_);
                    continue;
                }
                if (happened[i].events & (EPOLLHUP | EPOLLERR))
                    return EIO;
                if (happened[i].events & EPOLLIN)
                    arrived = true;
            }
        }

        std::lock_guard lock(eventMutex_);
        if (maskChanged_) {
            maskChanged_ = false;
            return 0; // ended by the mask change, nothing to report
        }
        mask = eventMask_;
        if (arrived) {
            if (mask & EventBit::RxChar)
                events |= EventBit::RxChar;
            if ((mask & EventBit::RxFlag) && TakeInForEventChar())
                events |= EventBit::RxFlag;
            const bool nearlyFull = NearlyFull(BufferedInput());
            if (nearlyFull && !wasNearlyFull_.exchange(true) && (mask & EventBit::Rx80Full))
                events |= EventBit::Rx80Full;
        }
        if (txPending_ && (mask & EventBit::TxEmpty)) {
            int outQueued = 0;
            bool writing;
            {
                std::lock_guard pendingLock(pendingMutex_);
                writing = std::any_of(pending_.begin(), pending_.end(), [](Transfer* t) { return t->write_; });
            }
            if (!writing && ::ioctl(fd_, TIOCOUTQ, &outQueued) == 0 && outQueued == 0) {
                txPending_ = false;
                events |= EventBit::TxEmpty;
            }
        }
        if (hasModemLines_ && (mask & (EventBit::CTS | EventBit::DSR | EventBit::RLSD | EventBit::Ring))) {
            std::uint32_t now = 0;
            if (ModemStatus(now) == 0) {
                const std::uint32_t changed = now ^ lastModem_;
                if ((changed & ModemBit::CTS) && (mask & EventBit::CTS)) events |= EventBit::CTS;
                if ((changed & ModemBit::DSR) && (mask & EventBit::DSR)) events |= EventBit::DSR;
                if ((changed & ModemBit::RLSD) && (mask & EventBit::RLSD)) events |= EventBit::RLSD;
                if ((changed & ModemBit::Ring) && (now & ModemBit::Ring) && (mask & EventBit::Ring)) events |= EventBit::Ring;
                lastModem_ = now;
            }
        }
        if (hasCounters_ && (mask & (EventBit::Break | EventBit::Err))) {
            serial_icounter_struct counters{};
            if (ReadCounters(counters) == 0) {
                const int now[6] = {counters.frame, counters.overrun, counters.parity, counters.brk,
                                    counters.buf_overrun, counters.rng};
                const bool lineError = now[0] != eventBase_[0] || now[1] != eventBase_[1] ||
                                       now[2] != eventBase_[2] || now[4] != eventBase_[4];
                if (lineError && (mask & EventBit::Err)) events |= EventBit::Err;
                if (now[3] != eventBase_[3] && (mask & EventBit::Break)) events |= EventBit::Break;
                std::copy(now, now + 6, eventBase_);
            }
        }
        if (events)
            return 0;
    }
}

} // namespace serialdev
