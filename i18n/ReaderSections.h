// Lets lookups on any thread read an object that a writer may take out of
// use at any moment, and tells the writer when it may free it.
//
// A reader marks the time it reads with a Section: a couple of atomic
// counter steps, no lock, never a wait. A writer that has replaced the
// object calls WaitForEarlierSections(), which returns once every section
// that could still have seen the old object has ended; sections that begin
// meanwhile count separately (two counters, used in turn) and cannot hold
// it up, however busy the readers are. Writers must be one at a time (the
// caller's lock), and a thread must not wait inside a section of its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

class ReaderSections {
public:
    class Section {
    public:
        explicit Section(ReaderSections& sections) noexcept : sections_(&sections), slot_(sections.Enter()) {}
        ~Section()
        {
            if (sections_ != nullptr)
                sections_->Leave(slot_);
        }
        Section(Section&& other) noexcept : sections_(other.sections_), slot_(other.slot_)
        {
            other.sections_ = nullptr;
        }
        Section(const Section&) = delete;
        Section& operator=(const Section&) = delete;
        Section& operator=(Section&&) = delete;

    private:
        ReaderSections* sections_;
        unsigned slot_;
    };

    void WaitForEarlierSections() noexcept
    {
        // From here on new sections count in the other slot; the ones that
        // could have seen the old object are all in this one.
        std::atomic<int>& earlier = readers_[phase_.fetch_add(1) & 1];
        if (earlier.load() == 0)
            return;
        std::unique_lock lock(waitMutex_);
        writerWaits_.store(true);
        lastLeft_.wait(lock, [&] { return earlier.load() == 0; });
        writerWaits_.store(false);
    }

private:
    unsigned Enter() noexcept
    {
        for (;;) {
            const unsigned phase = phase_.load();
            readers_[phase & 1].fetch_add(1);
            // A writer that switched slots meanwhile may not have seen this
            // reader: count again in the new slot.
            if (phase_.load() == phase)
                return phase & 1;
            Leave(phase & 1);
        }
    }

    void Leave(unsigned slot) noexcept
    {
        if (readers_[slot].fetch_sub(1) == 1 && writerWaits_.load()) {
            // Taking the lock orders this wake-up after the writer's check.
            std::lock_guard lock(waitMutex_);
            lastLeft_.notify_all();
        }
    }

    // Sequentially consistent throughout: a reader's count and a writer's
    // switch of slots must be seen in one order by both.
    std::atomic<unsigned> phase_{0};
    std::atomic<int> readers_[2]{};
    std::atomic<bool> writerWaits_{false};
    std::mutex waitMutex_;
    std::condition_variable lastLeft_;
};
