// A program run by a test, read line by line with deadlines.
#include "tests/tools/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::string NameOf(const std::string& entry)
{
    return entry.substr(0, entry.find('='));
}

// This process's environment with each of `entries` in place of an
// inherited entry of the same name (a later entry replaces an earlier one).
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& entries)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string& entry : entries) {
        const std::string name = NameOf(entry);
        std::erase_if(env, [&](const std::string& e) { return NameOf(e) == name; });
        env.push_back(entry);
    }
    return env;
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& environment)
{
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));

    std::vector<std::string> env = ChildEnvironment(environment);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid_ == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        dup2(fromChild[1], STDERR_FILENO);
        // The test runner may block signals the program relies on.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
    fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
}

ChildProcess::~ChildProcess()
{
    if (!waited_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (in_ >= 0)
        ::close(in_);
    if (out_ >= 0)
        ::close(out_);
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            seen_.push_back(line);
            return line;
        }
        if (ended_)
            return std::nullopt;
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, MillisecondsLeft(deadline)) <= 0)
            return std::nullopt;
        char chunk[4096];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n > 0)
            buffer_.append(chunk, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            ended_ = true;
    }
}

std::optional<std::string> ChildProcess::WaitForLine(const std::string& prefix,
                                                     std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (auto line = ReadLine(std::chrono::milliseconds(MillisecondsLeft(deadline))))
        if (line->rfind(prefix, 0) == 0)
            return line;
    return std::nullopt;
}

std::string ChildProcess::ReadAll(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::string all;
    while (auto line = ReadLine(std::chrono::milliseconds(MillisecondsLeft(deadline))))
        all += *line + "\n";
    all += buffer_;
    buffer_.clear();
    return all;
}

void ChildProcess::Write(const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(in_, text.data() + done, text.size() - done);
        if (n <= 0)
            throw std::runtime_error(std::string("write to program: ") + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
}

void ChildProcess::CloseInput()
{
    if (in_ >= 0) {
        ::close(in_);
        in_ = -1;
    }
}

void ChildProcess::Signal(int signal)
{
    if (!waited_)
        ::kill(pid_, signal);
}

int ChildProcess::Wait(std::chrono::milliseconds timeout)
{
    if (!waited_) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
            if (done == pid_)
                break;
            if (Clock::now() >= deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status_, 0);
                waited_ = true;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        waited_ = true;
    }
    if (WIFEXITED(status_))
        return WEXITSTATUS(status_);
    return 128 + WTERMSIG(status_);
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment)
{
    ChildProcess child(program, args, environment);
    child.CloseInput();
    ProgramResult result;
    result.output = child.ReadAll();
    result.status = child.Wait();
    return result;
}
