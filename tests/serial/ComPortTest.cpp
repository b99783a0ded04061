// Tests of the port on pseudo-terminals: open and close, transfers, settings.
#include "framework/Component.h"
#include "framework/ErrorDisplay.h"
#include "serial/CPort.h"
#include "serial/posix/SerialDevice.h"
#include "tests/serial/CatchComError.h"
#include "tests/support/Capture.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

using Journal = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

// A port on the slave side of a pty, with every notification recorded.
class RecordingPort : public TComPort {
public:
    explicit RecordingPort(const std::string& path, QObject* owner = nullptr) : TComPort(owner)
    {
        SetPort(QString::fromStdString(path));
        SetEvents({}); // no event thread: these tests drive the port directly
        OnBeforeOpen = [this](QObject*) { journal.push_back("BeforeOpen"); };
        OnAfterOpen = [this](QObject*) { journal.push_back("AfterOpen"); };
        OnBeforeClose = [this](QObject*) { journal.push_back("BeforeClose"); };
        OnAfterClose = [this](QObject*) { journal.push_back("AfterClose"); };
        OnCTSChange = [this](QObject*, bool on) { journal.push_back(std::string("CTSChange ") + (on ? "1" : "0")); };
        OnDSRChange = [this](QObject*, bool on) { journal.push_back(std::string("DSRChange ") + (on ? "1" : "0")); };
        OnRLSDChange = [this](QObject*, bool on) { journal.push_back(std::string("RLSDChange ") + (on ? "1" : "0")); };
    }
    // The handlers write into this object's journal: close while it exists.
    ~RecordingPort() override { GuardedCall([this] { ClosePort(); }); }

    void ApplyLineSettings() override
    {
        if (CanApply())
            journal.push_back("apply line");
        TComPort::ApplyLineSettings();
    }
    void ApplyTimeoutSettings() override
    {
        if (CanApply())
            journal.push_back("apply timeouts");
        TComPort::ApplyTimeoutSettings();
    }
    void ApplyQueueSizes() override
    {
        if (CanApply())
            journal.push_back("apply queues");
        TComPort::ApplyQueueSizes();
    }
    Journal Take()
    {
        Journal result = journal;
        journal.clear();
        return result;
    }
    Journal journal;
};

// A link that records into its port's journal.
struct RecordingLink {
    explicit RecordingLink(Journal& journal, std::string name = "link")
    {
        link.OnConnectionChange = [&journal, name](QObject*, bool on) {
            journal.push_back(name + " Connection " + (on ? "1" : "0"));
        };
        link.OnCTSSignal = [&journal, name](QObject*, bool on) { journal.push_back(name + " CTS " + (on ? "1" : "0")); };
        link.OnDSRSignal = [&journal, name](QObject*, bool on) { journal.push_back(name + " DSR " + (on ? "1" : "0")); };
        link.OnRLSDSignal = [&journal, name](QObject*, bool on) { journal.push_back(name + " RLSD " + (on ? "1" : "0")); };
        link.OnSentData = [&journal, name](QObject*, const char* buffer, std::int32_t count) {
            journal.push_back(name + " Sent " + std::string(buffer, static_cast<std::size_t>(count)));
        };
        link.OnTransmitActivity = [&journal, name](QObject*, bool on) {
            journal.push_back(name + " Transmit " + (on ? "1" : "0"));
        };
        link.OnReceiveActivity = [&journal, name](QObject*, bool on) {
            journal.push_back(name + " Receive " + (on ? "1" : "0"));
        };
    }
    TComLink link;
};

