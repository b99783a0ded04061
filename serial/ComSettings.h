// The four settings objects a port owns. A field write that changes the
// value asks the owning port to re-apply the group it belongs to; the port
// decides whether the device is reached now (open, no batch, not loading).
#pragma once

#include "framework/Persistent.h"
#include "serial/ComTypes.h"

#include <cstdint>

class TCustomComPort;

class TComTimeouts : public TPersistent {
    Q_OBJECT
    Q_PROPERTY(qint32 ReadInterval READ ReadInterval WRITE SetReadInterval)
    Q_PROPERTY(qint32 ReadTotalMultiplier READ ReadTotalMultiplier WRITE SetReadTotalMultiplier)
    Q_PROPERTY(qint32 ReadTotalConstant READ ReadTotalConstant WRITE SetReadTotalConstant)
    Q_PROPERTY(qint32 WriteTotalMultiplier READ WriteTotalMultiplier WRITE SetWriteTotalMultiplier)
    Q_PROPERTY(qint32 WriteTotalConstant READ WriteTotalConstant WRITE SetWriteTotalConstant)

public:
    explicit TComTimeouts(TCustomComPort* port = nullptr);

    TCustomComPort* ComPort() const { return port_; }

    std::int32_t ReadInterval() const { return readInterval_; }
    std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
    std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }

    void SetReadInterval(std::int32_t value);
    void SetReadTotalMultiplier(std::int32_t value);
    void SetReadTotalConstant(std::int32_t value);
    void SetWriteTotalMultiplier(std::int32_t value);
    void SetWriteTotalConstant(std::int32_t value);

    void Assign(const TPersistent& source) override;

private:
    void Set(std::int32_t& field, std::int32_t value);

    TCustomComPort* port_;
    std::int32_t readInterval_ = -1;
    std::int32_t readTotalMultiplier_ = 0;
    std::int32_t readTotalConstant_ = 0;
    std::int32_t writeTotalMultiplier_ = 100;
    std::int32_t writeTotalConstant_ = 1000;
};

class TComFlowControl : public TPersistent {
    Q_OBJECT
    Q_PROPERTY(bool OutCTSFlow READ OutCTSFlow WRITE SetOutCTSFlow)
    Q_PROPERTY(bool OutDSRFlow READ OutDSRFlow WRITE SetOutDSRFlow)
    Q_PROPERTY(TDTRFlowControl ControlDTR READ ControlDTR WRITE SetControlDTR)
    Q_PROPERTY(TRTSFlowControl ControlRTS READ ControlRTS WRITE SetControlRTS)
    Q_PROPERTY(bool XonXoffOut READ XonXoffOut WRITE SetXonXoffOut)
    Q_PROPERTY(bool XonXoffIn READ XonXoffIn WRITE SetXonXoffIn)
    Q_PROPERTY(bool DSRSensitivity READ DSRSensitivity WRITE SetDSRSensitivity)
    Q_PROPERTY(bool TxContinueOnXoff READ TxContinueOnXoff WRITE SetTxContinueOnXoff)
    Q_PROPERTY(char XonChar READ XonChar WRITE SetXonChar)
    Q_PROPERTY(char XoffChar READ XoffChar WRITE SetXoffChar)
    // Derived from the fields above, never stored.
    Q_PROPERTY(TFlowControl FlowControl READ FlowControl WRITE SetFlowControl STORED false)

public:
    explicit TComFlowControl(TCustomComPort* port = nullptr);

    TCustomComPort* ComPort() const { return port_; }

    bool OutCTSFlow() const { return outCTSFlow_; }
    bool OutDSRFlow() const { return outDSRFlow_; }
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    bool XonXoffOut() const { return xonXoffOut_; }
    bool XonXoffIn() const { return xonXoffIn_; }
    bool DSRSensitivity() const { return dsrSensitivity_; }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    char XonChar() const { return xonChar_; }
    char XoffChar() const { return xoffChar_; }

    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(char value);
    void SetXoffChar(char value);

    // The preset the fields amount to.
    TFlowControl FlowControl() const;
    // Applies a preset to the RTS/CTS and XON/XOFF fields (fcCustom leaves
    // them alone) and always re-applies the line settings afterwards.
    void SetFlowControl(TFlowControl value);

    void Assign(const TPersistent& source) override;

private:
    template <class T>
    void Set(T& field, T value);

    TCustomComPort* port_;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

class TComParity : public TPersistent {
    Q_OBJECT
    Q_PROPERTY(TParityBits Bits READ Bits WRITE SetBits)
    Q_PROPERTY(bool Check READ Check WRITE SetCheck)
    Q_PROPERTY(bool Replace READ Replace WRITE SetReplace)
    Q_PROPERTY(char ReplaceChar READ ReplaceChar WRITE SetReplaceChar)

public:
    explicit TComParity(TCustomComPort* port = nullptr);

    TCustomComPort* ComPort() const { return port_; }

    TParityBits Bits() const { return bits_; }
    bool Check() const { return check_; }
    bool Replace() const { return replace_; }
    char ReplaceChar() const { return replaceChar_; }

    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(char value);

    void Assign(const TPersistent& source) override;

private:
    template <class T>
    void Set(T& field, T value);

    TCustomComPort* port_;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = 0;
};

class TComBuffer : public TPersistent {
    Q_OBJECT
    Q_PROPERTY(qint32 InputSize READ InputSize WRITE SetInputSize)
    Q_PROPERTY(qint32 OutputSize READ OutputSize WRITE SetOutputSize)

public:
    explicit TComBuffer(TCustomComPort* port = nullptr);

    TCustomComPort* ComPort() const { return port_; }

    std::int32_t InputSize() const { return inputSize_; }
    std::int32_t OutputSize() const { return outputSize_; }

    // Queue sizes are kept even: an odd positive size is stored one lower.
    void SetInputSize(std::int32_t value);
    void SetOutputSize(std::int32_t value);

    void Assign(const TPersistent& source) override;

private:
    void Set(std::int32_t& field, std::int32_t value);

    TCustomComPort* port_;
    std::int32_t inputSize_ = 1024;
    std::int32_t outputSize_ = 1024;
};
