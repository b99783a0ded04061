// The serial ports present on this machine, as the port selectors and the
// command-line tool list them. The device layer finds them; this is the
// port component's view of that list.
#pragma once

#include <QStringList>

#include <functional>
#include <string>
#include <vector>

// Replaces `target` with the names of the serial ports present, one per
// port, sorted by the locale's case-insensitive text comparison ("COM10"
// before "COM2"), duplicates kept. Raises EComPort code 23 ("Registry
// error") with the errno value when the system's list cannot be read; the
// target then keeps what it held. No port at all is an empty list, not an
// error.
void ListSerialPorts(QStringList& target);

// The same names unsorted, in the order their source gives them (the
// machine's ports, then the extra paths as listed). Returns 0, or the errno
// value when the system's list cannot be read; `names` then holds what was
// found all the same.
int ListPortNames(QStringList& names);

// Where ListSerialPorts takes its names from: fills `names` in any order
// and returns 0, or an errno value when the list cannot be read.
using TPortNameSource = std::function<int(std::vector<std::string>& names)>;

// Installs `source` and returns the one it replaces; an empty function
// restores the system's list (sysfs and CPORT_EXTRA_PORTS).
TPortNameSource SetPortNameSource(TPortNameSource source);
