#include "serial/ComPort.h"

#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "serial/ComThread.h"
#include "serial/posix/SerialDevice.h"

#include <algorithm>

TCustomComPort::TCustomComPort(QObject* owner)
    : TComponent(owner),
      parity_(new TComParity(this)),
      flowControl_(new TComFlowControl(this)),
      timeouts_(new TComTimeouts(this)),
      buffer_(new TComBuffer(this)),
      device_(std::make_unique<serialdev::SerialDevice>())
{
    // The settings objects are children so that a component walk meets them.
    parity_->setParent(this);
    flowControl_->setParent(this);
    timeouts_->setParent(this);
    buffer_->setParent(this);
}

TCustomComPort::~TCustomComPort()
{
    // A destructor must not throw: a failure while closing is shown, and
    // the device is released regardless.
    GuardedCall([this] { ClosePort(); });
    if (connected_) {
        // Closing stopped half-way (the abort failed): the thread must still
        // end before the device it waits on goes.
        GuardedCall([this] { StopEventThread(); });
        device_->Close();
        connected_ = false;
    }
    SendRemovalNotices();
    delete buffer_;
    delete flowControl_;
    delete timeouts_;
    delete parity_;
}

namespace {

// Copies a settings object given by the caller into the port's own; no
// object at all is an assignment error like any foreign class.
void CopySettings(TPersistent& own, const TPersistent* given)
{
    if (!given)
        throw EConvertError(std::string("Cannot assign a nil to a ") + own.metaObject()->className());
    own.Assign(*given);
}

} // namespace

// ---- settings ----------------------------------------------------------------

