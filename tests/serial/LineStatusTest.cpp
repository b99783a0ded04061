// Modem lines and error counters, from the kernel's words to the port's
// slots and handlers, on a pseudo-terminal whose line state is set by hand.
#include "serial/posix/SerialDevice.h"
#include "tests/serial/FakeLines.h"
#include "tests/serial/PtyPort.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using Journal = std::vector<std::string>;
using Counter = int serial_icounter_struct::*;

// A port that asks `lines` instead of the kernel and journals what reaches
// its link and handlers.
class ProbedPort : public PtyPort {
public:
    ProbedPort(const PtyPair& pty, FakeLines& lines) : PtyPort(pty)
    {
        SetLineProbe(&lines);
        auto signal = [this](std::string name) {
            return [this, name](QObject*, bool on) { journal.push_back(name + (on ? " on" : " off")); };
        };
        link.OnCTSSignal = signal("link CTS");
        link.OnDSRSignal = signal("link DSR");
        link.OnRLSDSignal = signal("link RLSD");
        link.OnRingSignal = [this](QObject*) { journal.push_back("link ring"); };
        OnCTSChange = signal("CTS");
        OnDSRChange = signal("DSR");
        OnRLSDChange = signal("RLSD");
        OnRing = [this](QObject*) { journal.push_back("ring"); };
        OnBreak = [this](QObject*) { journal.push_back("break"); };
        OnError = [this](QObject*, TComErrors e) { errors.push_back(e); };
        OnRxChar = [this](QObject*, std::int32_t count) {
            std::string text;
            ReadText(text, count);
            received += text;
        };
        RegisterLink(&link);
    }
    ~ProbedPort() override { GuardedCall([this] { ClosePort(); UnregisterLink(&link); }); }

    // The journal's entries since the last call, once there are `count`.
    Journal Next(std::size_t count)
    {
        PumpUntil([&] { return journal.size() >= count; });
        return std::exchange(journal, {});
    }
    std::vector<TComErrors> NextErrors()
    {
        PumpUntil([&] { return !errors.empty(); });
        return std::exchange(errors, {});
    }

    TComLink link;
    Journal journal;
    std::vector<TComErrors> errors;
    std::string received;
};

TEST(LineStatusTest, EachModemLineReachesItsOwnSlotAndHandler)
{
    PtyPair pty;
    FakeLines lines;
    lines.Set(TIOCM_CD, true);
    ProbedPort port(pty, lines);
    port.OpenPort();
    EXPECT_EQ(port.Next(6), (Journal{"link CTS off", "CTS off", "link DSR off", "DSR off", "link RLSD on", "RLSD on"}));

    lines.Set(TIOCM_CTS, true);
    EXPECT_EQ(port.Next(2), (Journal{"link CTS on", "CTS on"}));
    lines.Set(TIOCM_DSR, true);
    EXPECT_EQ(port.Next(2), (Journal{"link DSR on", "DSR on"}));
    lines.Set(TIOCM_CD, false);
    EXPECT_EQ(port.Next(2), (Journal{"link RLSD off", "RLSD off"}));
    lines.Set(TIOCM_RI, true);
    EXPECT_EQ(port.Next(2), (Journal{"link ring", "ring"}));
    EXPECT_EQ(port.ModemSignals(), (TModemSignals{msCTS, msDSR, msRing}));
    // A ring ends without a report: the next change is all there is.
    lines.Set(TIOCM_RI, false);
    lines.Set(TIOCM_DSR, false);
    EXPECT_EQ(port.Next(2), (Journal{"link DSR off", "DSR off"}));
}

TEST(LineStatusTest, EachCounterStepBecomesItsErrorOnce)
{
    PtyPair pty;
    FakeLines lines;
    ProbedPort port(pty, lines);
    port.Parity()->SetCheck(true);
    port.OpenPort();
    port.Next(6);
    const std::pair<Counter, TComError> steps[] = {{&serial_icounter_struct::frame, ceFrame},
                                                   {&serial_icounter_struct::overrun, ceOverrun},
                                                   {&serial_icounter_struct::parity, ceRxParity},
                                                   {&serial_icounter_struct::buf_overrun, ceRxOver}};
    for (const auto& [counter, error] : steps) {
        lines.Step(counter);
        EXPECT_EQ(port.NextErrors(), std::vector<TComErrors>{TComErrors{error}}) << int(error);
        EXPECT_TRUE(port.TakeLineErrors().Empty()); // the handling took it
    }
    // A break is an event of its own, no line error; the error query tells of it.
    lines.Step(&serial_icounter_struct::brk);
    EXPECT_EQ(port.Next(1), Journal{"break"});
    EXPECT_TRUE(port.errors.empty());
    EXPECT_EQ(port.TakeLineErrors(), TComErrors{ceBreak});
    // Parity steps are no error of a port that does not check parity.
    port.Parity()->SetCheck(false);
    lines.Step(&serial_icounter_struct::parity);
    lines.Step(&serial_icounter_struct::frame);
    EXPECT_EQ(port.NextErrors(), std::vector<TComErrors>{TComErrors{ceFrame}});
}

