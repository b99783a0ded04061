// The serial port unit: everything a user of the port component needs.
#pragma once

#include "serial/ComLink.h"
#include "serial/ComPort.h"
#include "serial/ComSettings.h"
#include "serial/ComTypes.h"
