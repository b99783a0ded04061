// The port's settings: reading and writing them, batches, and applying
// them to the open device.
#include "serial/ComPort.h"

#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "serial/ComDeviceMapping.h"
#include "serial/device/Device.h"

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
        // A close notification may delete the port: there is none to open then.
        const QPointer<TCustomComPort> self(this);
        ClosePort();
        if (self)
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
    return LineSettingsFor(*this);
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
    const serialdev::Timeouts t = TimeoutsFor(*timeouts_);
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

