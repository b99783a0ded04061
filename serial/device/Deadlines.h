// The time-out rules of reads and writes, as pure functions of the
// settings, the byte counts and the clock: when a transfer has waited long
// enough and how long the next poll may sleep. No tty involved, so every
// rule can be checked on its own.
#pragma once

#include "serial/device/LineSettings.h"

#include <chrono>
#include <cstdint>

namespace serialdev {

using Clock = std::chrono::steady_clock;

// The deadlines of one transfer, fixed when it starts.
struct Deadlines {
    bool returnAtOnce = false;   // a read that takes what is queued and ends
    bool firstByteOnly = false;  // a read that ends as soon as anything arrived
    bool hasTotal = false;       // a total time-out applies
    Clock::time_point total{};   // ... and ends the transfer then
    std::uint32_t intervalMs = 0;  // longest gap between bytes of a read; 0 none
};

// The usual meaning of the read time-outs: an all-ones interval with zero
// totals returns at once; an all-ones interval and multiplier with a
// constant waits that long for the first byte only; otherwise a total of
// multiplier x count + constant (none when that is 0) and a longest gap
// between bytes (none when all ones).
Deadlines ReadDeadlines(const Timeouts& timeouts, std::int32_t count, Clock::time_point start);
// A write gives up after multiplier x count + constant ms (never when 0).
Deadlines WriteDeadlines(const Timeouts& timeouts, std::int32_t count, Clock::time_point start);

// Whether a read with `done` of `count` bytes, its last byte at
// `lastByte`, has waited long enough at `now`.
bool ReadSatisfied(const Deadlines& d, std::int32_t done, std::int32_t count, Clock::time_point lastByte,
                   Clock::time_point now);
// Whether a write has written everything or run out of time.
bool WriteEnded(const Deadlines& d, std::int32_t done, std::int32_t count, Clock::time_point now);

// How long a poll for the transfer may sleep, in ms (-1: no limit).
int PollTimeoutMs(const Deadlines& d, bool write, std::int32_t done, Clock::time_point lastByte,
                  Clock::time_point now);

// Whole milliseconds until `deadline`, rounded up so that a poll never
// wakes just before it; 0 once it has passed.
int MsUntil(Clock::time_point deadline, Clock::time_point now);
// The shorter of two poll time-outs, where -1 means none.
int MinTimeout(int a, int b);

} // namespace serialdev