TEST(ComPortTest, OpenAndCloseNotifyInTheirFixedOrder)
{
    PtyPair pty;
    RecordingPort port(pty.SlavePath());
    RecordingLink first(port.journal, "A");
    RecordingLink second(port.journal, "B");
    port.RegisterLink(&first.link);
    port.RegisterLink(&second.link);

    port.SetConnected(true);
    port.SetConnected(true); // already open: nothing more
    EXPECT_TRUE(port.Connected());
    port.SetConnected(false);
    port.SetConnected(false);
    EXPECT_FALSE(port.Connected());

    // A pseudo-terminal has no modem lines: every signal reads off.
    EXPECT_EQ(port.Take(), (Journal{"BeforeOpen",
                                    "apply queues", "apply line", "apply timeouts",
                                    "A Connection 1", "B Connection 1",
                                    "AfterOpen",
                                    "A CTS 0", "B CTS 0", "CTSChange 0",
                                    "A DSR 0", "B DSR 0", "DSRChange 0",
                                    "A RLSD 0", "B RLSD 0", "RLSDChange 0",
                                    "A CTS 0", "B CTS 0", "A DSR 0", "B DSR 0", "A RLSD 0", "B RLSD 0",
                                    "CTSChange 0", "DSRChange 0", "RLSDChange 0",
                                    "BeforeClose",
                                    "A Connection 0", "B Connection 0",
                                    "AfterClose"}));
    port.UnregisterLink(&first.link);
    port.UnregisterLink(&second.link);
}

TEST(ComPortTest, OpeningFailuresLeaveThePortClosed)
{
    RecordingPort missing("/dev/no-such-serial-device");
    const EComPort error = CatchComError([&] { missing.OpenPort(); });
    EXPECT_EQ(error.Code(), CError_OpenFailed);
    EXPECT_EQ(error.OsCode(), ENOENT);
    EXPECT_STREQ(error.what(), "Unable to open com port (win error code: 2)");
    EXPECT_FALSE(missing.Connected());
    EXPECT_EQ(missing.Take(), Journal{"BeforeOpen"});

    // The device is kept exclusively, even from root.
    PtyPair pty;
    RecordingPort owner(pty.SlavePath());
    RecordingPort intruder(pty.SlavePath());
    owner.OpenPort();
    const EComPort busy = CatchComError([&] { intruder.OpenPort(); });
    EXPECT_EQ(busy.Code(), CError_OpenFailed);
    EXPECT_EQ(busy.OsCode(), EBUSY);
    EXPECT_FALSE(intruder.Connected());
    owner.ClosePort();
    intruder.OpenPort(); // free again once closed
    EXPECT_TRUE(intruder.Connected());

    // A line format the line cannot take fails the open as a whole.
    RecordingPort refused(pty.SlavePath());
    intruder.ClosePort();
    refused.SetStopBits(sbOne5StopBits); // 1.5 stop bits need 5 data bits
    const EComPort stop = CatchComError([&] { refused.OpenPort(); });
    EXPECT_EQ(stop.Code(), CError_SetStateFailed);
    EXPECT_EQ(stop.OsCode(), EINVAL);
    EXPECT_FALSE(refused.Connected());
    EXPECT_EQ(refused.StopBits(), sbOne5StopBits);
    refused.SetDataBits(dbFive);
    refused.OpenPort();
    EXPECT_TRUE(refused.Connected());
}

TEST(ComPortTest, WrittenBytesReachTheFarEndAndTheLinks)
{
    PtyPair pty;
    RecordingPort port(pty.SlavePath());
    RecordingLink link(port.journal);
    port.RegisterLink(&link.link);
    port.OpenPort();
    port.Take();

    EXPECT_EQ(port.WriteText("0121"), 4);
    EXPECT_EQ(pty.Receive(4), "0121");
    EXPECT_EQ(port.Take(), (Journal{"link Transmit 1", "link Sent 0121"}));

    EXPECT_EQ(port.WriteText(""), 0);
    EXPECT_EQ(port.Take(), Journal{});

    const std::string binary("\x00\xFF\x11\x13", 4); // no translation of any byte
    EXPECT_EQ(port.WriteText(binary), 4);
    EXPECT_EQ(pty.Receive(4), binary);
    port.UnregisterLink(&link.link);
}

