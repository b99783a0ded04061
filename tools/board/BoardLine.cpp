// The board's line: a new pseudo-terminal or a serial device.
#include "tools/board/BoardLine.h"

#include "framework/Exception.h"
#include "tools/board/DeviceLine.h"

#include <algorithm>
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

// Settings made on a pseudo-terminal's master apply to the other end: no
// echo of what the board answers, no line editing of what it receives.
void MakeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB | PARENB);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
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

TBoardLine::TBoardLine(serialdev::UniqueFd fd, serialdev::UniqueFd watch, std::string path)
    : fd_(std::move(fd)), watch_(std::move(watch)), path_(std::move(path))
{
}

TBoardLine::TBoardLine(TBoardLine&& other) noexcept = default;
TBoardLine::~TBoardLine() = default;

TBoardLine TBoardLine::OpenPseudoTerminal()
{
    serialdev::UniqueFd master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master.Valid())
        Fail("Cannot create a pseudo-terminal");
    char name[128];
    if (grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0 || ptsname_r(master.Get(), name, sizeof name) != 0)
        Fail("Cannot unlock the pseudo-terminal");
    MakeRaw(master.Get());
    serialdev::UniqueFd watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!watch.Valid() || inotify_add_watch(watch.Get(), name, IN_OPEN | IN_CLOSE) < 0)
        Fail("Cannot watch the pseudo-terminal");
    return TBoardLine(std::move(master), std::move(watch), name);
}

TBoardLine TBoardLine::OpenDevice(const std::string& path, int baud)
{
    if (std::find(std::begin(BoardLineRates), std::end(BoardLineRates), baud) == std::end(BoardLineRates))
        throw Exception("Unsupported line rate " + std::to_string(baud));
    serialdev::UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid())
        Fail("Cannot open " + path);
    if (const int error = SetDeviceLine(fd.Get(), static_cast<unsigned>(baud))) {
        errno = error;
        Fail("Cannot set the line to raw mode");
    }
    return TBoardLine(std::move(fd), {}, path);
}

bool TBoardLine::Read(std::string& bytes)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_.Get(), buffer, sizeof buffer);
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
    while (::read(watch_.Get(), buffer, sizeof buffer) > 0) {
    }
}

bool TBoardLine::OtherSideClosed() const
{
    pollfd p{fd_.Get(), POLLIN, 0};
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
        const ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return false;
    }
    return true;
}
