// The serial port component: its settings, opening and closing,
// transfers, status, listeners and line-event handlers. The code behind it
// is split by subject (ComPort*.cpp).
#pragma once

#include "framework/Component.h"
#include "serial/ComAsync.h"
#include "serial/ComError.h"
#include "serial/ComLink.h"
#include "serial/ComSettings.h"
#include "serial/ComTypes.h"

#include <QPointer>
#include <QString>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace serialdev {
class Device;
class LineProbe;
struct LineSettings;
}
class TComThread;

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TRxCharEvent = std::function<void(QObject* Sender, std::int32_t Count)>;
using TRxBufEvent = std::function<void(QObject* Sender, const char* Buffer, std::int32_t Count)>;
using TComSignalEvent = std::function<void(QObject* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(QObject* Sender, TComErrors Errors)>;

class TCustomComPort : public TComponent {
    Q_OBJECT

public:
    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    // ---- settings ----------------------------------------------------------
    bool Connected() const { return connected_; }
    void SetConnected(bool value);

    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    std::int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::int32_t value);
    QString Port() const { return port_; }
    void SetPort(const QString& value);
    // The path of the device the port name stands for: "COMn" is
    // /dev/ttyS(n-1), an absolute path stays as it is, any other name is
    // looked for under /dev/. An empty name has none ("").
    QString DevicePath() const;
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);

    // The settings objects are owned by the port; writing one copies the
    // given object's fields into the port's own and re-applies the group.
    TComParity* Parity() const { return parity_; }
    void SetParity(const TComParity* value);
    TComFlowControl* FlowControl() const { return flowControl_; }
    void SetFlowControl(const TComFlowControl* value);
    TComTimeouts* Timeouts() const { return timeouts_; }
    void SetTimeouts(const TComTimeouts* value);
    TComBuffer* Buffer() const { return buffer_; }
    void SetBuffer(const TComBuffer* value);

    // When false, received bytes are read on arrival and handed to OnRxBuf
    // instead of being announced through OnRxChar.
    bool ReportRxChar() const { return reportRxChar_; }
    void SetReportRxChar(bool value) { reportRxChar_ = value; }
    QThread::Priority EventWaiterPriority() const { return eventWaiterPriority_; }
    void SetEventWaiterPriority(QThread::Priority value) { eventWaiterPriority_ = value; }

    // ---- opening and closing -----------------------------------------------
    void OpenPort();
    void ClosePort();

    // ---- transfers (byte strings: one byte per character) ---------------------
    // The asynchronous forms start a transfer on `async` and return what was
    // transferred at once (0 while pending); WaitForCompletion finishes it.
    std::int32_t WriteBufferAsync(const void* buffer, std::int32_t count, TComAsync* async);
    std::int32_t WriteTextAsync(const std::string& text, TComAsync* async);
    std::int32_t ReadBufferAsync(void* buffer, std::int32_t count, TComAsync* async);
    std::int32_t ReadTextAsync(std::string& text, std::int32_t count, TComAsync* async);
    std::int32_t WaitForCompletion(TComAsync* async);
    // The waiting forms: start, wait, and return the bytes transferred.
    std::int32_t WriteBuffer(const void* buffer, std::int32_t count);
    std::int32_t WriteText(const std::string& text);
    std::int32_t ReadBuffer(void* buffer, std::int32_t count);
    std::int32_t ReadText(std::string& text, std::int32_t count);
    // Aborts pending reads and writes; the queues keep their bytes.
    void AbortPending();

    // ---- status --------------------------------------------------------------
    std::int32_t PendingInputCount();
    TModemSignals ModemSignals();
    // Virtual so that a port can add error sources of its own.
    virtual TComErrors TakeLineErrors();

    // ---- listeners -------------------------------------------------------------
    void RegisterLink(TComLink* link);
    void UnregisterLink(TComLink* link);

    // The device-control record the present settings amount to.
    serialdev::LineSettings LineSettingsRecord() const;

    // ---- setup dialog --------------------------------------------------------
    // Lets the operator choose device name and line format in the setup
    // dialog that the program installed (serial/SetupDialogHook.h).
    void ShowSetupDialog();

    // ---- settings batches --------------------------------------------------
    void BeginSettingsUpdate();
    void EndSettingsUpdate();

    // ---- applying settings to the device ------------------------------------
    // Each does nothing unless the port is open, no batch is open and the
    // component is not loading.
    virtual void ApplyAllSettings();
    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyQueueSizes();

    // ---- handlers ------------------------------------------------------------
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TNotifyEvent OnRxFlag;
    TComErrorEvent OnError;
    TNotifyEvent OnRx80Full;
    // The device went away while the port was open: the line hung up (a
    // USB adapter pulled, the far end of a pseudo-terminal closed) and
    // nothing more can pass. Runs on the main thread whatever the
    // SyncMethod, once per opening, only while that opening is still open,
    // and never from inside a transfer call: it comes from the event loop
    // soon after the event wait or a failed transfer noticed. The port
    // stays open (and every transfer fails) until its owner closes it.
    TNotifyEvent OnDeviceLost;

