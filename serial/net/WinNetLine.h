// The line of a network port on Windows, kept in memory: the board's
// bytes waiting to be read are the session's ToLine(), what the port
// writes goes to its ToSocket(). Here are the port's transfers on it, with
// their time-outs, and its line events, as the tty device gives them on
// Linux: a transfer starts at once and, when it is not done then, is
// carried on by the device's thread until it is done, its time-out
// (counted from its start) passes, the connection goes or it is aborted;
// received bytes are an event once per arrival.
//
// Plain bookkeeping, no Winsock and no thread of its own: everything is
// called with the session's lock held, by the port's thread (starts,
// settings) and by the device's thread (arrivals, progress).
#pragma once

#include "serial/device/LineSettings.h"
#include "serial/net/NetSession.h"
#include "serial/device/Deadlines.h"

#include <cstdint>
#include <string>
#include <vector>

namespace serialdev {
class Device;
class Transfer;
} // namespace serialdev

namespace serialdev::net {

class WinNetLine {
public:
    // What the board's bytes may fill before the socket is no longer read
    // (the server then waits): a full line holds back, it never overflows.
    static constexpr std::size_t MaxHeld = 64 * 1024;

    // A fresh opening: nothing pending, nothing happened, the default
    // time-outs and queue size.
    void Reset();

    void SetTimeouts(const Timeouts& timeouts) { timeouts_ = timeouts; }
    void SetInputSize(std::int32_t size) { inputSize_ = size; }
    // What is done here of the settings: NUL bytes dropped, bytes refused
    // while DSR is off, the event character.
    void Configure(bool discardNull, bool dsrSensitive, char eventChar);

    // Transfers. `owner` is the device the record is pending on. Returns 0
    // (the transfer then ended at once, with `immediate` bytes, or is
    // pending) or an error code, and then nothing was started.
    int StartRead(NetSession& session, Transfer& transfer, Device* owner, char* destination, std::int32_t count,
                  std::int32_t& immediate);
    int StartWrite(NetSession& session, Transfer& transfer, Device* owner, const char* source, std::int32_t count,
                   std::int32_t& immediate);
    // Moves every pending transfer as far as it goes and ends those that
    // are done or whose time has come. True when one ended or moved.
    bool Progress(NetSession& session, Clock::time_point now);
    // How long the device's thread may wait before a pending transfer's
    // time is up, in ms (-1: none is waiting for time).
    int TimeoutMs(Clock::time_point now) const;
    // Ends every pending transfer with `error`.
    void EndAll(int error);
    bool Pending() const { return !pending_.empty(); }
    // Drops a pending transfer whose record goes away, without ending it.
    void Forget(const Transfer& transfer);

    // The board's bytes from `from` on in ToLine() have just arrived:
    // drops what the settings drop, and records the arrival's events.
    // `modemBits` are the server's modem lines (for DSR sensitivity).
    void Arrived(NetSession& session, std::size_t from, bool hasModemLines, unsigned modemBits);
    // The server told its modem lines or its line errors: records what
    // changed as events and error flags.
    void Noticed(unsigned modemBits, const LineCounts& counts);
    // The output has gone to the socket: a write's drain is an event.
    void CheckDrained(const NetSession& session);
    // The input was purged.
    void InputPurged() { wasNearlyFull_ = false; }

    // Line events: the mask, and what happened of it since the last call.
    void SetMask(std::uint32_t mask) { mask_ = mask; }
    std::uint32_t Mask() const { return mask_; }
    std::uint32_t TakeEvents();
    bool HasEvents() const { return (happened_ & mask_) != 0; }
    // The error flags (ErrorFlag) gathered since the last call.
    std::uint32_t TakeErrors();

private:
    struct Carried {
        Transfer* transfer;
        bool write;
        char* readTo;
        const char* writeFrom;
        std::int32_t count;
        std::int32_t done;
        Deadlines deadlines;
        Clock::time_point lastByte;
    };

    // Takes what ToLine() holds into a read.
    void ReadSome(NetSession& session, Carried& p, Clock::time_point now);
    // Hands what fits of a write to ToSocket().
    void WriteSome(NetSession& session, Carried& p);
    void InputTaken(const NetSession& session);
    bool NearlyFull(std::size_t queued) const;

    Timeouts timeouts_{};
    std::int32_t inputSize_ = 1024;
    bool discardNull_ = false;
    bool dsrSensitive_ = false;
    char eventChar_ = 0;
    std::vector<Carried> pending_; // in start order

    std::uint32_t mask_ = 0;
    std::uint32_t happened_ = 0;   // EventBit bits not yet taken
    bool txPending_ = false;       // a write began and has not drained
    bool wasNearlyFull_ = false;   // the input reached 80 %
    bool modemKnown_ = false;
    unsigned lastModem_ = 0;
    LineCounts lastCounts_{};
    std::uint32_t errors_ = 0;     // ErrorFlag bits not yet taken
};

} // namespace serialdev::net
