// The kinds of device a port opens on Linux: a tty, or a port on a serial
// server joined to a pseudo-terminal.
#include "serial/ComDevice.h"

#include "serial/net/NetDevice.h"
#include "serial/posix/PortList.h"
#include "serial/posix/SerialDevice.h"

std::string SerialDeviceWhere(std::string_view name)
{
    return serialdev::DevicePath(name);
}

std::unique_ptr<serialdev::Device> NewDevice(serialdev::DeviceKind kind, serialdev::LineProbe* probe)
{
    if (kind == serialdev::DeviceKind::Network)
        return std::make_unique<serialdev::net::NetDevice>();
    auto tty = std::make_unique<serialdev::SerialDevice>();
    tty->SetLineProbe(probe);
    return tty;
}

void SetDeviceLineProbe(serialdev::Device& device, serialdev::LineProbe* probe)
{
    if (device.Kind() == serialdev::DeviceKind::Tty)
        static_cast<serialdev::SerialDevice&>(device).SetLineProbe(probe);
}
