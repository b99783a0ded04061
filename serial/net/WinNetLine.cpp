// Transfers and line events of a network port's line on Windows.
#include "serial/net/WinNetLine.h"

#include "serial/device/OsError.h"
#include "serial/win32/Transfer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace serialdev::net {

void WinNetLine::Reset()
{
    timeouts_ = Timeouts{};
    inputSize_ = 1024;
    discardNull_ = dsrSensitive_ = false;
    eventChar_ = 0;
    pending_.clear();
    mask_ = 0;
    happened_ = 0;
    txPending_ = wasNearlyFull_ = false;
    lastModem_ = 0;
    lastCounts_ = {};
    errors_ = 0;
}

void WinNetLine::Configure(bool discardNull, bool dsrSensitive, char eventChar)
{
    discardNull_ = discardNull;
    dsrSensitive_ = dsrSensitive;
    eventChar_ = eventChar;
}

bool WinNetLine::NearlyFull(std::size_t queued) const
{
    const std::int64_t size = inputSize_;
    return size > 0 && std::int64_t(queued) * 10 >= size * 8;
}

void WinNetLine::InputTaken(const NetSession& session)
{
    // Reading below the 80 % mark lets the next crossing be an event.
    if (wasNearlyFull_ && !NearlyFull(session.ToLine().size()))
        wasNearlyFull_ = false;
}

void WinNetLine::ReadSome(NetSession& session, Carried& p, Clock::time_point now)
{
    std::string& line = session.ToLine();
    const auto n = std::min<std::size_t>(line.size(), static_cast<std::size_t>(p.count - p.done));
    if (n == 0)
        return;
    std::memcpy(p.readTo + p.done, line.data(), n);
    line.erase(0, n);
    p.done += static_cast<std::int32_t>(n);
    p.lastByte = now;
    InputTaken(session);
}

void WinNetLine::WriteSome(NetSession& session, Carried& p)
{
    const std::size_t held = session.ToSocket().size();
    const std::size_t room = held < MaxHeld ? MaxHeld - held : 0;
    const auto n = std::min<std::size_t>(room, static_cast<std::size_t>(p.count - p.done));
    if (n == 0)
        return;
    session.Written(std::string_view(p.writeFrom + p.done, n));
    p.done += static_cast<std::int32_t>(n);
}

int WinNetLine::StartRead(NetSession& session, Transfer& transfer, Device* owner, char* destination,
                          std::int32_t count, std::int32_t& immediate)
{
    immediate = 0;
    if (count < 0 || (count > 0 && !destination))
        return OsErrorCode(OsErrorKind::InvalidArgument);
    if (!transfer.Completed())
        return OsErrorCode(OsErrorKind::InUse); // still pending: its buffer is in use
    if (session.Lost())
        return OsErrorCode(OsErrorKind::LineLost);
    transfer.Begin(owner, false, count);
    const auto now = Clock::now();
    Carried p{&transfer, false, destination, nullptr, count, 0, ReadDeadlines(timeouts_, count, now), now};
    ReadSome(session, p, now);
    if (p.deadlines.returnAtOnce || ReadSatisfied(p.deadlines, p.done, p.count, p.lastByte, now)) {
        transfer.Finish(0, p.done);
        immediate = p.done;
        return 0;
    }
    pending_.push_back(p);
    return 0;
}

int WinNetLine::StartWrite(NetSession& session, Transfer& transfer, Device* owner, const char* source,
                           std::int32_t count, std::int32_t& immediate)
{
    immediate = 0;
    if (count < 0 || (count > 0 && !source))
        return OsErrorCode(OsErrorKind::InvalidArgument);
    if (!transfer.Completed())
        return OsErrorCode(OsErrorKind::InUse);
    if (session.Lost())
        return OsErrorCode(OsErrorKind::LineLost);
    transfer.Begin(owner, true, count);
    const auto now = Clock::now();
    Carried p{&transfer, true, nullptr, source, count, 0, WriteDeadlines(timeouts_, count, now), now};
    WriteSome(session, p);
    // Even a write that is done at once drains later: its drain is an event.
    txPending_ = true;
    if (p.done == p.count) {
        transfer.Finish(0, p.done);
        immediate = p.done;
        return 0;
    }
    pending_.push_back(p);
    return 0;
}

