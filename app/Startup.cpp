// The modules' start-up steps in order, their shutdown steps in reverse.
#include "app/Startup.h"

#include "app/Process.h"
#include "framework/ErrorDisplay.h"

#include <cstdio>
#include <optional>

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
    const std::uintptr_t base = ModuleBaseOf(reinterpret_cast<const void*>(step));
    return static_cast<std::uint32_t>(base != 0 ? address - base : address);
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
        std::optional<std::string> error;
        // Some errors of a step never reach it as exceptions: Qt asks the
        // translation engine for its own texts while a step installs it,
        // and that path can only report. They stop start-up all the same.
        ErrorDisplayFunction previous = SetErrorDisplay([&error](const std::string& message) {
            if (!error)
                error = message;
        });
        ++started_;
        try {
            if (module.Startup != nullptr)
                module.Startup();
        } catch (...) {
            if (!error)
                error = ExceptionMessage(std::current_exception());
        }
        SetErrorDisplay(std::move(previous));
        if (error) {
            failure.Module = module.Name;
            failure.Message = *error;
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
