// What a port on a serial server costs against a bare relay and a local
// line: event latency (a byte written at the board's end until the
// receive handler starts) and the time for 1 MB each way, on the loopback,
// for six paths measured in the same run:
//
//   TComPort rfc2217://127.0.0.1:PORT, served by a real ser2net (started
//       here, with a generated configuration) in front of a
//       pseudo-terminal; once as a minimal ser2net.yaml has it, and once
//       tuned (Tuned below): by default ser2net holds what the line
//       received for two character times, 1 ms at least, before it sends
//       it on, and moves 64 bytes at a time each way;
//   a raw TCP socket of this program on a third, tuned ser2net, with no
//       more Telnet than it takes to read the bytes: what ser2net itself
//       allows, the floor of the rfc2217 path;
//   TComPort socket://127.0.0.1:PORT, served by a bare relay of this
//       program: one thread that copies bytes between the pseudo-terminal's
//       slave and the TCP connection, no Telnet;
//   a raw TCP socket on a second bare relay: the floor any network port
//       stands on;
//   TComPort on the pseudo-terminal's slave itself, the local line.
//
// The board's end is always the master side of a pseudo-terminal of the
// path's own (a pseudo-terminal does not pace bytes by the rate: the
// figures are what the software costs, not what a real line allows). The
// receive handler is OnRxChar, or a QSocketNotifier's for a raw socket,
// on the main thread, which waits in its event loop as in the panel. All
// paths are open at once and measured in turns, round after round, so
// that whatever else the machine does falls on each of them alike.
//
//   network_port_benchmark [samples] [rounds]
//       samples  latency samples per path, over all rounds (default 5000)
//       rounds   turns; each path moves 1 MB each way once a round (default 5)
//   SER2NET=/path/to/ser2net picks the server (else PATH, /usr/sbin).
//
// Every wait is bounded: a byte not seen in 2 s, or 1 MB not through in
// 60 s, ends that path's part with a message. Exits 2 when ser2net is
// missing or does not start, 1 when a path failed, 0 otherwise.
#include "serial/CPort.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Ser2net.h"
#include "tests/support/Stats.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t Megabyte = 1 << 20;
constexpr auto ByteWait = 2s;    // one latency sample
constexpr auto BulkWait = 60s;   // 1 MB one way
constexpr int WarmUp = 20;       // samples sent before each path's first counted one

// The options of the tuned ser2net: no wait for more bytes, 64 KiB buffers.
const std::vector<std::string> Tuned = {"chardelay: false", "dev-to-net-bufsize: 65536",
                                        "net-to-dev-bufsize: 65536"};

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double Microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

