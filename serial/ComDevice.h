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

// A closed device of that kind. A tty asks `probe` for its modem lines and
// counters (nullptr: the kernel).
std::unique_ptr<serialdev::Device> NewDevice(serialdev::DeviceKind kind, serialdev::LineProbe* probe);
// Gives a tty `probe` from its next opening on; other kinds have their own.
void SetDeviceLineProbe(serialdev::Device& device, serialdev::LineProbe* probe);
