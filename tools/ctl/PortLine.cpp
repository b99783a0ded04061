// The sequence runner's line on a real serial port.
#include "tools/ctl/PortLine.h"

#include "framework/Exception.h"
#include "serial/CPort.h"

TPortLine::TPortLine(TCustomComPort& port)
    : port_(port), commander_(port)
{
    // The port is open for the whole run: a refusal would be a fault here.
    commander_.SetMessageHook([](const std::string& message) { throw Exception(message); });
}

TCtlLine::Clock::time_point TPortLine::Now()
{
    return Clock::now();
}

void TPortLine::Send(const TBoardCommand& command)
{
    commander_.Send(command);
}

void TPortLine::SetReadWait(int ms)
{
    if (ms == readWaitMs_)
        return;
    TComTimeouts timeouts;
    timeouts.Assign(*port_.Timeouts());
    // All ones in the interval: a read never waits between bytes. With all
    // ones in the multiplier too, the constant bounds the wait for the first
    // byte; with zero totals the read takes what is queued.
    timeouts.SetReadInterval(-1);
    timeouts.SetReadTotalMultiplier(ms > 0 ? -1 : 0);
    timeouts.SetReadTotalConstant(ms);
    port_.SetTimeouts(&timeouts);
    readWaitMs_ = ms;
}

std::string TPortLine::Receive(Clock::time_point deadline)
{
    const auto now = Clock::now();
    int ms = 0;
    if (deadline > now) {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
        ms = static_cast<int>((us + 999) / 1000);
    }
    SetReadWait(ms);
    std::string bytes;
    port_.ReadText(bytes, 4096);
    return bytes;
}
