// Which kind of device a port name leads to.
#include "serial/ComDevice.h"

#include "serial/net/NetName.h"

serialdev::DeviceKind DeviceKindFor(std::string_view name)
{
    return serialdev::net::IsNetName(name) ? serialdev::DeviceKind::Network : serialdev::DeviceKind::Tty;
}

std::string DeviceWhere(std::string_view name)
{
    if (DeviceKindFor(name) == serialdev::DeviceKind::Network)
        return std::string(name);
    return SerialDeviceWhere(name);
}
