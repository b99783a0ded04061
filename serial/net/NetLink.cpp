// The connection to a serial server and the thread that carries it.
#include "serial/net/NetLink.h"

#include "serial/net/Connect.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace serialdev::net {

namespace {

using Clock = std::chrono::steady_clock;

// What each direction holds at most before it stops taking more: the line
// and the server then wait, as a full tty queue makes a sender wait.
constexpr std::size_t MaxHeld = 64 * 1024;
constexpr std::size_t ReadChunk = 16 * 1024;
// How long a closing link goes on sending what the line wrote.
constexpr auto DrainOnClose = std::chrono::milliseconds(500);

// The line events the server is asked to tell (RFC 2217 line-state bits):
// break, framing, parity and overrun errors.
constexpr unsigned char LineStateMask = 16 | 8 | 4 | 2;
// All modem lines and their change bits.
constexpr unsigned char ModemStateMask = 0xFF;

// SET-CONTROL values.
constexpr unsigned char ControlDtrOn = 8, ControlDtrOff = 9, ControlRtsOn = 11, ControlRtsOff = 12;

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 60'000)) : 0;
}

// Connects to one address, waiting until `deadline`.
int ConnectTo(const addrinfo& address, Clock::time_point deadline, UniqueFd& result)
{
    UniqueFd fd;
    int error = StartConnect(address, fd);
    if (error != EINPROGRESS) {
        if (!error)
            result = std::move(fd);
        return error;
    }
    pollfd p{fd.Get(), POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready > 0)
            break;
        if (ready == 0)
            return ETIMEDOUT;
        if (errno != EINTR)
            return errno;
    }
    if ((error = ConnectResult(fd.Get())))
        return error;
    result = std::move(fd);
    return 0;
}

std::string BigEndian32(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

} // namespace

NetLink::NetLink()
{
    wake_.Open();
}

NetLink::~NetLink()
{
    Disconnect();
}

void NetLink::Expect(const NetName& name)
{
    std::lock_guard lock(mutex_);
    if (!Connected())
        name_ = name;
}

int NetLink::Connect(const NetName& name, UniqueFd master, ConnectFailure& failure)
{
    failure = {};
    if (Connected())
        return EBUSY;
    if (!wake_.IsOpen()) {
        if (const int error = wake_.Open())
            return error;
    }
    Expect(name);
    const auto deadline = Clock::now() + std::chrono::milliseconds(name.timeoutMs);

    AddressList list;
    if (const int error = Resolve(name, list))
        return error;
    int error = ECONNREFUSED;
    UniqueFd socket;
    for (const addrinfo* a = list.get(); a; a = a->ai_next) {
        error = ConnectTo(*a, deadline, socket);
        if (!error || error == ETIMEDOUT)
            break;
    }
    if (error)
        return error;
    {
        std::lock_guard lock(mutex_);
        socket_ = std::move(socket);
        master_ = std::move(master);
        telnet_ = TelnetSession{};
        stop_ = lost_ = settled_ = silent_ = false;
        lostError_ = 0;
        preamble_.clear();
        toSocket_.clear();
        toMaster_.clear();
        awaited_.clear();
        nextSeq_ = 1;
        doneSeq_ = 0;
        settleSeq_ = 0;
        modem_ = 0;
        counters_ = {};
        outputs_ = -1;
        if (name_.rfc2217) {
            // What the server sends before it has answered our first query
            // is its greeting, not the board's output. The Telnet layer is
            // told to pass everything on: the line decides here.
            telnet_.Settle();
            toSocket_ = telnet_.Start();
            QueueRequest(ComPortCode::SetLineStateMask, std::string(1, char(LineStateMask)), true);
            QueueRequest(ComPortCode::SetModemStateMask, std::string(1, char(ModemStateMask)), true);
            settleSeq_ = QueueBarrier();
        } else {
            settled_ = true;
        }
    }
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        std::lock_guard lock(mutex_);
        socket_.Reset();
        master_.Reset();
        return e.code().value();
    }
    if (!name_.rfc2217)
        return 0;

    std::unique_lock lock(mutex_);
    error = AwaitAnswers(lock, settleSeq_);
    if (!error) {
        // Settled by the answer, or by giving up on a server that answers
        // nothing.
        settled_ = true;
        preamble_.clear();
        wake_.Signal();
        return 0;
    }
    // The server went before the negotiation ended: what it said is why.
    std::string text = preamble_;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const std::size_t lineStart = text.find_last_of("\r\n");
    failure.serverText = lineStart == std::string::npos ? text : text.substr(lineStart + 1);
    lock.unlock();
    Disconnect();
    if (failure.serverText.find("in use") != std::string::npos)
        return EBUSY;
    return error;
}

