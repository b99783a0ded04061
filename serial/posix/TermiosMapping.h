// Turning a line-settings record into the kernel's termios2 record.
// Kept apart from the device so that the mapping can be checked on the
// record itself: a pseudo-terminal keeps 8 data bits without parity
// whatever it is asked, so it cannot show most of it.
#pragma once

#include "serial/device/LineSettings.h"

#include <asm/termbits.h>

namespace serialdev {

struct TermiosSetup {
    termios2 tio{};
    bool raiseDTR = false;
    bool raiseRTS = false;
    // Parity errors are marked in the input stream (PARMRK) and resolved by
    // the device's read path: kept, or replaced by the error character.
    bool markErrors = false;
    bool replaceErrors = false;
    char errorChar = 0;
    bool discardNull = false;
    // Received bytes are dropped while DSR is off (where the line has DSR).
    bool dsrSensitive = false;
};

// Builds the setup from `settings`, starting from `current` (whose line
// discipline field is kept). Returns 0, or EINVAL for a record the line
// cannot take (data bits outside 5..8, parity or stop-bit codes out of
// range, 1.5 stop bits with more than 5 data bits, a baud rate of 0 or
// above 2^31 - 1, which only a negative setting can give). The rates of
// the classic table go in with their constants, others as BOTHER.
int BuildTermios(const LineSettings& settings, const termios2& current, TermiosSetup& setup);

} // namespace serialdev
