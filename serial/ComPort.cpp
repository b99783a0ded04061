#include "serial/ComPort.h"

#include "framework/Exception.h"

TCustomComPort::TCustomComPort(QObject* owner)
    : TComponent(owner),
      parity_(new TComParity(this)),
      flowControl_(new TComFlowControl(this)),
      timeouts_(new TComTimeouts(this)),
      buffer_(new TComBuffer(this))
{
    // The settings objects are children so that a component walk meets them.
    parity_->setParent(this);
    flowControl_->setParent(this);
    timeouts_->setParent(this);
    buffer_->setParent(this);
}

TCustomComPort::~TCustomComPort()
{
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
    connected_ = value;
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

void TCustomComPort::ApplyLineSettings()
{
    if (!CanApply())
        return;
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!CanApply())
        return;
}

void TCustomComPort::ApplyQueueSizes()
{
    if (!CanApply())
        return;
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