void NetLink::Disconnect()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }
    wake_.Signal();
    if (thread_.joinable())
        thread_.join();
    std::lock_guard lock(mutex_);
    if (socket_.Valid())
        ::shutdown(socket_.Get(), SHUT_RDWR);
    socket_.Reset();
    master_.Reset();
    toSocket_.clear();
    toMaster_.clear();
    awaited_.clear();
}

void NetLink::QueueRequest(unsigned char code, std::string_view value, bool await)
{
    toSocket_ += TelnetSession::ComPortRequest(code, value);
    if (await)
        awaited_.push_back({nextSeq_++, static_cast<unsigned char>(code + ComPortCode::ServerOffset)});
}

std::uint64_t NetLink::QueueBarrier()
{
    // A query of the data size changes nothing; the server answers it after
    // everything sent before it, so its answer ends the wait for those too.
    QueueRequest(ComPortCode::SetDataSize, std::string(1, '\0'), true);
    return nextSeq_ - 1;
}

int NetLink::AwaitAnswers(std::unique_lock<std::mutex>& lock, std::uint64_t seq)
{
    if (lost_)
        return lostError_ ? lostError_ : EIO;
    if (silent_)
        return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(name_.timeoutMs);
    const std::uint64_t answersBefore = answers_;
    const bool answered = changed_.wait_until(lock, deadline, [&] { return doneSeq_ >= seq || lost_ || stop_; });
    if (lost_)
        return lostError_ ? lostError_ : EIO;
    if (!answered) {
        // What was asked went out. A server that answered nothing at all
        // is not waited for again; one that answered some but not the
        // closing query (it left a request of the query's own kind
        // unanswered, whose place the query's answer took) is waited for
        // again with the next batch.
        if (answers_ == answersBefore)
            silent_ = true;
        while (!awaited_.empty() && awaited_.front().seq <= seq)
            awaited_.pop_front();
        doneSeq_ = std::max(doneSeq_, seq);
    }
    return 0;
}

int NetLink::Exchange(std::unique_lock<std::mutex>& lock)
{
    if (lost_)
        return lostError_ ? lostError_ : EIO;
    const std::uint64_t seq = QueueBarrier();
    wake_.Signal();
    return AwaitAnswers(lock, seq);
}

int NetLink::ApplySettings(std::uint32_t baudRate, std::uint8_t dataBits, std::uint8_t parity,
                           std::uint8_t stopBits, std::uint8_t flow, bool dtr, bool rts)
{
    std::unique_lock lock(mutex_);
    if (!Connected() || lost_)
        return EIO;
    if (!name_.rfc2217)
        return 0;
    QueueRequest(ComPortCode::SetBaudRate, BigEndian32(baudRate), true);
    QueueRequest(ComPortCode::SetDataSize, std::string(1, char(dataBits)), true);
    QueueRequest(ComPortCode::SetParity, std::string(1, char(parity)), true);
    QueueRequest(ComPortCode::SetStopSize, std::string(1, char(stopBits)), true);
    const bool awaitControl = !name_.ignoreSetControl;
    QueueRequest(ComPortCode::SetControl, std::string(1, char(flow)), awaitControl);
    const int outputs = (dtr ? TIOCM_DTR : 0) | (rts ? TIOCM_RTS : 0);
    QueueRequest(ComPortCode::SetControl, std::string(1, char(dtr ? ControlDtrOn : ControlDtrOff)), awaitControl);
    QueueRequest(ComPortCode::SetControl, std::string(1, char(rts ? ControlRtsOn : ControlRtsOff)), awaitControl);
    outputs_ = outputs;
    return Exchange(lock);
}

int NetLink::Purge(bool input, bool output)
{
    std::unique_lock lock(mutex_);
    if (!Connected() || lost_)
        return EIO;
    int error = 0;
    if (name_.rfc2217 && (input || output)) {
        // What is already encoded for the socket may hold requests; the
        // board's bytes in it are few and already on their way.
        QueueRequest(ComPortCode::PurgeData, std::string(1, char(input && output ? 3 : input ? 1 : 2)), true);
        error = Exchange(lock);
    }
    // Held here until now: sent before the server purged.
    if (input)
        toMaster_.clear();
    return error;
}

