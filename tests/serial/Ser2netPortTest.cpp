// The network port against a real ser2net on the loopback, in front of a
// pseudo-terminal whose far end the test plays as the board: what the port
// sets reaches the served line, every byte crosses both ways, purges drop
// what is queued, a server that stops is a lost device, a second client is
// refused with the server's own words, and a socket:// port moves bytes.
#include "serial/CPort.h"
#include "tests/serial/CatchComError.h"
#include "tests/serial/NetPort.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Pump.h"
#include "tests/support/Ser2net.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <termios.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t Megabyte = 1u << 20;

// Looks at something no event announces until `done` holds or `timeout`
// passes; returns done().
template <class Condition>
bool Eventually(Condition done, std::chrono::milliseconds timeout = 3s)
{
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline)
            return done();
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The served line's settings as ser2net left them (the master side of a
// pseudo-terminal reports its slave's).
termios LineSettingsOf(const PtyPair& pty)
{
    termios tio{};
    tcgetattr(pty.MasterFd(), &tio);
    return tio;
}

speed_t RateOf(const PtyPair& pty)
{
    const termios tio = LineSettingsOf(pty);
    return cfgetospeed(&tio);
}

// A board's line served by ser2net: the test is the board on the master
// side of `pty`; ser2net opens the slave when a client connects.
struct ServedLine {
    explicit ServedLine(Ser2net::Accepter accepter = Ser2net::Accepter::Rfc2217) : server(pty.SlavePath(), accepter)
    {
        server.Start();
    }
    PtyPair pty;
    Ser2net server;
};

void Use8N1WithoutFlowControl(TComPort& port)
{
    port.SetBaudRate(br115200);
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    TComParity parity;
    parity.SetBits(prNone);
    port.SetParity(&parity);
    port.FlowControl()->SetFlowControl(fcNone);
}

// Reads that wait up to `total` for all they asked for.
void WaitForWholeReads(TComPort& port, std::chrono::milliseconds total)
{
    TComTimeouts timeouts;
    timeouts.SetReadInterval(0);
    timeouts.SetReadTotalMultiplier(0);
    timeouts.SetReadTotalConstant(static_cast<std::int32_t>(total.count()));
    port.SetTimeouts(&timeouts);
}

// A pseudo-terminal keeps 8 data bits and no parity bit whatever it is
// told (the kernel's rule for them), so of the format only the stop size,
// odd or even, and mark or space show here; the data size and parity
// requests themselves are checked on the wire (NetProtocolTest).
TEST(Ser2netPortTest, WhatThePortSetsReachesTheServedLineWhileItIsOpen)
{
    ServedLine line;
    NetPort port(line.server.PortName());
    port.SetBaudRate(br115200);
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    TComParity odd;
    odd.SetBits(prOdd);
    port.SetParity(&odd);
    port.FlowControl()->SetFlowControl(fcHardware);
    // ser2net answers neither DTR nor RTS on a line without modem lines:
    // the open goes on without those answers.
    port.FlowControl()->SetControlDTR(dtrEnable);
    port.OpenPort();

    const tcflag_t format = CSTOPB | PARODD | CMSPAR | CRTSCTS;
    ASSERT_TRUE(Eventually([&] { return RateOf(line.pty) == B115200; })) << line.server.Log();
    termios tio = LineSettingsOf(line.pty);
    EXPECT_EQ(tio.c_cflag & format, static_cast<tcflag_t>(CSTOPB | PARODD | CRTSCTS));
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));

    // Changed while open, each setting goes out again.
    port.BeginSettingsUpdate();
    port.SetBaudRate(br57600);
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    TComParity mark;
    mark.SetBits(prMark);
    port.SetParity(&mark);
    port.FlowControl()->SetFlowControl(fcSoftware);
    port.EndSettingsUpdate();
    ASSERT_TRUE(Eventually([&] { return RateOf(line.pty) == B57600; }));
    tio = LineSettingsOf(line.pty);
    EXPECT_EQ(tio.c_cflag & format, static_cast<tcflag_t>(PARODD | CMSPAR));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    TComParity space;
    space.SetBits(prSpace);
    port.SetParity(&space);
    port.FlowControl()->SetFlowControl(fcNone);
    ASSERT_TRUE(Eventually([&] { return !(LineSettingsOf(line.pty).c_iflag & IXON); }));
    tio = LineSettingsOf(line.pty);
    EXPECT_EQ(tio.c_cflag & format, static_cast<tcflag_t>(CMSPAR));
    EXPECT_FALSE(tio.c_iflag & IXOFF);
    port.ClosePort();
}

TEST(Ser2netPortTest, OneAndAHalfStopBitsThatNobodyAnswersDoNotFailTheOpen)
{
    ServedLine line;
    NetPort port(line.server.PortName());
    port.SetBaudRate(br1200);
    port.SetDataBits(dbFive);
    port.SetStopBits(sbOne5StopBits);
    port.FlowControl()->SetFlowControl(fcHardware);
    port.OpenPort();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.StopBits(), sbOne5StopBits);
    // What comes before and after the unanswered request reached the line.
    EXPECT_TRUE(Eventually([&] { return RateOf(line.pty) == B1200 && (LineSettingsOf(line.pty).c_cflag & CRTSCTS); }));
    port.ClosePort();
}

