// The serial ports a system lists, as every platform's device layer gives
// them to the port component.
#pragma once

#include <string>
#include <vector>

namespace serialdev {

// One listed port: the name the port opens it by, what the system says it
// is ("" when it says nothing usable) and a stable name the system made for
// it ("" when there is none: Linux's /dev/serial/by-id has one for some
// ports, Windows none apart from the COM name itself).
struct PortInfo {
    std::string name;
    std::string description;
    std::string stableName;
    bool operator==(const PortInfo&) const = default;
};

// The system's serial ports in the system's order, followed by the extra
// ports named in CPORT_EXTRA_PORTS. Returns 0, or the platform's error code
// when the system's list could not be read (then only the extra ports are
// there).
int ListSystemPorts(std::vector<PortInfo>& ports);

} // namespace serialdev
