// Making a TCP connection to a serial server: name lookup, and a connect
// that can be waited for with a bound or watched by an event loop. The
// calls are the same on both platforms (ConnectPosix.cpp, ConnectWin32.cpp);
// errors are the platform's codes (errno values, or Winsock's WSA codes).
#pragma once

#include "serial/net/NetName.h"
#include "serial/net/Socket.h"

#include <chrono>
#include <memory>

struct addrinfo;

namespace serialdev::net {

struct AddressListFree {
    void operator()(addrinfo* list) const;
};
using AddressList = std::unique_ptr<addrinfo, AddressListFree>;

// What StartConnect returns for a connection still being made (no error
// code of either platform is negative).
inline constexpr int ConnectInProgress = -1;

// The addresses of the name's host and port. Returns 0, the HostNotFound
// code when the host is not known (or no name server could say), or
// another code. Makes the platform's network layer ready first.
int Resolve(const NetName& name, AddressList& list);
// The address after `address` in its list, nullptr after the last.
const addrinfo* NextAddress(const addrinfo& address);

// Starts a non-blocking connection to `address`. Returns 0 when it is made
// at once, ConnectInProgress when it goes on (the socket turns writable
// when it ends; ConnectResult tells how), or the error code.
int StartConnect(const addrinfo& address, UniqueSocket& socket);
// How a connection that was in progress ended: 0 or the error code.
int ConnectResult(SocketHandle socket);

// Connects to the server `name` leads to, trying each of its addresses in
// turn until one accepts or `deadline` passes (the TimedOut code). The
// socket is non-blocking, with Nagle's delay off.
int ConnectBefore(const NetName& name, std::chrono::steady_clock::time_point deadline, UniqueSocket& socket);

// Waits until the connection being made on `socket` has ended, at most
// `timeoutMs`: 0 when it ended (ConnectResult tells how), the TimedOut
// code, or the error code of the wait. Platform file.
int AwaitConnect(SocketHandle socket, int timeoutMs);

} // namespace serialdev::net
