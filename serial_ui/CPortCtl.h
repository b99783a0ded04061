// The port user-interface controls: selectors, port list and the
// connection LED.
#pragma once

#include "serial_ui/ComLed.h"
#include "serial_ui/ComSelect.h"
