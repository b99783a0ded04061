// The connection to a port on a serial server on Linux: a TCP socket, the
// Telnet and RFC 2217 session on it (NetSession, for rfc2217:// names),
// and a thread that joins it to the master side of a pseudo-terminal. The
// network device runs the port's line on the other side of that
// pseudo-terminal, so transfers, time-outs, line events and hang-up work as
// on a local tty; what only the server can do (the real port's rate and
// format, its control lines, its modem lines and line errors, purging its
// queues) goes out as RFC 2217 requests.
//
// The thread is the only one that touches the socket; requests from the
// port's thread are queued for it in order with the board's bytes. It
// blocks in poll while nothing moves, and bounds what it holds in each
// direction: a board that is not read stops the socket being read, so the
// server waits too.
#pragma once

#include "framework/posix/EventFd.h"
#include "serial/net/NetName.h"
#include "serial/net/NetSession.h"
#include "serial/net/Socket.h"
#include "serial/posix/LineStatus.h"
#include "serial/posix/UniqueFd.h"

#include <cstdint>
#include <string>
#include <thread>

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
    void Run();
    // With the lock held: the connection ended.
    void Lost(int error);
    bool PumpSocketIn();
    bool PumpSocketOut();
    void PumpMasterIn();
    bool PumpMasterOut();

    UniqueSocket socket_;
    UniqueFd master_;
    EventFd wake_;
    std::thread thread_;
    // Its lock also guards socket_ and master_.
    NetSession session_;
};

} // namespace serialdev::net
