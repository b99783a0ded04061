// The port's life: construction and destruction, opening and closing in
// their fixed order, listeners, modem-signal reports and the overridable
// notifications.
#include "serial/ComPort.h"

#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "serial/ComDevice.h"
#include "serial/ComThread.h"

#include <algorithm>

TCustomComPort::TCustomComPort(QObject* owner)
    : TComponent(owner),
      parity_(new TComParity(this)),
      flowControl_(new TComFlowControl(this)),
      timeouts_(new TComTimeouts(this)),
      buffer_(new TComBuffer(this)),
      device_(NewDevice(serialdev::DeviceKind::Tty, nullptr))
{
    // The settings objects are children so that a component walk meets them.
    parity_->setParent(this);
    flowControl_->setParent(this);
    timeouts_->setParent(this);
    buffer_->setParent(this);
}

TCustomComPort::~TCustomComPort()
{
    CloseForDestruction();
    SendRemovalNotices();
    delete buffer_;
    delete flowControl_;
    delete timeouts_;
    delete parity_;
}

TComPort::~TComPort()
{
    CloseForDestruction();
}

void TCustomComPort::CloseForDestruction() noexcept
{
    if (closingForDestruction_) {
        // Only a delete from a notification of the close below comes here
        // again: the port is half destroyed, and going on would destroy it
        // twice and free its memory under the close that is still running.
        qFatal("A serial port was deleted by a notification of the close its own destruction makes "
               "(OnBeforeClose, OnAfterClose or a link's slot); it is being destroyed already.");
    }
    closingForDestruction_ = true;
    // A destructor must not throw: a failure while closing is shown, and
    // the device is released regardless.
    if (closing_.load())
        GuardedCall([this] { FinishInterruptedClose(); });
    else
        GuardedCall([this] { ClosePort(); });
    closingForDestruction_ = false;
    if (connected_) {
        // Closing stopped half-way (the abort failed): the thread must still
        // end before the device it waits on goes.
        GuardedCall([this] { StopEventThread(); });
        device_->Close();
        connected_ = false;
    }
}

// ---- opening and closing ------------------------------------------------------------

void TCustomComPort::CreatePortHandle()
{
    const std::string name = port_.toStdString();
    // The name says which kind of device it is; a device of another kind
    // is replaced while the port is closed.
    const serialdev::DeviceKind kind = DeviceKindFor(name);
    if (device_->Kind() != kind)
        device_ = NewDevice(kind, lineProbe_);
    if (const int error = device_->Open(name))
        throw EComPort(CError_OpenFailed, error, DeviceWhere(name), device_->RefusalText());
}

QString TCustomComPort::DevicePath() const
{
    return QString::fromStdString(DeviceWhere(port_.toStdString()));
}

void TCustomComPort::SetLineProbe(serialdev::LineProbe* probe)
{
    lineProbe_ = probe;
    SetDeviceLineProbe(*device_, probe);
}

void TCustomComPort::DestroyPortHandle()
{
    device_->Close();
}

void TCustomComPort::ReportSignal(TModemSignal signal, bool on)
{
    switch (signal) {
    case msCTS:
        ForEachLink([&](TComLink& l) { if (l.OnCTSSignal) l.OnCTSSignal(this, on); });
        break;
    case msDSR:
        ForEachLink([&](TComLink& l) { if (l.OnDSRSignal) l.OnDSRSignal(this, on); });
        break;
    case msRLSD:
        ForEachLink([&](TComLink& l) { if (l.OnRLSDSignal) l.OnRLSDSignal(this, on); });
        break;
    case msRing:
        break;
    }
}

void TCustomComPort::SignalChanged(TModemSignal signal)
{
    const bool on = ModemSignals().Contains(signal);
    ReportSignal(signal, on);
    switch (signal) {
    case msCTS: DoCTSChange(on); break;
    case msDSR: DoDSRChange(on); break;
    case msRLSD: DoRLSDChange(on); break;
    case msRing: break;
    }
}

void TCustomComPort::ReportSignals()
{
    SignalChanged(msCTS);
    SignalChanged(msDSR);
    SignalChanged(msRLSD);
}

void TCustomComPort::OpenPort()
{
    if (connected_)
        return;
    DoBeforeOpen();
    CreatePortHandle();
    connected_ = true;
    opening_.store(opening_.load() + 1);
    try {
        ApplyAllSettings();
        StartEventThread();
    } catch (...) {
        DestroyPortHandle();
        connected_ = false;
        throw;
    }
    ForEachLink([this](TComLink& l) { if (l.OnConnectionChange) l.OnConnectionChange(this, true); });
    DoAfterOpen();
    ReportSignals();
}

