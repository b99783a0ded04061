// Reads and writes of a device: start, wait, abort.
#include "serial/posix/Transfer.h"

#include "serial/posix/LineInput.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace serialdev {

Transfer::Transfer() = default;

Transfer::~Transfer()
{
    if (owner_)
        owner_->Unregister(*this);
}

Transfers::Transfers(LineInput& input, std::function<void()> inputTaken, std::function<void()> writeStarted)
    : input_(input), inputTaken_(std::move(inputTaken)), writeStarted_(std::move(writeStarted))
{
}

Transfers::~Transfers()
{
    std::lock_guard lock(mutex_);
    for (Transfer* t : pending_)
        t->owner_ = nullptr;
    pending_.clear();
}

int Transfers::Register(Transfer& transfer)
{
    // Most transfers finish when they start; only a pending one needs the
    // event an abort wakes it with.
    if (const int error = transfer.wake_.Open())
        return error;
    std::lock_guard lock(mutex_);
    pending_.insert(&transfer);
    transfer.owner_ = this;
    return 0;
}

void Transfers::Unregister(Transfer& transfer)
{
    std::lock_guard lock(mutex_);
    pending_.erase(&transfer);
    transfer.owner_ = nullptr;
}

bool Transfers::Writing()
{
    std::lock_guard lock(mutex_);
    return std::any_of(pending_.begin(), pending_.end(), [](Transfer* t) { return t->write_; });
}

int Transfers::ReadSome(Transfer& t)
{
    const std::int32_t before = t.done_;
    const int error = input_.Read(fd_, t.readTo_, t.count_, t.done_);
    if (t.done_ > before) {
        t.lastByte_ = Clock::now();
        inputTaken_();
    }
    return error;
}

int Transfers::WriteSome(Transfer& t)
{
    while (t.done_ < t.count_) {
        const ssize_t n = ::write(fd_, t.writeFrom_ + t.done_, static_cast<std::size_t>(t.count_ - t.done_));
        if (n > 0) {
            t.done_ += static_cast<std::int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno == EAGAIN)
            return 0;
        return errno;
    }
    return 0;
}

int Transfers::Begin(Transfer& t, bool write, const void* buffer, std::int32_t count, std::int32_t& immediate)
{
    immediate = 0;
    if (fd_ < 0)
        return EBADF;
    if (count < 0 || (count > 0 && !buffer))
        return EINVAL;
    t.wake_.Drain();
    t.aborted_ = false;
    t.write_ = write;
    t.count_ = count;
    t.done_ = 0;
    t.error_ = 0;
    t.completed_ = false;
    t.deadlines_ = Deadlines{};
    return 0;
}

int Transfers::Finish(Transfer& t, int error, bool complete, std::int32_t& immediate)
{
    if (!error && !complete)
        error = Register(t); // pending: Wait finishes it
    if (error || complete) {
        t.completed_ = true;
        t.error_ = error;
        if (!error)
            immediate = t.done_;
    }
    return error;
}

int Transfers::StartRead(Transfer& t, const Timeouts& timeouts, char* destination, std::int32_t count,
                         std::int32_t& immediate)
{
    if (const int error = Begin(t, false, destination, count, immediate))
        return error;
    t.readTo_ = destination;
    const auto now = Clock::now();
    t.deadlines_ = ReadDeadlines(timeouts, count, now);
    t.lastByte_ = now;
    const int error = ReadSome(t);
    const bool complete = t.deadlines_.returnAtOnce ||
                          ReadSatisfied(t.deadlines_, t.done_, t.count_, t.lastByte_, Clock::now());
    return Finish(t, error, complete, immediate);
}

int Transfers::StartWrite(Transfer& t, const Timeouts& timeouts, const char* source, std::int32_t count,
                          std::int32_t& immediate)
{
    if (const int error = Begin(t, true, source, count, immediate))
        return error;
    t.writeFrom_ = source;
    t.deadlines_ = WriteDeadlines(timeouts, count, Clock::now());
    writeStarted_();
    const int error = WriteSome(t);
    return Finish(t, error, t.done_ == t.count_, immediate);
}

int Transfers::Wait(Transfer& t, std::int32_t& transferred)
{
    while (!t.completed_) {
        const auto now = Clock::now();
        if (t.write_ ? WriteEnded(t.deadlines_, t.done_, t.count_, now)
                     : ReadSatisfied(t.deadlines_, t.done_, t.count_, t.lastByte_, now)) {
            t.completed_ = true;
            break;
        }
        if (fd_ < 0) {
            t.completed_ = true;
            t.error_ = EBADF;
            break;
        }
        pollfd fds[2] = {{fd_, static_cast<short>(t.write_ ? POLLOUT : POLLIN), 0}, {t.wake_.Fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, PollTimeoutMs(t.deadlines_, t.write_, t.done_, t.lastByte_, now));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            t.completed_ = true;
            t.error_ = errno;
            break;
        }
        if (t.aborted_) {
            t.completed_ = true;
            t.error_ = ECANCELED;
            break;
        }
        const short revents = fds[0].revents;
        if (revents == 0)
            continue;
        const std::int32_t before = t.done_;
        int error = t.write_ ? WriteSome(t) : ReadSome(t);
        // A hung-up line keeps reporting itself; once nothing more comes
        // out of it the transfer ends instead of spinning.
        if (!error && (revents & (POLLHUP | POLLERR | POLLNVAL)) && t.done_ == before)
            error = EIO;
        if (error) {
            t.completed_ = true;
            t.error_ = error;
        }
    }
    if (t.owner_)
        Unregister(t);
    transferred = t.done_;
    return t.error_;
}

void Transfers::AbortPending()
{
    std::lock_guard lock(mutex_);
    for (Transfer* t : pending_) {
        t->aborted_ = true;
        t->wake_.Signal();
    }
}

} // namespace serialdev
