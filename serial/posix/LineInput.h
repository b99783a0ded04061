// What the device holds of the received bytes: input resolved by the
// filter but not yet asked for (what a pending parity mark left over, and
// what the event wait took in to look for the event character), and the
// reads that take it before anything new from the tty. One lock guards it,
// since the owner's reads and the event thread both take bytes in.
#pragma once

#include "serial/posix/InputFilter.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace serialdev {

class LineStatus;

class LineInput {
public:
    // How received bytes are resolved, and which one the event wait looks for.
    void Configure(bool markErrors, bool replaceErrors, char errorChar, bool discardNull, char eventChar);
    // While the event character is watched, a read that takes bytes
    // straight from the tty looks at them too (the event wait never saw
    // them) and tells whether it is among them.
    void WatchEventChar(bool watch) { watchEventChar_ = watch; }
    // DSR sensitivity: while `status` tells that DSR is off, bytes taken
    // from the tty are dropped. DSR is judged as they are taken, and only a
    // line with modem lines can tell it off. nullptr takes every byte.
    void SetDsrGate(LineStatus* status) { dsrGate_ = status; }
    // When the line refuses input now, drops what the tty holds and says so.
    bool DropRefused(int fd);
    // Back to a freshly opened line: nothing held, nothing filtered, no gate.
    void Reset();
    // Drops everything held (a purge of the input queue).
    void Clear();

    // Bytes held here (resolved ones and the start of an unfinished mark).
    std::int32_t Held() const;
    // Bytes waiting in the tty plus those held here, in `count`. Returns 0
    // or the errno value of asking the tty; `count` then holds what is held
    // here. A line that hung up has nothing more in the tty, but what is
    // held can still be read: that is no failure.
    int Queued(int fd, std::int32_t& count) const;
    // The event wait took in all the tty had for the arrival it reports:
    // asked next, Queued counts what is held without asking the tty. Bytes
    // that reached the tty since are a new arrival, which the next wait
    // reports with its own count.
    void TookInAll(bool all) { tookInAll_ = all; }

    // Reads into destination[done, count): the held bytes first, then what
    // the tty has, without blocking. Advances `done`; sets `eventChar` when
    // the watched event character came straight from the tty. Returns 0, or
    // the errno value of a failed read that delivered nothing (EIO once the
    // line has hung up and what it held is read).
    int Read(int fd, char* destination, std::int32_t count, std::int32_t& done, bool& eventChar);

    // Takes what the tty has received into the held bytes, up to `limit`
    // held, and tells whether the event character was among it. `emptied`
    // tells that the tty had nothing more to give.
    bool TakeIn(int fd, std::size_t limit, bool& emptied);

private:
    bool Refused() const;

    mutable std::mutex mutex_;
    InputFilter filter_;
    std::string backlog_;
    char eventChar_ = 0;
    std::atomic<bool> watchEventChar_ = false;
    std::atomic<LineStatus*> dsrGate_ = nullptr;
    mutable std::atomic<bool> tookInAll_ = false;
};

} // namespace serialdev
