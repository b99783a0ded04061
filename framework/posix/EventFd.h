// A wake-up counter that poll can watch (an eventfd): one thread signals,
// another waits on the descriptor and drains it. The event thread, the
// main-thread synchroniser and the device's transfers all stop a wait this
// way. Plain POSIX and header-only, so that the Qt-free device layer can
// use it without linking the framework.
#pragma once

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

class EventFd {
public:
    // Closed until Open succeeds.
    EventFd() = default;
    ~EventFd() { Close(); }
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;

    // Makes the descriptor if there is none yet. Returns 0 or the errno
    // value (a process out of descriptors cannot have one). A blocking one
    // is for Wait; poll watches a non-blocking one.
    int Open(bool blocking = false)
    {
        if (fd_ >= 0)
            return 0;
        fd_ = ::eventfd(0, EFD_CLOEXEC | (blocking ? 0 : EFD_NONBLOCK));
        return fd_ >= 0 ? 0 : errno;
    }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // What a wait on several things watches (see framework/WakeEvent.h).
    int Handle() const { return fd_; }

    // Makes the descriptor readable until drained. Signalling a closed
    // event does nothing.
    void Signal() const
    {
        if (fd_ < 0)
            return;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
    }
    // Takes every pending signal, so that the next poll waits again. One
    // read does it: it returns the whole count and sets it to zero.
    void Drain() const
    {
        if (fd_ < 0)
            return;
        std::uint64_t count;
        [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
    }

    // Blocks until signalled and takes the signals (blocking descriptors).
    void Wait() const
    {
        if (fd_ < 0)
            return;
        std::uint64_t count;
        while (::read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }

private:
    int fd_ = -1;
};