protected:
    // True when a changed setting may reach the device now.
    bool CanApply() const;

    void Loaded() override;

    // Handles one batch of line events in the fixed order (main thread for
    // smThreadSync and smWindowSync, the event thread for smNone).
    void HandleEvents(TComEvents events);

    // Opening and closing the device itself.
    virtual void CreatePortHandle();
    virtual void DestroyPortHandle();

    // One overridable notification per event; each calls its handler if set.
    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(std::int32_t count);
    virtual void DoRxBuf(const char* buffer, std::int32_t count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool onOff);
    virtual void DoDSRChange(bool onOff);
    virtual void DoError(TComErrors errors);
    virtual void DoRLSDChange(bool onOff);
    virtual void DoRx80Full();
    virtual void DoDeviceLost();

    // Schedules OnDeviceLost for the present opening, from any thread.
    // `error` is the errno value a transfer or the event wait failed with;
    // only one that means the line is gone counts.
    void ReportDeviceLost(int error);

    // What the destructor does first: close (a failure is shown, not
    // thrown), and whatever the close left undone, end the event thread
    // and release the device. A class that adds notifications or handlers
    // running under smNone calls it at the start of its own destructor, so
    // that no delivery runs into its parts while they go.
    //
    // A port deleted by a notification of its own close (OnBeforeClose,
    // OnAfterClose, a link's slot) is closed here from where that close
    // stood: the device and event thread are released if they were not
    // yet, the links hear of the close if none had, and OnAfterClose runs
    // if it had not begun.
    // A notification of the close made here cannot delete the port, which
    // is being destroyed already: that ends the program with a message.
    void CloseForDestruction() noexcept;

    // The device behind the port, for a port that adds to what it does.
    serialdev::Device& Device() { return *device_; }
    // Where a tty's modem-line and counter calls go from the next opening
    // on (nullptr: the kernel), so that a line's state can be set by hand.
    void SetLineProbe(serialdev::LineProbe* probe);

    bool connected_ = false;
    std::int32_t updateCount_ = 0;

