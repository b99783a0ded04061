// A TCP server on 127.0.0.1 that a test plays by hand, for the network
// device's corner cases no real server produces on demand (split IACs, a
// server that never answers, a reset, a refused connect).
//
// It listens on a free port of the loopback only and holds one connection
// at a time: the next client waits in the backlog until the current one is
// closed by either side. Its own thread accepts, reads everything the
// client sends into a buffer and writes what the test sends, so the test
// never blocks on the socket; every wait here is bounded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class ScriptedServer {
public:
    using Milliseconds = std::chrono::milliseconds;

    // Listens on 127.0.0.1 at a port the system picks; throws
    // std::runtime_error when it cannot.
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // "127.0.0.1:PORT", for a port name.
    std::string Address() const;

    // Waits until a connection is current; false when none came in time.
    bool WaitForConnection(Milliseconds timeout = Milliseconds(2000));
    // Connections accepted since the start; the current one, if any, is
    // number Connections().
    int Connections() const;
    // Waits until connection number `connection` (1 for the first) has
    // ended, closed by the client or by the test. A client that hangs up
    // lets the next one in at once, so a test names the one it means.
    bool WaitForHangUp(int connection, Milliseconds timeout = Milliseconds(2000));

    // What the client of the current connection sent: waits until `count`
    // bytes are there or `timeout` passes, and takes at most `count`.
    // A new connection starts with nothing received.
    std::string Receive(std::size_t count, Milliseconds timeout = Milliseconds(2000));
    // Takes everything received so far, without waiting.
    std::string Drain();

    // Queues bytes for the current connection; the server's thread writes
    // them as the client takes them. Dropped when no connection is current.
    void Send(std::string_view bytes);
    // Closes the current connection: after what was sent has gone out (a
    // FIN), or at once with a reset (SO_LINGER 0: the client sees
    // ECONNRESET and unsent bytes are dropped). False when the bytes did
    // not go out in time (the connection is closed all the same).
    bool Close(bool reset = false, Milliseconds timeout = Milliseconds(2000));

    // Stops listening, so a connect is refused; the current connection
    // stays. Listen() takes the same port again.
    void StopListening();
    void Listen();

private:
    void Loop();
    // Runs `step` on the server's thread (which owns every descriptor)
    // and waits for it.
    void OnThread(const std::function<void()>& step);
    void OpenListener(); // on the thread, or before it starts
    void CloseConnection(bool reset);
    void Pump(short revents);

    int wake_ = -1; // eventfd: a request or a stop for the thread
    int listener_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string received_;
    std::string outbox_;
    int connections_ = 0;
    int ended_ = 0;
    std::vector<std::function<void()>> requests_;
    std::uint64_t requested_ = 0;
    std::uint64_t done_ = 0;
    bool stop_ = false;
    std::thread thread_;
};
