// General error type of the whole program. Plain C++ so that Qt-free code
// (catalogue engine, device layer) can raise it too.
#pragma once

#include <exception>
#include <string>
#include <vector>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }
    // Lines that tell a person more than the message: what the system says
    // about the cause and how to mend it. Worked out when asked, as only a
    // shown error needs them; the message stays what it is.
    virtual std::vector<std::string> Details() const { return {}; }

private:
    std::string message_;
};

// Raised when an object is assigned from an object of an unrelated class.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
