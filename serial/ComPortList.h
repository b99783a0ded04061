// The serial ports present on this machine, as the port selectors and the
// command-line tool list them. The device layer finds them; this is the
// port component's view of that list.
#pragma once

#include <QList>
#include <QString>
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

// Whether `name` leads to a port on a serial server over the network
// ("rfc2217://HOST:PORT", "socket://HOST:PORT") rather than to a device of
// this machine.
bool IsNetworkPortName(const QString& name);
// What such a name leads to, for a port list: the server's HOST:PORT and
// whether the port's settings reach a device there.
QString NetworkPortDescription(const QString& name);

// One listed port as the operator is shown it.
struct TSerialPortInfo {
    QString Name;         // what the port is opened by, and what a selector stores
    QString Description;  // what the system says the device is; "" when it says nothing
    QString StableName;   // its /dev/serial/by-id/ link; "" when there is none
    bool operator==(const TSerialPortInfo&) const = default;
};

// ListSerialPorts with what each port is: the same ports in the same order
// (by name), the same error.
void ListSerialPorts(QList<TSerialPortInfo>& target);

// The same names unsorted, in the order their source gives them (the
// machine's ports, then the extra paths as listed). Returns 0, or the errno
// value when the system's list cannot be read; `names` then holds what was
// found all the same.
int ListPortNames(QStringList& names);
// The same, with what each port is.
int ListPortInfos(QList<TSerialPortInfo>& ports);

// Where ListSerialPorts takes its names from: fills `names` in any order
// and returns 0, or an errno value when the list cannot be read.
using TPortNameSource = std::function<int(std::vector<std::string>& names)>;

// Installs `source` and returns the one it replaces; an empty function
// restores the system's list (sysfs and CPORT_EXTRA_PORTS).
TPortNameSource SetPortNameSource(TPortNameSource source);

// Where the lists take their ports from when a whole description is to be
// given (a test's made-up devices); it wins over a name source. Installs
// `source` and returns the one it replaces; an empty function removes it.
using TPortInfoSource = std::function<int(QList<TSerialPortInfo>& ports)>;
TPortInfoSource SetPortInfoSource(TPortInfoSource source);
