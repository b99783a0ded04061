// A program run by a test: its standard input and output are pipes (with
// standard error on the same pipe as the output), read line by line with
// deadlines so that a silent program fails the test instead of hanging it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
public:
    // Starts `program` with `args` and this process's environment, where
    // each of the `environment` entries ("NAME=value") replaces an inherited
    // entry of the same name. Throws std::runtime_error.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of output without its line end; empty when none came
    // before the deadline or the output ended.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Reads lines until one starts with `prefix`; returns it, or empty.
    // Lines read on the way are kept in Seen().
    std::optional<std::string> WaitForLine(const std::string& prefix,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Every line read so far.
    const std::vector<std::string>& Seen() const { return seen_; }
    // All output until the program closes it (or the deadline passes).
    std::string ReadAll(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // The program's process id.
    int Pid() const { return pid_; }

    void Write(const std::string& text);
    void CloseInput();
    void Signal(int signal);
    // The exit status, or -1 when the program had to be killed because it
    // did not end within `timeout`; 128 + n when signal n ended it.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    int pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
    bool ended_ = false;
    int status_ = 0;
    bool waited_ = false;
    std::vector<std::string> seen_;
};

// Runs a program to its end; returns its exit status and its output.
// `environment` as for ChildProcess.
struct ProgramResult {
    int status = -1;
    std::string output;
};
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {});