int NetLink::ModemLines(int, int& lines)
{
    std::lock_guard lock(mutex_);
    if (!name_.rfc2217)
        return ENOTTY;
    lines = 0;
    if (modem_ & 128)
        lines |= TIOCM_CAR;
    if (modem_ & 64)
        lines |= TIOCM_RNG;
    if (modem_ & 32)
        lines |= TIOCM_DSR;
    if (modem_ & 16)
        lines |= TIOCM_CTS;
    if (outputs_ > 0)
        lines |= outputs_;
    return 0;
}

int NetLink::Counters(int, serial_icounter_struct& counters)
{
    std::lock_guard lock(mutex_);
    if (!name_.rfc2217)
        return ENOTTY;
    counters = counters_;
    return 0;
}

int NetLink::SetModemLines(int, int lines, bool raise)
{
    std::unique_lock lock(mutex_);
    if (!name_.rfc2217)
        return ENOTTY;
    if (!Connected() || lost_)
        return EIO;
    const int before = std::max(outputs_, 0);
    const int after = raise ? (before | lines) : (before & ~lines);
    if (after == outputs_)
        return 0; // already so: the server has been told
    const bool await = !name_.ignoreSetControl;
    if ((after ^ before) & TIOCM_DTR || outputs_ < 0)
        QueueRequest(ComPortCode::SetControl, std::string(1, char(after & TIOCM_DTR ? ControlDtrOn : ControlDtrOff)), await);
    if ((after ^ before) & TIOCM_RTS || outputs_ < 0)
        QueueRequest(ComPortCode::SetControl, std::string(1, char(after & TIOCM_RTS ? ControlRtsOn : ControlRtsOff)), await);
    outputs_ = after;
    return Exchange(lock);
}

void NetLink::Take(const ComPortMessage& message)
{
    switch (message.code) {
    case ComPortCode::ServerOffset + ComPortCode::NotifyModemState:
        if (!message.value.empty())
            modem_ = static_cast<unsigned char>(message.value[0]);
        return;
    case ComPortCode::ServerOffset + ComPortCode::NotifyLineState:
        if (!message.value.empty()) {
            const auto bits = static_cast<unsigned char>(message.value[0]);
            counters_.brk += (bits & 16) ? 1 : 0;
            counters_.frame += (bits & 8) ? 1 : 0;
            counters_.parity += (bits & 4) ? 1 : 0;
            counters_.overrun += (bits & 2) ? 1 : 0;
        }
        return;
    default:
        break;
    }
    // An answer: the first request waiting for this code is answered, and
    // every one sent before it has been dealt with (the server answers in
    // order, and left those unanswered). An answer nobody waits for
    // changes nothing.
    const auto it = std::find_if(awaited_.begin(), awaited_.end(),
                                 [&](const Awaited& a) { return a.answer == message.code; });
    if (it == awaited_.end())
        return;
    ++answers_;
    doneSeq_ = it->seq;
    awaited_.erase(awaited_.begin(), it + 1);
    if (settleSeq_ != 0 && doneSeq_ >= settleSeq_)
        settled_ = true;
    changed_.notify_all();
}

void NetLink::Lost(int error)
{
    if (lost_)
        return;
    lost_ = true;
    lostError_ = error ? error : EIO;
    // The line on the far side of the pseudo-terminal hangs up: the port
    // sees its device gone, as when an adapter is pulled.
    master_.Reset();
    toMaster_.clear();
    changed_.notify_all();
}

