// The driver's records and flag words in the device layer's terms. The
// device layer's bits are the driver's own (serial/device/LineSettings.h
// mirrors them), which the asserts in CommBits.cpp hold to; only the bits
// each word defines pass.
#pragma once

#include "serial/device/LineSettings.h"

#include "framework/win32/Windows.h"

#include <cstdint>

namespace serialdev {

// 0, or ERROR_INVALID_PARAMETER for a record no driver takes (no rate,
// data bits outside 5 to 8, an unknown parity or stop-bit code, the same
// XON and XOFF character while either is used).
int CheckLineSettings(const LineSettings& settings);
// Writes the record's fields into `dcb`, leaving the rest as it is.
void FillDcb(const LineSettings& settings, DCB& dcb);
// The record a DCB amounts to (for tests and for reading a port back).
LineSettings LineSettingsFromDcb(const DCB& dcb);

DWORD CommMaskFromEvents(std::uint32_t events);   // EventBit -> EV_*
std::uint32_t EventsFromComm(DWORD mask);         // EV_* -> EventBit
std::uint32_t ErrorFlagsFromComm(DWORD errors);   // CE_* -> ErrorFlag
std::uint32_t ModemBitsFromComm(DWORD status);    // MS_*_ON -> ModemBit

} // namespace serialdev
