// Private to serial/: the ports the platform lists (ComPortListPosix.cpp,
// ComPortListWin32.cpp).
#pragma once

#include "serial/ComPortList.h"

#include <QList>

// The system's serial ports, each with what the system says it is, in the
// system's order, followed by the extra ports named in CPORT_EXTRA_PORTS.
// Returns 0, or the platform's error code when the system's list could not
// be read (then only the extra ports are there).
int SystemPortInfos(QList<TSerialPortInfo>& list);
