// The port's controls: property selectors with the port list.
#pragma once

#include "serial_ui/ComSelect.h"
