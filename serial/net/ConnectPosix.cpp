// Name lookup and non-blocking connects on POSIX sockets.
#include "serial/net/Connect.h"

#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace serialdev::net {

void CloseSocket(SocketHandle socket)
{
    ::close(socket);
}

void AddressListFree::operator()(addrinfo* list) const
{
    ::freeaddrinfo(list);
}

const addrinfo* NextAddress(const addrinfo& address)
{
    return address.ai_next;
}

int Resolve(const NetName& name, AddressList& list)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(name.host.c_str(), name.service.c_str(), &hints, &found);
    if (status == 0) {
        list.reset(found);
        return 0;
    }
    if (status == EAI_SYSTEM)
        return errno ? errno : EIO;
    if (status == EAI_MEMORY)
        return ENOMEM;
    // The name is unknown, or no name server could say: either way the
    // host is not there for us.
    return ENOENT;
}

int StartConnect(const addrinfo& address, UniqueSocket& socket)
{
    UniqueSocket fd(::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol));
    if (!fd.Valid())
        return errno;
    // Commands are a few bytes each and wait for their answer: they must
    // not sit in the stack waiting for more.
    const int one = 1;
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    int result = 0;
    if (::connect(fd.Get(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS)
            return errno;
        result = ConnectInProgress;
    }
    socket = std::move(fd);
    return result;
}

int ConnectResult(SocketHandle socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

int AwaitConnect(SocketHandle socket, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd p{socket, POLLOUT, 0};
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int ready = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready > 0)
            return 0;
        if (ready == 0)
            return ETIMEDOUT;
        if (errno != EINTR)
            return errno;
    }
}

} // namespace serialdev::net
