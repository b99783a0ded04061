// The application's standard error display: one replaceable function that
// every room can reach. Until the application installs its message box it
// prints to standard error.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

// What the display is given: the error's message and the lines that
// explain it. It reads as its message, so a display that only shows the
// message takes a `const std::string&`.
struct TErrorReport {
    std::string Message;
    std::vector<std::string> Details;

    operator const std::string&() const noexcept { return Message; }
};

using ErrorDisplayFunction = std::function<void(const TErrorReport& report)>;

// Installs `display` and returns the one it replaces. An empty function
// restores the standard-error fallback.
ErrorDisplayFunction SetErrorDisplay(ErrorDisplayFunction display);

// Shows `message` through the installed display.
void ShowErrorMessage(const std::string& message);
void ShowErrorReport(const TErrorReport& report);

// The message an exception carries (what() for std::exception, a fixed
// text for anything else).
std::string ExceptionMessage(std::exception_ptr error);

// The explaining lines of an Exception (none for other kinds, or when
// working them out fails).
std::vector<std::string> ExceptionDetails(std::exception_ptr error);

// Shows the exception through the installed display.
void ShowException(std::exception_ptr error);

// Runs `body`; an exception leaving it is shown instead of propagated.
// Every entry point that Qt calls (slot, event, timer) runs inside this,
// so no exception ever unwinds through Qt's frames.
template <class Body>
void GuardedCall(Body&& body) noexcept
{
    try {
        body();
    } catch (...) {
        ShowException(std::current_exception());
    }
}