std::string Errno(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// A pattern with every byte value in it, 0xFF (Telnet's IAC) included.
std::string Payload()
{
    std::string bytes(Megabyte, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

void MakeRaw(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

// ---- the benchmark's own end of a path ------------------------------------------

// Where the benchmark receives what the board's end sent, and sends what
// the board's end is to read. Handlers run on the main thread.
class Endpoint {
public:
    virtual ~Endpoint() = default;
    // `entered` is called as the receive handler starts, `data` with what
    // it read; either may be empty.
    virtual void OnData(std::function<void()> entered, std::function<void(std::string_view)> data) = 0;
    // Sends all of `bytes`; false (with `problem`) when that did not finish
    // within BulkWait.
    virtual bool Send(const std::string& bytes, std::string& problem) = 0;
};

// A TComPort: OnRxChar reads what it is told of.
class PortEndpoint : public Endpoint {
public:
    explicit PortEndpoint(const std::string& name)
    {
        port_.SetPort(QString::fromStdString(name));
        port_.SetBaudRate(br115200);
        // A write that cannot finish must not hold the main thread for good.
        port_.Timeouts()->SetWriteTotalMultiplier(0);
        port_.Timeouts()->SetWriteTotalConstant(static_cast<std::int32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(BulkWait).count()));
    }
    ~PortEndpoint() override { Close(); }

    // Throws EComPort when the port does not open.
    void Open() { port_.OpenPort(); }
    void Close()
    {
        port_.OnRxChar = nullptr;
        try {
            port_.ClosePort();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "closing %s: %s\n", qPrintable(port_.Port()), e.what());
        }
    }

    void OnData(std::function<void()> entered, std::function<void(std::string_view)> data) override
    {
        port_.OnRxChar = [this, entered = std::move(entered), data = std::move(data)](QObject*, std::int32_t count) {
            if (entered)
                entered();
            std::string text;
            const std::int32_t got = port_.ReadText(text, count);
            text.resize(static_cast<std::size_t>(std::max(got, 0)));
            if (data)
                data(text);
        };
    }

    bool Send(const std::string& bytes, std::string& problem) override
    {
        try {
            const std::int32_t sent = port_.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
            if (static_cast<std::size_t>(sent) == bytes.size())
                return true;
            problem = "the port wrote " + std::to_string(sent) + " of " + std::to_string(bytes.size()) + " bytes";
        } catch (const std::exception& e) {
            problem = e.what();
        }
        return false;
    }

private:
    TComPort port_;
};

// A plain TCP client socket, read by a QSocketNotifier on the main loop.
// With `telnet`, the stream is a serial server's Telnet session, and the
// socket does the least a reader of one must: the server's commands and
// negotiations are dropped unanswered, a doubled 0xFF is taken as one
// data byte, and every 0xFF sent is doubled.
class SocketEndpoint : public Endpoint {
public:
    // Throws std::runtime_error when it cannot connect.
    SocketEndpoint(std::uint16_t port, bool telnet) : telnet_(telnet)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            throw std::runtime_error(Errno("socket"));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            const std::string problem = Errno("connect");
            ::close(fd_);
            throw std::runtime_error(problem);
        }
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Readable(); });
    }
    ~SocketEndpoint() override
    {
        notifier_.reset();
        ::close(fd_);
    }

    void OnData(std::function<void()> entered, std::function<void(std::string_view)> data) override
    {
        entered_ = std::move(entered);
        data_ = std::move(data);
    }

    bool Send(const std::string& data, std::string& problem) override
    {
        std::string doubled;
        if (telnet_) {
            doubled.reserve(data.size() + data.size() / 128);
            for (char c : data) {
                doubled += c;
                if (static_cast<unsigned char>(c) == 0xFF)
                    doubled += c;
            }
        }
        const std::string& bytes = telnet_ ? doubled : data;
        const auto deadline = Clock::now() + BulkWait;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (Clock::now() >= deadline) {
                    problem = "the socket took " + std::to_string(done) + " bytes in time";
                    return false;
                }
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else {
                problem = Errno("send");
                return false;
            }
        }
        return true;
    }

private:
    void Readable()
    {
        if (entered_)
            entered_();
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0) {
            std::fprintf(stderr, "the relay closed the raw TCP connection\n");
            notifier_->setEnabled(false);
            return;
        }
        if (n <= 0 || !data_)
            return;
        const std::string_view bytes(buffer, static_cast<std::size_t>(n));
        data_(telnet_ ? Untelnet(bytes) : bytes);
    }

    std::string_view Untelnet(std::string_view bytes)
    {
        constexpr unsigned char Iac = 255, Sb = 250, Se = 240, Will = 251, Dont = 254;
        plain_.clear();
        for (char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            switch (state_) {
            case Data:
                if (b == Iac)
                    state_ = Command;
                else
                    plain_ += c;
                break;
            case Command:
                if (b == Iac) {
                    plain_ += c;
                    state_ = Data;
                } else if (b >= Will && b <= Dont) {
                    state_ = Option;
                } else {
                    state_ = b == Sb ? Sub : Data;
                }
                break;
            case Option:
                state_ = Data;
                break;
            case Sub:
                if (b == Iac)
                    state_ = SubCommand;
                break;
            case SubCommand:
                state_ = b == Se ? Data : Sub;
                break;
            }
        }
        return plain_;
    }

    const bool telnet_;
    enum { Data, Command, Option, Sub, SubCommand } state_ = Data;
    std::string plain_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> entered_;
    std::function<void(std::string_view)> data_;
};

// ---- servers on the loopback ------------------------------------------------------

