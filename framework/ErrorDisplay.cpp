// The replaceable standard error display and the texts it shows of an exception.
#include "framework/ErrorDisplay.h"

#include "framework/Exception.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex displayMutex;
ErrorDisplayFunction installedDisplay;

void PrintToStandardError(const TErrorReport& report)
{
    std::fprintf(stderr, "%s\n", report.Message.c_str());
    for (const std::string& line : report.Details)
        std::fprintf(stderr, "  %s\n", line.c_str());
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
    ShowErrorReport(TErrorReport{message, {}});
}

void ShowErrorReport(const TErrorReport& report)
{
    ErrorDisplayFunction display;
    {
        std::lock_guard lock(displayMutex);
        display = installedDisplay;
    }
    if (!display) {
        PrintToStandardError(report);
        return;
    }
    try {
        display(report);
    } catch (...) {
        // A failing display must not take the program down with it.
        PrintToStandardError(report);
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

std::vector<std::string> ExceptionDetails(std::exception_ptr error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        try {
            return e.Details();
        } catch (...) {
            // The message alone still says what failed.
            return {};
        }
    } catch (...) {
        return {};
    }
}

void ShowException(std::exception_ptr error)
{
    if (error)
        ShowErrorReport(TErrorReport{ExceptionMessage(error), ExceptionDetails(error)});
}
