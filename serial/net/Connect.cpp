// Name lookup and non-blocking connects.
#include "serial/net/Connect.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace serialdev::net {

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

int StartConnect(const addrinfo& address, UniqueFd& socket)
{
    UniqueFd fd(::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol));
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
        result = EINPROGRESS;
    }
    socket = std::move(fd);
    return result;
}

int ConnectResult(int socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

} // namespace serialdev::net