// The least a server of a serial port can be: one thread that listens on
// 127.0.0.1, takes one connection at a time and copies bytes between it
// and the line (the pseudo-terminal's slave, in raw mode), with no Telnet
// and no settings. It holds at most 64 KiB each way.
class BareRelay {
public:
    // Throws std::runtime_error when it cannot open the line or listen.
    explicit BareRelay(const std::string& linePath)
    {
        line_ = ::open(linePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (line_ < 0)
            throw std::runtime_error(Errno("open the relay's line"));
        MakeRaw(line_);
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
            || ::listen(listener_, 4) != 0
            || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            const std::string problem = Errno("relay listen");
            Release();
            throw std::runtime_error(problem);
        }
        port_ = ntohs(address.sin_port);
        stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (stop_ < 0) {
            const std::string problem = Errno("eventfd");
            Release();
            throw std::runtime_error(problem);
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~BareRelay()
    {
        const std::uint64_t one = 1;
        (void)!::write(stop_, &one, sizeof one);
        thread_.join();
        Release();
    }
    BareRelay(const BareRelay&) = delete;
    BareRelay& operator=(const BareRelay&) = delete;

    std::uint16_t Port() const { return port_; }

private:
    static constexpr std::size_t MaxHeld = 64 * 1024;

    void Release()
    {
        for (int* fd : {&line_, &listener_, &stop_})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
    }

    void Run()
    {
        int connection = -1;
        std::string toSocket, toLine;
        auto hangUp = [&] {
            ::close(connection);
            connection = -1;
            toSocket.clear();
            toLine.clear();
        };
        for (;;) {
            pollfd fds[3] = {{stop_, POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
            if (connection < 0) {
                fds[1] = {listener_, POLLIN, 0};
            } else {
                fds[1] = {connection, 0, 0};
                if (toLine.size() < MaxHeld)
                    fds[1].events |= POLLIN;
                if (!toSocket.empty())
                    fds[1].events |= POLLOUT;
                fds[2] = {line_, 0, 0};
                if (toSocket.size() < MaxHeld)
                    fds[2].events |= POLLIN;
                if (!toLine.empty())
                    fds[2].events |= POLLOUT;
            }
            if (::poll(fds, 3, -1) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (fds[0].revents)
                break;
            if (connection < 0) {
                if (fds[1].revents & POLLIN) {
                    connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                    if (connection >= 0) {
                        const int one = 1;
                        ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    }
                }
                continue;
            }
            char buffer[16384];
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
                if (n > 0) {
                    toLine.append(buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    hangUp();
                    continue;
                }
            }
            if (fds[2].revents & POLLIN) {
                const ssize_t n = ::read(line_, buffer, sizeof buffer);
                if (n > 0)
                    toSocket.append(buffer, static_cast<std::size_t>(n));
            }
            if (!toSocket.empty()) {
                const ssize_t n = ::send(connection, toSocket.data(), toSocket.size(), MSG_NOSIGNAL);
                if (n > 0)
                    toSocket.erase(0, static_cast<std::size_t>(n));
                else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    hangUp();
                    continue;
                }
            }
            if (!toLine.empty()) {
                const ssize_t n = ::write(line_, toLine.data(), toLine.size());
                if (n > 0)
                    toLine.erase(0, static_cast<std::size_t>(n));
            }
        }
        if (connection >= 0)
            ::close(connection);
    }

    int line_ = -1;
    int listener_ = -1;
    int stop_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// A port on 127.0.0.1 that nobody listens on just now.
std::uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

// Whether something listens on 127.0.0.1:port (the kernel's socket table,
// so that no connection is made to find out).
bool Listening(std::uint16_t port)
{
    std::ifstream table("/proc/net/tcp");
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::string line;
    std::getline(table, line); // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A")
            return true;
    }
    return false;
}

// ser2net as a child process, serving one line on 127.0.0.1 with Telnet
// and RFC 2217. Its configuration, log and pid file are in a folder of
// its own under $TMPDIR, removed once it listens (or has failed to). It
// is told to end when this program does, however this program ends.
class Ser2net {
public:
    // `options`: lines of the connection's "options:" map, such as
    // "chardelay: false"; none for ser2net's defaults.
    Ser2net(std::string program, std::vector<std::string> options)
        : program_(std::move(program)), options_(std::move(options))
    {
    }
    ~Ser2net() { Stop(); }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Starts it in front of `linePath` and waits (5 s at most) until it
    // listens. False with `problem` when it does not.
    bool Start(const std::string& linePath, std::string& problem)
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/network_port_benchmark.XXXXXX";
        if (!::mkdtemp(folder.data())) {
            problem = Errno("mkdtemp");
            return false;
        }
        folder_ = folder;
        // A port that was free a moment ago may be taken by the time the
        // server binds it: then it exits, and another port is tried.
        for (int attempt = 0; attempt < 3; ++attempt) {
            port_ = FreePort();
            if (port_ == 0) {
                problem = "no free port on 127.0.0.1";
                return false;
            }
            const bool started = StartOnce(linePath, problem);
            if (!started)
                Stop();
            if (started || problem.find("before it listened") == std::string::npos)
                break;
        }
        // The server has read its configuration by now, and keeps its log
        // open: nothing is left behind if this program is killed.
        RemoveFolder();
        return pid_ > 0;
    }

    std::uint16_t Port() const { return port_; }

    // Ends the server: SIGTERM, after 3 s SIGKILL.
    void Stop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            const auto deadline = Clock::now() + 3s;
            int status = 0;
            while (::waitpid(pid_, &status, WNOHANG) == 0) {
                if (Clock::now() >= deadline) {
                    ::kill(pid_, SIGKILL);
                    ::waitpid(pid_, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(10ms);
            }
            pid_ = -1;
        }
    }

private:
    void RemoveFolder()
    {
        if (folder_.empty())
            return;
        for (const char* file : {"/ser2net.yaml", "/ser2net.log", "/ser2net.pid"})
            ::unlink((folder_ + file).c_str());
        ::rmdir(folder_.c_str());
        folder_.clear();
    }

    bool StartOnce(const std::string& linePath, std::string& problem)
    {
        const std::string config = folder_ + "/ser2net.yaml";
        const std::string log = folder_ + "/ser2net.log";
        const std::string pidFile = folder_ + "/ser2net.pid";
        {
            std::ofstream out(config, std::ios::trunc);
            out << "%YAML 1.1\n---\n"
                << "connection: &bench\n"
                << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port_ << "\n"
                << "  connector: serialdev," << linePath << ",115200n81,local\n";
            if (!options_.empty()) {
                out << "  options:\n";
                for (const std::string& option : options_)
                    out << "    " << option << "\n";
            }
            if (!out) {
                problem = "cannot write " + config;
                return false;
            }
        }
        const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (logFd < 0 || nullFd < 0) {
            problem = Errno("open the server's log");
            if (logFd >= 0)
                ::close(logFd);
            if (nullFd >= 0)
                ::close(nullFd);
            return false;
        }
        // -n: stay in the foreground, as our child; -u: no UUCP lock files.
        std::vector<std::string> args = {program_, "-n", "-u", "-c", config, "-P", pidFile};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent)
                ::_exit(127);
            ::dup2(nullFd, 0);
            ::dup2(logFd, 1);
            ::dup2(logFd, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(logFd);
        ::close(nullFd);
        if (pid_ < 0) {
            problem = Errno("fork");
            return false;
        }
        const auto deadline = Clock::now() + 5s;
        while (Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                problem = "ser2net exited (" + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1)
                          + ") before it listened; its log:\n" + ReadFile(log);
                return false;
            }
            if (Listening(port_))
                return true;
            std::this_thread::sleep_for(20ms);
        }
        problem = "ser2net did not listen on 127.0.0.1:" + std::to_string(port_) + " within 5 s; its log:\n"
                  + ReadFile(log);
        return false;
    }

    static std::string ReadFile(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string program_;
    std::vector<std::string> options_;
    std::string folder_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};

// ---- measuring ------------------------------------------------------------------------

// Takes whatever the board's end still has waiting, and whatever the
// endpoint still delivers, so that the next measurement starts empty.
void Settle(PtyPair& far, Endpoint& end)
{
    end.OnData({}, {});
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
    far.Drain();
}

struct Path {
    std::string name;
    std::unique_ptr<PtyPair> far;   // the board's end
    std::unique_ptr<Endpoint> end;  // the benchmark's end
    std::vector<double> latencyUs;
    std::vector<double> toPortMBs;  // board's end -> endpoint, one a round
    std::vector<double> fromPortMBs; // endpoint -> board's end
    std::string failure;            // why it stopped being measured
    bool warm = false;
};

// `count` bytes, one at a time: each is written at the board's end and
// timed until the endpoint's receive handler starts; the next goes once
// the handler has read it. The main thread waits in its event loop, as in
// the panel.
void MeasureLatency(Path& path, int count)
{
    QEventLoop loop;
    bool got = false;
    Clock::time_point entered{}, arrived{};
    path.end->OnData([&] { entered = Clock::now(); },
                     [&](std::string_view data) {
                         if (!data.empty() && !got) {
                             got = true;
                             arrived = entered;
                             loop.quit();
                         }
                     });
    const int warmUp = path.warm ? 0 : WarmUp;
    path.warm = true;
    for (int i = 0; i < warmUp + count; ++i) {
        got = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(ByteWait).count()));
        const Clock::time_point sent = Clock::now();
        path.far->Send("A");
        if (!got)
            loop.exec();
        if (!got) {
            path.failure = "a byte was not delivered within 2 s";
            break;
        }
        if (i >= warmUp)
            path.latencyUs.push_back(Microseconds(arrived - sent));
    }
    Settle(*path.far, *path.end);
}

