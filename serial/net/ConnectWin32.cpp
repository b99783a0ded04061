// Name lookup and non-blocking connects on Winsock.
#include "serial/net/Connect.h"

#include "serial/device/OsError.h"

#include "framework/win32/Windows.h"
#include <winsock2.h>
#include <ws2tcpip.h>

namespace serialdev::net {

namespace {

// Winsock is made ready once per process and stays so to its end: sockets
// of the port, of the probe and of other threads come and go at any time,
// and a count of users to tear it down by would gain nothing.
int StartWinsock()
{
    static const int status = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return status;
}

} // namespace

void CloseSocket(SocketHandle socket)
{
    ::closesocket(static_cast<SOCKET>(socket));
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
    if (const int error = StartWinsock())
        return error;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    // No AI_ADDRCONFIG: Windows leaves the loopback out of what it counts,
    // so a machine without a network would not find its own 127.0.0.1.
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(name.host.c_str(), name.service.c_str(), &hints, &found);
    if (status == 0) {
        list.reset(found);
        return 0;
    }
    switch (status) {
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
        // Unknown, or no name server could say: either way the host is
        // not there for us.
        return OsErrorCode(OsErrorKind::HostNotFound);
    default:
        return status;
    }
}

int StartConnect(const addrinfo& address, UniqueSocket& socket)
{
    if (const int error = StartWinsock())
        return error;
    UniqueSocket made(static_cast<SocketHandle>(::WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol,
                                                             nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT)));
    if (!made.Valid())
        return ::WSAGetLastError();
    const auto s = static_cast<SOCKET>(made.Get());
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0)
        return ::WSAGetLastError();
    // Commands are a few bytes each and wait for their answer: they must
    // not sit in the stack waiting for more.
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    int result = 0;
    if (::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            return error;
        result = ConnectInProgress;
    }
    socket = std::move(made);
    return result;
}

int ConnectResult(SocketHandle socket)
{
    const auto s = static_cast<SOCKET>(socket);
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
        return ::WSAGetLastError();
    if (error)
        return error;
    // Windows may have cleared the error by the time it is asked; only a
    // peer's address proves the connection was made.
    sockaddr_storage peer{};
    int peerLength = sizeof peer;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0)
        return ::WSAGetLastError();
    return 0;
}

int AwaitConnect(SocketHandle socket, int timeoutMs)
{
    // A connection that fails shows in the exception set on Windows, one
    // that is made in the write set.
    const auto s = static_cast<SOCKET>(socket);
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = ::select(0, nullptr, &writable, &failed, &timeout);
    if (ready == SOCKET_ERROR)
        return ::WSAGetLastError();
    if (ready == 0)
        return OsErrorCode(OsErrorKind::TimedOut);
    return 0;
}

} // namespace serialdev::net
