// Port names on Windows as plain text: the order a list shows them in, the
// device path a name opens, and the extra ports named in the environment.
// Plain C++ without <windows.h>, so that it is also tested on Linux.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace serialdev {

// "COMn" (any case, n from 1) opens "\\.\COMn": the prefix is what makes
// COM10 and above reachable at all, and it does no harm below. Any other
// name is used as it is ("\\.\VPORT0", a path); "" stays "".
std::string Win32DevicePath(std::string_view name);

// The name after a "\\.\" prefix, or the whole name without one.
std::string_view DosDeviceName(std::string_view path);

// Natural order: the text before a trailing number compares without regard
// to case, then the number ("COM2" before "COM10", "com3" beside "COM3").
bool NaturalLess(std::string_view a, std::string_view b);

// The names in a ';'-separated list such as CPORT_EXTRA_PORTS on Windows,
// in order, without blanks around them, empty entries and repeats. A
// network name ("rfc2217://host:2001", "socket://[::1]:3001") has colons
// of its own and stays whole.
std::vector<std::string> SplitPortList(std::string_view list);

// Whether a listed name leads to another machine ("scheme://...").
bool IsRemotePortName(std::string_view name);

} // namespace serialdev
