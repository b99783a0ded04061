// A line whose modem lines and error counters the test sets by hand: the
// device asks it instead of the kernel, which a pseudo-terminal cannot
// answer. It speaks the kernel's own words (TIOCM_* bits, the counter
// structure), so what the device makes of them is what runs.
#pragma once

#include "serial/posix/LineStatus.h"

#include <sys/ioctl.h>

#include <atomic>
#include <mutex>

class FakeLines : public serialdev::LineProbe {
public:
    // Raises or drops a line (TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI).
    void Set(int line, bool on)
    {
        if (on)
            lines_ |= line;
        else
            lines_ &= ~line;
    }
    // One more of a counter's events, e.g. Step(&serial_icounter_struct::frame).
    void Step(int serial_icounter_struct::*counter)
    {
        std::lock_guard lock(mutex_);
        ++(counters_.*counter);
    }

    int ModemLines(int, int& lines) override
    {
        lines = lines_;
        return 0;
    }
    int Counters(int, serial_icounter_struct& counters) override
    {
        std::lock_guard lock(mutex_);
        counters = counters_;
        return 0;
    }

private:
    std::atomic<int> lines_ = 0;
    std::mutex mutex_;
    serial_icounter_struct counters_{};
};
