// A line whose modem lines and error counters the test sets by hand, in
// the kernel's own words (TIOCM_* bits, the counter record), so that what
// the device makes of them is what runs; a pseudo-terminal has neither.
// What the device raises and drops (DTR, RTS) lands among the same bits.
#pragma once

#include "serial/posix/LineStatus.h"

#include <sys/ioctl.h>

#include <atomic>
#include <mutex>

class FakeLines : public serialdev::LineProbe {
public:
    void Set(int line, bool on) { on ? lines_ |= line : lines_ &= ~line; }
    void Step(int serial_icounter_struct::*counter)
    {
        std::lock_guard lock(mutex_);
        ++(counters_.*counter);
    }
    bool On(int line) const { return (lines_ & line) != 0; }
    int ModemLines(int, int& lines) override { return lines = lines_, 0; }
    int SetModemLines(int, int lines, bool raise) override { return Set(lines, raise), 0; }
    int Counters(int, serial_icounter_struct& counters) override
    {
        std::lock_guard lock(mutex_);
        return counters = counters_, 0;
    }

private:
    std::atomic<int> lines_ = 0;
    std::mutex mutex_;
    serial_icounter_struct counters_{};
};
