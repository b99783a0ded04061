// The session on a connection to a serial server: requests, answers,
// greeting and notices.
#include "serial/net/NetSession.h"

#include "serial/device/OsError.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace serialdev::net {

namespace {

using Clock = std::chrono::steady_clock;

// The line events the server is asked to tell (RFC 2217 line-state bits):
// break, framing, parity and overrun errors.
constexpr unsigned char LineStateMask = 16 | 8 | 4 | 2;
// All modem lines and their change bits.
constexpr unsigned char ModemStateMask = 0xFF;

// SET-CONTROL values.
constexpr unsigned char ControlDtrOn = 8, ControlDtrOff = 9, ControlRtsOn = 11, ControlRtsOff = 12;

std::string BigEndian32(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

} // namespace

NetSession::NetSession(std::function<void()> wake) : wake_(std::move(wake)) {}

void NetSession::Expect(const NetName& name)
{
    std::lock_guard lock(mutex_);
    name_ = name;
}

bool NetSession::Rfc2217()
{
    std::lock_guard lock(mutex_);
    return name_.rfc2217;
}

int NetSession::GoneError() const
{
    return lostError_ ? lostError_ : OsErrorCode(OsErrorKind::LineLost);
}

void NetSession::Begin()
{
    std::lock_guard lock(mutex_);
    telnet_ = TelnetSession{};
    stop_ = lost_ = settled_ = silent_ = false;
    lostError_ = 0;
    preamble_.clear();
    toSocket_.clear();
    toLine_.clear();
    awaited_.clear();
    nextSeq_ = 1;
    doneSeq_ = 0;
    settleSeq_ = 0;
    modem_ = 0;
    counts_ = {};
    outputs_ = -1;
    if (!name_.rfc2217) {
        settled_ = true;
        return;
    }
    // What the server sends before it has answered our first query is its
    // greeting, not the board's output. The Telnet layer is told to pass
    // everything on: the session decides here.
    telnet_.Settle();
    toSocket_ = telnet_.Start();
    QueueRequest(ComPortCode::SetLineStateMask, std::string(1, char(LineStateMask)), true);
    QueueRequest(ComPortCode::SetModemStateMask, std::string(1, char(ModemStateMask)), true);
    settleSeq_ = QueueBarrier();
}

int NetSession::AwaitSettled(std::string& serverText)
{
    serverText.clear();
    std::unique_lock lock(mutex_);
    if (!name_.rfc2217)
        return 0;
    const int error = AwaitAnswers(lock, settleSeq_);
    if (!error) {
        // Settled by the answer, or by giving up on a server that answers
        // nothing.
        settled_ = true;
        preamble_.clear();
        wake_();
        return 0;
    }
    // The server went before the negotiation ended: what it said is why.
    std::string text = preamble_;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const std::size_t lineStart = text.find_last_of("\r\n");
    serverText = lineStart == std::string::npos ? text : text.substr(lineStart + 1);
    if (serverText.find("in use") != std::string::npos)
        return OsErrorCode(OsErrorKind::InUse);
    return error;
}

void NetSession::QueueRequest(unsigned char code, std::string_view value, bool await)
{
    toSocket_ += TelnetSession::ComPortRequest(code, value);
    if (await)
        awaited_.push_back({nextSeq_++, static_cast<unsigned char>(code + ComPortCode::ServerOffset)});
}

std::uint64_t NetSession::QueueBarrier()
{
    // A query of the data size changes nothing; the server answers it after
    // everything sent before it, so its answer ends the wait for those too.
    QueueRequest(ComPortCode::SetDataSize, std::string(1, '\0'), true);
    return nextSeq_ - 1;
}

int NetSession::AwaitAnswers(std::unique_lock<std::mutex>& lock, std::uint64_t seq)
{
    if (lost_)
        return GoneError();
    if (silent_)
        return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(name_.timeoutMs);
    const std::uint64_t answersBefore = answers_;
    const bool answered = changed_.wait_until(lock, deadline, [&] { return doneSeq_ >= seq || lost_ || stop_; });
    if (lost_)
        return GoneError();
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

int NetSession::Exchange(std::unique_lock<std::mutex>& lock)
{
    if (lost_)
        return GoneError();
    const std::uint64_t seq = QueueBarrier();
    wake_();
    return AwaitAnswers(lock, seq);
}

int NetSession::ApplySettings(const RemoteSettings& s)
{
    std::unique_lock lock(mutex_);
    if (lost_)
        return OsErrorCode(OsErrorKind::LineLost);
    if (!name_.rfc2217)
        return 0;
    QueueRequest(ComPortCode::SetBaudRate, BigEndian32(s.baudRate), true);
    QueueRequest(ComPortCode::SetDataSize, std::string(1, char(s.dataSize)), true);
    QueueRequest(ComPortCode::SetParity, std::string(1, char(s.parity)), true);
    QueueRequest(ComPortCode::SetStopSize, std::string(1, char(s.stopSize)), true);
    const bool awaitControl = !name_.ignoreSetControl;
    QueueRequest(ComPortCode::SetControl, std::string(1, char(s.control)), awaitControl);
    QueueRequest(ComPortCode::SetControl, std::string(1, char(s.dtr ? ControlDtrOn : ControlDtrOff)), awaitControl);
    QueueRequest(ComPortCode::SetControl, std::string(1, char(s.rts ? ControlRtsOn : ControlRtsOff)), awaitControl);
    outputs_ = (s.dtr ? OutputLine::Dtr : 0) | (s.rts ? OutputLine::Rts : 0);
    return Exchange(lock);
}

int NetSession::Purge(bool input, bool output)
{
    std::unique_lock lock(mutex_);
    if (lost_)
        return OsErrorCode(OsErrorKind::LineLost);
    int error = 0;
    if (name_.rfc2217 && (input || output)) {
        // What is already encoded for the socket may hold requests; the
        // board's bytes in it are few and already on their way.
        QueueRequest(ComPortCode::PurgeData, std::string(1, char(input && output ? 3 : input ? 1 : 2)), true);
        error = Exchange(lock);
    }
    // Held here until now: sent before the server purged.
    if (input)
        toLine_.clear();
    return error;
}

int NetSession::ChangeOutputs(unsigned lines, bool raise)
{
    std::unique_lock lock(mutex_);
    if (!name_.rfc2217)
        return 0;
    if (lost_)
        return OsErrorCode(OsErrorKind::LineLost);
    const unsigned before = outputs_ < 0 ? 0u : static_cast<unsigned>(outputs_);
    const unsigned after = raise ? (before | lines) : (before & ~lines);
    if (static_cast<int>(after) == outputs_)
        return 0; // already so: the server has been told
    const bool await = !name_.ignoreSetControl;
    if (((after ^ before) & OutputLine::Dtr) || outputs_ < 0)
        QueueRequest(ComPortCode::SetControl,
                     std::string(1, char(after & OutputLine::Dtr ? ControlDtrOn : ControlDtrOff)), await);
    if (((after ^ before) & OutputLine::Rts) || outputs_ < 0)
        QueueRequest(ComPortCode::SetControl,
                     std::string(1, char(after & OutputLine::Rts ? ControlRtsOn : ControlRtsOff)), await);
    outputs_ = static_cast<int>(after);
    return Exchange(lock);
}

unsigned NetSession::ModemBits()
{
    std::lock_guard lock(mutex_);
    return modem_;
}

LineCounts NetSession::Counts()
{
    std::lock_guard lock(mutex_);
    return counts_;
}

int NetSession::Outputs()
{
    std::lock_guard lock(mutex_);
    return outputs_;
}

void NetSession::Stop()
{
    std::lock_guard lock(mutex_);
    stop_ = true;
    changed_.notify_all();
}

void NetSession::AwaitStop(std::unique_lock<std::mutex>& lock)
{
    changed_.wait(lock, [&] { return stop_; });
}

void NetSession::Take(const ComPortMessage& message)
{
    switch (message.code) {
    case ComPortCode::ServerOffset + ComPortCode::NotifyModemState:
        if (!message.value.empty()) {
            modem_ = static_cast<unsigned char>(message.value[0]);
            ++notices_;
        }
        return;
    case ComPortCode::ServerOffset + ComPortCode::NotifyLineState:
        if (!message.value.empty()) {
            const auto bits = static_cast<unsigned char>(message.value[0]);
            counts_.breaks += (bits & 16) ? 1 : 0;
            counts_.framing += (bits & 8) ? 1 : 0;
            counts_.parity += (bits & 4) ? 1 : 0;
            counts_.overrun += (bits & 2) ? 1 : 0;
            ++notices_;
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

void NetSession::Received(std::string_view bytes)
{
    if (!name_.rfc2217) {
        toLine_ += bytes;
        return;
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
    toLine_ += data;
}

void NetSession::Written(std::string_view bytes)
{
    if (name_.rfc2217)
        TelnetSession::EncodeData(bytes, toSocket_);
    else
        toSocket_ += bytes;
}

void NetSession::Lose(int error)
{
    if (lost_)
        return;
    lost_ = true;
    lostError_ = error ? error : OsErrorCode(OsErrorKind::LineLost);
    toLine_.clear();
    changed_.notify_all();
}

} // namespace serialdev::net