// The board's end writes 1 MB as fast as its line takes it; timed from the
// first write until the endpoint's handler has read the last byte. The
// bytes are checked.
void MeasureToPort(Path& path, const std::string& payload)
{
    QEventLoop loop;
    std::size_t received = 0;
    bool wrong = false;
    Clock::time_point last{};
    path.end->OnData({}, [&](std::string_view data) {
        if (received + data.size() > payload.size()
            || std::memcmp(payload.data() + received, data.data(), data.size()) != 0)
            wrong = true;
        received += data.size();
        if (received >= payload.size() || wrong) {
            last = Clock::now();
            loop.quit();
        }
    });
    std::atomic<bool> stop = false;
    const int master = path.far->MasterFd();
    const Clock::time_point start = Clock::now();
    std::thread writer([&] {
        std::size_t done = 0;
        while (done < payload.size() && !stop.load()) {
            const ssize_t n = ::write(master, payload.data() + done, payload.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 20);
            } else {
                break;
            }
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(BulkWait).count()));
    if (received < payload.size() && !wrong)
        loop.exec();
    stop = true;
    writer.join();
    if (wrong)
        path.failure = "1 MB to the port arrived altered (at byte " + std::to_string(received) + ")";
    else if (received < payload.size())
        path.failure = "1 MB to the port: " + std::to_string(received) + " bytes in 60 s";
    else
        path.toPortMBs.push_back(double(payload.size()) / Megabyte / Seconds(last - start));
    Settle(*path.far, *path.end);
}