void TCustomComPort::SetConnected(bool value)
{
    if (IsLoading()) {
        connected_ = value;
        return;
    }
    if (value == connected_)
        return;
    if (value)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::Loaded()
{
    TComponent::Loaded();
    // A port stored as connected opens now; failing to is shown, not thrown,
    // so that the rest of the form still comes up.
    if (connected_) {
        connected_ = false;
        GuardedCall([this] { OpenPort(); });
    }
}

void TCustomComPort::SetBaudRate(TBaudRate value)
{
    if (value == baudRate_)
        return;
    baudRate_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(std::int32_t value)
{
    if (value == customBaudRate_)
        return;
    customBaudRate_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetPort(const QString& value)
{
    if (value == port_)
        return;
    port_ = value;
    if (connected_ && !IsLoading()) {
        ClosePort();
        OpenPort();
    }
}

void TCustomComPort::SetStopBits(TStopBits value)
{
    if (value == stopBits_)
        return;
    stopBits_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value)
{
    if (value == dataBits_)
        return;
    dataBits_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value)
{
    if (value == discardNull_)
        return;
    discardNull_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char value)
{
    if (value == eventChar_)
        return;
    eventChar_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetEvents(TComEvents value)
{
    events_ = value;
}

void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (value == syncMethod_)
        return;
    if (connected_ && !IsLoading())
        throw EComPort(CError_ConnChangeProp);
    syncMethod_ = value;
}

void TCustomComPort::SetParity(const TComParity* value)
{
    CopySettings(*parity_, value);
    ApplyLineSettings();
}

void TCustomComPort::SetFlowControl(const TComFlowControl* value)
{
    CopySettings(*flowControl_, value);
    ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts* value)
{
    CopySettings(*timeouts_, value);
    ApplyTimeoutSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer* value)
{
    CopySettings(*buffer_, value);
    ApplyQueueSizes();
}

// ---- batches and applying --------------------------------------------------------

void TCustomComPort::BeginSettingsUpdate()
{
    ++updateCount_;
}

void TCustomComPort::EndSettingsUpdate()
{
    if (updateCount_ < 1)
        return;
    if (--updateCount_ == 0)
        ApplyAllSettings();
}

bool TCustomComPort::CanApply() const
{
    return connected_ && updateCount_ == 0 && !IsLoading();
}

void TCustomComPort::ApplyAllSettings()
{
    ApplyQueueSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

serialdev::LineSettings TCustomComPort::LineSettingsRecord() const
{
    namespace F = serialdev::LineFlag;
    serialdev::LineSettings r;
    r.BaudRate = static_cast<std::uint32_t>(baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_));
    r.Flags = F::Binary;
    if (parity_->Check())
        r.Flags |= F::Parity;
    if (flowControl_->OutCTSFlow())
        r.Flags |= F::OutxCtsFlow;
    if (flowControl_->OutDSRFlow())
        r.Flags |= F::OutxDsrFlow;
    static constexpr std::uint32_t dtrBits[] = {0, F::DtrEnable, F::DtrHandshake};
    static constexpr std::uint32_t rtsBits[] = {0, F::RtsEnable, F::RtsHandshake, F::RtsToggle};
    r.Flags |= dtrBits[std::min<int>(flowControl_->ControlDTR(), 2)];
    r.Flags |= rtsBits[std::min<int>(flowControl_->ControlRTS(), 3)];
    if (flowControl_->DSRSensitivity())
        r.Flags |= F::DsrSensitivity;
    if (flowControl_->TxContinueOnXoff())
        r.Flags |= F::TxContinueOnXoff;
    if (flowControl_->XonXoffOut())
        r.Flags |= F::OutX;
    if (flowControl_->XonXoffIn())
        r.Flags |= F::InX;
    const bool replace = parity_->Check() && parity_->Replace();
    if (replace)
        r.Flags |= F::ErrorChar;
    if (discardNull_)
        r.Flags |= F::Null;
    const std::int32_t limit = buffer_->InputSize() / 4;
    r.XonLim = static_cast<std::uint16_t>(std::clamp<std::int32_t>(limit, 0, 0xFFFF));
    r.XoffLim = r.XonLim;
    r.ByteSize = static_cast<std::uint8_t>(DataBitsValue(dataBits_));
    r.Parity = static_cast<std::uint8_t>(parity_->Bits());
    r.StopBits = static_cast<std::uint8_t>(stopBits_);
    r.XonChar = flowControl_->XonChar();
    r.XoffChar = flowControl_->XoffChar();
    r.ErrorChar = replace ? parity_->ReplaceChar() : 0;
    r.EofChar = 0;
    r.EvtChar = eventChar_;
    return r;
}

void TCustomComPort::ApplyLineSettings()
{
    if (!CanApply())
        return;
    if (const int error = device_->SetLineSettings(LineSettingsRecord()))
        throw EComPort(CError_SetStateFailed, error);
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!CanApply())
        return;
    serialdev::Timeouts t;
    t.ReadInterval = static_cast<std::uint32_t>(timeouts_->ReadInterval());
    t.ReadTotalMultiplier = static_cast<std::uint32_t>(timeouts_->ReadTotalMultiplier());
    t.ReadTotalConstant = static_cast<std::uint32_t>(timeouts_->ReadTotalConstant());
    t.WriteTotalMultiplier = static_cast<std::uint32_t>(timeouts_->WriteTotalMultiplier());
    t.WriteTotalConstant = static_cast<std::uint32_t>(timeouts_->WriteTotalConstant());
    if (const int error = device_->SetTimeouts(t))
        throw EComPort(CError_TimeoutsFailed, error);
}

void TCustomComPort::ApplyQueueSizes()
{
    if (!CanApply())
        return;
    if (const int error = device_->SetQueueSizes(buffer_->InputSize(), buffer_->OutputSize()))
        throw EComPort(CError_SetupComFailed, error);
}

// ---- opening and closing ------------------------------------------------------------

void TCustomComPort::CreatePortHandle()
{
    if (const int error = device_->Open(port_.toStdString()))
        throw EComPort(CError_OpenFailed, error);
}

void TCustomComPort::DestroyPortHandle()
{
    device_->Close();
}

template <class Notify>
void TCustomComPort::ForEachLink(Notify notify)
{
    const std::vector<TComLink*> snapshot = links_;
    for (TComLink* link : snapshot) {
        if (std::find(links_.begin(), links_.end(), link) != links_.end())
            notify(*link);
    }
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

void TCustomComPort::StartEventThread()
{
    if (events_.Empty())
        return;
    auto thread = std::make_unique<TComThread>(this);
    if (const int error = device_->SetEventMask(EventsToMask(events_)))
        throw EComPort(CError_OpenFailed, error);
    if (!thread->CanStop())
        throw EComPort(CError_OpenFailed, EMFILE);
    thread->Start(eventWaiterPriority_);
    thread_ = std::move(thread);
    threadCreated_ = true;
}

void TCustomComPort::StopEventThread()
{
    if (!threadCreated_)
        return;
    thread_->Stop();
    QThread::yieldCurrentThread();
    thread_->WaitFor();
    thread_.reset();
    threadCreated_ = false;
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

void TCustomComPort::OpenPort()
{
    if (connected_)
        return;
    DoBeforeOpen();
    CreatePortHandle();
    connected_ = true;
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
    if (!connected_)
        return;
    ReportSignal(msCTS, false);
    ReportSignal(msDSR, false);
    ReportSignal(msRLSD, false);
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
    DoBeforeClose();
    AbortPending();
    StopEventThread();
    DestroyPortHandle();
    connected_ = false;
    ForEachLink([this](TComLink& l) { if (l.OnConnectionChange) l.OnConnectionChange(this, false); });
    DoAfterClose();
}

// ---- transfers -----------------------------------------------------------------------

std::int32_t TCustomComPort::WriteBufferAsync(const void* buffer, std::int32_t count, TComAsync* async)
{
    if (!async)
        throw EComPort(CError_InvalidAsync);
    async->Kind = akWrite;
    const char* bytes = static_cast<const char*>(buffer);
    async->Data.assign(bytes, bytes + std::max(count, 0));
    async->HasData = true;
    std::int32_t immediate = 0;
    if (const int error = device_->StartWrite(async->DeviceTransfer(), bytes, count, immediate))
        throw EComPort(CError_WriteFailed, error);
    ForEachLink([this](TComLink& l) { if (l.OnTransmitActivity) l.OnTransmitActivity(this, true); });
    return immediate;
}

std::int32_t TCustomComPort::WriteTextAsync(const std::string& text, TComAsync* async)
{
    if (text.empty())
        return 0;
    return WriteBufferAsync(text.data(), static_cast<std::int32_t>(text.size()), async);
}

std::int32_t TCustomComPort::ReadBufferAsync(void* buffer, std::int32_t count, TComAsync* async)
{
    if (!async)
        throw EComPort(CError_InvalidAsync);
    async->Kind = akRead;
    std::int32_t immediate = 0;
    if (const int error = device_->StartRead(async->DeviceTransfer(), static_cast<char*>(buffer), count, immediate))
        throw EComPort(CError_ReadFailed, error);
    return immediate;
}

std::int32_t TCustomComPort::ReadTextAsync(std::string& text, std::int32_t count, TComAsync* async)
{
    text.resize(static_cast<std::size_t>(std::max(count, 0)));
    if (count <= 0)
        return 0;
    return ReadBufferAsync(text.data(), count, async);
}

std::int32_t TCustomComPort::WaitForCompletion(TComAsync* async)
{
    if (!async)
        throw EComPort(CError_InvalidAsync);
    std::int32_t transferred = 0;
    if (const int error = device_->Wait(async->DeviceTransfer(), transferred))
        throw EComPort(async->Kind == akWrite ? CError_WriteFailed : CError_ReadFailed, error);
    if (async->Kind == akRead) {
        if (PendingInputCount() == 0)
            ForEachLink([this](TComLink& l) { if (l.OnReceiveActivity) l.OnReceiveActivity(this, false); });
    } else if (async->HasData) {
        // Only a write reports its bytes as sent: a record reused for a read
        // still holds the copy of its last write, which was not sent now.
        const std::int32_t size = static_cast<std::int32_t>(async->Data.size());
        ForEachLink([&](TComLink& l) { if (l.OnSentData) l.OnSentData(this, async->Data.data(), size); });
    }
    return transferred;
}

std::int32_t TCustomComPort::WriteBuffer(const void* buffer, std::int32_t count)
{
    TComAsync async;
    WriteBufferAsync(buffer, count, &async);
    return WaitForCompletion(&async);
}

std::int32_t TCustomComPort::WriteText(const std::string& text)
{
    TComAsync async;
    WriteTextAsync(text, &async);
    return WaitForCompletion(&async);
}

std::int32_t TCustomComPort::ReadBuffer(void* buffer, std::int32_t count)
{
    TComAsync async;
    ReadBufferAsync(buffer, count, &async);
    return WaitForCompletion(&async);
}

std::int32_t TCustomComPort::ReadText(std::string& text, std::int32_t count)
{
    TComAsync async;
    ReadTextAsync(text, count, &async);
    const std::int32_t read = WaitForCompletion(&async);
    text.resize(static_cast<std::size_t>(read));
    return read;
}

void TCustomComPort::AbortPending()
{
    if (const int error = device_->AbortPending())
        throw EComPort(CError_PurgeFailed, error);
}

// ---- status ----------------------------------------------------------------------------

std::int32_t TCustomComPort::PendingInputCount()
{
    std::uint32_t flags = 0;
    std::int32_t count = 0;
    if (const int error = device_->ClearErrors(flags, count))
        throw EComPort(CError_ClearComFailed, error);
    return count;
}

TModemSignals TCustomComPort::ModemSignals()
{
    std::uint32_t bits = 0;
    if (const int error = device_->ModemStatus(bits))
        throw EComPort(CError_ModemStatFailed, error);
    TModemSignals result;
    if (bits & serialdev::ModemBit::CTS) result.Include(msCTS);
    if (bits & serialdev::ModemBit::DSR) result.Include(msDSR);
    if (bits & serialdev::ModemBit::Ring) result.Include(msRing);
    if (bits & serialdev::ModemBit::RLSD) result.Include(msRLSD);
    return result;
}

TComErrors TCustomComPort::TakeLineErrors()
{
    namespace E = serialdev::ErrorFlag;
    std::uint32_t flags = 0;
    std::int32_t count = 0;
    if (const int error = device_->ClearErrors(flags, count))
        throw EComPort(CError_ClearComFailed, error);
    TComErrors errors;
    if (flags & E::Frame) errors.Include(ceFrame);
    if ((flags & E::RxParity) && parity_->Check()) errors.Include(ceRxParity);
    if (flags & E::Overrun) errors.Include(ceOverrun);
    if (flags & E::Break) errors.Include(ceBreak);
    if (flags & E::IOE) errors.Include(ceIO);
    if (flags & E::Mode) errors.Include(ceMode);
    if (flags & E::RxOver) errors.Include(ceRxOver);
    if (flags & E::TxFull) errors.Include(ceTxFull);
    return errors;
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
