// Trying a server's addresses in turn: the same on both platforms.
#include "serial/net/Connect.h"

#include "serial/device/OsError.h"

#include <algorithm>

namespace serialdev::net {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 60'000)) : 0;
}

// Connects to one address, waiting until `deadline`.
int ConnectTo(const addrinfo& address, Clock::time_point deadline, UniqueSocket& result)
{
    UniqueSocket socket;
    int error = StartConnect(address, socket);
    if (error != ConnectInProgress) {
        if (!error)
            result = std::move(socket);
        return error;
    }
    if ((error = AwaitConnect(socket.Get(), RemainingMs(deadline))))
        return error;
    if ((error = ConnectResult(socket.Get())))
        return error;
    result = std::move(socket);
    return 0;
}

} // namespace

int ConnectBefore(const NetName& name, Clock::time_point deadline, UniqueSocket& socket)
{
    AddressList list;
    if (const int error = Resolve(name, list))
        return error;
    const int timedOut = OsErrorCode(OsErrorKind::TimedOut);
    int error = OsErrorCode(OsErrorKind::Refused);
    for (const addrinfo* a = list.get(); a; a = NextAddress(*a)) {
        error = ConnectTo(*a, deadline, socket);
        if (!error || error == timedOut)
            break;
    }
    return error;
}

} // namespace serialdev::net
