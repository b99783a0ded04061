#include "serial/ComThread.h"

#include "framework/ErrorDisplay.h"
#include "serial/ComPort.h"
#include "serial/posix/SerialDevice.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Shows a handler's failure on the main thread without waiting for it: the
// loop is ending and must not be held up by a message box.
void ShowOnMainThread(std::exception_ptr error)
{
    const std::string message = ExceptionMessage(error);
    TSyncThread::Post([message] { ShowErrorMessage(message); });
}

} // namespace

TComThread::TComThread(TCustomComPort* port)
    : port_(port), stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

TComThread::~TComThread()
{
    if (stopFd_ >= 0)
        ::close(stopFd_);
}

void TComThread::Stop()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
}

void TComThread::Execute()
{
    serialdev::SerialDevice& device = *port_->device_;
    for (;;) {
        std::uint32_t mask = 0;
        if (device.WaitEvent(mask, stopFd_) != 0)
            break; // stopped, or the line failed
        events_ = MaskToEvents(mask);
        if (events_.Empty())
            continue;
        try {
            Dispatch();
        } catch (...) {
            // A handler failed: delivery ends until the port is reopened,
            // and the failure is shown instead of silently stopping reception.
            ShowOnMainThread(std::current_exception());
            break;
        }
    }
    device.SetEventMask(0);
    device.Purge(true, true);
}

void TComThread::Dispatch()
{
    TCustomComPort* port = port_;
    const TComEvents batch = events_;
    switch (port->SyncMethod()) {
    case smThreadSync:
        Synchronize([port, batch] { port->HandleEvents(batch); });
        break;
    case smWindowSync:
        // One notification per event; each releases this thread before its
        // handler runs, and the handler runs only while the port is open.
        for (TComEvent event : EventHandlingOrder) {
            if (!batch.Contains(event))
                continue;
            Notify([port, event] {
                if (port->Connected())
                    port->HandleEvents(TComEvents{event});
            });
        }
        break;
    case smNone:
        port->HandleEvents(batch);
        break;
    }
}
