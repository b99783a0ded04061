#include "serial/win32/CommBits.h"

namespace serialdev {

namespace {

namespace E = EventBit;
static_assert(E::RxChar == EV_RXCHAR && E::RxFlag == EV_RXFLAG && E::TxEmpty == EV_TXEMPTY && E::CTS == EV_CTS &&
              E::DSR == EV_DSR && E::RLSD == EV_RLSD && E::Break == EV_BREAK && E::Err == EV_ERR &&
              E::Ring == EV_RING && E::Rx80Full == EV_RX80FULL);
constexpr std::uint32_t eventBits = EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK |
                                    EV_ERR | EV_RING | EV_RX80FULL;

namespace C = ErrorFlag;
static_assert(C::RxOver == CE_RXOVER && C::Overrun == CE_OVERRUN && C::RxParity == CE_RXPARITY &&
              C::Frame == CE_FRAME && C::Break == CE_BREAK && C::TxFull == CE_TXFULL && C::IOE == CE_IOE &&
              C::Mode == CE_MODE);
constexpr std::uint32_t errorBits =
    CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK | CE_TXFULL | CE_IOE | CE_MODE;

namespace M = ModemBit;
static_assert(M::CTS == MS_CTS_ON && M::DSR == MS_DSR_ON && M::Ring == MS_RING_ON && M::RLSD == MS_RLSD_ON);
constexpr std::uint32_t modemBits = MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON;

namespace F = LineFlag;
static_assert(F::DtrEnable >> 4 == DTR_CONTROL_ENABLE && F::DtrHandshake >> 4 == DTR_CONTROL_HANDSHAKE &&
              F::RtsEnable >> 12 == RTS_CONTROL_ENABLE && F::RtsHandshake >> 12 == RTS_CONTROL_HANDSHAKE &&
              F::RtsToggle >> 12 == RTS_CONTROL_TOGGLE);
static_assert(NOPARITY == 0 && ODDPARITY == 1 && EVENPARITY == 2 && MARKPARITY == 3 && SPACEPARITY == 4 &&
              ONESTOPBIT == 0 && ONE5STOPBITS == 1 && TWOSTOPBITS == 2);

} // namespace

int CheckLineSettings(const LineSettings& s)
{
    const bool xonXoff = (s.Flags & (F::OutX | F::InX)) != 0;
    if (s.BaudRate == 0 || s.ByteSize < 5 || s.ByteSize > 8 || s.Parity > SPACEPARITY ||
        s.StopBits > TWOSTOPBITS || (xonXoff && s.XonChar == s.XoffChar))
        return ERROR_INVALID_PARAMETER;
    return 0;
}

void FillDcb(const LineSettings& s, DCB& dcb)
{
    const auto bit = [&](std::uint32_t flag) -> DWORD { return (s.Flags & flag) ? 1 : 0; };
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = s.BaudRate;
    dcb.fBinary = bit(F::Binary);
    dcb.fParity = bit(F::Parity);
    dcb.fOutxCtsFlow = bit(F::OutxCtsFlow);
    dcb.fOutxDsrFlow = bit(F::OutxDsrFlow);
    dcb.fDtrControl = (s.Flags & F::DtrControlMask) >> 4;
    dcb.fDsrSensitivity = bit(F::DsrSensitivity);
    dcb.fTXContinueOnXoff = bit(F::TxContinueOnXoff);
    dcb.fOutX = bit(F::OutX);
    dcb.fInX = bit(F::InX);
    dcb.fErrorChar = bit(F::ErrorChar);
    dcb.fNull = bit(F::Null);
    dcb.fRtsControl = (s.Flags & F::RtsControlMask) >> 12;
    dcb.fAbortOnError = bit(F::AbortOnError);
    dcb.XonLim = s.XonLim;
    dcb.XoffLim = s.XoffLim;
    dcb.ByteSize = s.ByteSize;
    dcb.Parity = s.Parity;
    dcb.StopBits = s.StopBits;
    dcb.XonChar = s.XonChar;
    dcb.XoffChar = s.XoffChar;
    dcb.ErrorChar = s.ErrorChar;
    dcb.EofChar = s.EofChar;
    dcb.EvtChar = s.EvtChar;
}

LineSettings LineSettingsFromDcb(const DCB& dcb)
{
    LineSettings s;
    s.BaudRate = dcb.BaudRate;
    s.Flags = (dcb.fBinary ? F::Binary : 0) | (dcb.fParity ? F::Parity : 0) |
              (dcb.fOutxCtsFlow ? F::OutxCtsFlow : 0) | (dcb.fOutxDsrFlow ? F::OutxDsrFlow : 0) |
              (static_cast<std::uint32_t>(dcb.fDtrControl) << 4) | (dcb.fDsrSensitivity ? F::DsrSensitivity : 0) |
              (dcb.fTXContinueOnXoff ? F::TxContinueOnXoff : 0) | (dcb.fOutX ? F::OutX : 0) |
              (dcb.fInX ? F::InX : 0) | (dcb.fErrorChar ? F::ErrorChar : 0) | (dcb.fNull ? F::Null : 0) |
              (static_cast<std::uint32_t>(dcb.fRtsControl) << 12) | (dcb.fAbortOnError ? F::AbortOnError : 0);
    s.XonLim = dcb.XonLim;
    s.XoffLim = dcb.XoffLim;
    s.ByteSize = dcb.ByteSize;
    s.Parity = dcb.Parity;
    s.StopBits = dcb.StopBits;
    s.XonChar = dcb.XonChar;
    s.XoffChar = dcb.XoffChar;
    s.ErrorChar = dcb.ErrorChar;
    s.EofChar = dcb.EofChar;
    s.EvtChar = dcb.EvtChar;
    return s;
}

DWORD CommMaskFromEvents(std::uint32_t events)
{
    return events & eventBits;
}

std::uint32_t EventsFromComm(DWORD mask)
{
    return mask & eventBits;
}

std::uint32_t ErrorFlagsFromComm(DWORD errors)
{
    return errors & errorBits;
}

std::uint32_t ModemBitsFromComm(DWORD status)
{
    return status & modemBits;
}

} // namespace serialdev
