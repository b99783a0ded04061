// Private to the port component: every translation between the port's
// vocabulary and the device layer's (line-settings record, time-outs,
// modem and error bits, event masks). The only header of serial/ that sees
// the device layer; public headers stay free of it.
#pragma once

#include "serial/ComTypes.h"
#include "serial/device/LineSettings.h"

#include <cstdint>

class TCustomComPort;
class TComTimeouts;

// ORs the mask bit of every member.
std::uint32_t EventsToMask(TComEvents events);
// Every member whose mask bit is present; other bits are ignored.
TComEvents MaskToEvents(std::uint32_t mask);

// The device-control record the port's present settings amount to. A rate
// that is not positive becomes 0, which the device refuses.
serialdev::LineSettings LineSettingsFor(const TCustomComPort& port);
// The time-outs in the device's form (a setting of -1 is all ones).
serialdev::Timeouts TimeoutsFor(const TComTimeouts& timeouts);
// The modem signals set in the device's status bits.
TModemSignals SignalsFromModemBits(std::uint32_t bits);
// The line errors among the device's error flags; a parity error counts
// only while the port checks parity.
TComErrors ErrorsFromFlags(std::uint32_t flags, bool parityChecked);
