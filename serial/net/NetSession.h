// One connection to a port on a serial server, apart from how its bytes
// move: the Telnet and RFC 2217 session on it, the requests for the real
// port queued in order with the board's bytes and the answers they wait
// for, the greeting before the negotiation settles (a banner, or a
// refusal), the server's notices of its modem lines and line errors, and
// the connection's loss. The same on every platform: the thread that
// carries the connection (the link to a pseudo-terminal on Linux, the
// network device itself on Windows) hands it what the socket gave and
// sends what it queued, and the port's thread asks it for settings and
// purges.
//
// One lock guards it all, and the carrying thread may keep its own state
// under it too. Calls of the port's side take the lock themselves; those
// of the carrying thread's side expect it held.
#pragma once

#include "serial/net/NetName.h"
#include "serial/net/RemoteSettings.h"
#include "serial/net/Telnet.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace serialdev::net {

// The running counts of the line errors and breaks the server reported.
struct LineCounts {
    std::uint32_t breaks = 0;
    std::uint32_t framing = 0;
    std::uint32_t parity = 0;
    std::uint32_t overrun = 0;
};

// The output lines, as ChangeOutputs and Outputs take them.
namespace OutputLine {
inline constexpr unsigned Dtr = 1, Rts = 2;
}

// RFC 2217's modem-state bits.
namespace ModemState {
inline constexpr unsigned Cts = 16, Dsr = 32, Ring = 64, Carrier = 128;
}

class NetSession {
public:
    // `wake` wakes the carrying thread: there is something new to send.
    // It is called with the lock held.
    explicit NetSession(std::function<void()> wake);
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;

    std::mutex& Mutex() { return mutex_; }

    // ---- The port's side (each takes the lock) ----

    // The server the next connection goes to.
    void Expect(const NetName& name);
    bool Rfc2217();
    // Starts anew for a connection just made to the expected server: for
    // RFC 2217, queues the offer of the options, the requests for the
    // server's notices, and the query whose answer settles the negotiation.
    void Begin();
    // Waits, at most the name's time-out, until the negotiation has
    // settled (a server that answers nothing settles it by the time-out).
    // Returns 0, or the code of the connection's end, with `serverText`
    // the last line the server sent before it (its refusal); a server
    // that says the port is in use gives the InUse code.
    int AwaitSettled(std::string& serverText);
    // Sends the settings in the order rate, data size, parity, stop size,
    // flow control, then DTR and RTS, and waits (bounded) until the server
    // has answered them. A server that leaves some unanswered costs no
    // failure. Returns 0, or an error once the connection is gone. Nothing
    // is sent for a socket:// port.
    int ApplySettings(const RemoteSettings& settings);
    // Asks the server to drop what its queues hold and waits for its
    // answer; then drops the board's bytes held here for the line, which
    // the server sent before it purged.
    int Purge(bool input, bool output);
    // Raises or drops the OutputLine lines of `lines` and waits for the
    // server's answer. Nothing to do for a socket:// port.
    int ChangeOutputs(unsigned lines, bool raise);
    // The server's last modem-state byte (ModemState bits).
    unsigned ModemBits();
    LineCounts Counts();
    // OutputLine bits as last sent, -1 before anything was.
    int Outputs();
    // The carrying thread is to end (after sending what it has, for a
    // short while at most).
    void Stop();

    // ---- The carrying thread's side (lock held) ----

    // Takes bytes as the server sent them: board data goes to ToLine(),
    // answers to the Telnet layer to ToSocket(), notices and answers to
    // requests are taken in.
    void Received(std::string_view bytes);
    // Queues the line's output for the server (0xFF doubled for Telnet).
    void Written(std::string_view bytes);
    // The connection has ended with `error` (0: the LineLost code). The
    // board's bytes not yet on the line go, and every waiter wakes.
    void Lose(int error);
    // Waits until Stop.
    void AwaitStop(std::unique_lock<std::mutex>& lock);

    std::string& ToSocket() { return toSocket_; }
    std::string& ToLine() { return toLine_; }
    const std::string& ToSocket() const { return toSocket_; }
    const std::string& ToLine() const { return toLine_; }
    // Board data flows to the line (before, what comes is the greeting).
    bool Settled() const { return settled_; }
    bool Lost() const { return lost_; }
    int LostError() const { return lostError_; }
    bool Stopping() const { return stop_; }
    // The server's last modem-state byte and line-error counts.
    unsigned HeldModemBits() const { return modem_; }
    const LineCounts& HeldCounts() const { return counts_; }
    // Counts the notices taken, so a carrying thread can tell that the
    // modem lines or the error counts may have changed.
    std::uint64_t Notices() const { return notices_; }

private:
    struct Awaited {
        std::uint64_t seq;
        unsigned char answer;
    };

    void QueueRequest(unsigned char code, std::string_view value, bool await);
    std::uint64_t QueueBarrier();
    int AwaitAnswers(std::unique_lock<std::mutex>& lock, std::uint64_t seq);
    int Exchange(std::unique_lock<std::mutex>& lock);
    void Take(const ComPortMessage& message);
    int GoneError() const;

    std::function<void()> wake_;
    std::mutex mutex_;
    std::condition_variable changed_;
    NetName name_;
    TelnetSession telnet_;
    bool stop_ = false;
    bool lost_ = false;
    int lostError_ = 0;
    bool settled_ = false;     // board data flows to the line
    bool silent_ = false;      // the server left a query unanswered
    std::string preamble_;     // what came before settling (banner, refusal)
    std::string toSocket_;     // encoded, waiting to go out
    std::string toLine_;       // board data waiting for the line
    std::uint64_t nextSeq_ = 1;
    std::uint64_t doneSeq_ = 0;   // every awaited request up to it answered or passed
    std::uint64_t settleSeq_ = 0; // the query whose answer settles the negotiation
    std::uint64_t answers_ = 0;   // answers that matched a request
    std::uint64_t notices_ = 0;
    std::deque<Awaited> awaited_;
    unsigned modem_ = 0;          // the server's last modem-state byte
    LineCounts counts_{};
    int outputs_ = -1;            // OutputLine bits as last sent, -1 before
};

} // namespace serialdev::net