bool NetLink::PumpSocketIn()
{
    char buffer[ReadChunk];
    const ssize_t n = ::recv(socket_.Get(), buffer, sizeof buffer, 0);
    if (n == 0) {
        Lost(ECONNRESET);
        return false;
    }
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR)
            return true;
        Lost(errno);
        return false;
    }
    std::string_view bytes(buffer, static_cast<std::size_t>(n));
    if (!name_.rfc2217) {
        toMaster_ += bytes;
        return true;
    }
    std::string data;
    std::string reply;
    std::vector<ComPortMessage> messages;
    // Until the negotiation has settled, the bytes go in one at a time:
    // the answer that settles it may be followed by the board's first
    // bytes in the same read, and those must not go to the greeting.
    while (!settled_ && !bytes.empty()) {
        telnet_.Receive(bytes.substr(0, 1), data, reply, messages);
        bytes.remove_prefix(1);
        for (const ComPortMessage& message : messages)
            Take(message);
        messages.clear();
        preamble_ += data;
        data.clear();
        if (preamble_.size() > TelnetSession::MaxPreamble)
            preamble_.erase(0, preamble_.size() - TelnetSession::MaxPreamble);
    }
    telnet_.Receive(bytes, data, reply, messages);
    toSocket_ += reply;
    for (const ComPortMessage& message : messages)
        Take(message);
    toMaster_ += data;
    return true;
}

bool NetLink::PumpSocketOut()
{
    while (!toSocket_.empty()) {
        const ssize_t n = ::send(socket_.Get(), toSocket_.data(), toSocket_.size(), MSG_NOSIGNAL);
        if (n > 0) {
            toSocket_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        const int error = n < 0 ? errno : EIO;
        // A server that refuses says why and closes at once; our next send
        // may meet its reset before that text was read. It is still there
        // to read, and read before the connection is given up.
        pollfd p{socket_.Get(), POLLIN, 0};
        while (!lost_ && toMaster_.size() < MaxHeld && ::poll(&p, 1, 0) > 0 &&
               (p.revents & (POLLIN | POLLHUP | POLLERR)))
            PumpSocketIn();
        Lost(error);
        return false;
    }
    return true;
}

void NetLink::PumpMasterIn()
{
    // What the port wrote to its line.
    char buffer[ReadChunk];
    const ssize_t n = ::read(master_.Get(), buffer, sizeof buffer);
    if (n <= 0)
        return; // EAGAIN; EIO while the port has its line closed
    if (name_.rfc2217)
        TelnetSession::EncodeData(std::string_view(buffer, static_cast<std::size_t>(n)), toSocket_);
    else
        toSocket_.append(buffer, static_cast<std::size_t>(n));
}

bool NetLink::PumpMasterOut()
{
    while (!toMaster_.empty()) {
        const ssize_t n = ::write(master_.Get(), toMaster_.data(), toMaster_.size());
        if (n > 0) {
            toMaster_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && errno == EAGAIN;
    }
    return true;
}

void NetLink::Run()
{
    std::unique_lock lock(mutex_);
    Clock::time_point drainUntil{};
    while (true) {
        if (stop_) {
            // Closing: what the line wrote still goes out, for a short while.
            if (drainUntil == Clock::time_point{})
                drainUntil = Clock::now() + DrainOnClose;
            if (master_.Valid())
                PumpMasterIn();
            if (lost_ || (toSocket_.empty()) || Clock::now() >= drainUntil)
                break;
        }
        if (!lost_ && !toSocket_.empty())
            PumpSocketOut();
        if (!lost_ && !toMaster_.empty() && master_.Valid())
            PumpMasterOut();

        pollfd fds[3] = {{-1, 0, 0}, {-1, 0, 0}, {wake_.Fd(), POLLIN, 0}};
        if (!lost_) {
            fds[0].fd = socket_.Get();
            if (toMaster_.size() < MaxHeld && !stop_)
                fds[0].events |= POLLIN;
            if (!toSocket_.empty())
                fds[0].events |= POLLOUT;
            if (master_.Valid()) {
                fds[1].fd = master_.Get();
                if (settled_ && toSocket_.size() < MaxHeld)
                    fds[1].events |= POLLIN;
                if (!toMaster_.empty())
                    fds[1].events |= POLLOUT;
            }
        }
        const int timeout = stop_ ? std::max(RemainingMs(drainUntil), 1) : -1;
        lock.unlock();
        const int ready = ::poll(fds, 3, timeout);
        wake_.Drain();
        lock.lock();
        if (ready <= 0)
            continue;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
            PumpSocketIn();
        if (!lost_ && master_.Valid() && (fds[1].revents & POLLIN))
            PumpMasterIn();
        if (!lost_ && (fds[0].revents & POLLNVAL))
            Lost(EIO);
        if (lost_) {
            // Nothing moves any more; wait for the stop without spinning.
            changed_.wait(lock, [&] { return stop_; });
        }
    }
}

} // namespace serialdev::net