// The endpoint sends 1 MB; timed from the start of the send until the
// board's end has read the last byte. The bytes are checked.
void MeasureFromPort(Path& path, const std::string& payload)
{
    std::size_t received = 0;
    bool wrong = false;
    Clock::time_point last{};
    const int master = path.far->MasterFd();
    const Clock::time_point start = Clock::now();
    std::thread reader([&] {
        const auto deadline = start + BulkWait;
        std::vector<char> buffer(65536);
        while (received < payload.size() && !wrong && Clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(master, buffer.data(), buffer.size());
            if (n > 0) {
                const auto got = static_cast<std::size_t>(n);
                if (received + got > payload.size()
                    || std::memcmp(payload.data() + received, buffer.data(), got) != 0)
                    wrong = true;
                received += got;
                last = Clock::now();
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                break;
            }
        }
    });
    std::string problem;
    const bool sent = path.end->Send(payload, problem);
    reader.join();
    if (!sent)
        path.failure = "1 MB from the port: " + problem;
    else if (wrong)
        path.failure = "1 MB from the port arrived altered (at byte " + std::to_string(received) + ")";
    else if (received < payload.size())
        path.failure = "1 MB from the port: " + std::to_string(received) + " bytes in 60 s";
    else
        path.fromPortMBs.push_back(double(payload.size()) / Megabyte / Seconds(last - start));
    Settle(*path.far, *path.end);
}

struct Row {
    std::string name;
    stats::Percentiles latency;
    double toPort = 0, fromPort = 0;            // medians of the rounds
    double toPortMin = 0, toPortMax = 0, fromPortMin = 0, fromPortMax = 0;
};

