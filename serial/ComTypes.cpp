// Text forms and numeric values of the serial line's vocabulary.
#include "serial/ComTypes.h"

#include <array>
#include <cstddef>

namespace {

constexpr std::array<const char*, 16> baudRateTexts = {
    "Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400",
    "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<std::int32_t, 16> baudRateValues = {
    0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400,
    19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr std::array<const char*, 3> stopBitsTexts = {"1", "1.5", "2"};
constexpr std::array<const char*, 4> dataBitsTexts = {"5", "6", "7", "8"};
constexpr std::array<const char*, 5> parityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 4> flowControlTexts = {"Hardware", "Software", "None", "Custom"};

// The tables are indexed by the enumerations' values.
static_assert(baudRateTexts.size() == br256000 + 1 && baudRateValues.size() == br256000 + 1);
static_assert(stopBitsTexts.size() == sbTwoStopBits + 1);
static_assert(dataBitsTexts.size() == dbEight + 1);
static_assert(parityTexts.size() == prSpace + 1);
static_assert(flowControlTexts.size() == fcCustom + 1);

char16_t AsciiUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool EqualIgnoringAsciiCase(const QString& text, const char* latin1)
{
    const QString other = QString::fromLatin1(latin1);
    if (text.size() != other.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (AsciiUpper(text[i].unicode()) != AsciiUpper(other[i].unicode()))
            return false;
    }
    return true;
}

template <class E, std::size_t N>
QString TextOf(const std::array<const char*, N>& table, E value)
{
    const auto index = static_cast<std::size_t>(value);
    return index < N ? QString::fromLatin1(table[index]) : QString();
}

template <class E, std::size_t N>
E Parse(const std::array<const char*, N>& table, const QString& text, E fallback)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (EqualIgnoringAsciiCase(text, table[i]))
            return static_cast<E>(i);
    }
    return fallback;
}

} // namespace

std::int32_t BaudRateValue(TBaudRate rate)
{
    const auto index = static_cast<std::size_t>(rate);
    return index < baudRateValues.size() ? baudRateValues[index] : 0;
}

int DataBitsValue(TDataBits bits)
{
    return 5 + static_cast<int>(bits);
}

QString BaudRateText(TBaudRate value) { return TextOf(baudRateTexts, value); }
TBaudRate ParseBaudRate(const QString& text) { return Parse(baudRateTexts, text, br9600); }
QString StopBitsText(TStopBits value) { return TextOf(stopBitsTexts, value); }
TStopBits ParseStopBits(const QString& text) { return Parse(stopBitsTexts, text, sbOneStopBit); }
QString DataBitsText(TDataBits value) { return TextOf(dataBitsTexts, value); }
TDataBits ParseDataBits(const QString& text) { return Parse(dataBitsTexts, text, dbEight); }
QString ParityText(TParityBits value) { return TextOf(parityTexts, value); }
TParityBits ParseParity(const QString& text) { return Parse(parityTexts, text, prNone); }
QString FlowControlText(TFlowControl value) { return TextOf(flowControlTexts, value); }
TFlowControl ParseFlowControl(const QString& text) { return Parse(flowControlTexts, text, fcCustom); }
