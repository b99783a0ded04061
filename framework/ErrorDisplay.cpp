#include "framework/ErrorDisplay.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex displayMutex;
ErrorDisplayFunction installedDisplay;

void PrintToStandardError(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
}

} // namespace

ErrorDisplayFunction SetErrorDisplay(ErrorDisplayFunction display)
{
    std::lock_guard lock(displayMutex);
    ErrorDisplayFunction previous = std::move(installedDisplay);
    installedDisplay = std::move(display);
    return previous;
}

void ShowErrorMessage(const std::string& message)
{
    ErrorDisplayFunction display;
    {
        std::lock_guard lock(displayMutex);
        display = installedDisplay;
    }
    if (!display) {
        PrintToStandardError(message);
        return;
    }
    try {
        display(message);
    } catch (...) {
        // A failing display must not take the program down with it.
        PrintToStandardError(message);
    }
}

std::string ExceptionMessage(std::exception_ptr error)
{
    if (!error)
        return std::string();
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

void ShowException(std::exception_ptr error)
{
    if (error)
        ShowErrorMessage(ExceptionMessage(error));
}
