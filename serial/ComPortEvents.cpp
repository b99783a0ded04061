// The port's line events: starting and stopping the event thread, and
// handling a batch of events in their fixed order.
#include "serial/ComPort.h"

#include "framework/ErrorDisplay.h"
#include "serial/ComDeviceMapping.h"
#include "serial/ComThread.h"
#include "serial/posix/SerialDevice.h"

#include <QTimer>

#include <vector>

void TCustomComPort::StartEventThread()
{
    JoinRetiredThreads();
    if (events_.Empty())
        return;
    auto thread = std::make_unique<TComThread>(
        *device_, syncMethod_, [this](TComEvents events) { HandleEvents(events); },
        [this] { return Connected(); },
        [this, opening = opening_.load()](int) { ScheduleDeviceLost(opening); });
    if (const int error = device_->SetEventMask(EventsToMask(events_)))
        throw EComPort(CError_OpenFailed, error);
    if (!thread->CanStop())
        throw EComPort(CError_OpenFailed, thread->StopEventError());
    // Kept before it starts: under smNone a handler on the new thread may
    // close the port, and the close looks at the thread.
    thread_ = std::move(thread);
    try {
        thread_->Start(eventWaiterPriority_);
    } catch (...) {
        thread_.reset();
        throw;
    }
}

void TCustomComPort::StopEventThread()
{
    if (!thread_)
        return;
    thread_->Stop();
    if (thread_->DeliveringOnCallingThread()) {
        // Closed from inside one of the thread's own handlers: waiting for
        // the thread here would wait for this very handler. The thread ends
        // as soon as the handler returns, touching the device no more, and
        // is joined at the next opening or when the port goes.
        retiredThreads_.push_back(std::move(thread_));
        return;
    }
    // Give the event thread the processor to see the stop and leave its
    // wait: on a single CPU the main thread would otherwise go on to block
    // in WaitFor first and be woken once more for nothing.
    QThread::yieldCurrentThread();
    thread_->WaitFor();
    thread_.reset();
}

void TCustomComPort::JoinRetiredThreads()
{
    for (auto it = retiredThreads_.begin(); it != retiredThreads_.end();) {
        if ((*it)->DeliveringOnCallingThread()) {
            ++it;
            continue;
        }
        (*it)->WaitFor();
        it = retiredThreads_.erase(it);
    }
}

void TCustomComPort::HandleEvents(TComEvents events)
{
    for (TComEvent event : EventHandlingOrder) {
        if (!events.Contains(event))
            continue;
        switch (event) {
        case evError: {
            const TComErrors errors = TakeLineErrors();
            if (!errors.Empty())
                DoError(errors);
            break;
        }
        case evRxChar:
            HandleReceive();
            break;
        case evTxEmpty:
            ForEachLink([this](TComLink& l) { if (l.OnTransmitActivity) l.OnTransmitActivity(this, false); });
            ForEachLink([this](TComLink& l) { if (l.OnTransmitEmpty) l.OnTransmitEmpty(this); });
            DoTxEmpty();
            break;
        case evBreak:
            DoBreak();
            break;
        case evRing:
            ForEachLink([this](TComLink& l) { if (l.OnRingSignal) l.OnRingSignal(this); });
            DoRing();
            break;
        case evCTS:
            SignalChanged(msCTS);
            break;
        case evDSR:
            SignalChanged(msDSR);
            break;
        case evRxFlag:
            ForEachLink([this](TComLink& l) { if (l.OnFlagCharacter) l.OnFlagCharacter(this); });
            DoRxFlag();
            break;
        case evRLSD:
            SignalChanged(msRLSD);
            break;
        case evRx80Full:
            DoRx80Full();
            break;
        }
    }
}

void TCustomComPort::HandleReceive()
{
    std::int32_t count = PendingInputCount();
    if (count > 0)
        ForEachLink([this](TComLink& l) { if (l.OnReceiveActivity) l.OnReceiveActivity(this, true); });
    if (count > 0 && (!reportRxChar_ || dataLink_)) {
        std::vector<char> buffer;
        bool read = false;
        std::int32_t got = 0;
        auto readOnce = [&] {
            buffer.resize(static_cast<std::size_t>(count));
            // Hand on only what was actually read: never bytes the read did
            // not fill.
            got = ReadBuffer(buffer.data(), count);
            read = true;
            DoRxBuf(buffer.data(), got);
        };
        ForEachLink([&](TComLink& l) {
            if (!l.OnReceivedData)
                return;
            if (!read)
                readOnce();
            l.OnReceivedData(this, buffer.data(), got);
        });
        if (!read && !reportRxChar_)
            readOnce();
        if (read)
            count = 0;
    }
    if (count > 0)
        DoRxChar(count);
}


// ---- the device going away ----------------------------------------------------------

void TCustomComPort::ReportDeviceLost(int error)
{
    if (serialdev::LineGone(error))
        ScheduleDeviceLost(opening_.load());
}

void TCustomComPort::ScheduleDeviceLost(std::uint64_t opening)
{
    // Never told from inside the transfer or delivery that noticed: the
    // owner closes the port in its answer, which a transfer half-way
    // through its failure, or an event thread on its way out, must not
    // have happen under it.
    if (IsMainThread()) {
        QTimer::singleShot(0, this, [this, opening] { GuardedCall([&] { DeliverDeviceLost(opening); }); });
        return;
    }
    TSyncThread::Post([self = self_, opening] {
        if (self)
            self->DeliverDeviceLost(opening);
    });
}

void TCustomComPort::DeliverDeviceLost(std::uint64_t opening)
{
    // The event wait and a failed write may both notice the same loss; and
    // an owner that closed (and perhaps opened again) meanwhile has nothing
    // more to hear about that opening.
    if (!connected_ || closing_ || opening != opening_.load() || opening == lostOpening_)
        return;
    lostOpening_ = opening;
    DoDeviceLost();
}
