// The kinds of device a port opens on Windows: a COM port, or a port on a
// serial server reached over the network.
#include "serial/ComDevice.h"

#include "serial/net/WinNetDevice.h"
#include "serial/win32/PortNames.h"
#include "serial/win32/Win32Device.h"

std::string SerialDeviceWhere(std::string_view name)
{
    return serialdev::Win32DevicePath(name);
}

std::unique_ptr<serialdev::Device> NewDevice(serialdev::DeviceKind kind, serialdev::LineProbe*)
{
    // Windows asks the driver for the modem lines: no probe to take.
    if (kind == serialdev::DeviceKind::Network)
        return std::make_unique<serialdev::net::WinNetDevice>();
    return std::make_unique<serialdev::Win32Device>();
}

void SetDeviceLineProbe(serialdev::Device&, serialdev::LineProbe*)
{
}
