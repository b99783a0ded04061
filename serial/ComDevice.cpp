// The kinds of device a port can open.
#include "serial/ComDevice.h"

#include "serial/net/NetDevice.h"
#include "serial/net/NetName.h"
#include "serial/posix/PortList.h"
#include "serial/posix/SerialDevice.h"

serialdev::DeviceKind DeviceKindFor(std::string_view name)
{
    return serialdev::net::IsNetName(name) ? serialdev::DeviceKind::Network : serialdev::DeviceKind::Tty;
}

std::string DeviceWhere(std::string_view name)
{
    if (DeviceKindFor(name) == serialdev::DeviceKind::Network)
        return std::string(name);
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