TEST(ComPortTest, ReadsWithDefaultTimeoutsReturnAtOnceWithWhatIsQueued)
{
    PtyPair pty;
    RecordingPort port(pty.SlavePath());
    RecordingLink link(port.journal);
    port.RegisterLink(&link.link);
    port.OpenPort();
    port.Take();

    std::string text = "untouched";
    EXPECT_EQ(port.ReadText(text, 10), 0);
    EXPECT_EQ(text, "");

    pty.Send("abc");
    ASSERT_TRUE([&] {
        for (int i = 0; i < 200 && port.PendingInputCount() < 3; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return port.PendingInputCount() == 3;
    }());
    port.Take();
    EXPECT_EQ(port.ReadText(text, 10), 3);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(port.Take(), Journal{"link Receive 0"});

    EXPECT_EQ(port.ReadText(text, 0), 0);
    EXPECT_TRUE(text.empty());
    port.UnregisterLink(&link.link);
}

TEST(ComPortTest, ReadWithTotalTimeoutWaitsThenReturnsShort)
{
    PtyPair pty;
    RecordingPort port(pty.SlavePath());
    port.OpenPort();
    port.Timeouts()->SetReadInterval(0);
    port.Timeouts()->SetReadTotalConstant(300);
    pty.Send("xy");
    std::string text;
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadText(text, 5), 2);
    const auto waited = Clock::now() - start;
    EXPECT_EQ(text, "xy");
    EXPECT_GE(waited, std::chrono::milliseconds(280));

    // A read that gets all it asked for does not wait for the time-out.
    pty.Send("12345");
    EXPECT_EQ(port.ReadText(text, 5), 5);
    EXPECT_EQ(text, "12345");
}

TEST(ComPortTest, TransfersOnAClosedPortFailWithTheirCodes)
{
    TComPort port;
    const EComPort write = CatchComError([&] { port.WriteText("00"); });
    EXPECT_EQ(write.Code(), CError_WriteFailed);
    EXPECT_EQ(std::string(write.what()), "WriteFile function failed (win error code: " + std::to_string(EBADF) + ")");
    std::string text;
    EXPECT_EQ(CatchComError([&] { port.ReadText(text, 4); }).Code(), CError_ReadFailed);
    EXPECT_EQ(CatchComError([&] { port.WriteBufferAsync("x", 1, nullptr); }).Code(), CError_InvalidAsync);
    EXPECT_EQ(CatchComError([&] { port.WaitForCompletion(nullptr); }).OsCode(), -1);
    EXPECT_EQ(CatchComError([&] { port.PendingInputCount(); }).Code(), CError_ClearComFailed);
    EXPECT_EQ(CatchComError([&] { port.TakeLineErrors(); }).Code(), CError_ClearComFailed);
    EXPECT_EQ(CatchComError([&] { port.ModemSignals(); }).Code(), CError_ModemStatFailed);
    EXPECT_EQ(CatchComError([&] { port.AbortPending(); }).Code(), CError_PurgeFailed);
}

TEST(ComPortTest, AbortReleasesAWaitingReadAtOnce)
{
    PtyPair pty;
    RecordingPort port(pty.SlavePath());
    port.OpenPort();
    port.Timeouts()->SetReadInterval(0); // no time-out at all: waits for 8 bytes
    TComAsync async;
    std::string text;
    EXPECT_EQ(port.ReadTextAsync(text, 8, &async), 0);
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.AbortPending();
    });
    const EComPort error = CatchComError([&] { port.WaitForCompletion(&async); });
    aborter.join();
    EXPECT_EQ(error.Code(), CError_ReadFailed);
    EXPECT_EQ(error.OsCode(), ECANCELED);

    // The queue kept its bytes and the port stays usable.
    pty.Send("ok");
    port.Timeouts()->SetReadTotalConstant(1000);
    EXPECT_EQ(port.ReadText(text, 2), 2);
    EXPECT_EQ(text, "ok");
}

TEST(ComPortTest, FarEndHangingUpEndsReadsAndWrites)
{
    PtyPair pty;
    RecordingPort port(pty.SlavePath());
    port.OpenPort();
    port.Timeouts()->SetReadInterval(0); // a read that would wait forever
    TComAsync async;
    std::string text;
    port.ReadTextAsync(text, 4, &async);
    std::thread hangUp([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.HangUp();
    });
    EXPECT_EQ(CatchComError([&] { port.WaitForCompletion(&async); }).Code(), CError_ReadFailed);
    hangUp.join();
    const EComPort write = CatchComError([&] { port.WriteText("00"); });
    EXPECT_EQ(write.Code(), CError_WriteFailed);
    EXPECT_EQ(write.OsCode(), EIO);
    port.ClosePort();
    EXPECT_FALSE(port.Connected());
}

