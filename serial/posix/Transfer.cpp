// Reads and writes of a device: start, progress on the worker, wait, abort.
#include "serial/posix/Transfer.h"

#include "serial/device/Device.h"

#include "serial/posix/LineInput.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace serialdev {

Transfer::Transfer() = default;

Transfer::~Transfer()
{
    if (Transfers* owner = owner_.load())
        owner->Unregister(*this);
}

Transfers::Transfers(LineInput& input, TransferActivity& activity) : input_(input), activity_(activity)
{
    // Made once: the event thread signals it at any time.
    wakeError_ = wake_.Open();
}

Transfers::~Transfers()
{
    std::unique_lock lock(mutex_);
    CancelAll();
    StopWorker(lock);
}

void Transfers::SetFd(int fd)
{
    std::unique_lock lock(mutex_);
    if (fd < 0) {
        CancelAll();
        StopWorker(lock);
    }
    fd_ = fd;
}

void Transfers::StopWorker(std::unique_lock<std::mutex>& lock)
{
    if (!worker_.joinable())
        return;
    stopWorker_ = true;
    wake_.Signal();
    std::thread worker = std::move(worker_);
    lock.unlock();
    worker.join();
    lock.lock();
    stopWorker_ = false;
}

void Transfers::Unregister(Transfer& transfer)
{
    std::lock_guard lock(mutex_);
    const auto it = std::find(pending_.begin(), pending_.end(), &transfer);
    if (it != pending_.end())
        pending_.erase(it);
    pendingCount_ = pending_.size();
    transfer.owner_ = nullptr;
}

bool Transfers::Writing()
{
    std::lock_guard lock(mutex_);
    return std::any_of(pending_.begin(), pending_.end(), [](Transfer* t) { return t->write_; });
}

void Transfers::Complete(Transfer& t, int error)
{
    t.error_ = error;
    t.owner_ = nullptr;
    t.completed_ = true;
}

int Transfers::ReadSome(Transfer& t)
{
    const std::int32_t before = t.done_;
    bool eventChar = false;
    const int error = input_.Read(fd_, t.readTo_, t.count_, t.done_, eventChar);
    if (t.done_ > before) {
        t.lastByte_ = Clock::now();
        activity_.InputTaken(fd_, eventChar);
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
    if (t.owner_.load())
        return EBUSY; // still pending: its buffer is in use
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
    if (!error && !complete) {
        // Pending: the worker carries it on. Most transfers finish as they
        // start, so the worker and its wake-up event come only now.
        error = wakeError_;
        if (!error && !worker_.joinable()) {
            try {
                worker_ = std::thread([this] { Work(); });
            } catch (const std::system_error& e) {
                error = e.code().value();
            }
        }
        if (!error) {
            t.owner_ = this;
            pending_.push_back(&t);
            pendingCount_ = pending_.size();
            wake_.Signal();
            return 0;
        }
    }
    Complete(t, error);
    if (!error)
        immediate = t.done_;
    return error;
}

int Transfers::StartRead(Transfer& t, const Timeouts& timeouts, char* destination, std::int32_t count,
                         std::int32_t& immediate)
{
    std::lock_guard lock(mutex_);
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
    int result;
    {
        std::lock_guard lock(mutex_);
        if (const int error = Begin(t, true, source, count, immediate))
            return error; // refused: nothing was written, nothing to drain
        t.writeFrom_ = source;
        t.deadlines_ = WriteDeadlines(timeouts, count, Clock::now());
        const int error = WriteSome(t);
        result = Finish(t, error, t.done_ == t.count_, immediate);
    }
    // Told once the lock is let go: the event wait asks whether a write is
    // pending while it holds its own lock. A write that is already done is
    // still told, and its drain is reported once the line is empty.
    activity_.WriteStarted();
    return result;
}

int Transfers::Wait(Transfer& t, std::int32_t& transferred)
{
    std::unique_lock lock(mutex_);
    completed_.wait(lock, [&] { return t.completed_.load(); });
    transferred = t.done_;
    return t.error_;
}

void Transfers::AbortPending()
{
    std::lock_guard lock(mutex_);
    CancelAll();
}

void Transfers::CancelAll()
{
    for (Transfer* t : pending_)
        Complete(*t, ECANCELED);
    pending_.clear();
    pendingCount_ = 0;
    completed_.notify_all();
}

void Transfers::Progress(bool hungUp)
{
    const auto now = Clock::now();
    bool ended = false;
    for (auto it = pending_.begin(); it != pending_.end();) {
        Transfer& t = **it;
        const std::int32_t before = t.done_;
        int error = t.write_ ? WriteSome(t) : ReadSome(t);
        // A hung-up line keeps reporting itself; once nothing more comes
        // out of it the transfer ends instead of spinning.
        if (!error && hungUp && t.done_ == before && t.done_ < t.count_)
            error = EIO;
        const bool done = error != 0 || (t.write_ ? WriteEnded(t.deadlines_, t.done_, t.count_, now)
                                                   : ReadSatisfied(t.deadlines_, t.done_, t.count_, t.lastByte_, now));
        if (done) {
            Complete(t, error);
            it = pending_.erase(it);
            pendingCount_ = pending_.size();
            ended = true;
        } else {
            ++it;
        }
    }
    if (ended)
        completed_.notify_all();
}

void Transfers::Work()
{
    std::unique_lock lock(mutex_);
    bool hungUp = false;
    while (!stopWorker_) {
        Progress(hungUp);
        const auto now = Clock::now();
        short events = 0;
        int timeout = -1;
        for (const Transfer* t : pending_) {
            events |= t->write_ ? POLLOUT : POLLIN;
            timeout = MinTimeout(timeout, PollTimeoutMs(t->deadlines_, t->write_, t->done_, t->lastByte_, now));
        }
        pollfd fds[2] = {{events ? fd_ : -1, events, 0}, {wake_.Fd(), POLLIN, 0}};
        lock.unlock();
        const int ready = ::poll(fds, 2, timeout);
        wake_.Drain();
        lock.lock();
        hungUp = ready > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
}

} // namespace serialdev

namespace serialdev {

void TransferDelete::operator()(Transfer* transfer) const
{
    delete transfer;
}

TransferPtr NewTransfer()
{
    return TransferPtr(new Transfer);
}

} // namespace serialdev
