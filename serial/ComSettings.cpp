// The settings objects (time-outs, flow control, parity, queue sizes):
// their fields, assignment between them, and re-applying on change.
#include "serial/ComSettings.h"

#include "serial/ComPort.h"

// ---- TComTimeouts ---------------------------------------------------------

TComTimeouts::TComTimeouts(TCustomComPort* port) : port_(port) {}

void TComTimeouts::Set(std::int32_t& field, std::int32_t value)
{
    if (field == value)
        return;
    field = value;
    if (port_)
        port_->ApplyTimeoutSettings();
}

void TComTimeouts::SetReadInterval(std::int32_t value) { Set(readInterval_, value); }
void TComTimeouts::SetReadTotalMultiplier(std::int32_t value) { Set(readTotalMultiplier_, value); }
void TComTimeouts::SetReadTotalConstant(std::int32_t value) { Set(readTotalConstant_, value); }
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t value) { Set(writeTotalMultiplier_, value); }
void TComTimeouts::SetWriteTotalConstant(std::int32_t value) { Set(writeTotalConstant_, value); }

void TComTimeouts::Assign(const TPersistent& source)
{
    const auto* other = qobject_cast<const TComTimeouts*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    readInterval_ = other->readInterval_;
    readTotalMultiplier_ = other->readTotalMultiplier_;
    readTotalConstant_ = other->readTotalConstant_;
    writeTotalMultiplier_ = other->writeTotalMultiplier_;
    writeTotalConstant_ = other->writeTotalConstant_;
}

// ---- TComFlowControl ------------------------------------------------------

TComFlowControl::TComFlowControl(TCustomComPort* port) : port_(port) {}

template <class T>
void TComFlowControl::Set(T& field, T value)
{
    if (field == value)
        return;
    field = value;
    if (port_)
        port_->ApplyLineSettings();
}

void TComFlowControl::SetOutCTSFlow(bool value) { Set(outCTSFlow_, value); }
void TComFlowControl::SetOutDSRFlow(bool value) { Set(outDSRFlow_, value); }
void TComFlowControl::SetControlDTR(TDTRFlowControl value) { Set(controlDTR_, value); }
void TComFlowControl::SetControlRTS(TRTSFlowControl value) { Set(controlRTS_, value); }
void TComFlowControl::SetXonXoffOut(bool value) { Set(xonXoffOut_, value); }
void TComFlowControl::SetXonXoffIn(bool value) { Set(xonXoffIn_, value); }
void TComFlowControl::SetDSRSensitivity(bool value) { Set(dsrSensitivity_, value); }
void TComFlowControl::SetTxContinueOnXoff(bool value) { Set(txContinueOnXoff_, value); }
void TComFlowControl::SetXonChar(char value) { Set(xonChar_, value); }
void TComFlowControl::SetXoffChar(char value) { Set(xoffChar_, value); }

TFlowControl TComFlowControl::FlowControl() const
{
    const bool noSoftware = !xonXoffIn_ && !xonXoffOut_;
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && noSoftware)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && noSoftware)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    if (value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (value == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (value == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    if (port_)
        port_->ApplyLineSettings();
}

void TComFlowControl::Assign(const TPersistent& source)
{
    const auto* other = qobject_cast<const TComFlowControl*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    outCTSFlow_ = other->outCTSFlow_;
    outDSRFlow_ = other->outDSRFlow_;
    controlDTR_ = other->controlDTR_;
    controlRTS_ = other->controlRTS_;
    xonXoffOut_ = other->xonXoffOut_;
    xonXoffIn_ = other->xonXoffIn_;
    dsrSensitivity_ = other->dsrSensitivity_;
    txContinueOnXoff_ = other->txContinueOnXoff_;
    xonChar_ = other->xonChar_;
    xoffChar_ = other->xoffChar_;
}

// ---- TComParity -----------------------------------------------------------

TComParity::TComParity(TCustomComPort* port) : port_(port) {}

template <class T>
void TComParity::Set(T& field, T value)
{
    if (field == value)
        return;
    field = value;
    if (port_)
        port_->ApplyLineSettings();
}

void TComParity::SetBits(TParityBits value) { Set(bits_, value); }
void TComParity::SetCheck(bool value) { Set(check_, value); }
void TComParity::SetReplace(bool value) { Set(replace_, value); }
void TComParity::SetReplaceChar(char value) { Set(replaceChar_, value); }

void TComParity::Assign(const TPersistent& source)
{
    const auto* other = qobject_cast<const TComParity*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    bits_ = other->bits_;
    check_ = other->check_;
    replace_ = other->replace_;
    replaceChar_ = other->replaceChar_;
}

// ---- TComBuffer -----------------------------------------------------------

TComBuffer::TComBuffer(TCustomComPort* port) : port_(port) {}

void TComBuffer::Set(std::int32_t& field, std::int32_t value)
{
    if (field == value)
        return;
    field = (value > 0 && value % 2 == 1) ? value - 1 : value;
    if (port_)
        port_->ApplyQueueSizes();
}

void TComBuffer::SetInputSize(std::int32_t value) { Set(inputSize_, value); }
void TComBuffer::SetOutputSize(std::int32_t value) { Set(outputSize_, value); }

void TComBuffer::Assign(const TPersistent& source)
{
    const auto* other = qobject_cast<const TComBuffer*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    inputSize_ = other->inputSize_;
    outputSize_ = other->outputSize_;
}
