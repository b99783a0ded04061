// The serial line's vocabulary: enumerations, sets, and their text forms.
#pragma once

#include <QMetaType>
#include <QString>

#include <cstdint>
#include <initializer_list>

enum TBaudRate : std::uint8_t {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
    br19200, br38400, br56000, br57600, br115200, br128000, br256000
};

enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };

enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };

enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };

enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };

enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };

enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };

enum TComEvent : std::uint8_t {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};

enum TComError : std::uint8_t {
    ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull
};

enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };

// The modem input signals, in the order the status query reports them.
enum TModemSignal : std::uint8_t { msCTS, msDSR, msRing, msRLSD };

// A set over an enumeration whose values number the bits from 0.
template <class E, class Bits>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members)
    {
        for (E member : members)
            bits_ |= Bit(member);
    }

    static constexpr TSet FromBits(Bits bits)
    {
        TSet set;
        set.bits_ = bits;
        return set;
    }
    constexpr Bits ToBits() const { return bits_; }

    constexpr bool Contains(E member) const { return (bits_ & Bit(member)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TSet& Include(E member)
    {
        bits_ |= Bit(member);
        return *this;
    }
    constexpr TSet& Exclude(E member)
    {
        bits_ &= static_cast<Bits>(~Bit(member));
        return *this;
    }

    friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }
    friend constexpr TSet operator|(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
    friend constexpr TSet operator&(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }

private:
    static constexpr Bits Bit(E member) { return static_cast<Bits>(Bits(1) << static_cast<unsigned>(member)); }
    Bits bits_ = 0;
};

using TComEvents = TSet<TComEvent, std::uint16_t>;
using TComErrors = TSet<TComError, std::uint8_t>;
using TModemSignals = TSet<TModemSignal, std::uint8_t>;

inline constexpr TComEvents AllComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak,
                                         evCTS, evDSR, evError, evRLSD, evRx80Full};

// The order in which the events of one batch are handled.
inline constexpr TComEvent EventHandlingOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                                   evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

// Numeric rate of a table value; 0 for brCustom, whose rate is the port's
// CustomBaudRate.
std::int32_t BaudRateValue(TBaudRate rate);
// Bits per character of a data-bits value (5 to 8).
int DataBitsValue(TDataBits bits);

// Text forms. Parsing folds ASCII case, does not trim, and returns the
// type's fallback when no text matches.
QString BaudRateText(TBaudRate value);
TBaudRate ParseBaudRate(const QString& text);
QString StopBitsText(TStopBits value);
TStopBits ParseStopBits(const QString& text);
QString DataBitsText(TDataBits value);
TDataBits ParseDataBits(const QString& text);
QString ParityText(TParityBits value);
TParityBits ParseParity(const QString& text);
QString FlowControlText(TFlowControl value);
TFlowControl ParseFlowControl(const QString& text);

Q_DECLARE_METATYPE(TComEvents)
