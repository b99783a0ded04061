// What the program asks of the system about itself. One implementation
// per platform folder (app/posix, app/win32).
#pragma once

#include <cstdint>

// Where the module (program or library) that holds `address` was loaded,
// 0 when the system does not say.
std::uintptr_t ModuleBaseOf(const void* address);

// The memory the process has resident now, in KiB; 0 when unknown.
long ResidentKilobytes();

// A window program started from a console writes its --help, --version
// and start-up failures there. On Linux the standard streams are always
// the starting terminal's; on Windows a window program has none until it
// attaches to its parent's console.
void UseStartingConsole();
