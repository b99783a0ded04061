// Making a TCP connection to a serial server: name lookup, and a connect
// that can be waited for with a bound or watched by an event loop.
#pragma once

#include "serial/net/NetName.h"
#include "serial/posix/UniqueFd.h"

#include <netdb.h>

#include <memory>

namespace serialdev::net {

struct AddressListFree {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListFree>;

// The addresses of the name's host and port. Returns 0, ENOENT when the
// host is not known (or no name server could say), or another errno value.
int Resolve(const NetName& name, AddressList& list);

// Starts a non-blocking connection to `address`. Returns 0 when it is made
// at once, EINPROGRESS when it goes on (the socket turns writable when it
// ends; ConnectResult tells how), or the errno value.
int StartConnect(const addrinfo& address, UniqueFd& socket);
// How a connection that was in progress ended: 0 or the errno value.
int ConnectResult(int socket);

} // namespace serialdev::net
