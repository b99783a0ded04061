// ser2net run by a test, on the loopback only.
#include "tests/support/Ser2net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long it may take to come up or to end: it does either in some tens
// of milliseconds, but a machine busy with builds can hold it up.
constexpr auto StartPatience = 5s;
constexpr auto StopPatience = 5s;
// How often its state is looked at while it starts or ends: it tells of
// neither, so its listening socket and its exit are looked for.
constexpr auto LookInterval = 5ms;

std::uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    const int error = errno;
    ::close(fd);
    if (!bound)
        throw std::runtime_error(std::string("no free port on 127.0.0.1: ") + std::strerror(error));
    return ntohs(address.sin_port);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Waits until the child has ended, at most `patience`; true when it has.
bool Reap(pid_t pid, std::chrono::milliseconds patience)
{
    const auto deadline = Clock::now() + patience;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD))
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(LookInterval);
    }
}

void Kill(pid_t pid)
{
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

std::string FindSer2net()
{
    if (const char* given = std::getenv("SER2NET"); given && *given)
        return ::access(given, X_OK) == 0 ? given : "";
    // Debian puts it in /usr/sbin, which a user's PATH may leave out.
    std::vector<std::string> folders;
    if (const char* path = std::getenv("PATH")) {
        std::stringstream list(path);
        for (std::string folder; std::getline(list, folder, ':');)
            if (!folder.empty())
                folders.push_back(folder);
    }
    for (const char* folder : {"/usr/sbin", "/sbin", "/usr/local/sbin"})
        folders.emplace_back(folder);
    for (const std::string& folder : folders) {
        const std::string candidate = folder + "/ser2net";
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

namespace {

std::string Program()
{
    std::string program = FindSer2net();
    if (program.empty())
        throw std::runtime_error("ser2net is not installed (script/bootstrap installs it)");
    return program;
}

} // namespace

Ser2net::Ser2net(std::string device, Accepter accepter) : device_(std::move(device)), accepter_(accepter)
{
    char pattern[] = "/tmp/ser2net-test-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    folder_ = pattern;
}

Ser2net::~Ser2net()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string Ser2net::Address() const
{
    return "127.0.0.1:" + std::to_string(port_);
}

std::string Ser2net::PortName(const std::string& options) const
{
    return (accepter_ == Accepter::Rfc2217 ? "rfc2217://" : "socket://") + Address() + options;
}

std::string Ser2net::Log() const
{
    return ReadFile(folder_ + "/ser2net.log");
}

void Ser2net::WriteConfiguration() const
{
    // "local": the line's modem lines are not watched (a pseudo-terminal
    // has none); kickolduser off: a second client is refused, not let in.
    std::ofstream file(folder_ + "/ser2net.yaml", std::ios::trunc);
    file << "%YAML 1.1\n"
            "---\n"
            "connection: &board\n"
            "  accepter: "
         << (accepter_ == Accepter::Rfc2217 ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1," << port_
         << "\n"
            "  connector: serialdev,"
         << device_
         << ",9600n81,local\n"
            "  options:\n"
            "    kickolduser: false\n";
    if (!file)
        throw std::runtime_error("cannot write " + folder_ + "/ser2net.yaml");
}

bool Ser2net::ChildListens() const
{
    // The socket that listens on 127.0.0.1:port_, by its inode...
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port_);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::string inode;
    std::getline(table, line); // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state, queues, timer, retransmits, uid, timeout, node;
        fields >> slot >> address >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> node;
        if (address == local && state == "0A") {
            inode = node;
            break;
        }
    }
    if (inode.empty())
        return false;
    // ...is one of the child's descriptors (another program may have taken
    // the port between our look and its start).
    const std::string wanted = "socket:[" + inode + "]";
    const std::string fds = "/proc/" + std::to_string(pid_) + "/fd";
    DIR* folder = ::opendir(fds.c_str());
    if (!folder)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(folder)) {
        char target[64];
        const std::string path = fds + "/" + entry->d_name;
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n > 0 && wanted == std::string(target, static_cast<std::size_t>(n))) {
            found = true;
            break;
        }
    }
    ::closedir(folder);
    return found;
}

bool Ser2net::Launch(std::chrono::milliseconds patience)
{
    WriteConfiguration();
    const std::string program = Program();
    const std::string configuration = folder_ + "/ser2net.yaml";
    const std::string log = folder_ + "/ser2net.log";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // In the foreground, its log on standard output.
    std::vector<std::string> args = {program, "-n", "-d", "-c", configuration};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
    pid_ = pid;

    const auto deadline = Clock::now() + patience;
    for (;;) {
        if (ChildListens())
            return true;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        // It goes on running without the port it could not take (and then
        // does not end on SIGTERM).
        if (Clock::now() >= deadline || Log().find("Unable to startup network port") != std::string::npos) {
            Kill(pid_);
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(LookInterval);
    }
}

void Ser2net::Start()
{
    if (Running())
        return;
    if (port_ == 0) {
        // Another program may take the free port before ser2net does.
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = FreePort();
            if (Launch(StartPatience))
                return;
        }
    } else {
        // The same port again: it is free once the last run has ended.
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (Launch(StartPatience))
                return;
            std::this_thread::sleep_for(100ms);
        }
    }
    throw std::runtime_error("ser2net did not come up on " + Address() + ":\n" + Log());
}

void Ser2net::Terminate()
{
    if (Running())
        ::kill(pid_, SIGTERM);
}

void Ser2net::Stop()
{
    if (!Running())
        return;
    ::kill(pid_, SIGTERM);
    if (!Reap(pid_, StopPatience))
        Kill(pid_);
    pid_ = -1;
}