TEST(Ser2netPortTest, AMegabyteOfEveryByteValueCrossesBothWaysThroughTransfers)
{
    ServedLine line;
    NetPort port(line.server.PortName(), TComEvents{});
    Use8N1WithoutFlowControl(port);
    WaitForWholeReads(port, 20s);
    port.OpenPort();
    const std::string bytes = EveryByteValue(Megabyte);

    // Port to board: the write goes on while the board reads.
    TComAsync write;
    port.WriteBufferAsync(bytes.data(), static_cast<std::int32_t>(bytes.size()), &write);
    const std::string atBoard = line.pty.Receive(bytes.size(), 20s);
    EXPECT_EQ(port.WaitForCompletion(&write), static_cast<std::int32_t>(bytes.size()));
    EXPECT_EQ(FirstDifference(atBoard, bytes), "");

    // Board to port: one read of the whole megabyte, while the board writes.
    std::thread board([&] { line.pty.Send(bytes); });
    std::string atPort(bytes.size(), '\0');
    const std::int32_t read = port.ReadBuffer(atPort.data(), static_cast<std::int32_t>(atPort.size()));
    board.join();
    atPort.resize(static_cast<std::size_t>(std::max(read, 0)));
    EXPECT_EQ(FirstDifference(atPort, bytes), "");
    EXPECT_EQ(port.PendingInputCount(), 0);
    port.ClosePort();
}

class Ser2netReceiveTest : public ::testing::TestWithParam<TSyncMethod> {};

TEST_P(Ser2netReceiveTest, AMegabyteOfEveryByteValueArrivesThroughOnRxChar)
{
    ServedLine line;
    NetPort port(line.server.PortName(), TComEvents{evRxChar});
    Use8N1WithoutFlowControl(port);
    port.SetSyncMethod(GetParam());
    std::mutex mutex;
    std::string atPort;
    port.OnRxChar = [&](QObject*, std::int32_t count) {
        // Reads return what is there (the port's default time-outs).
        std::string chunk;
        port.ReadText(chunk, count);
        std::lock_guard lock(mutex);
        atPort += chunk;
    };
    port.OpenPort();
    const std::string bytes = EveryByteValue(Megabyte);
    std::thread board([&] { line.pty.Send(bytes); });
    const bool all = PumpUntil(
        [&] {
            std::lock_guard lock(mutex);
            return atPort.size() >= bytes.size();
        },
        20s);
    board.join();
    port.ClosePort();
    EXPECT_TRUE(all);
    EXPECT_EQ(FirstDifference(atPort, bytes), "");
}

INSTANTIATE_TEST_SUITE_P(EventThreadAndEventLoop, Ser2netReceiveTest, ::testing::Values(smThreadSync, smNone));

TEST(Ser2netPortTest, PurgeDropsWhatTheBoardSentAndTheLineGoesOn)
{
    ServedLine line;
    NetPort port(line.server.PortName(), TComEvents{});
    Use8N1WithoutFlowControl(port);
    WaitForWholeReads(port, 3s);
    port.OpenPort();

    // Received and not read: queued at the port.
    line.pty.Send("stale");
    ASSERT_TRUE(Eventually([&] { return port.PendingInputCount() == 5; }));
    ASSERT_EQ(port.Purge(true, false), 0);
    EXPECT_EQ(port.PendingInputCount(), 0);
    line.pty.Send("fresh");
    std::string text;
    port.ReadText(text, 5);
    EXPECT_EQ(text, "fresh");

    // Written and not yet taken by the board: the server is asked to drop
    // what its line holds (which a pseudo-terminal does not show) and
    // answers; the line goes on.
    port.WriteText("out");
    EXPECT_EQ(line.pty.Receive(3), "out");
    ASSERT_EQ(port.Purge(true, true), 0);
    port.WriteText("fresh");
    EXPECT_EQ(line.pty.Receive(5), "fresh");
    line.pty.Send("again");
    port.ReadText(text, 5);
    EXPECT_EQ(text, "again");
    port.ClosePort();
}