void TCustomComPort::ClosePort()
{
    // A close asked for by one of the close's own notifications is the
    // close already under way.
    if (!connected_ || closing_.load())
        return;
    // Any notification below may delete the port; its destructor then
    // finishes the close, and nothing here touches the port any more.
    const QPointer<TCustomComPort> self(this);
    struct Closing {
        const QPointer<TCustomComPort>& port;
        explicit Closing(const QPointer<TCustomComPort>& p) : port(p) { port->closing_ = true; }
        ~Closing()
        {
            if (port) {
                port->closeStep_ = TCloseStep::None;
                port->closing_ = false;
            }
        }
    } closing(self);
    // From here on no batch reaches a handler. A handler already running on
    // the event thread (smNone) is let finish first, so that none runs
    // alongside the close's own notifications.
    if (thread_)
        thread_->WaitForOtherDeliveries();
    closeStep_ = TCloseStep::Announcing;
    for (const TModemSignal signal : {msCTS, msDSR, msRLSD}) {
        ReportSignal(signal, false);
        if (!self)
            return;
    }
    for (const auto change : {&TCustomComPort::DoCTSChange, &TCustomComPort::DoDSRChange,
                              &TCustomComPort::DoRLSDChange}) {
        (this->*change)(false);
        if (!self)
            return;
    }
    DoBeforeClose();
    if (!self)
        return;
    ReleaseDevice();
    TellClosed(self);
}

void TCustomComPort::ReleaseDevice()
{
    closeStep_ = TCloseStep::Releasing;
    AbortPending();
    StopEventThread();
    DestroyPortHandle();
    connected_ = false;
}

void TCustomComPort::TellClosed(const QPointer<TCustomComPort>& self)
{
    closeStep_ = TCloseStep::TellingLinks;
    ForEachLink([this](TComLink& l) { if (l.OnConnectionChange) l.OnConnectionChange(this, false); });
    if (!self)
        return;
    closeStep_ = TCloseStep::TellingHandler;
    DoAfterClose();
}

void TCustomComPort::FinishInterruptedClose()
{
    // The close's steps from the one it stood at. Links that a link's slot
    // cut off from the news hear of the port's end through its removal
    // notice instead.
    const QPointer<TCustomComPort> self(this);
    switch (closeStep_) {
    case TCloseStep::None:
        break;
    case TCloseStep::Announcing:
    case TCloseStep::Releasing:
        ReleaseDevice();
        TellClosed(self);
        break;
    case TCloseStep::TellingLinks:
        closeStep_ = TCloseStep::TellingHandler;
        DoAfterClose();
        break;
    case TCloseStep::TellingHandler:
        break;
    }
    closeStep_ = TCloseStep::None;
    closing_ = false;
}

// ---- listeners ---------------------------------------------------------------------------

void TCustomComPort::RegisterLink(TComLink* link)
{
    if (!link || std::find(links_.begin(), links_.end(), link) != links_.end())
        throw EComPort(CError_RegFailed);
    links_.push_back(link);
    dataLink_ = std::any_of(links_.begin(), links_.end(), [](TComLink* l) { return bool(l->OnReceivedData); });
}

void TCustomComPort::UnregisterLink(TComLink* link)
{
    const auto it = std::find(links_.begin(), links_.end(), link);
    if (it == links_.end())
        throw EComPort(CError_RegFailed);
    links_.erase(it);
    dataLink_ = std::any_of(links_.begin(), links_.end(), [](TComLink* l) { return bool(l->OnReceivedData); });
}

// ---- notifications ---------------------------------------------------------------

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(this); }
void TCustomComPort::DoRxChar(std::int32_t count) { if (OnRxChar) OnRxChar(this, count); }
void TCustomComPort::DoRxBuf(const char* buffer, std::int32_t count) { if (OnRxBuf) OnRxBuf(this, buffer, count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(this); }
void TCustomComPort::DoCTSChange(bool onOff) { if (OnCTSChange) OnCTSChange(this, onOff); }
void TCustomComPort::DoDSRChange(bool onOff) { if (OnDSRChange) OnDSRChange(this, onOff); }
void TCustomComPort::DoError(TComErrors errors) { if (OnError) OnError(this, errors); }
void TCustomComPort::DoRLSDChange(bool onOff) { if (OnRLSDChange) OnRLSDChange(this, onOff); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(this); }
void TCustomComPort::DoDeviceLost() { if (OnDeviceLost) OnDeviceLost(this); }
