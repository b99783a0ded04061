// The COM ports of this Windows machine: the names from the registry's
// list of serial devices, what the device installation database says each
// is, and the extra ports named in CPORT_EXTRA_PORTS. Plain C++, no Qt.
#pragma once

#include "serial/device/PortInfo.h"

#include <functional>
#include <string>
#include <vector>

namespace serialdev {

// Where the list comes from; the defaults describe the running system.
struct PortListSources {
    // Under HKEY_LOCAL_MACHINE, or HKEY_CURRENT_USER when `currentUser`:
    // one value a port, its data the port's name.
    std::string serialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
    bool currentUser = false;
    // ';'-separated extra ports (the environment's CPORT_EXTRA_PORTS). A
    // network name is listed as named; any other is listed when `exists`
    // says it is there.
    std::string extraPorts;
    std::function<bool(const std::string& name)> exists;
    // What the system says the port `name` is ("" when nothing).
    std::function<std::string(const std::string& name)> describe;
};

// The defaults above, with CPORT_EXTRA_PORTS read from the environment,
// DeviceExists and the device installation database's descriptions.
PortListSources SystemPortSources();

// Whether the device of a name or path is there: a "COMn" or "\\.\NAME"
// that the system knows as a device, or a path to a file.
bool DeviceExists(const std::string& name);

// What the device installation database says of each serial port it knows,
// keyed by the port's name ("COM3" -> "FTDI USB Serial Port").
std::vector<PortInfo> InstalledPortDescriptions();

// The registry's ports in natural order ("COM2" before "COM10"), without
// repeats, then the extra ports as listed. A missing registry key means no
// ports. Returns 0, or the Windows error code when the key is there but
// cannot be read (then only the extra ports are listed).
int ListPorts(const PortListSources& sources, std::vector<PortInfo>& ports);

} // namespace serialdev
