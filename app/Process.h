// What the program asks of the system about itself. One implementation
// per platform folder (app/posix, app/win32).
#pragma once

#include <cstdint>

// Where the module (program or library) that holds `address` was loaded,
// 0 when the system does not say.
std::uintptr_t ModuleBaseOf(const void* address);

// The memory the process has resident now, in KiB; 0 when unknown.
long ResidentKilobytes();
