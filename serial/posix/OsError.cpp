// errno values as the port reads them.
#include "serial/device/OsError.h"

#include <cerrno>

namespace serialdev {

OsErrorKind ClassifyOsError(int code)
{
    switch (code) {
    case ECANCELED: return OsErrorKind::Cancelled;
    // A hung-up line reads EIO; an unplugged device ENXIO or ENODEV.
    case EIO:
    case ENXIO:
    case ENODEV: return OsErrorKind::LineLost;
    case ENOENT: return OsErrorKind::NotThere;
    case EACCES:
    case EPERM: return OsErrorKind::AccessDenied;
    case EBUSY: return OsErrorKind::InUse;
    case ENOTTY: return OsErrorKind::NotSerial;
    case EINVAL: return OsErrorKind::InvalidArgument;
    case ECONNREFUSED: return OsErrorKind::Refused;
    case ETIMEDOUT: return OsErrorKind::TimedOut;
    case ECONNRESET:
    case EPIPE: return OsErrorKind::ConnectionReset;
    case EHOSTUNREACH:
    case ENETUNREACH: return OsErrorKind::Unreachable;
    default: return OsErrorKind::Other;
    }
}

int OsErrorCode(OsErrorKind kind)
{
    switch (kind) {
    case OsErrorKind::Cancelled: return ECANCELED;
    case OsErrorKind::LineLost: return EIO;
    case OsErrorKind::NotThere: return ENOENT;
    case OsErrorKind::AccessDenied: return EACCES;
    case OsErrorKind::InUse: return EBUSY;
    case OsErrorKind::NotSerial: return ENOTTY;
    case OsErrorKind::InvalidArgument: return EINVAL;
    // A host that is not known reads as a name that is not there.
    case OsErrorKind::HostNotFound: return ENOENT;
    case OsErrorKind::Refused: return ECONNREFUSED;
    case OsErrorKind::TimedOut: return ETIMEDOUT;
    case OsErrorKind::ConnectionReset: return ECONNRESET;
    case OsErrorKind::Unreachable: return EHOSTUNREACH;
    case OsErrorKind::Other: break;
    }
    return EIO;
}

} // namespace serialdev
