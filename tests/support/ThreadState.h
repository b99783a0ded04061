// What the kernel says of this process's threads: which exist, where one
// is blocked and how often it has woken. Tests of threads that must be
// idle check this instead of CPU time, which depends on the machine's
// speed and on the sanitizer the suite runs under.
#pragma once

#include <sys/syscall.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

inline std::set<pid_t> ThreadIds()
{
    // A sanitizer's runtime starts a thread of its own when the process
    // first creates one; let that happen before anything is counted, so it
    // is not taken for a thread the code under test started.
    [[maybe_unused]] static const bool runtimeThreadsStarted = [] {
        std::thread([] {}).join();
        return true;
    }();
    std::set<pid_t> ids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error))
        ids.insert(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    return ids;
}

// The threads that exist now and were not among `before`.
inline std::set<pid_t> ThreadsStartedSince(const std::set<pid_t>& before)
{
    std::set<pid_t> started;
    for (pid_t id : ThreadIds()) {
        if (!before.contains(id))
            started.insert(id);
    }
    return started;
}

struct ThreadState {
    bool exists = false;
    char state = '?';                // R running, S sleeping, D disk wait, ...
    long syscall = -2;               // the call it is blocked in; -1 none, -2 running or unknown
    long voluntarySwitches = -1;     // times it gave up the processor: its wake-ups
};

inline ThreadState ReadThreadState(pid_t thread)
{
    const std::string folder = "/proc/self/task/" + std::to_string(thread) + "/";
    ThreadState result;
    std::ifstream status(folder + "status");
    if (!status)
        return result;
    result.exists = true;
    std::string line;
    while (std::getline(status, line)) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        if (name == "State:")
            fields >> result.state;
        else if (name == "voluntary_ctxt_switches:")
            fields >> result.voluntarySwitches;
    }
    std::ifstream syscall(folder + "syscall");
    std::string first;
    if (syscall >> first && first != "running") {
        try {
            result.syscall = std::stol(first);
        } catch (const std::exception&) {
        }
    }
    return result;
}

// Whether the thread sleeps in one of the event waits the device layer uses.
inline bool BlockedInEventWait(const ThreadState& s)
{
    if (s.state != 'S')
        return false;
#ifdef SYS_epoll_wait
    if (s.syscall == SYS_epoll_wait)
        return true;
#endif
    return s.syscall == SYS_epoll_pwait;
}

// Whether the thread sleeps reading a descriptor: the hand-over's wait
// for the main thread to run its call.
inline bool BlockedInRead(const ThreadState& s)
{
    return s.state == 'S' && s.syscall == SYS_read;
}

// Waits, without running the event loop, until `thread`'s state satisfies
// `holds` or `timeout` passes; returns whether it did.
template <class Condition>
bool WaitForThreadState(pid_t thread, Condition holds,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!holds(ReadThreadState(thread))) {
        if (std::chrono::steady_clock::now() >= deadline)
            return holds(ReadThreadState(thread));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
