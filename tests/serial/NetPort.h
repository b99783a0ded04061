// What the network port's tests share: a port on a network name, closed
// before it goes, and the bytes they send through it.
#pragma once

#include "framework/ErrorDisplay.h"
#include "serial/CPort.h"
#include "serial/device/Device.h"

#include <QString>

#include <cstddef>
#include <sstream>
#include <string>

// A port opened by a network name. The port has no purge of its own; a
// program that wants one adds it as a port that adds to what it does.
class NetPort : public TComPort {
public:
    explicit NetPort(const std::string& name, TComEvents events = AllComEvents)
    {
        SetPort(QString::fromStdString(name));
        SetEvents(events);
    }
    ~NetPort() override { GuardedCall([this] { ClosePort(); }); }

    // 0 or the errno value.
    int Purge(bool input, bool output) { return Device().Purge(input, output); }
};

// `size` bytes in which every value occurs many times, also in the
// sequences that mean something to Telnet when unescaped: IAC IAC, IAC
// followed by each command, an IAC at the end of a run, and CR NUL and CR LF,
// which a Telnet peer outside binary mode would rewrite.
inline std::string EveryByteValue(std::size_t size)
{
    std::string block;
    for (int b = 0; b < 256; ++b)
        block += static_cast<char>(b);
    block += std::string("\xFF\xFF\xFF\xFA\x2C\x01\x00\xFF\xF0\xFF\xFB\x2C\xFF\xFD\x00\xFF\xF1\r\n\r\0\x11\x13\xFF", 23);
    std::string bytes;
    bytes.reserve(size + block.size());
    while (bytes.size() < size)
        bytes += block;
    bytes.resize(size);
    return bytes;
}

// "" when `got` is `expected`, else where they first differ: a mismatch
// of a megabyte is told in a line, not printed whole.
inline std::string FirstDifference(const std::string& got, const std::string& expected)
{
    if (got == expected)
        return {};
    std::size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at])
        ++at;
    std::ostringstream text;
    text << "got " << got.size() << " bytes, expected " << expected.size() << "; first difference at offset " << at;
    if (at < got.size() && at < expected.size())
        text << " (0x" << std::hex << (static_cast<unsigned>(got[at]) & 0xFF) << " instead of 0x"
             << (static_cast<unsigned>(expected[at]) & 0xFF) << ")";
    return text.str();
}
