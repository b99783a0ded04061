// The error display that fails the running test.
#include "tests/support/FailingErrorDisplay.h"

#include "framework/ErrorDisplay.h"

#include <gtest/gtest.h>

void InstallFailingErrorDisplay()
{
    SetErrorDisplay([](const std::string& message) {
        // Without this an error shown while nobody checks for it leaves the
        // run green; outside a test gtest still counts it against the run.
        ADD_FAILURE() << "an error reached the error display and no ErrorCapture expected it: " << message;
    });
}