TEST(Ser2netPortTest, AServerThatStopsIsALostDeviceAndTheSamePortOpensWhenItIsBack)
{
    ServedLine line;
    NetPort port(line.server.PortName());
    Use8N1WithoutFlowControl(port);
    int losses = 0;
    Clock::time_point toldAt;
    port.OnDeviceLost = [&](QObject*) {
        ++losses;
        toldAt = Clock::now();
    };
    port.OpenPort();
    ASSERT_TRUE(Eventually([&] { return RateOf(line.pty) == B115200; }));

    const auto stoppedAt = Clock::now();
    line.server.Terminate();
    ASSERT_TRUE(PumpUntil([&] { return losses > 0; }, 5s));
    const double latencyMs = std::chrono::duration<double, std::milli>(toldAt - stoppedAt).count();
    // A figure to watch, not a target (the is 100 ms).
    RecordProperty("lost_notice_ms", std::to_string(latencyMs));
    std::printf("[ measure  ] lost notice %.1f ms after ser2net was told to stop\n", latencyMs);
    line.server.Stop();
    PumpFor(50ms);
    EXPECT_EQ(losses, 1);
    EXPECT_EQ(CatchComError([&] { port.WriteText("x"); }).Code(), CError_WriteFailed);
    port.ClosePort();

    // ser2net back on its port, the line at another rate: the port opens
    // again with its settings, and bytes move.
    termios slow = LineSettingsOf(line.pty);
    cfsetspeed(&slow, B9600);
    ASSERT_EQ(tcsetattr(line.pty.MasterFd(), TCSANOW, &slow), 0);
    line.server.Start();
    port.OpenPort();
    EXPECT_TRUE(Eventually([&] { return RateOf(line.pty) == B115200; }));
    port.WriteText("back");
    EXPECT_EQ(line.pty.Receive(4), "back");
    port.ClosePort();
    EXPECT_EQ(losses, 1);
}

TEST(Ser2netPortTest, ASecondClientIsRefusedWithTheServersTextUntilTheFirstCloses)
{
    ServedLine line;
    NetPort first(line.server.PortName());
    first.SetBaudRate(br115200);
    first.OpenPort();
    NetPort second(line.server.PortName());
    int secondLosses = 0;
    second.OnDeviceLost = [&](QObject*) { ++secondLosses; };

    // ser2net closes a refused connection at once. When the client's first
    // requests are still unread then, the connection is reset, and a text
    // not yet sent is lost with it (seldom, on a busy machine): the
    // refusal is a reset without words, and the next try has them.
    EComPort error = CatchComError([&] { second.OpenPort(); });
    for (int retry = 0; retry < 2 && error.PeerText().empty(); ++retry) {
        EXPECT_TRUE(error.OsCode() == ECONNRESET || error.OsCode() == EPIPE) << error.what();
        error = CatchComError([&] { second.OpenPort(); });
    }
    EXPECT_EQ(error.Code(), CError_OpenFailed);
    EXPECT_EQ(error.OsCode(), EBUSY);
    EXPECT_EQ(error.PeerText(), "Port already in use");
    const std::vector<std::string> details = error.Details();
    EXPECT_TRUE(std::any_of(details.begin(), details.end(), [](const std::string& d) {
        return d.find("\"Port already in use\"") != std::string::npos;
    })) << ::testing::PrintToString(details);
    EXPECT_FALSE(second.Connected());

    // The first client keeps its port.
    first.WriteText("still mine");
    EXPECT_EQ(line.pty.Receive(10), "still mine");
    PumpFor(50ms);
    EXPECT_EQ(secondLosses, 0);

    // Once the first has closed, the port is free for the next at once.
    first.ClosePort();
    second.OpenPort();
    second.WriteText("mine now");
    EXPECT_EQ(line.pty.Receive(8), "mine now");
    second.ClosePort();
}

TEST(Ser2netPortTest, ASocketPortMovesBytesAndKeepsItsSettingsToItself)
{
    ServedLine line(Ser2net::Accepter::Tcp);
    NetPort port(line.server.PortName(), TComEvents{});
    ASSERT_EQ(port.Port().toStdString().rfind("socket://", 0), 0u);
    port.SetBaudRate(br57600);
    port.SetDataBits(dbSeven);
    WaitForWholeReads(port, 3s);
    port.OpenPort();
    EXPECT_EQ(port.BaudRate(), br57600);
    EXPECT_EQ(port.DataBits(), dbSeven);
    EXPECT_TRUE(port.ModemSignals().Empty());

    const std::string bytes = EveryByteValue(4096);
    port.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    EXPECT_EQ(FirstDifference(line.pty.Receive(bytes.size()), bytes), "");
    line.pty.Send(bytes);
    std::string atPort(bytes.size(), '\0');
    atPort.resize(static_cast<std::size_t>(port.ReadBuffer(atPort.data(), static_cast<std::int32_t>(atPort.size()))));
    EXPECT_EQ(FirstDifference(atPort, bytes), "");

    // Settings changed while open are kept, and nothing of them goes down
    // the byte stream: the board sees the next bytes alone.
    port.BeginSettingsUpdate();
    port.SetBaudRate(br19200);
    port.SetStopBits(sbTwoStopBits);
    TComParity even;
    even.SetBits(prEven);
    port.SetParity(&even);
    port.FlowControl()->SetFlowControl(fcHardware);
    port.EndSettingsUpdate();
    EXPECT_EQ(port.BaudRate(), br19200);
    EXPECT_EQ(port.StopBits(), sbTwoStopBits);
    EXPECT_EQ(port.Parity()->Bits(), prEven);
    EXPECT_EQ(port.FlowControl()->FlowControl(), fcHardware);
    port.WriteText("next");
    EXPECT_EQ(line.pty.Receive(4), "next");
    // The served line keeps the server's own settings.
    const termios tio = LineSettingsOf(line.pty);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    port.ClosePort();
}

} // namespace
