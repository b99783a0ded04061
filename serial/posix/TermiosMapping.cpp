// The line-settings record in termios2 form.
#include "serial/posix/TermiosMapping.h"

#include <cerrno>

namespace serialdev {

int BuildTermios(const LineSettings& s, const termios2& current, TermiosSetup& setup)
{
    setup = TermiosSetup{};
    termios2& t = setup.tio;
    t.c_line = current.c_line;

    if (s.BaudRate == 0)
        return EINVAL;

    tcflag_t size;
    switch (s.ByteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return EINVAL;
    }

    // Raw line: no echo, no line editing, no output processing, no signals.
    t.c_cflag = size | CREAD | CLOCAL;
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = s.BaudRate;
    t.c_ospeed = s.BaudRate;

    switch (s.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: return EINVAL;
    }

    switch (s.StopBits) {
    case 0: break;
    case 1:
        // A UART sends 1.5 stop bits for CSTOPB only with 5-bit characters.
        if (s.ByteSize != 5)
            return EINVAL;
        t.c_cflag |= CSTOPB;
        break;
    case 2: t.c_cflag |= CSTOPB; break;
    default: return EINVAL;
    }

    // termios has one flag for RTS/CTS in both directions.
    const std::uint32_t rts = s.Flags & LineFlag::RtsControlMask;
    if ((s.Flags & LineFlag::OutxCtsFlow) || rts == LineFlag::RtsHandshake)
        t.c_cflag |= CRTSCTS;

    if (s.Flags & LineFlag::OutX)
        t.c_iflag |= IXON;
    if (s.Flags & LineFlag::InX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(s.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.XoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    if ((s.Flags & LineFlag::Parity) && s.Parity != 0) {
        t.c_iflag |= INPCK | PARMRK;
        setup.markErrors = true;
        setup.replaceErrors = (s.Flags & LineFlag::ErrorChar) != 0;
        setup.errorChar = setup.replaceErrors ? s.ErrorChar : 0;
    }
    setup.discardNull = (s.Flags & LineFlag::Null) != 0;

    const std::uint32_t dtr = s.Flags & LineFlag::DtrControlMask;
    setup.raiseDTR = dtr == LineFlag::DtrEnable || dtr == LineFlag::DtrHandshake;
    setup.raiseRTS = rts != 0;
    return 0;
}

} // namespace serialdev
