// A pseudo-terminal pair for serial tests: the port under test opens the
// slave by its path; the test plays the far end on the master.
#pragma once

#include <chrono>
#include <string>

class PtyPair {
public:
    // Opens a master in raw mode; throws std::runtime_error on failure.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The slave's path, e.g. "/dev/pts/3", to hand to the port.
    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Writes all of `bytes` to the far end of the line.
    void Send(const std::string& bytes);
    // Reads what reaches the far end until `count` bytes are there or
    // `timeout` passes; returns what arrived.
    std::string Receive(std::size_t count,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // Everything already waiting at the far end, without blocking.
    std::string Drain();

    // Hangs up: closes the master, so the slave side sees the line drop.
    void HangUp();

    // Fills the line's buffer from a second opener of the slave, so that
    // the port's next write can only time out.
    void FillLine();
    // The output speed the slave's line settings hold, in bits per second
    // (a pty keeps the speed it is given).
    unsigned OutputSpeed() const;

private:
    int master_ = -1;
    std::string slavePath_;
};