// Whether what the far end sent is at the slave; with `taken`, also that
// the port's event wait has taken it away again.
bool Arrived(const PtyPair& pty, bool taken = false)
{
    const int fd = ::open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    pollfd line{fd, POLLIN, 0};
    bool arrived = ::poll(&line, 1, taken ? 200 : 2000) > 0;
    if (taken)
        arrived = PumpUntil([fd] {
            int queued = -1;
            return ::ioctl(fd, FIONREAD, &queued) == 0 && queued == 0;
        });
    ::close(fd);
    return arrived;
}

// DTR and RTS follow their control settings, from the opening on and on
// every change; the handshakes and the RTS toggle, which Linux does not
// do, leave their line raised.
TEST(LineStatusTest, DtrAndRtsFollowTheirControlSettings)
{
    PtyPair pty;
    FakeLines lines;
    lines.Set(TIOCM_DTR | TIOCM_RTS, true);
    ProbedPort port(pty, lines);
    TComFlowControl* flow = port.FlowControl();
    flow->SetControlRTS(rtsEnable);
    port.OpenPort();
    EXPECT_FALSE(lines.On(TIOCM_DTR));
    EXPECT_TRUE(lines.On(TIOCM_RTS));
    flow->SetControlDTR(dtrEnable);
    flow->SetControlRTS(rtsDisable);
    EXPECT_TRUE(lines.On(TIOCM_DTR));
    EXPECT_FALSE(lines.On(TIOCM_RTS));
    for (TRTSFlowControl rts : {rtsHandshake, rtsToggle}) {
        flow->SetControlRTS(rts);
        EXPECT_TRUE(lines.On(TIOCM_RTS)) << int(rts);
        flow->SetControlRTS(rtsDisable);
        EXPECT_FALSE(lines.On(TIOCM_RTS)) << int(rts);
    }
    flow->SetControlDTR(dtrDisable);
    EXPECT_FALSE(lines.On(TIOCM_DTR));
    flow->SetControlDTR(dtrHandshake);
    EXPECT_TRUE(lines.On(TIOCM_DTR));
}

// What arrives while DSR is off never reaches the port, whichever way it is
// taken in; a pty, which has no DSR, takes everything.
TEST(LineStatusTest, DsrSensitivityDropsWhatArrivesWhileDsrIsOff)
{
    PtyPair pty;
    FakeLines lines;
    ProbedPort port(pty, lines);
    port.FlowControl()->SetDSRSensitivity(true);
    port.OpenPort();
    pty.Send("lost");
    ASSERT_TRUE(Arrived(pty, true));
    lines.Set(TIOCM_DSR, true);
    pty.Send("kept");
    PumpUntil([&] { return port.received.size() >= 4; });
    EXPECT_EQ(port.received, "kept");

    lines.Set(TIOCM_DSR, false);
    port.ClosePort();
    port.SetEvents({});
    port.OpenPort();
    std::string text;
    pty.Send("counted");
    ASSERT_TRUE(Arrived(pty));
    EXPECT_EQ(port.PendingInputCount(), 0);
    pty.Send("read");
    ASSERT_TRUE(Arrived(pty));
    EXPECT_EQ(port.ReadText(text, 16), 0);
    port.FlowControl()->SetDSRSensitivity(false);
    pty.Send("taken");
    ASSERT_TRUE(Arrived(pty));
    EXPECT_EQ(port.ReadText(text, 16), 5);

    PtyPair plain;
    PtyPort withoutLines(plain, {});
    withoutLines.FlowControl()->SetDSRSensitivity(true);
    withoutLines.OpenPort();
    plain.Send("pty");
    ASSERT_TRUE(Arrived(plain));
    EXPECT_EQ(withoutLines.ReadText(text, 16), 3);
}

} // namespace
