// Received bytes held by the device, and reads that take them first.
#include "serial/posix/LineInput.h"

#include "serial/posix/LineStatus.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace serialdev {

void LineInput::Configure(bool markErrors, bool replaceErrors, char errorChar, bool discardNull, char eventChar)
{
    std::lock_guard lock(mutex_);
    filter_.Configure(markErrors, replaceErrors, errorChar, discardNull);
    eventChar_ = eventChar;
}

void LineInput::Reset()
{
    dsrGate_ = nullptr;
    tookInAll_ = false;
    std::lock_guard lock(mutex_);
    backlog_.clear();
    filter_.Configure(false, false, 0, false);
    filter_.Reset();
}

void LineInput::Clear()
{
    std::lock_guard lock(mutex_);
    backlog_.clear();
    filter_.Reset();
}

bool LineInput::Refused() const
{
    LineStatus* gate = dsrGate_;
    return gate && gate->DsrOff();
}

bool LineInput::DropRefused(int fd)
{
    std::lock_guard lock(mutex_);
    if (!Refused())
        return false;
    for (;;) {
        char raw[4096];
        const ssize_t n = ::read(fd, raw, sizeof raw);
        if (n < 0 && errno == EINTR)
            continue;
        // A short read emptied the tty; a failure is the next wait's to tell.
        if (n < static_cast<ssize_t>(sizeof raw))
            return true;
    }
}

std::int32_t LineInput::Held() const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::int32_t>(backlog_.size() + filter_.Carried());
}

int LineInput::Queued(int fd, std::int32_t& count) const
{
    count = Held();
    if (tookInAll_.exchange(false))
        return 0;
    int queued = 0;
    if (::ioctl(fd, FIONREAD, &queued) != 0)
        return errno == EIO ? 0 : errno;
    count += queued;
    return 0;
}

int LineInput::Read(int fd, char* destination, std::int32_t count, std::int32_t& done, bool& eventChar)
{
    std::lock_guard lock(mutex_);
    const std::int32_t start = done;
    auto take = [&] {
        const auto n = std::min<std::size_t>(backlog_.size(), static_cast<std::size_t>(count - done));
        std::copy_n(backlog_.data(), n, destination + done);
        backlog_.erase(0, n);
        done += static_cast<std::int32_t>(n);
    };
    take();
    const bool watch = watchEventChar_;
    // Held bytes came in while the line took input; what the tty has now
    // is judged now.
    const bool refused = Refused();
    bool seen = false;
    int error = 0;
    while (done < count) {
        const std::size_t want = static_cast<std::size_t>(count - done);
        ssize_t n;
        if (refused) {
            char raw[4096];
            n = ::read(fd, raw, sizeof raw);
        } else if (!filter_.Active()) {
            n = ::read(fd, destination + done, want);
            if (n > 0) {
                seen = seen || (watch && std::find(destination + done, destination + done + n, eventChar_) !=
                                             destination + done + n);
                done += static_cast<std::int32_t>(n);
            }
        } else {
            char raw[4096];
            n = ::read(fd, raw, std::min(want, sizeof raw));
            if (n > 0) {
                const std::size_t from = backlog_.size();
                filter_.Process(raw, static_cast<std::size_t>(n), backlog_);
                seen = seen || (watch && backlog_.find(eventChar_, from) != std::string::npos);
                take();
            }
        }
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            error = errno;
            break;
        }
        // A raw tty (VMIN and VTIME 0) reads 0 both when nothing is queued
        // and once the line has hung up; only poll tells them apart.
        pollfd line{fd, POLLIN, 0};
        if (::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)))
            error = EIO;
        break;
    }
    eventChar = seen;
    // A read that delivers bytes succeeds, as read(2) would: failing it
    // would throw away what the line sent last (often what the event wait
    // held for it) just before it went. The failure stays for the next read.
    return done > start ? 0 : error;
}

bool LineInput::TakeIn(int fd, std::size_t limit, bool& emptied)
{
    // A tty cannot be peeked at, so the bytes are read here and kept for the
    // owner's reads, which take them first. The limit (the input queue
    // size) bounds how much is held, so flow control still sees a filling
    // queue.
    std::lock_guard lock(mutex_);
    limit = std::max<std::size_t>(limit, 1);
    emptied = false;
    const bool refused = Refused();
    bool seen = false;
    while (backlog_.size() < limit) {
        char raw[4096];
        const std::size_t want = std::min(sizeof raw, limit - backlog_.size());
        const ssize_t n = ::read(fd, raw, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            emptied = n == 0 || errno == EAGAIN;
            break; // nothing more, or a failure the next wait reports
        }
        if (!refused) {
            const std::size_t from = backlog_.size();
            filter_.Process(raw, static_cast<std::size_t>(n), backlog_);
            seen = seen || backlog_.find(eventChar_, from) != std::string::npos;
        }
        // A raw tty hands over all it has: a short read emptied it, and
        // asking again would only hear so. Bytes that come later are a new
        // arrival the wait reports.
        if (static_cast<std::size_t>(n) < want) {
            emptied = true;
            break;
        }
    }
    return seen;
}

} // namespace serialdev
