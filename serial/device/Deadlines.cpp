// The time-out rules of reads and writes.
#include "serial/device/Deadlines.h"

#include <algorithm>

namespace serialdev {

namespace {

constexpr std::uint32_t allOnes = 0xFFFFFFFFu;

void SetTotal(Deadlines& d, std::uint64_t totalMs, Clock::time_point start)
{
    d.hasTotal = totalMs > 0;
    // All-ones settings multiply up to centuries; a year is forever enough.
    d.total = start + std::chrono::milliseconds(std::min<std::uint64_t>(totalMs, 365ull * 24 * 3600 * 1000));
}

} // namespace

Deadlines ReadDeadlines(const Timeouts& to, std::int32_t count, Clock::time_point start)
{
    Deadlines d;
    d.returnAtOnce = to.ReadInterval == allOnes && to.ReadTotalMultiplier == 0 && to.ReadTotalConstant == 0;
    d.firstByteOnly = to.ReadInterval == allOnes && to.ReadTotalMultiplier == allOnes &&
                      to.ReadTotalConstant > 0 && to.ReadTotalConstant < allOnes;
    SetTotal(d,
             d.firstByteOnly ? to.ReadTotalConstant
                             : std::uint64_t(to.ReadTotalMultiplier) * std::uint64_t(std::max(count, 0)) +
                                   to.ReadTotalConstant,
             start);
    d.intervalMs = to.ReadInterval == allOnes ? 0 : to.ReadInterval;
    return d;
}

Deadlines WriteDeadlines(const Timeouts& to, std::int32_t count, Clock::time_point start)
{
    Deadlines d;
    SetTotal(d, std::uint64_t(to.WriteTotalMultiplier) * std::uint64_t(std::max(count, 0)) + to.WriteTotalConstant,
             start);
    return d;
}

bool ReadSatisfied(const Deadlines& d, std::int32_t done, std::int32_t count, Clock::time_point lastByte,
                   Clock::time_point now)
{
    if (done >= count)
        return true;
    if (d.firstByteOnly && done > 0)
        return true;
    if (d.hasTotal && now >= d.total)
        return true;
    if (d.intervalMs && done > 0 && now - lastByte >= std::chrono::milliseconds(d.intervalMs))
        return true;
    return false;
}

bool WriteEnded(const Deadlines& d, std::int32_t done, std::int32_t count, Clock::time_point now)
{
    return done >= count || (d.hasTotal && now >= d.total);
}

int PollTimeoutMs(const Deadlines& d, bool write, std::int32_t done, Clock::time_point lastByte,
                  Clock::time_point now)
{
    int timeout = -1;
    if (d.hasTotal)
        timeout = MsUntil(d.total, now);
    if (!write && d.intervalMs && done > 0)
        timeout = MinTimeout(timeout, MsUntil(lastByte + std::chrono::milliseconds(d.intervalMs), now));
    return timeout;
}

int MsUntil(Clock::time_point deadline, Clock::time_point now)
{
    if (deadline <= now)
        return 0;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
    const auto ms = (us + 999) / 1000;
    return static_cast<int>(std::min<long long>(ms, 24 * 3600 * 1000));
}

int MinTimeout(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

} // namespace serialdev
