// The port's line events: starting and stopping the event thread, and
// handling a batch of events in their fixed order.
#include "serial/ComPort.h"

#include "framework/ErrorDisplay.h"
#include "serial/ComDeviceMapping.h"
#include "serial/ComThread.h"
#include "serial/device/Device.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

#include <vector>

void TCustomComPort::StartEventThread()
{
    if (events_.Empty())
        return;
    const std::uint64_t opening = opening_.load();
    auto thread = std::make_unique<TComThread>(
        *device_, syncMethod_, [this, opening](TComEvents events) { HandleBatch(events, opening); },
        [self = self_, opening] { return self && self->DeliveryOpen(opening); },
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
        // the thread here would wait for this very handler, and under
        // smNone this is that thread. It ends as soon as the handler
        // returns, touching neither the device nor the port any more, and
        // the main thread's event loop joins it then, even when the port is
        // gone by that time.
        TSyncThread::Retire(std::move(thread_));
        return;
    }
    // Give the event thread the processor to see the stop and leave its
    // wait: on a single CPU the main thread would otherwise go on to block
    // in WaitFor first and be woken once more for nothing.
    QThread::yieldCurrentThread();
    thread_->WaitFor();
    thread_.reset();
}

void TCustomComPort::HandleEvents(TComEvents events)
{
    HandleBatch(events, opening_.load());
}

template <class Open, class Notify>
void TCustomComPort::ForEachLinkWhile(const Open& open, Notify notify)
{
    const std::vector<TComLink*> snapshot = links_;
    for (TComLink* link : snapshot) {
        if (!open())
            return;
        if (std::find(links_.begin(), links_.end(), link) != links_.end())
            notify(*link);
    }
}

template <class Open>
void TCustomComPort::SignalChangedWhile(TModemSignal signal, const Open& open)
{
    const bool on = ModemSignals().Contains(signal);
    TComLinkSignalSlot TComLink::*slot = signal == msCTS ? &TComLink::OnCTSSignal
                                         : signal == msDSR ? &TComLink::OnDSRSignal
                                                           : &TComLink::OnRLSDSignal;
    ForEachLinkWhile(open, [&](TComLink& l) { if (l.*slot) (l.*slot)(this, on); });
    if (!open())
        return;
    switch (signal) {
    case msCTS: DoCTSChange(on); break;
    case msDSR: DoDSRChange(on); break;
    case msRLSD: DoRLSDChange(on); break;
    case msRing: break;
    }
}

void TCustomComPort::HandleBatch(TComEvents events, std::uint64_t opening)
{
    // Any handler or link may close the port, open it anew or delete it.
    // After each, the batch goes on only while its opening is still open,
    // and nothing of a deleted port is touched (the pointer goes null
    // before the delete returns).
    const QPointer<TCustomComPort> self(this);
    const auto open = [&] { return self && DeliveryOpen(opening); };
    for (TComEvent event : EventHandlingOrder) {
        if (!events.Contains(event))
            continue;
        if (!open())
            return;
        switch (event) {
        case evError: {
            const TComErrors errors = TakeLineErrors();
            if (!errors.Empty() && open())
                DoError(errors);
            break;
        }
        case evRxChar:
            HandleReceive(open);
            break;
        case evTxEmpty:
            ForEachLinkWhile(open, [this](TComLink& l) { if (l.OnTransmitActivity) l.OnTransmitActivity(this, false); });
            ForEachLinkWhile(open, [this](TComLink& l) { if (l.OnTransmitEmpty) l.OnTransmitEmpty(this); });
            if (open())
                DoTxEmpty();
            break;
        case evBreak:
            DoBreak();
            break;
        case evRing:
            ForEachLinkWhile(open, [this](TComLink& l) { if (l.OnRingSignal) l.OnRingSignal(this); });
            if (open())
                DoRing();
            break;
        case evCTS:
            SignalChangedWhile(msCTS, open);
            break;
        case evDSR:
            SignalChangedWhile(msDSR, open);
            break;
        case evRxFlag:
            ForEachLinkWhile(open, [this](TComLink& l) { if (l.OnFlagCharacter) l.OnFlagCharacter(this); });
            if (open())
                DoRxFlag();
            break;
        case evRLSD:
            SignalChangedWhile(msRLSD, open);
            break;
        case evRx80Full:
            DoRx80Full();
            break;
        }
    }
}

template <class Open>
void TCustomComPort::HandleReceive(const Open& open)
{
    std::int32_t count = PendingInputCount();
    if (count > 0)
        ForEachLinkWhile(open, [this](TComLink& l) { if (l.OnReceiveActivity) l.OnReceiveActivity(this, true); });
    if (!open())
        return;
    if (count > 0 && (!reportRxChar_ || dataLink_)) {
        // The buffer is the batch's, not the port's: a handler that deletes
        // the port leaves the later links a valid buffer to be skipped with.
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
        ForEachLinkWhile(open, [&](TComLink& l) {
            if (!l.OnReceivedData)
                return;
            if (!read)
                readOnce();
            if (open())
                l.OnReceivedData(this, buffer.data(), got);
        });
        if (!open())
            return;
        if (!read && !reportRxChar_)
            readOnce();
        if (read)
            count = 0;
    }
    if (count > 0 && open())
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