Row Tabulate(const Path& path)
{
    Row row;
    row.name = path.failure.empty() ? path.name : path.name + " (FAILED)";
    row.latency = stats::Summarise(path.latencyUs);
    row.toPort = stats::Median(path.toPortMBs);
    row.fromPort = stats::Median(path.fromPortMBs);
    if (!path.toPortMBs.empty()) {
        const auto [lo, hi] = std::minmax_element(path.toPortMBs.begin(), path.toPortMBs.end());
        row.toPortMin = *lo;
        row.toPortMax = *hi;
    }
    if (!path.fromPortMBs.empty()) {
        const auto [lo, hi] = std::minmax_element(path.fromPortMBs.begin(), path.fromPortMBs.end());
        row.fromPortMin = *lo;
        row.fromPortMax = *hi;
    }
    return row;
}

double Ratio(double a, double b)
{
    return b > 0 ? a / b : 0;
}

void PrintRatio(const char* label, const Row& a, const Row& b)
{
    std::printf("  %-36s latency median %5.2f  p90 %5.2f  p99 %5.2f   MB/s to port %5.2f  from port %5.2f\n", label,
                Ratio(a.latency.median, b.latency.median), Ratio(a.latency.p90, b.latency.p90),
                Ratio(a.latency.p99, b.latency.p99), Ratio(a.toPort, b.toPort), Ratio(a.fromPort, b.fromPort));
}


// A line behind a ser2net of its own: the board's end, the slave held
// open (and raw) between connections, and the server.
struct ServedLine {
    ServedLine(const std::string& program, std::vector<std::string> options)
        : far(std::make_unique<PtyPair>()), server(program, std::move(options))
    {
        keeper = ::open(far->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (keeper < 0)
            throw std::runtime_error(Errno("open the server's line"));
        MakeRaw(keeper);
    }
    ~ServedLine()
    {
        server.Stop();
        if (keeper >= 0)
            ::close(keeper);
    }
    std::string Name() const { return "rfc2217://127.0.0.1:" + std::to_string(server.Port()); }

    std::unique_ptr<PtyPair> far;
    Ser2net server;
    int keeper = -1;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(100, std::atoi(argv[1])) : 5000;
    const int rounds = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 100) : 5;

    const std::string program = FindSer2net();
    if (program.empty()) {
        std::fprintf(stderr, "network_port_benchmark: ser2net not found (install Debian's ser2net package, "
                             "or set SER2NET to the program)\n");
        return 2;
    }

