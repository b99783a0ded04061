// The connection to a port on a serial server: a TCP socket, the Telnet
// and RFC 2217 session on it (for rfc2217:// names), and a thread that
// joins it to the master side of a pseudo-terminal. The network device
// runs the port's line on the other side of that pseudo-terminal, so
// transfers, time-outs, line events and hang-up work as on a local tty;
// what only the server can do (the real port's rate and format, its
// control lines, its modem lines and line errors, purging its queues) goes
// out as RFC 2217 requests.
//
// The thread is the only one that touches the socket; requests from the
// port's thread are queued for it in order with the board's bytes. It
// blocks in poll while nothing moves, and bounds what it holds in each
// direction: a board that is not read stops the socket being read, so the
// server waits too.
#pragma once

#include "framework/posix/EventFd.h"
#include "serial/net/NetName.h"
#include "serial/net/Telnet.h"
#include "serial/posix/LineStatus.h"
#include "serial/posix/UniqueFd.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace serialdev::net {

// Why an open over the network failed, beyond its errno value.
struct ConnectFailure {
    // What the server sent before it closed the connection (its refusal,
    // such as "Port already in use"), "" when it sent nothing.
    std::string serverText;
};

class NetLink : public LineProbe {
public:
    NetLink();
    ~NetLink() override;
    NetLink(const NetLink&) = delete;
    NetLink& operator=(const NetLink&) = delete;

    // The server the next Connect goes to: the line's probe asks about its
    // modem lines before the connection is made.
    void Expect(const NetName& name);
    // Connects to the server `name` leads to and, for RFC 2217, settles
    // the negotiation; then joins the socket to `master` (non-blocking),
    // whose far side is the line the port opens. Blocks at most the name's time-out for
    // the connection and as long again for the negotiation. Returns 0 or
    // the errno value: ENOENT when the host is not found, ECONNREFUSED,
    // ETIMEDOUT, ECONNRESET or EBUSY (in use) when the server closed the
    // connection at once, and so on.
    int Connect(const NetName& name, UniqueFd master, ConnectFailure& failure);
    // Stops the thread and closes the connection, after sending what the
    // line wrote (for a short while at most).
    void Disconnect();
    bool Connected() const { return thread_.joinable(); }

    // Sends the line settings in the order rate, data size, parity, stop
    // size, flow control, then DTR and RTS, and waits (bounded) until the
    // server has answered them. A server that leaves some unanswered (none
    // answers 1.5 stop bits on a line that cannot do them, some never
    // answer DTR and RTS) costs no failure. Returns 0, or EIO when the
    // connection is gone.
    int ApplySettings(std::uint32_t baudRate, std::uint8_t dataBits, std::uint8_t parity, std::uint8_t stopBits,
                      std::uint8_t flow, bool dtr, bool rts);
    // Asks the server to drop what its queues hold and waits for its
    // answer; then drops the input held here, which the server sent
    // before it purged.
    int Purge(bool input, bool output);

    // The modem lines and line errors as the server reports them, for the
    // line on the far side of the pseudo-terminal; DTR and RTS go to the
    // server. Without RFC 2217 there are none (ENOTTY).
    int ModemLines(int fd, int& lines) override;
    int Counters(int fd, serial_icounter_struct& counters) override;
    int SetModemLines(int fd, int lines, bool raise) override;

private:
    struct Awaited {
        std::uint64_t seq;
        unsigned char answer;
    };

    void Run();
    // With the lock held: queues a request; with `await`, also what answers it.
    void QueueRequest(unsigned char code, std::string_view value, bool await);
    // With the lock held: queues a query the server answers in turn, whose
    // answer tells that every request before it was dealt with; returns
    // its number.
    std::uint64_t QueueBarrier();
    // Waits for the answer to request `seq`, the connection's end or the
    // time-out; a server that let it pass is not waited for again.
    int AwaitAnswers(std::unique_lock<std::mutex>& lock, std::uint64_t seq);
    // Queues the query and waits for its answer: the requests queued
    // before it have been dealt with then.
    int Exchange(std::unique_lock<std::mutex>& lock);
    // With the lock held: takes a message from the server.
    void Take(const ComPortMessage& message);
    // With the lock held: the connection ended.
    void Lost(int error);
    bool PumpSocketIn();
    bool PumpSocketOut();
    void PumpMasterIn();
    bool PumpMasterOut();

    NetName name_;
    UniqueFd socket_;
    UniqueFd master_;
    EventFd wake_;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    TelnetSession telnet_;
    bool stop_ = false;
    bool lost_ = false;
    int lostError_ = 0;
    bool settled_ = false;     // board data flows to the line
    bool silent_ = false;      // the server left a query unanswered
    std::string preamble_;     // what came before settling (banner, refusal)
    std::string toSocket_;     // encoded, waiting to go out
    std::string toMaster_;     // board data waiting for the line
    std::uint64_t nextSeq_ = 1;
    std::uint64_t doneSeq_ = 0;  // every awaited request up to it answered or passed
    std::uint64_t settleSeq_ = 0;
    std::uint64_t answers_ = 0;    // answers that matched a request  // the query whose answer settles the negotiation
    std::deque<Awaited> awaited_;
    std::uint32_t modem_ = 0;  // the server's last modem-state byte
    serial_icounter_struct counters_{};
    int outputs_ = -1;         // TIOCM_DTR | TIOCM_RTS as last sent, -1 before
};

} // namespace serialdev::net
