// The Windows test's way to the board's side of a served line
// (ser2net-line beside it): one request line out, one answer line back,
// over a blocking Winsock connection on the loopback with a bound on each
// answer.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class BoardSide {
public:
    // Connects to NET_LINE_CONTROL; Ok() tells whether that worked.
    BoardSide();
    ~BoardSide();
    BoardSide(const BoardSide&) = delete;
    BoardSide& operator=(const BoardSide&) = delete;

    bool Ok() const { return ok_; }
    // One request; its answer without the line end ("" when none came).
    std::string Ask(const std::string& request);

    bool Write(const std::string& bytes);
    // What the board received: up to `count` bytes, waiting `ms` for them.
    std::string Read(std::size_t count, int ms);
    bool Discard() { return Ask("discard") == "ok"; }
    // The served line's settings: speed, size, parity, stop, rtscts, xonxoff.
    std::map<std::string, std::string> Line();
    bool StopServer() { return Ask("stop") == "ok"; }
    bool StartServer() { return Ask("start") == "ok"; }

private:
    std::uintptr_t socket_;
    bool ok_ = false;
    std::string pending_;
};

// A name from the environment ser2net-line gives, "" when it is not there.
std::string NetLineName(const char* variable);
