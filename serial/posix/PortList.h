// The serial ports present on this machine, and how a port's name becomes
// the path of its device. Plain C++ and POSIX, no Qt.
#pragma once

#include "serial/device/PortInfo.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace serialdev {

// "COMn" names /dev/ttyS(n-1); an absolute path stays as it is; any other
// name is looked for under /dev/. An empty name has no path ("").
std::string DevicePath(std::string_view name);

// Where the list comes from; the defaults describe the running system.
struct PortListSources {
    // One entry per tty; an entry counts when its device has a driver.
    std::string sysClassTty = "/sys/class/tty";
    // Where the tty entries' device nodes are.
    std::string devDir = "/dev";
    // Stable names the system made for some ports (links to their nodes).
    std::string serialById = "/dev/serial/by-id";
    // The kernel's tty drivers by device number, which name the driver of
    // a node that has no tty entry (a pseudo-terminal: "pty_slave").
    std::string ttyDrivers = "/proc/tty/drivers";
    // Colon-separated extra paths (the environment's CPORT_EXTRA_PORTS):
    // virtual ports, such as the board simulator's pseudo-terminal, have no
    // entry of their own. A path that does not exist is left out; a port
    // on a serial server ("rfc2217://host:2001") is listed as named.
    std::string extraPorts;
    // Says whether a legacy ttyS* port (given its /dev path) is backed by a
    // real UART: the serial driver creates such entries for every slot it
    // might have, present or not.
    std::function<bool(const std::string& devicePath)> isRealUart;
};

// The defaults above, with CPORT_EXTRA_PORTS read from the environment and
// TIOCGSERIAL asked about legacy ports.
PortListSources SystemPortSources();

// True when TIOCGSERIAL on the device reports a UART type.
bool LegacyPortIsRealUart(const std::string& devicePath);

// Port names in natural order ("ttyS2" before "ttyS10") named by their /dev
// node ("ttyUSB0", which the port opens as /dev/ttyUSB0), followed by the
// extra paths as given, without repeats. Returns 0, or the errno value when
// the tty directory cannot be read (then only the extra paths are listed).
int ListPorts(const PortListSources& sources, std::vector<std::string>& names);
// The same ports in the same order, each with its description and stable
// name. A port whose attributes are missing or damaged is listed all the
// same, by its name alone.
int ListPorts(const PortListSources& sources, std::vector<PortInfo>& ports);

// The paths named in a colon-separated list such as CPORT_EXTRA_PORTS, in
// order, without empty ones and repeats. A name with a scheme
// ("rfc2217://host:2001", "socket://[::1]:3001") stays one entry, its own
// colons and all.
std::vector<std::string> SplitPathList(const std::string& list);

// Whether a listed name leads to another machine ("scheme://...") rather
// than to a path here.
bool IsRemoteName(std::string_view name);

} // namespace serialdev
