// A socket as the network device holds it, on either platform: a
// descriptor on Linux, a Winsock SOCKET on Windows. Only the handle's type
// differs; what is done with one lives in the platform's Connect file.
#pragma once

#include <cstdint>
#include <utility>

namespace serialdev::net {

#if defined(_WIN32)
// SOCKET, without bringing <winsock2.h> into every file that holds one.
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle NoSocket = ~SocketHandle(0);
#else
using SocketHandle = int;
inline constexpr SocketHandle NoSocket = -1;
#endif

void CloseSocket(SocketHandle socket);

// Owns one socket and closes it when it goes.
class UniqueSocket {
public:
    UniqueSocket() = default;
    explicit UniqueSocket(SocketHandle socket) : socket_(socket) {}
    ~UniqueSocket() { Reset(); }
    UniqueSocket(UniqueSocket&& other) noexcept : socket_(other.Release()) {}
    UniqueSocket& operator=(UniqueSocket&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;

    bool Valid() const { return socket_ != NoSocket; }
    SocketHandle Get() const { return socket_; }
    SocketHandle Release() { return std::exchange(socket_, NoSocket); }
    void Reset(SocketHandle socket = NoSocket)
    {
        if (socket_ != NoSocket)
            CloseSocket(socket_);
        socket_ = socket;
    }

private:
    SocketHandle socket_ = NoSocket;
};

} // namespace serialdev::net
