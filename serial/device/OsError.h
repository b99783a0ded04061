// The system's error codes as the port reads them. A device returns its
// platform's own codes (errno values on Linux, Windows error codes on
// Windows), and the port shows them as they are; where the port must know
// what a code means (a line that is gone, a fix to suggest), it asks here.
// One implementation per platform folder.
#pragma once

#include <string>

namespace serialdev {

enum class OsErrorKind {
    Other,
    Cancelled,       // a wait or transfer was ended on purpose
    LineLost,        // the line is gone: hung up, unplugged, connection lost
    NotThere,        // no such device, or no such file
    AccessDenied,    // the device is there but this user may not open it
    InUse,           // another program holds the device
    NotSerial,       // the device is not a serial port
    InvalidArgument, // a name or setting the device cannot take
    HostNotFound,    // a network port's host is not known
    Refused,         // its server refused the connection
    TimedOut,        // its server did not answer in time
    ConnectionReset, // its server closed the connection
    Unreachable,     // no route to its server
};

OsErrorKind ClassifyOsError(int code);
// The platform's code for `kind` (never 0; Other gives a generic failure),
// for code shared by the platforms that must report one.
int OsErrorCode(OsErrorKind kind);

// Whether a failure means the line itself is gone (hung up, its device
// unplugged, the connection to its server lost) rather than that one call
// went wrong.
inline bool LineGone(int error)
{
    return error != 0 && ClassifyOsError(error) == OsErrorKind::LineLost;
}

// The system's own description of `code` in the language `language`
// ("de_DE", "de"; "C" or empty for English), in UTF-8. English where the
// system has nothing in that language.
std::string SystemErrorText(int code, const std::string& language);

} // namespace serialdev
