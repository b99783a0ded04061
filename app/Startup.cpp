#include "app/Startup.h"

#include "framework/ErrorDisplay.h"

#include <cstdio>
#include <dlfcn.h>

std::string RuntimeErrorText(std::uint32_t place)
{
    // The classic template: the number right-aligned in three places.
    char text[64];
    std::snprintf(text, sizeof text, "Runtime error %3d at %08X", StartupFailureExitCode, place);
    return text;
}

std::uint32_t StepPlace(TModuleStep step)
{
    const auto address = reinterpret_cast<std::uintptr_t>(reinterpret_cast<void*>(step));
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(step), &info) != 0 && info.dli_fbase != nullptr)
        return static_cast<std::uint32_t>(address - reinterpret_cast<std::uintptr_t>(info.dli_fbase));
    return static_cast<std::uint32_t>(address);
}

TModuleSteps::TModuleSteps(std::vector<TModule> modules)
    : modules_(std::move(modules))
{
}

TModuleSteps::~TModuleSteps()
{
    Stop();
}

bool TModuleSteps::Start(TStartupFailure& failure)
{
    for (const TModule& module : modules_) {
        try {
            ++started_;
            if (module.Startup != nullptr)
                module.Startup();
        } catch (...) {
            failure.Module = module.Name;
            failure.Message = ExceptionMessage(std::current_exception());
            failure.Place = StepPlace(module.Startup);
            Stop();
            return false;
        }
    }
    return true;
}

void TModuleSteps::Stop()
{
    while (started_ > 0) {
        const TModule& module = modules_[--started_];
        if (module.Shutdown != nullptr)
            GuardedCall(module.Shutdown);
    }
}
