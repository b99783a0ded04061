// The line settings as RFC 2217 carries them.
#include "serial/net/RemoteSettings.h"

#include "serial/device/OsError.h"

namespace serialdev::net {

int ToRemote(const LineSettings& s, RemoteSettings& remote)
{
    namespace F = LineFlag;
    remote = RemoteSettings{};
    const int invalid = OsErrorCode(OsErrorKind::InvalidArgument);
    // What a tty refuses is refused for a remote line too.
    if (s.BaudRate == 0 || s.BaudRate > 0x7FFFFFFFu)
        return invalid;
    if (s.ByteSize < 5 || s.ByteSize > 8)
        return invalid;
    if (s.Parity > 4)
        return invalid;
    switch (s.StopBits) {
    case 0: remote.stopSize = 1; break;
    // A UART sends 1.5 stop bits only with 5-bit characters.
    case 1:
        if (s.ByteSize != 5)
            return invalid;
        remote.stopSize = 3;
        break;
    case 2: remote.stopSize = 2; break;
    default: return invalid;
    }
    remote.baudRate = s.BaudRate;
    remote.dataSize = s.ByteSize;
    remote.parity = static_cast<std::uint8_t>(s.Parity + 1);

    const std::uint32_t rts = s.Flags & F::RtsControlMask;
    if ((s.Flags & F::OutxCtsFlow) || rts == F::RtsHandshake)
        remote.control = 3;
    else if (s.Flags & (F::OutX | F::InX))
        remote.control = 2;
    else
        remote.control = 1;

    const std::uint32_t dtr = s.Flags & F::DtrControlMask;
    remote.dtr = dtr == F::DtrEnable || dtr == F::DtrHandshake;
    remote.rts = rts != 0;
    return 0;
}

} // namespace serialdev::net
