// Private to serial/: the lines under a port's message that explain the
// system's code, shared by the platforms' files.
#pragma once

#include "serial/ComError.h"

#include <initializer_list>
#include <string>
#include <vector>

// `format` with each %s or %d replaced by the next of `values` in turn.
std::string FillText(const std::string& format, std::initializer_list<std::string> values);

// After the system's description of a failure of the device `path` (not a
// network port): what the platform can tell of its cause and its fix.
// One implementation per platform (ComErrorPosix.cpp, ComErrorWin32.cpp).
void AddDeviceLines(const EComPort& error, std::vector<std::string>& lines);
