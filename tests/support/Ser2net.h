// A real ser2net for the network port's tests: it serves one tty (the
// slave of a test's pseudo-terminal pair, or a link to one) on 127.0.0.1 at
// a free port, as a lab's serial server shares a board's adapter.
//
// Its configuration and its log live in a folder of its own, gone with the
// object. It runs in the foreground as a child of the test, and can be
// stopped and started again on the same port, as a server that restarts.
// Every wait here is bounded; nothing listens beyond the loopback.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>

// The ser2net program: $SER2NET when set, else the first on PATH or in the
// sbin folders (where Debian puts it). "" when there is none.
std::string FindSer2net();

class Ser2net {
public:
    // How the network side speaks: Telnet with the COM-port option (the
    // port's name is rfc2217://...), or the bytes alone (socket://...).
    enum class Accepter { Rfc2217, Tcp };

    // Nothing runs yet. Throws std::runtime_error when no folder can be made.
    explicit Ser2net(std::string device, Accepter accepter = Accepter::Rfc2217);
    // Stops it and removes its folder.
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Starts it and waits until it listens. The first start takes a free
    // port (another one if that was taken in the meantime); a later one
    // the same port again. Throws std::runtime_error, with the log, when it
    // does not come up.
    void Start();
    // SIGTERM, and waits for it to end (SIGKILL if it will not).
    void Stop();
    // SIGTERM alone, at once: what a test that measures how soon the
    // client notices needs. Stop() then waits for the end.
    void Terminate();
    bool Running() const { return pid_ > 0; }

    std::uint16_t Port() const { return port_; }
    // "127.0.0.1:PORT".
    std::string Address() const;
    // The port name that leads to it: "rfc2217://127.0.0.1:PORT" or
    // "socket://127.0.0.1:PORT", followed by `options` ("?timeout=1").
    std::string PortName(const std::string& options = {}) const;
    // What it wrote to its standard output and error so far.
    std::string Log() const;

private:
    // One try on port_: true once it listens there; false (and nothing left
    // running) when it could not take the port or did not come up in time.
    bool Launch(std::chrono::milliseconds patience);
    // Whether the listening socket on 127.0.0.1:port_ belongs to the child.
    bool ChildListens() const;
    void WriteConfiguration() const;

    std::string device_;
    Accepter accepter_;
    std::string folder_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};
