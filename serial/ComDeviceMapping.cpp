// Translations between the port's vocabulary and the device layer's.
#include "serial/ComDeviceMapping.h"

#include "serial/ComPort.h"

#include <algorithm>
#include <array>

namespace {

namespace F = serialdev::LineFlag;
// The driver's line-event mask bits.
namespace EventMask = serialdev::EventBit;

// Indexed by TComEvent.
constexpr std::array<std::uint32_t, 10> eventMaskBits = {
    EventMask::RxChar,  // evRxChar
    EventMask::TxEmpty, // evTxEmpty
    EventMask::RxFlag,  // evRxFlag
    EventMask::Ring,    // evRing
    EventMask::Break,   // evBreak
    EventMask::CTS,     // evCTS
    EventMask::DSR,     // evDSR
    EventMask::Err,     // evError
    EventMask::RLSD,    // evRLSD
    EventMask::Rx80Full // evRx80Full
};
static_assert(eventMaskBits.size() == evRx80Full + 1);

// Indexed by TDTRFlowControl and TRTSFlowControl.
constexpr std::array<std::uint32_t, 3> dtrBits = {0, F::DtrEnable, F::DtrHandshake};
constexpr std::array<std::uint32_t, 4> rtsBits = {0, F::RtsEnable, F::RtsHandshake, F::RtsToggle};
static_assert(dtrBits.size() == dtrHandshake + 1 && rtsBits.size() == rtsToggle + 1);

// The record's parity and stop-bit codes are the enumerations' values.
static_assert(prNone == 0 && prOdd == 1 && prEven == 2 && prMark == 3 && prSpace == 4);
static_assert(sbOneStopBit == 0 && sbOne5StopBits == 1 && sbTwoStopBits == 2);

} // namespace

std::uint32_t EventsToMask(TComEvents events)
{
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < eventMaskBits.size(); ++i) {
        if (events.Contains(static_cast<TComEvent>(i)))
            mask |= eventMaskBits[i];
    }
    return mask;
}

TComEvents MaskToEvents(std::uint32_t mask)
{
    TComEvents events;
    for (std::size_t i = 0; i < eventMaskBits.size(); ++i) {
        if (mask & eventMaskBits[i])
            events.Include(static_cast<TComEvent>(i));
    }
    return events;
}

serialdev::LineSettings LineSettingsFor(const TCustomComPort& port)
{
    const TComParity& parity = *port.Parity();
    const TComFlowControl& flow = *port.FlowControl();
    serialdev::LineSettings r;
    const std::int32_t rate = port.BaudRate() == brCustom ? port.CustomBaudRate() : BaudRateValue(port.BaudRate());
    // A rate that is not positive becomes 0, which the device refuses,
    // rather than a huge unsigned one.
    r.BaudRate = rate > 0 ? static_cast<std::uint32_t>(rate) : 0;
    r.Flags = F::Binary;
    if (parity.Check())
        r.Flags |= F::Parity;
    if (flow.OutCTSFlow())
        r.Flags |= F::OutxCtsFlow;
    if (flow.OutDSRFlow())
        r.Flags |= F::OutxDsrFlow;
    r.Flags |= dtrBits[std::min<std::size_t>(flow.ControlDTR(), dtrBits.size() - 1)];
    r.Flags |= rtsBits[std::min<std::size_t>(flow.ControlRTS(), rtsBits.size() - 1)];
    if (flow.DSRSensitivity())
        r.Flags |= F::DsrSensitivity;
    if (flow.TxContinueOnXoff())
        r.Flags |= F::TxContinueOnXoff;
    if (flow.XonXoffOut())
        r.Flags |= F::OutX;
    if (flow.XonXoffIn())
        r.Flags |= F::InX;
    const bool replace = parity.Check() && parity.Replace();
    if (replace)
        r.Flags |= F::ErrorChar;
    if (port.DiscardNull())
        r.Flags |= F::Null;
    // Flow control stops the far end with a quarter of the input queue
    // still free and lets it go on once only a quarter is taken.
    const std::int32_t limit = port.Buffer()->InputSize() / 4;
    r.XonLim = static_cast<std::uint16_t>(std::clamp<std::int32_t>(limit, 0, 0xFFFF));
    r.XoffLim = r.XonLim;
    r.ByteSize = static_cast<std::uint8_t>(DataBitsValue(port.DataBits()));
    r.Parity = static_cast<std::uint8_t>(parity.Bits());
    r.StopBits = static_cast<std::uint8_t>(port.StopBits());
    r.XonChar = flow.XonChar();
    r.XoffChar = flow.XoffChar();
    r.ErrorChar = replace ? parity.ReplaceChar() : 0;
    r.EofChar = 0;
    r.EvtChar = port.EventChar();
    return r;
}

serialdev::Timeouts TimeoutsFor(const TComTimeouts& timeouts)
{
    serialdev::Timeouts t;
    t.ReadInterval = static_cast<std::uint32_t>(timeouts.ReadInterval());
    t.ReadTotalMultiplier = static_cast<std::uint32_t>(timeouts.ReadTotalMultiplier());
    t.ReadTotalConstant = static_cast<std::uint32_t>(timeouts.ReadTotalConstant());
    t.WriteTotalMultiplier = static_cast<std::uint32_t>(timeouts.WriteTotalMultiplier());
    t.WriteTotalConstant = static_cast<std::uint32_t>(timeouts.WriteTotalConstant());
    return t;
}

TModemSignals SignalsFromModemBits(std::uint32_t bits)
{
    namespace M = serialdev::ModemBit;
    TModemSignals result;
    if (bits & M::CTS) result.Include(msCTS);
    if (bits & M::DSR) result.Include(msDSR);
    if (bits & M::Ring) result.Include(msRing);
    if (bits & M::RLSD) result.Include(msRLSD);
    return result;
}

TComErrors ErrorsFromFlags(std::uint32_t flags, bool parityChecked)
{
    namespace E = serialdev::ErrorFlag;
    TComErrors errors;
    if (flags & E::Frame) errors.Include(ceFrame);
    if ((flags & E::RxParity) && parityChecked) errors.Include(ceRxParity);
    if (flags & E::Overrun) errors.Include(ceOverrun);
    if (flags & E::Break) errors.Include(ceBreak);
    if (flags & E::IOE) errors.Include(ceIO);
    if (flags & E::Mode) errors.Include(ceMode);
    if (flags & E::RxOver) errors.Include(ceRxOver);
    if (flags & E::TxFull) errors.Include(ceTxFull);
    return errors;
}