bool WinNetLine::Progress(NetSession& session, Clock::time_point now)
{
    bool moved = false;
    for (auto it = pending_.begin(); it != pending_.end();) {
        Carried& p = *it;
        const std::int32_t before = p.done;
        if (p.write)
            WriteSome(session, p);
        else
            ReadSome(session, p, now);
        moved = moved || p.done != before;
        const bool ended = p.write ? WriteEnded(p.deadlines, p.done, p.count, now)
                                   : ReadSatisfied(p.deadlines, p.done, p.count, p.lastByte, now);
        if (ended) {
            // A time-out ends a transfer with what it moved, and no error.
            p.transfer->Finish(0, p.done);
            it = pending_.erase(it);
            moved = true;
        } else {
            ++it;
        }
    }
    return moved;
}

int WinNetLine::TimeoutMs(Clock::time_point now) const
{
    int timeout = -1;
    for (const Carried& p : pending_)
        timeout = MinTimeout(timeout, PollTimeoutMs(p.deadlines, p.write, p.done, p.lastByte, now));
    return timeout;
}

void WinNetLine::Forget(const Transfer& transfer)
{
    std::erase_if(pending_, [&](const Carried& p) { return p.transfer == &transfer; });
}

void WinNetLine::EndAll(int error)
{
    for (Carried& p : pending_)
        p.transfer->Finish(error, p.done);
    pending_.clear();
}

void WinNetLine::Arrived(NetSession& session, std::size_t from, bool hasModemLines, unsigned modemBits)
{
    std::string& line = session.ToLine();
    if (from >= line.size())
        return;
    // Bytes a line refuses (DSR off where it matters) never arrived.
    if (dsrSensitive_ && hasModemLines && !(modemBits & ModemState::Dsr)) {
        line.erase(from);
        return;
    }
    if (discardNull_)
        line.erase(std::remove(line.begin() + static_cast<std::ptrdiff_t>(from), line.end(), '\0'), line.end());
    if (from >= line.size())
        return;
    // One event per arrival, however many bytes it brought and whatever
    // still sits unread.
    happened_ |= EventBit::RxChar;
    if ((mask_ & EventBit::RxFlag) && line.find(eventChar_, from) != std::string::npos)
        happened_ |= EventBit::RxFlag;
    if (NearlyFull(line.size()) && !wasNearlyFull_) {
        wasNearlyFull_ = true;
        happened_ |= EventBit::Rx80Full;
    }
}

void WinNetLine::Noticed(unsigned modemBits, const LineCounts& counts)
{
    // RFC 2217's modem-state bits 4 to 7 are the ModemBit bits.
    const unsigned now = modemBits & (ModemBit::CTS | ModemBit::DSR | ModemBit::Ring | ModemBit::RLSD);
    const unsigned changed = now ^ lastModem_;
    std::uint32_t events = 0;
    if (changed & ModemBit::CTS) events |= EventBit::CTS;
    if (changed & ModemBit::DSR) events |= EventBit::DSR;
    if (changed & ModemBit::RLSD) events |= EventBit::RLSD;
    // A ring is reported as it starts, not as it ends.
    if ((changed & now) & ModemBit::Ring) events |= EventBit::Ring;
    lastModem_ = now;

    std::uint32_t errors = 0;
    if (counts.framing != lastCounts_.framing) errors |= ErrorFlag::Frame;
    if (counts.overrun != lastCounts_.overrun) errors |= ErrorFlag::Overrun;
    if (counts.parity != lastCounts_.parity) errors |= ErrorFlag::RxParity;
    if (counts.breaks != lastCounts_.breaks) errors |= ErrorFlag::Break;
    lastCounts_ = counts;
    errors_ |= errors;
    // A break is an event of its own; the other steps are line errors.
    if (errors & ErrorFlag::Break) events |= EventBit::Break;
    if (errors & ~ErrorFlag::Break) events |= EventBit::Err;
    // Changes nobody asked for are dropped, as a device drops them.
    happened_ |= events & mask_;
}

void WinNetLine::CheckDrained(const NetSession& session)
{
    if (!txPending_ || !(mask_ & EventBit::TxEmpty))
        return;
    const bool writing = std::any_of(pending_.begin(), pending_.end(), [](const Carried& p) { return p.write; });
    if (!writing && session.ToSocket().empty()) {
        txPending_ = false;
        happened_ |= EventBit::TxEmpty;
    }
}

std::uint32_t WinNetLine::TakeEvents()
{
    const std::uint32_t events = happened_ & mask_;
    happened_ = 0;
    return events;
}

std::uint32_t WinNetLine::TakeErrors()
{
    return std::exchange(errors_, 0u);
}

} // namespace serialdev::net
