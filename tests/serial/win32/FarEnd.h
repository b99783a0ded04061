// The port under test and its far end (com-far-end), as the Windows device
// tests use them: the port's name comes from the environment, and the far
// end is asked things over the line itself.
#pragma once

#include "serial/win32/Win32Device.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace farend {

using Clock = std::chrono::steady_clock;

// WINE_TEST_PORT, or COM31.
std::string PortName();
// Milliseconds since `start`.
long long MsSince(Clock::time_point start);

// Writes `text` and waits for the write to end; false on any failure.
bool Send(serialdev::Device& device, const std::string& text);
// Reads up to and without '\n' within `ms` milliseconds, with the default
// time-outs set on the device; "" after a failure or the time passing.
std::string ReadLine(serialdev::Device& device, int ms = 3000);
// Sends `request` and returns the far end's answer line.
std::string Ask(serialdev::Device& device, const std::string& request);
// Waits (bounded) until at least `count` bytes are queued for reading.
bool WaitQueued(serialdev::Device& device, std::int32_t count, int ms = 3000);

// A device opened on the port under test with the port's usual settings:
// 9600 8N1, no flow control, time-outs (-1, 0, 0) and a write bound.
serialdev::LineSettings Settings9600();

} // namespace farend
