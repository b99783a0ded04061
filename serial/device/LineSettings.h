// What the port's settings amount to for the line (the device-control
// record), the transfer time-outs, and the driver's flag words. Plain data,
// shared by the port, which fills them, and the device layer, which turns
// them into termios and poll deadlines.
#pragma once

#include <cstdint>

namespace serialdev {

// Flag bits of LineSettings::Flags.
namespace LineFlag {
inline constexpr std::uint32_t Binary = 0x0001;
inline constexpr std::uint32_t Parity = 0x0002;          // check received parity
inline constexpr std::uint32_t OutxCtsFlow = 0x0004;
inline constexpr std::uint32_t OutxDsrFlow = 0x0008;
inline constexpr std::uint32_t DtrControlMask = 0x0030;
inline constexpr std::uint32_t DtrEnable = 0x0010;
inline constexpr std::uint32_t DtrHandshake = 0x0020;
inline constexpr std::uint32_t DsrSensitivity = 0x0040;
inline constexpr std::uint32_t TxContinueOnXoff = 0x0080;
inline constexpr std::uint32_t OutX = 0x0100;            // obey received XOFF/XON
inline constexpr std::uint32_t InX = 0x0200;             // send XOFF/XON
inline constexpr std::uint32_t ErrorChar = 0x0400;       // replace bytes with parity errors
inline constexpr std::uint32_t Null = 0x0800;            // discard received NUL bytes
inline constexpr std::uint32_t RtsControlMask = 0x3000;
inline constexpr std::uint32_t RtsEnable = 0x1000;
inline constexpr std::uint32_t RtsHandshake = 0x2000;
inline constexpr std::uint32_t RtsToggle = 0x3000;
inline constexpr std::uint32_t AbortOnError = 0x4000;
} // namespace LineFlag

struct LineSettings {
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;  // 5 to 8
    std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Milliseconds; 0xFFFFFFFF (the value -1 of a signed setting) is "all ones".
struct Timeouts {
    std::uint32_t ReadInterval = 0xFFFFFFFFu;
    std::uint32_t ReadTotalMultiplier = 0;
    std::uint32_t ReadTotalConstant = 0;
    std::uint32_t WriteTotalMultiplier = 100;
    std::uint32_t WriteTotalConstant = 1000;
};

// Driver error flags, as TakeErrors reports them.
namespace ErrorFlag {
inline constexpr std::uint32_t RxOver = 0x0001;
inline constexpr std::uint32_t Overrun = 0x0002;
inline constexpr std::uint32_t RxParity = 0x0004;
inline constexpr std::uint32_t Frame = 0x0008;
inline constexpr std::uint32_t Break = 0x0010;
inline constexpr std::uint32_t TxFull = 0x0100;
inline constexpr std::uint32_t IOE = 0x0400;
inline constexpr std::uint32_t Mode = 0x8000;
} // namespace ErrorFlag

// Line-event bits, as SetEventMask takes them and WaitEvent reports them.
namespace EventBit {
inline constexpr std::uint32_t RxChar = 0x0001;
inline constexpr std::uint32_t RxFlag = 0x0002;
inline constexpr std::uint32_t TxEmpty = 0x0004;
inline constexpr std::uint32_t CTS = 0x0008;
inline constexpr std::uint32_t DSR = 0x0010;
inline constexpr std::uint32_t RLSD = 0x0020;
inline constexpr std::uint32_t Break = 0x0040;
inline constexpr std::uint32_t Err = 0x0080;
inline constexpr std::uint32_t Ring = 0x0100;
inline constexpr std::uint32_t Rx80Full = 0x0400;
} // namespace EventBit

// Modem status bits, as ModemStatus reports them.
namespace ModemBit {
inline constexpr std::uint32_t CTS = 0x0010;
inline constexpr std::uint32_t DSR = 0x0020;
inline constexpr std::uint32_t Ring = 0x0040;
inline constexpr std::uint32_t RLSD = 0x0080;
} // namespace ModemBit

} // namespace serialdev
