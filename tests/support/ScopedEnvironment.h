// An environment variable set (or unset) for one scope: restored on the way
// out, also when a failed assertion leaves the test early.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

class ScopedEnvironment {
public:
    // Sets `name` to `value`, or unsets it when `value` is nullopt.
    ScopedEnvironment(std::string name, std::optional<std::string> value)
        : name_(std::move(name))
    {
        if (const char* old = std::getenv(name_.c_str()))
            previous_ = old;
        Put(value);
    }
    ~ScopedEnvironment() { Put(previous_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void Put(const std::optional<std::string>& value) const
    {
        // Qt's calls, because they exist on every platform (on Windows they
        // change the C library's copy and the process's at once).
        if (value)
            qputenv(name_.c_str(), QByteArray(value->c_str()));
        else
            qunsetenv(name_.c_str());
    }

    std::string name_;
    std::optional<std::string> previous_;
};