TEST(ComPortTest, SettingsBatchReachesTheDeviceOnceInOrder)
{
    PtyPair pty;
    RecordingPort port(pty.SlavePath());
    port.OpenPort();
    port.Take();
    port.BeginSettingsUpdate();
    port.SetBaudRate(br115200);
    port.Parity()->SetBits(prEven);
    port.Timeouts()->SetReadTotalConstant(10);
    EXPECT_EQ(port.Take(), Journal{});
    port.EndSettingsUpdate();
    EXPECT_EQ(port.Take(), (Journal{"apply queues", "apply line", "apply timeouts"}));
    port.EndSettingsUpdate();
    EXPECT_EQ(port.Take(), Journal{});

    // Outside a batch each change reaches the device at once.
    port.SetBaudRate(br57600);
    EXPECT_EQ(port.Take(), Journal{"apply line"});
}

TEST(ComPortTest, ChangingThePortWhileOpenMovesToTheNewDevice)
{
    PtyPair first;
    PtyPair second;
    RecordingPort port(first.SlavePath());
    port.OpenPort();
    port.Take();
    port.SetPort(QString::fromStdString(second.SlavePath()));
    const Journal journal = port.Take();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.front(), "CTSChange 0");
    EXPECT_NE(std::find(journal.begin(), journal.end(), "AfterClose"), journal.end());
    EXPECT_NE(std::find(journal.begin(), journal.end(), "AfterOpen"), journal.end());
    EXPECT_LT(std::find(journal.begin(), journal.end(), "AfterClose"),
              std::find(journal.begin(), journal.end(), "BeforeOpen"));
    port.WriteText("22");
    EXPECT_EQ(second.Receive(2), "22");
    EXPECT_EQ(first.Drain(), "");
    // The old device is free again.
    TComPort other;
    other.SetPort(QString::fromStdString(first.SlavePath()));
    other.SetEvents({});
    other.OpenPort();
    EXPECT_TRUE(other.Connected());
}

TEST(ComPortTest, DeliveryMethodIsFixedWhileOpen)
{
    PtyPair pty;
    RecordingPort port(pty.SlavePath());
    port.SetSyncMethod(smWindowSync); // closed: stored
    port.OpenPort();
    const EComPort error = CatchComError([&] { port.SetSyncMethod(smNone); });
    EXPECT_EQ(error.Code(), CError_ConnChangeProp);
    EXPECT_EQ(error.OsCode(), -1);
    EXPECT_STREQ(error.what(), "Cannot set property while connected");
    EXPECT_EQ(port.SyncMethod(), smWindowSync);
    port.SetEvents({evRxChar}); // only stored; the open port keeps going
    EXPECT_EQ(port.Events(), TComEvents{evRxChar});
}

TEST(ComPortTest, LinksRegisterOnceAndOnlyRegisteredLinksAreCalled)
{
    PtyPair pty;
    RecordingPort port(pty.SlavePath());
    TComLink silent; // no slot set: changes nothing
    RecordingLink a(port.journal, "A");
    RecordingLink b(port.journal, "B");
    port.RegisterLink(&silent);
    port.RegisterLink(&a.link);
    port.RegisterLink(&b.link);
    EXPECT_EQ(CatchComError([&] { port.RegisterLink(&a.link); }).Code(), CError_RegFailed);
    TComLink stranger;
    const EComPort error = CatchComError([&] { port.UnregisterLink(&stranger); });
    EXPECT_EQ(error.Code(), CError_RegFailed);
    EXPECT_STREQ(error.what(), "Link (un)registration failed");

    // A link that unregisters another from inside a notification: the other
    // is not called any more.
    a.link.OnConnectionChange = [&](QObject*, bool) {
        port.journal.push_back("A drops B");
        port.UnregisterLink(&b.link);
    };
    port.OpenPort();
    const Journal journal = port.Take();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "B Connection 1"), 0);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "A drops B"), 1);
    port.UnregisterLink(&a.link);
    port.UnregisterLink(&silent);
}

