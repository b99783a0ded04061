// Pseudo-terminal pairs for the serial tests.
#include "tests/support/PtyPair.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

} // namespace

PtyPair::PtyPair()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        Fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0)
        Fail("grantpt/unlockpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        Fail("ptsname_r");
    slavePath_ = name;
    // The master side's line discipline must not echo or translate bytes.
    termios tio{};
    if (tcgetattr(master_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
    }
    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    HangUp();
}

void PtyPair::Send(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            Fail("write to pty master");
        }
    }
}

std::string PtyPair::Receive(std::size_t count, std::chrono::milliseconds timeout)
{
    std::string result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (result.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - result.size()));
        if (n > 0)
            result.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return result;
}

std::string PtyPair::Drain()
{
    std::string result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.append(buffer, static_cast<std::size_t>(n));
    }
    return result;
}

void PtyPair::HangUp()
{
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

// The terminal moves bytes on to the far end's queue a moment after they
// were taken, so keep writing until no room comes back.
void PtyPair::FillLine()
{
    const int fd = ::open(slavePath_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail("open");
    const std::string block(4096, 'x');
    for (;;) {
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        while (::write(fd, block.data(), 1) > 0) {
        }
        if (errno != EAGAIN) {
            const int error = errno;
            ::close(fd);
            errno = error;
            Fail("write");
        }
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 200) == 0)
            break;
    }
    ::close(fd);
}
