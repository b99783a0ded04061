// The pseudo-terminal a network port's line runs on. Apart from the
// device, which builds termios2 records: <termios.h> and the kernel's
// record cannot share a file.
#include "serial/net/LocalLine.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>

namespace serialdev::net {

// A pseudo-terminal pair whose slave is raw from the start: bytes that
// arrive before the port has applied its settings must not be echoed or
// edited by the line discipline.
int MakeLocalLine(UniqueFd& master, UniqueFd& slave, std::string& slavePath)
{
    UniqueFd m(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!m.Valid())
        return errno;
    if (::grantpt(m.Get()) != 0 || ::unlockpt(m.Get()) != 0)
        return errno;
    char name[128];
    if (const int error = ::ptsname_r(m.Get(), name, sizeof name))
        return error;
    termios raw{};
    if (::tcgetattr(m.Get(), &raw) != 0)
        return errno;
    ::cfmakeraw(&raw);
    if (::tcsetattr(m.Get(), TCSANOW, &raw) != 0)
        return errno;
    UniqueFd s(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!s.Valid())
        return errno;
    master = std::move(m);
    slave = std::move(s);
    slavePath = name;
    return 0;
}

} // namespace serialdev::net
