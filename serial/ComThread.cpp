// The event thread's loop: wait on the device, hand the batch over.
#include "serial/ComThread.h"

#include "framework/ErrorDisplay.h"
#include "serial/ComDeviceMapping.h"
#include "serial/device/Device.h"

#include <cstdint>

namespace {

// Shows a handler's failure on the main thread without waiting for it: the
// loop is ending and must not be held up by a message box.
void ShowOnMainThread(std::exception_ptr error)
{
    const std::string message = ExceptionMessage(error);
    TSyncThread::Post([message] { ShowErrorMessage(message); });
}

} // namespace

TComThread::TComThread(serialdev::Device& device, TSyncMethod method, THandleEvents handle, TIsOpen isOpen,
                       TLineLost lost)
    : device_(device), method_(method), handle_(std::move(handle)), isOpen_(std::move(isOpen)),
      lost_(std::move(lost))
{
    stopError_ = stop_.Open();
}

TComThread::~TComThread() = default;

void TComThread::Stop()
{
    stopped_ = true;
    stop_.Signal();
}

void TComThread::WaitForOtherDeliveries()
{
    ServeUntil([this] {
        const std::thread::id on = deliveringOn_.load();
        return on == std::thread::id() || on == std::this_thread::get_id();
    });
}

void TComThread::Execute()
{
    // A thread stopped from inside its own delivery may find the device
    // closed, or opened anew for a new thread, once the handler returns.
    int waitError = 0;
    while (!stopped_) {
        std::uint32_t mask = 0;
        waitError = device_.WaitEvent(mask, stop_.Handle());
        if (waitError != 0)
            break; // stopped, or the line failed
        const TComEvents events = MaskToEvents(mask);
        if (events.Empty())
            continue;
        try {
            Dispatch(events);
        } catch (...) {
            // A handler failed: delivery ends until the port is reopened,
            // and the failure is shown instead of silently stopping reception.
            ShowOnMainThread(std::current_exception());
            waitError = 0;
            break;
        }
    }
    if (stopped_)
        return; // the port is closing, and discards the queues itself
    // Ended on its own (a handler failed, the line hung up): nothing is
    // delivered any more, so nothing is kept either.
    device_.SetEventMask(0);
    device_.Purge(true, true);
    // Told last, when this thread touches the device no more: the owner's
    // answer is usually to close the port.
    if (serialdev::LineGone(waitError) && lost_)
        lost_(waitError);
}

void TComThread::Dispatch(TComEvents batch)
{
    switch (method_) {
    case smThreadSync:
        Synchronize([this, batch] { Deliver(batch); });
        break;
    case smWindowSync:
        // One notification per event; each releases this thread before its
        // handler runs, and the handler runs only while the port is open.
        for (TComEvent event : EventHandlingOrder) {
            if (stopped_)
                break; // the port is closing: the rest would only be dropped
            if (!batch.Contains(event))
                continue;
            Notify([handle = handle_, isOpen = isOpen_, event] {
                if (isOpen())
                    handle(TComEvents{event});
            });
        }
        break;
    case smNone:
        Deliver(batch);
        break;
    }
}

void TComThread::Deliver(TComEvents batch)
{
    struct Marker {
        std::atomic<std::thread::id>& on;
        bool wake;
        Marker(std::atomic<std::thread::id>& o, bool w) : on(o), wake(w) { on = std::this_thread::get_id(); }
        ~Marker()
        {
            on = std::thread::id();
            // A close on the main thread may be waiting for this delivery.
            if (wake)
                WakeWaiters();
        }
    } marker(deliveringOn_, method_ == smNone);
    handle_(batch);
}
