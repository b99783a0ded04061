// Start-up and shutdown steps of the program's modules, run in a fixed
// order: shutdown steps in the reverse order of the start-up steps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using TModuleStep = void (*)();

struct TModule {
    const char* Name;
    TModuleStep Startup;   // may be null
    TModuleStep Shutdown;  // may be null
};

// Why start-up stopped: the module, the error's own message and the
// place, as eight upper-case hexadecimal digits (the failing step's offset
// in the executable, so `addr2line -e rvd3318-panel 0x<place>` names it).
struct TStartupFailure {
    std::string Module;
    std::string Message;
    std::uint32_t Place = 0;
};

// "Runtime error 217 at 0001A2B0".
std::string RuntimeErrorText(std::uint32_t place);

// Exit code of a start-up that failed.
inline constexpr int StartupFailureExitCode = 217;

class TModuleSteps {
public:
    explicit TModuleSteps(std::vector<TModule> modules);
    // Runs the shutdown steps of whatever is still started.
    ~TModuleSteps();
    TModuleSteps(const TModuleSteps&) = delete;
    TModuleSteps& operator=(const TModuleSteps&) = delete;

    // Runs every start-up step in order and returns true when all ran.
    // When one raises an error (or reports one to the error display), the
    // shutdown steps of the failing module
    // and of every module started before it run in reverse order, `failure`
    // tells what failed, and the result is false.
    bool Start(TStartupFailure& failure);

    // Runs the shutdown steps of the started modules in reverse order. An
    // error of one step is shown and the others still run.
    void Stop();

private:
    std::vector<TModule> modules_;
    std::size_t started_ = 0;
};

// The place of a step in the running executable.
std::uint32_t StepPlace(TModuleStep step);
