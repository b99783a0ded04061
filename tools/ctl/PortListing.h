// rvd3318ctl --list: the serial ports present, with what each one is.
#pragma once

#include <cstdio>

// Writes one port a line to `out`: name, description and stable name
// (/dev/serial/by-id/...), separated by tabs; a field the system has
// nothing for stays empty. The machine's ports come first, then the
// existing paths of CPORT_EXTRA_PORTS. A port list that cannot be read is
// said on `err`. Returns the exit status: 1 when nothing could be listed
// because of that, else 0.
int PrintPortList(std::FILE* out, std::FILE* err);
