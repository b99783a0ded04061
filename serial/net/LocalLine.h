// The pseudo-terminal pair a network port's line runs on.
#pragma once

#include "serial/posix/UniqueFd.h"

#include <string>

namespace serialdev::net {

// A pseudo-terminal pair, both sides open and non-blocking,
// whose line is raw from the start: bytes that arrive before the port has
// applied its settings must not be echoed or edited by the line
// discipline. Returns 0 or the errno value.
int MakeLocalLine(UniqueFd& master, UniqueFd& slave, std::string& slavePath);

} // namespace serialdev::net