private:
    TBaudRate baudRate_ = br9600;
    std::int32_t customBaudRate_ = 9600;
    QString port_ = QStringLiteral("COM1");
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = AllComEvents;
    TSyncMethod syncMethod_ = smThreadSync;
    bool reportRxChar_ = true;
    QThread::Priority eventWaiterPriority_ = QThread::NormalPriority;

    TComParity* parity_;
    TComFlowControl* flowControl_;
    TComTimeouts* timeouts_;
    TComBuffer* buffer_;

    // Event thread: started at open when Events is not empty, stopped and
    // joined at close.
    void StartEventThread();
    void StopEventThread();

    // The close in its steps. Each notification may delete the port: the
    // steps touch nothing of it after one did (`self` is null then).
    enum class TCloseStep : std::uint8_t { None, Announcing, Releasing, TellingLinks, TellingHandler };
    // Aborts transfers, ends the event thread, closes the device.
    void ReleaseDevice();
    // Tells the links that the port closed, then OnAfterClose.
    void TellClosed(const QPointer<TCustomComPort>& self);
    // Ends a close that a notification cut short by deleting the port.
    void FinishInterruptedClose();
    // Whether notifications of the opening numbered `opening` may still
    // reach handlers: the port is open, that opening is the present one and
    // its close has not begun.
    bool DeliveryOpen(std::uint64_t opening) const
    {
        return connected_ && !closing_.load() && opening_.load() == opening;
    }
    // Handles a batch of the opening numbered `opening`; stops as soon as a
    // handler closed, reopened or destroyed the port.
    void HandleBatch(TComEvents events, std::uint64_t opening);
    template <class Open>
    void HandleReceive(const Open& open);
    template <class Open>
    void SignalChangedWhile(TModemSignal signal, const Open& open);
    // ForEachLink that stops once `open()` says the batch may go no further.
    template <class Open, class Notify>
    void ForEachLinkWhile(const Open& open, Notify notify);
    // Queues OnDeviceLost for the opening numbered `opening` (any thread);
    // it runs on the main thread from the event loop.
    void ScheduleDeviceLost(std::uint64_t opening);
    void DeliverDeviceLost(std::uint64_t opening);

    // Calls `notify` for each registered link, in registration order; a
    // link unregistered by an earlier call is not called any more.
    template <class Notify>
    void ForEachLink(Notify notify);
    void ReportSignal(TModemSignal signal, bool on);
    // Reads the signal's present state and reports it to the links, then
    // to the port's own change notification.
    void SignalChanged(TModemSignal signal);
    void ReportSignals();

    std::unique_ptr<serialdev::Device> device_;
    serialdev::LineProbe* lineProbe_ = nullptr;
    std::vector<TComLink*> links_;
    bool dataLink_ = false;
    std::unique_ptr<TComThread> thread_;

    // Openings are numbered, so that a loss noticed late is not taken for
    // one of a later opening. Written on the main thread only, read also
    // by the event thread and by handlers under smNone.
    std::atomic<std::uint64_t> opening_ = 0;
    std::uint64_t lostOpening_ = 0;   // the last opening whose loss was told
    // Set while ClosePort runs: its wait for the event thread serves calls
    // queued for the main thread, among them batches and a loss noticed
    // just before, and none of them may reach a handler any more. Read by
    // the event thread under smNone.
    std::atomic<bool> closing_ = false;
    // Where the close under way stands (None when there is none).
    TCloseStep closeStep_ = TCloseStep::None;
    // Set while the destructor closes the port.
    bool closingForDestruction_ = false;
    QPointer<TCustomComPort> self_{this};
};

template <class Notify>
void TCustomComPort::ForEachLink(Notify notify)
{
    // A slot may delete the port: the links after it are not called then.
    const QPointer<TCustomComPort> self(this);
    const std::vector<TComLink*> snapshot = links_;
    for (TComLink* link : snapshot) {
        if (!self)
            return;
        if (std::find(links_.begin(), links_.end(), link) != links_.end())
            notify(*link);
    }
}

// The port with its settings published as properties.
class TComPort : public TCustomComPort {
    Q_OBJECT
    Q_PROPERTY(bool Connected READ Connected WRITE SetConnected)
    Q_PROPERTY(TBaudRate BaudRate READ BaudRate WRITE SetBaudRate)
    Q_PROPERTY(QString Port READ Port WRITE SetPort)
    Q_PROPERTY(TComParity* Parity READ Parity WRITE SetParity)
    Q_PROPERTY(TStopBits StopBits READ StopBits WRITE SetStopBits)
    Q_PROPERTY(TDataBits DataBits READ DataBits WRITE SetDataBits)
    Q_PROPERTY(bool DiscardNull READ DiscardNull WRITE SetDiscardNull)
    Q_PROPERTY(char EventChar READ EventChar WRITE SetEventChar)
    Q_PROPERTY(TComEvents Events READ Events WRITE SetEvents)
    Q_PROPERTY(TComBuffer* Buffer READ Buffer WRITE SetBuffer)
    Q_PROPERTY(TComFlowControl* FlowControl READ FlowControl WRITE SetFlowControl)
    Q_PROPERTY(TComTimeouts* Timeouts READ Timeouts WRITE SetTimeouts)
    Q_PROPERTY(TSyncMethod SyncMethod READ SyncMethod WRITE SetSyncMethod)

public:
    using TCustomComPort::TCustomComPort;
    // Closes before any part of the port goes: under smNone the event
    // thread would otherwise still call into the port while it is torn
    // down.
    ~TComPort() override;
};
