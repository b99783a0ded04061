// General error type of the whole program. Plain C++ so that Qt-free code
// (catalogue engine, device layer) can raise it too.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

private:
    std::string message_;
};

// Raised when an object is assigned from an object of an unrelated class.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
