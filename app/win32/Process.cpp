#include "app/Process.h"

#include "framework/win32/Windows.h"
#include <psapi.h>

#include <cstdio>

std::uintptr_t ModuleBaseOf(const void* address)
{
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module))
        return 0;
    return reinterpret_cast<std::uintptr_t>(module);
}

long ResidentKilobytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return static_cast<long>(counters.WorkingSetSize / 1024);
}

void UseStartingConsole()
{
    // Streams that lead somewhere already (a pipe, a file, wine's terminal)
    // stay as they are.
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE)
        return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::FILE* ignored = nullptr;
    ::freopen_s(&ignored, "CONOUT$", "w", stdout);
    ::freopen_s(&ignored, "CONOUT$", "w", stderr);
}
