#include "tools/board/BoardLine.h"

#include "framework/Exception.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    throw Exception(what + ": " + std::strerror(errno));
}

void MakeRaw(int fd, int baud)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return;  // not a terminal (a FIFO, say): bytes are bytes
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB | PARENB);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (baud > 0) {
        speed_t speed = 0;
        switch (baud) {
        case 1200: speed = B1200; break;
        case 2400: speed = B2400; break;
        case 4800: speed = B4800; break;
        case 9600: speed = B9600; break;
        case 19200: speed = B19200; break;
        case 38400: speed = B38400; break;
        case 57600: speed = B57600; break;
        case 115200: speed = B115200; break;
        default: throw Exception("Unsupported line rate " + std::to_string(baud));
        }
        cfsetspeed(&tio, speed);
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        Fail("Cannot set the line to raw mode");
}

} // namespace

std::string BoardLineRateList()
{
    std::string list;
    for (const int rate : BoardLineRates)
        list += (list.empty() ? "" : ", ") + std::to_string(rate);
    return list;
}

TBoardLine::TBoardLine(int fd, int watch, std::string path)
    : fd_(fd), watch_(watch), path_(std::move(path))
{
}

TBoardLine::TBoardLine(TBoardLine&& other) noexcept
    : fd_(other.fd_), watch_(other.watch_), path_(std::move(other.path_))
{
    other.fd_ = -1;
    other.watch_ = -1;
}

TBoardLine::~TBoardLine()
{
    if (watch_ >= 0)
        ::close(watch_);
    if (fd_ >= 0)
        ::close(fd_);
}

TBoardLine TBoardLine::OpenPseudoTerminal()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0)
        Fail("Cannot create a pseudo-terminal");
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        const int saved = errno;
        ::close(master);
        errno = saved;
        Fail("Cannot unlock the pseudo-terminal");
    }
    // Settings made on the master apply to the other end: no echo of what
    // the board answers, no line editing of what it receives.
    try {
        MakeRaw(master, 0);
    } catch (...) {
        ::close(master);
        throw;
    }
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, name, IN_OPEN | IN_CLOSE) < 0) {
        const int saved = errno;
        if (watch >= 0)
            ::close(watch);
        ::close(master);
        errno = saved;
        Fail("Cannot watch the pseudo-terminal");
    }
    return TBoardLine(master, watch, name);
}

TBoardLine TBoardLine::OpenDevice(const std::string& path, int baud)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail("Cannot open " + path);
    try {
        MakeRaw(fd, baud);
    } catch (...) {
        ::close(fd);
        throw;
    }
    return TBoardLine(fd, -1, path);
}

bool TBoardLine::Read(std::string& bytes)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        // End of file, or EIO from a pseudo-terminal master whose other end
        // is closed: the other side is gone.
        return false;
    }
}

void TBoardLine::DrainWatch()
{
    char buffer[4096];
    while (::read(watch_, buffer, sizeof buffer) > 0) {
    }
}

bool TBoardLine::OtherSideClosed() const
{
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP) != 0;
}

void TBoardLine::DiscardUnreadAnswers()
{
    if (!IsPseudoTerminal())
        return;
    // A flush on the master side does not reach the other end's queue, so
    // open that end for a moment.
    const int other = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (other < 0)
        return;
    tcflush(other, TCIFLUSH);
    ::close(other);
}

bool TBoardLine::Write(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return false;
    }
    return true;
}
