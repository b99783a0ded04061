// The wait for line events and its polling of modem lines and counters.
#include "serial/posix/LineEvents.h"

#include "framework/PathStamps.h"
#include "serial/device/Deadlines.h"
#include "serial/posix/LineInput.h"
#include "serial/device/LineSettings.h"
#include "serial/posix/LineStatus.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/ioctl.h>

namespace serialdev {

namespace {

// How often modem lines and error counters are looked at while someone
// waits for their events: the line has no change notification we can
// interrupt, and nobody notices a tenth of a second on a modem line.
constexpr int modemPollMs = 100;
// How often the output queue is looked at while it drains.
constexpr int drainPollMs = 10;

constexpr std::uint32_t polledEvents =
    EventBit::CTS | EventBit::DSR | EventBit::RLSD | EventBit::Break | EventBit::Err | EventBit::Ring;

} // namespace

LineEvents::LineEvents(LineInput& input, LineStatus& status, Transfers& transfers)
    : input_(input), status_(status), transfers_(transfers)
{
}

int LineEvents::Attach(int fd)
{
    UniqueFd epoll(::epoll_create1(EPOLL_CLOEXEC));
    if (!epoll.Valid())
        return errno;
    if (const int error = maskChange_.Open())
        return error;
    // Edge-triggered: one report per arrival, none while old bytes sit unread.
    epoll_event lineEvent{};
    lineEvent.events = EPOLLIN | EPOLLET;
    lineEvent.data.fd = fd;
    epoll_event maskEvent{};
    maskEvent.events = EPOLLIN;
    maskEvent.data.fd = maskChange_.Fd();
    if (::epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, fd, &lineEvent) != 0 ||
        ::epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, maskChange_.Fd(), &maskEvent) != 0) {
        const int error = errno;
        maskChange_.Close();
        return error;
    }

    std::lock_guard lock(mutex_);
    fd_ = fd;
    epoll_ = std::move(epoll);
    stopWatched_ = -1;
    mask_ = 0;
    maskChanged_ = false;
    txPending_ = false;
    wasNearlyFull_ = false;
    eventCharSeen_ = false;
    input_.WatchEventChar(false);
    return 0;
}

void LineEvents::Detach()
{
    std::lock_guard lock(mutex_);
    epoll_.Reset();
    maskChange_.Close();
    fd_ = -1;
    stopWatched_ = -1;
}

void LineEvents::SetMask(std::uint32_t mask)
{
    {
        std::lock_guard lock(mutex_);
        mask_ = mask;
        maskChanged_ = true;
    }
    input_.WatchEventChar((mask & EventBit::RxFlag) != 0);
    maskChange_.Signal();
}


void LineEvents::WriteStarted()
{
    {
        std::lock_guard lock(mutex_);
        txPending_ = true;
    }
    maskChange_.Signal(); // a waiter starts watching the output drain
}

bool LineEvents::NearlyFull(std::int32_t queued) const
{
    const std::int64_t size = inputSize_;
    return size > 0 && std::int64_t(queued) * 10 >= size * 8;
}

void LineEvents::InputTaken(int fd, bool eventChar)
{
    if (wasNearlyFull_) {
        std::int32_t queued = 0;
        input_.Queued(fd, queued); // on a failure, what is held here
        if (!NearlyFull(queued))
            wasNearlyFull_ = false;
    }
    if (eventChar) {
        eventCharSeen_ = true;
        maskChange_.Signal();
    }
}

int LineEvents::WatchStop(int stopFd)
{
    // The stop event sits in the line's epoll set, so that one epoll_wait
    // learns of an arrival or a stop. A line is waited on by one thread per
    // opening, and a new opening makes a new set.
    if (stopFd == stopWatched_)
        return 0;
    if (stopWatched_ >= 0)
        ::epoll_ctl(epoll_.Get(), EPOLL_CTL_DEL, stopWatched_, nullptr);
    stopWatched_ = -1;
    epoll_event stopEvent{};
    stopEvent.events = EPOLLIN;
    stopEvent.data.fd = stopFd;
    if (::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, stopFd, &stopEvent) != 0)
        return errno;
    stopWatched_ = stopFd;
    return 0;
}

int LineEvents::Wait(std::uint32_t& events, int stopFd)
{
    events = 0;
    input_.TookInAll(false);
    std::unique_lock lock(mutex_);
    if (fd_ < 0)
        return EBADF;
    if (const int error = WatchStop(stopFd))
        return error;
    maskChanged_ = false;
    for (;;) {
        const std::uint32_t waitMask = mask_;
        int timeout = -1;
        if ((waitMask & polledEvents) && status_.Polled())
            timeout = modemPollMs;
        if ((waitMask & EventBit::TxEmpty) && txPending_)
            timeout = MinTimeout(timeout, drainPollMs);
        lock.unlock();

        epoll_event happened[4];
        const int n = ::epoll_wait(epoll_.Get(), happened, 4, timeout);
        if (n < 0 && errno != EINTR)
            return errno;
        bool arrived = false;
        bool stop = false;
        bool hungUp = false;
        for (int i = 0; i < n; ++i) {
            const int fd = happened[i].data.fd;
            if (fd == stopFd) {
                stop = true;
            } else if (fd == maskChange_.Fd()) {
                maskChange_.Drain();
            } else if (happened[i].events & (EPOLLHUP | EPOLLERR)) {
                hungUp = true;
            } else if (happened[i].events & EPOLLIN) {
                pathstamps::Stamp(pathstamps::WaitReturned);
                arrived = true;
            }
        }
        if (stop)
            return ECANCELED;
        if (hungUp)
            return EIO;

        lock.lock();
        if (maskChanged_) {
            maskChanged_ = false;
            return 0; // ended by the mask change, nothing to report
        }
        const std::uint32_t mask = mask_;
        // Bytes a line refuses (DSR off where it matters) never arrived.
        if (arrived && input_.DropRefused(fd_))
            arrived = false;
        // When the wait took everything the tty had, what is queued is what
        // it holds: neither the wait nor the count of the arrival's handling
        // need ask the tty again.
        bool emptied = false;
        if (arrived) {
            if (mask & EventBit::RxChar)
                events |= EventBit::RxChar;
            if (mask & EventBit::RxFlag) {
                if (input_.TakeIn(fd_, static_cast<std::size_t>(inputSize_.load()), emptied))
                    events |= EventBit::RxFlag;
                transfers_.InputHeld();
            }
            std::int32_t queued = 0;
            if (emptied)
                queued = input_.Held();
            else
                input_.Queued(fd_, queued); // on a failure, what is held here
            if (NearlyFull(queued) && !wasNearlyFull_.exchange(true) && (mask & EventBit::Rx80Full))
                events |= EventBit::Rx80Full;
        }
        if (eventCharSeen_.exchange(false) && (mask & EventBit::RxFlag))
            events |= EventBit::RxFlag;
        if (txPending_ && (mask & EventBit::TxEmpty)) {
            int outQueued = 0;
            if (!transfers_.Writing() && ::ioctl(fd_, TIOCOUTQ, &outQueued) == 0 && outQueued == 0) {
                txPending_ = false;
                events |= EventBit::TxEmpty;
            }
        }
        events |= status_.TakeEvents(mask & polledEvents);
        if (events) {
            input_.TookInAll(emptied && (events & EventBit::RxChar));
            return 0;
        }
    }
}

} // namespace serialdev
