// Small helpers the room tests share: the error display's messages, and the
// error a call raises.
#pragma once

#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

// Collects what the error display is asked to show while it lives; any
// thread may show an error.
class ErrorCapture {
public:
    ErrorCapture()
    {
        previous_ = SetErrorDisplay([this](const std::string& m) {
            std::lock_guard lock(mutex_);
            messages_.push_back(m);
        });
    }
    ~ErrorCapture() { SetErrorDisplay(previous_); }
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

    std::vector<std::string> Messages()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
    ErrorDisplayFunction previous_;
};

// The exception of type E that `body` raises; a failure of the test when it
// raises none. E is the serial room's EComPort in practice; it is a
// parameter so that this header needs nothing from that room.
template <class E, class Body>
E CatchError(Body body, E none)
{
    try {
        body();
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "no exception of the expected kind was raised";
    return none;
}

// The message of the Exception (of any kind) that `body` raises; a failure
// of the test, and "(nothing raised)", when it raises none.
template <class Body>
std::string RaisedMessage(Body body)
{
    return CatchError(body, Exception("(nothing raised)")).Message();
}
