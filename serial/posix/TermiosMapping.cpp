// The line-settings record in termios2 form.
#include "serial/posix/TermiosMapping.h"

#include <cerrno>

namespace serialdev {

namespace {

// The rates termios has a constant for. A rate set with its constant reads
// back as that rate in every termios program (stty, cfgetospeed); one set
// as BOTHER reads as "0 baud" to those that only know the classic table.
struct ClassicRate {
    std::uint32_t rate;
    tcflag_t constant;
};
constexpr ClassicRate classicRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t RateConstant(std::uint32_t rate)
{
    for (const ClassicRate& classic : classicRates)
        if (classic.rate == rate)
            return classic.constant;
    return BOTHER;
}

} // namespace

int BuildTermios(const LineSettings& s, const termios2& current, TermiosSetup& setup)
{
    setup = TermiosSetup{};
    termios2& t = setup.tio;
    t.c_line = current.c_line;

    // No rate, or one too large for termios to carry.
    if (s.BaudRate == 0 || s.BaudRate > 0x7FFFFFFFu)
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
    // The input rate follows the output rate (no input bits of its own).
    t.c_cflag |= RateConstant(s.BaudRate);
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
    setup.dsrSensitive = (s.Flags & LineFlag::DsrSensitivity) != 0;

    const std::uint32_t dtr = s.Flags & LineFlag::DtrControlMask;
    setup.raiseDTR = dtr == LineFlag::DtrEnable || dtr == LineFlag::DtrHandshake;
    setup.raiseRTS = rts != 0;
    return 0;
}

} // namespace serialdev