TEST(ComPortTest, ConnectedWhileLoadingOpensAtTheEndOfLoading)
{
    ErrorCapture errors;
    PtyPair pty;
    RecordingPort* good;
    RecordingPort* bad;
    TComponent form;
    {
        TFormLoading loading;
        good = new RecordingPort(pty.SlavePath(), &form);
        bad = new RecordingPort("/dev/no-such-serial-device", &form);
        good->SetConnected(true);
        bad->SetConnected(true);
        good->SetSyncMethod(smNone); // stored although "connected" while loading
        EXPECT_EQ(good->Take(), Journal{});
        loading.Finish();
    }
    EXPECT_TRUE(good->Connected());
    EXPECT_EQ(good->SyncMethod(), smNone);
    EXPECT_FALSE(bad->Connected());
    EXPECT_EQ(errors.Messages(), Journal{"Unable to open com port (win error code: 2)"});
}

TEST(ComPortTest, DestroyingAnOpenPortClosesItWithItsNotifications)
{
    PtyPair pty;
    Journal journal;
    {
        RecordingPort port(pty.SlavePath());
        port.OnAfterClose = [&](QObject*) { journal.push_back("AfterClose"); };
        port.OpenPort();
    }
    EXPECT_EQ(journal, Journal{"AfterClose"});
    RecordingPort again(pty.SlavePath());
    again.OpenPort();
    EXPECT_TRUE(again.Connected());
}

// ---- the line-settings record and its termios form ---------------------------------

TEST(LineSettingsRecordTest, FollowsThePortsSettings)
{
    namespace F = serialdev::LineFlag;
    TComPort port;
    serialdev::LineSettings r = port.LineSettingsRecord();
    EXPECT_EQ(r.BaudRate, 9600u);
    EXPECT_EQ(r.Flags, F::Binary);
    EXPECT_EQ(r.XonLim, 256);
    EXPECT_EQ(r.XoffLim, 256);
    EXPECT_EQ(r.ByteSize, 8);
    EXPECT_EQ(r.Parity, 0);
    EXPECT_EQ(r.StopBits, 0);
    EXPECT_EQ(r.XonChar, 17);
    EXPECT_EQ(r.XoffChar, 19);

    port.SetBaudRate(brCustom);
    EXPECT_EQ(port.LineSettingsRecord().BaudRate, 9600u);
    port.SetCustomBaudRate(31250);
    EXPECT_EQ(port.LineSettingsRecord().BaudRate, 31250u);

    port.Parity()->SetBits(prSpace);
    port.Parity()->SetReplace(true);
    port.Parity()->SetReplaceChar('?');
    r = port.LineSettingsRecord();
    EXPECT_EQ(r.Parity, 4);
    EXPECT_EQ(r.Flags & (F::Parity | F::ErrorChar), 0u); // replacing needs checking
    EXPECT_EQ(r.ErrorChar, 0);
    port.Parity()->SetCheck(true);
    r = port.LineSettingsRecord();
    EXPECT_EQ(r.Flags & (F::Parity | F::ErrorChar), F::Parity | F::ErrorChar);
    EXPECT_EQ(r.ErrorChar, '?');

    TComFlowControl* f = port.FlowControl();
    f->SetFlowControl(fcHardware);
    f->SetControlDTR(dtrHandshake);
    f->SetOutDSRFlow(true);
    f->SetDSRSensitivity(true);
    f->SetTxContinueOnXoff(true);
    port.SetDiscardNull(true);
    port.SetEventChar('\r');
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.Buffer()->SetInputSize(4098);
    r = port.LineSettingsRecord();
    EXPECT_EQ(r.Flags, F::Binary | F::Parity | F::OutxCtsFlow | F::OutxDsrFlow | F::DtrHandshake |
                           F::DsrSensitivity | F::TxContinueOnXoff | F::ErrorChar | F::Null | F::RtsHandshake);
    EXPECT_EQ(r.XonLim, 1024);
    EXPECT_EQ(r.ByteSize, 7);
    EXPECT_EQ(r.StopBits, 2);
    EXPECT_EQ(r.EvtChar, '\r');

    f->SetFlowControl(fcSoftware);
    f->SetControlRTS(rtsToggle);
    f->SetControlDTR(dtrEnable);
    r = port.LineSettingsRecord();
    EXPECT_EQ(r.Flags & (F::RtsControlMask | F::DtrControlMask | F::OutX | F::InX | F::OutxCtsFlow),
              F::RtsToggle | F::DtrEnable | F::OutX | F::InX);
    f->SetControlRTS(rtsEnable);
    EXPECT_EQ(port.LineSettingsRecord().Flags & F::RtsControlMask, F::RtsEnable);
}

} // namespace
