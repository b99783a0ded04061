// Which device a port name opens, and making one. Private to serial/: the
// one place that knows every kind of device.
#pragma once

#include "serial/device/Device.h"

#include <memory>
#include <string>
#include <string_view>

namespace serialdev {
class LineProbe;
}

// "rfc2217://" and "socket://" names lead to a port on a server, any other
// name to a tty.
serialdev::DeviceKind DeviceKindFor(std::string_view name);

// What stands behind the name in messages: the device path of a tty, the
// name itself for a network port.
std::string DeviceWhere(std::string_view name);

// The rest is the platform's (ComDevicePosix.cpp, ComDeviceWin32.cpp).

// The device a serial port's name opens ("COM3" opens /dev/ttyS2 on
// Linux, \\.\COM3 on Windows).
std::string SerialDeviceWhere(std::string_view name);

// A closed device of that kind. A tty asks `probe` for its modem lines and
// counters (nullptr: the kernel); a platform without probes ignores it.
std::unique_ptr<serialdev::Device> NewDevice(serialdev::DeviceKind kind, serialdev::LineProbe* probe);
// Gives a tty `probe` from its next opening on; other kinds have their own.
void SetDeviceLineProbe(serialdev::Device& device, serialdev::LineProbe* probe);
