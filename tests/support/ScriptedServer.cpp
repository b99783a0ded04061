// A scripted TCP server on the loopback for the network device's tests.
#include "tests/support/ScriptedServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what)
{
    throw std::runtime_error(std::string("scripted server: ") + what + ": " + std::strerror(errno));
}

// What the server keeps of unread input before it stops reading (the
// client then sees its writes stall, as with any slow server).
constexpr std::size_t kReceiveLimit = 64u << 20;

// How long a request to the server's thread may take: it only makes
// non-blocking calls, so this is only ever reached if the thread is gone.
constexpr std::chrono::seconds kRequestLimit(10);

} // namespace

ScriptedServer::ScriptedServer()
{
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0)
        Fail("eventfd");
    try {
        OpenListener();
    } catch (...) {
        ::close(wake_);
        throw;
    }
    thread_ = std::thread([this] { Loop(); });
}

ScriptedServer::~ScriptedServer()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    thread_.join();
    for (int fd : {connection_, listener_, wake_})
        if (fd >= 0)
            ::close(fd);
}

std::string ScriptedServer::Address() const
{
    return "127.0.0.1:" + std::to_string(port_);
}

// Binds the port picked at the start again after StopListening();
// SO_REUSEADDR lets it past the closed connections still in TIME_WAIT.
void ScriptedServer::OpenListener()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        Fail("socket");
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(fd, 8) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        Fail("listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    listener_ = fd;
}

void ScriptedServer::OnThread(const std::function<void()>& step)
{
    std::unique_lock lock(mutex_);
    requests_.push_back(step);
    const std::uint64_t mine = ++requested_;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    if (!changed_.wait_for(lock, kRequestLimit, [&] { return done_ >= mine; }))
        throw std::runtime_error("scripted server: its thread does not answer");
}

void ScriptedServer::Loop()
{
    for (;;) {
        pollfd fds[2] = {{wake_, POLLIN, 0}, {-1, 0, 0}};
        {
            std::lock_guard lock(mutex_);
            if (connection_ >= 0) {
                fds[1].fd = connection_;
                fds[1].events = static_cast<short>((received_.size() < kReceiveLimit ? POLLIN : 0)
                                                   | (outbox_.empty() ? 0 : POLLOUT));
            } else if (listener_ >= 0) {
                fds[1] = {listener_, POLLIN, 0};
            }
        }
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;

        std::lock_guard lock(mutex_);
        if (stop_)
            return;
        if (fds[0].revents) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(wake_, &count, sizeof count);
            for (auto& step : requests_)
                step();
            requests_.clear();
            done_ = requested_;
            // A request may have closed or replaced the descriptor polled.
            changed_.notify_all();
            continue;
        }
        if (fds[1].fd >= 0 && fds[1].fd == listener_ && (fds[1].revents & POLLIN)) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                connection_ = fd;
                ++connections_;
                received_.clear();
                outbox_.clear();
            }
        } else if (fds[1].fd >= 0 && fds[1].fd == connection_) {
            Pump(fds[1].revents);
        }
        changed_.notify_all();
    }
}

// Moves bytes both ways on the current connection (the lock is held);
// its end or an error closes it.
void ScriptedServer::Pump(short revents)
{
    bool gone = false;
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        char buffer[65536];
        const ssize_t n = ::read(connection_, buffer, sizeof buffer);
        if (n > 0)
            received_.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            gone = true;
    }
    if (!gone && (revents & POLLOUT) && !outbox_.empty()) {
        const ssize_t n = ::send(connection_, outbox_.data(), outbox_.size(), MSG_NOSIGNAL);
        if (n > 0)
            outbox_.erase(0, static_cast<std::size_t>(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            gone = true;
    }
    if (gone)
        CloseConnection(false);
}

void ScriptedServer::CloseConnection(bool reset)
{
    if (connection_ < 0)
        return;
    if (reset) {
        const linger abort{1, 0};
        ::setsockopt(connection_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    ::close(connection_);
    connection_ = -1;
    ++ended_;
    outbox_.clear();
}

bool ScriptedServer::WaitForConnection(Milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return connection_ >= 0; });
}

int ScriptedServer::Connections() const
{
    std::lock_guard lock(mutex_);
    return connections_;
}

bool ScriptedServer::WaitForHangUp(int connection, Milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ended_ >= connection; });
}

std::string ScriptedServer::Receive(std::size_t count, Milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
    const bool full = received_.size() >= kReceiveLimit;
    const std::size_t taken = std::min(count, received_.size());
    std::string result = received_.substr(0, taken);
    received_.erase(0, taken);
    lock.unlock();
    if (full && taken > 0)
        OnThread([] {}); // the thread stopped reading at the limit: it may go on
    return result;
}

std::string ScriptedServer::Drain()
{
    return Receive(std::string::npos, Milliseconds(0));
}

void ScriptedServer::Send(std::string_view bytes)
{
    OnThread([this, bytes] {
        if (connection_ >= 0)
            outbox_.append(bytes);
    });
}

bool ScriptedServer::Close(bool reset, Milliseconds timeout)
{
    bool flushed = reset;
    if (!reset) {
        std::unique_lock lock(mutex_);
        flushed = changed_.wait_for(lock, timeout, [&] { return outbox_.empty(); });
    }
    OnThread([this, reset] { CloseConnection(reset); });
    return flushed;
}

void ScriptedServer::StopListening()
{
    OnThread([this] {
        if (listener_ >= 0)
            ::close(listener_);
        listener_ = -1;
    });
}

void ScriptedServer::Listen()
{
    std::exception_ptr failure;
    OnThread([this, &failure] {
        try {
            if (listener_ < 0)
                OpenListener();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure)
        std::rethrow_exception(failure);
}