    const std::string loadBefore = LoadAverage();
    const std::string payload = Payload();
    std::unique_ptr<ServedLine> plain, tuned, tunedRaw;
    std::unique_ptr<BareRelay> portRelay, rawRelay;
    std::vector<Path> paths;
    int status = 0;
    try {
        // The servers first: they are forked before any thread of ours runs.
        plain = std::make_unique<ServedLine>(program, std::vector<std::string>{});
        tuned = std::make_unique<ServedLine>(program, Tuned);
        tunedRaw = std::make_unique<ServedLine>(program, Tuned);
        for (ServedLine* line : {plain.get(), tuned.get(), tunedRaw.get()}) {
            std::string problem;
            if (!line->server.Start(line->far->SlavePath(), problem))
                throw std::runtime_error(problem);
        }

        auto add = [&](std::string name, std::unique_ptr<PtyPair> far, std::unique_ptr<Endpoint> end) {
            Path p;
            p.name = std::move(name);
            p.far = std::move(far);
            p.end = std::move(end);
            paths.push_back(std::move(p));
        };
        auto openPort = [](const std::string& name) {
            auto port = std::make_unique<PortEndpoint>(name);
            port->Open();
            return port;
        };

        add("TComPort rfc2217:// (ser2net)", std::move(plain->far), openPort(plain->Name()));
        add("  same, ser2net tuned", std::move(tuned->far), openPort(tuned->Name()));
        const std::uint16_t rawServer = tunedRaw->server.Port();
        add("raw Telnet socket (ser2net tuned)", std::move(tunedRaw->far),
            std::make_unique<SocketEndpoint>(rawServer, true));

        auto relayFar = std::make_unique<PtyPair>();
        portRelay = std::make_unique<BareRelay>(relayFar->SlavePath());
        add("TComPort socket:// (bare relay)", std::move(relayFar),
            openPort("socket://127.0.0.1:" + std::to_string(portRelay->Port())));

        auto rawFar = std::make_unique<PtyPair>();
        rawRelay = std::make_unique<BareRelay>(rawFar->SlavePath());
        add("raw TCP socket (bare relay)", std::move(rawFar), std::make_unique<SocketEndpoint>(rawRelay->Port(), false));

        auto localFar = std::make_unique<PtyPair>();
        const std::string slave = localFar->SlavePath();
        add("TComPort local tty (pty slave)", std::move(localFar), openPort(slave));
    } catch (const EComPort& e) {
        std::fprintf(stderr, "network_port_benchmark: a port did not open: %s\n", e.what());
        for (const std::string& line : e.Details())
            std::fprintf(stderr, "  %s\n", line.c_str());
        status = 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "network_port_benchmark: %s\n", e.what());
        status = 2;
    }

    if (status == 0) {
        std::printf("network_port_benchmark: %d latency samples per path, %d rounds, 1 MB = %zu bytes each way "
                    "a round\n",
                    samples, rounds, Megabyte);
        std::printf("ser2net: %s on 127.0.0.1:%u, :%u and :%u\n", program.c_str(),
                    unsigned(plain->server.Port()), unsigned(tuned->server.Port()), unsigned(tunedRaw->server.Port()));
        std::printf("ser2net tuned:");
        for (const std::string& option : Tuned)
            std::printf(" %s;", option.c_str());
        std::printf("\n");
        std::printf("load average before: %s (%u cores)\n", loadBefore.c_str(),
                    std::thread::hardware_concurrency());
        std::fflush(stdout);
        for (int round = 0; round < rounds; ++round) {
            const int share = samples / rounds + (round < samples % rounds ? 1 : 0);
            for (Path& path : paths) {
                auto step = [&path](auto&& measure) {
                    if (!path.failure.empty())
                        return;
                    try {
                        measure();
                    } catch (const std::exception& e) {
                        path.failure = e.what();
                    }
                };
                step([&] { MeasureLatency(path, share); });
                step([&] { MeasureToPort(path, payload); });
                step([&] { MeasureFromPort(path, payload); });
            }
        }

        std::vector<Row> rows;
        for (const Path& path : paths)
            rows.push_back(Tabulate(path));
        std::printf("\n%-34s %9s %9s %9s %8s  %-20s %-20s\n", "path", "median", "p90", "p99", "samples",
                    "MB/s to port", "MB/s from port");
        std::printf("%-34s %9s %9s %9s %8s  %-20s %-20s\n", "", "(us)", "(us)", "(us)", "",
                    "(median [min-max])", "(median [min-max])");
        for (const Row& r : rows) {
            char to[64], from[64];
            std::snprintf(to, sizeof to, "%6.1f [%.1f-%.1f]", r.toPort, r.toPortMin, r.toPortMax);
            std::snprintf(from, sizeof from, "%6.1f [%.1f-%.1f]", r.fromPort, r.fromPortMin, r.fromPortMax);
            std::printf("%-34s %9.1f %9.1f %9.1f %8zu  %-20s %-20s\n", r.name.c_str(), r.latency.median,
                        r.latency.p90, r.latency.p99, r.latency.samples, to, from);
        }
        std::printf("\nratios\n");
        PrintRatio("rfc2217 / socket (bare relay)", rows[0], rows[3]);
        PrintRatio("rfc2217 tuned / socket (bare relay)", rows[1], rows[3]);
        PrintRatio("rfc2217 tuned / raw Telnet socket", rows[1], rows[2]);
        PrintRatio("socket / raw TCP socket", rows[3], rows[4]);
        PrintRatio("rfc2217 / local tty", rows[0], rows[5]);
        std::printf("load average after: %s\n", LoadAverage().c_str());
        for (const Path& path : paths)
            if (!path.failure.empty()) {
                std::fprintf(stderr, "%s: %s\n", path.name.c_str(), path.failure.c_str());
                status = 1;
            }
    }

    // Ports first, while their servers are still there; then the servers,
    // then the lines.
    for (Path& path : paths)
        path.end.reset();
    plain.reset();
    tuned.reset();
    tunedRaw.reset();
    portRelay.reset();
    rawRelay.reset();
    paths.clear();
    return status;
}
