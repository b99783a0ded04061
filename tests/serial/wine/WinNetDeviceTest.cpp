// The Windows network device under wine, against a real ser2net on the
// loopback in front of a pseudo-terminal whose far end ser2net-line plays
// as the board: opening and closing, settings that reach the served line,
// bytes both ways through transfers with their time-outs, line events and
// the stop of a wait, purge, a server that stops (a lost line), and
// connections refused by the system or by the server.
#include "serial/net/WinNetDevice.h"

#include "framework/WakeEvent.h"
#include "serial/device/OsError.h"
#include "serial/win32/Transfer.h"
#include "tests/serial/wine/BoardSide.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace EventBit = serialdev::EventBit;
using serialdev::OsErrorCode;
using serialdev::OsErrorKind;
using serialdev::net::WinNetDevice;

serialdev::LineSettings Format(std::uint32_t rate, std::uint8_t size, std::uint8_t parity, std::uint8_t stop,
                               std::uint32_t flags = 0)
{
    serialdev::LineSettings s;
    s.BaudRate = rate;
    s.ByteSize = size;
    s.Parity = parity;
    s.StopBits = stop;
    s.Flags = serialdev::LineFlag::Binary | flags;
    s.XonChar = 0x11;
    s.XoffChar = 0x13;
    return s;
}

// Reads that wait up to `ms` for all they asked for.
serialdev::Timeouts WholeReads(std::uint32_t ms)
{
    serialdev::Timeouts t;
    t.ReadInterval = 0;
    t.ReadTotalMultiplier = 0;
    t.ReadTotalConstant = ms;
    return t;
}

// Every byte value, also in the runs that mean something to Telnet.
std::string EveryByteValue(std::size_t size)
{
    std::string block;
    for (int b = 0; b < 256; ++b)
        block += static_cast<char>(b);
    block += std::string("\xFF\xFF\xFF\xFA\x2C\x01\x00\xFF\xF0\r\n\r\0\x11\x13\xFF", 16);
    std::string bytes;
    while (bytes.size() < size)
        bytes += block;
    bytes.resize(size);
    return bytes;
}

// Starts a transfer and waits for its end: its result, and the count.
struct Moved {
    int error;
    std::int32_t count;
};
Moved Read(serialdev::Device& device, char* into, std::int32_t count)
{
    auto transfer = serialdev::NewTransfer();
    std::int32_t n = 0;
    if (const int error = device.StartRead(*transfer, into, count, n))
        return {error, 0};
    const int error = device.Wait(*transfer, n);
    return {error, n};
}
Moved Write(serialdev::Device& device, const std::string& bytes)
{
    auto transfer = serialdev::NewTransfer();
    std::int32_t n = 0;
    if (const int error = device.StartWrite(*transfer, bytes.data(), std::int32_t(bytes.size()), n))
        return {error, 0};
    const int error = device.Wait(*transfer, n);
    return {error, n};
}

// A WaitEvent on a thread of its own, stopped and joined when it goes, so
// that no failing check leaves it waiting.
class EventWait {
public:
    explicit EventWait(serialdev::Device& device)
    {
        stop_.Open();
        result_ = std::async(std::launch::async, [this, &device] {
            std::uint32_t events = 0;
            const int error = device.WaitEvent(events, stop_.Handle());
            return std::pair<int, std::uint32_t>(error, events);
        });
    }
    ~EventWait()
    {
        stop_.Signal();
        if (result_.valid())
            result_.wait_for(5s);
    }
    bool Ended(std::chrono::milliseconds within) { return result_.wait_for(within) == std::future_status::ready; }
    std::pair<int, std::uint32_t> Result() { return result_.get(); }
    void Stop() { stop_.Signal(); }

private:
    WakeEvent stop_;
    std::future<std::pair<int, std::uint32_t>> result_;
};

// A server the test plays by hand on 127.0.0.1, for what ser2net on a
// pseudo-terminal never sends: a banner, modem lines, line errors.
class PlayedServer {
public:
    PlayedServer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~PlayedServer()
    {
        if (client_ != INVALID_SOCKET)
            ::closesocket(client_);
        ::closesocket(listener_);
    }
    std::string Name() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
    // Takes the client that connected, waiting at most 3 s.
    bool Accept()
    {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener_, &ready);
        timeval bound{3, 0};
        if (::select(0, &ready, nullptr, nullptr, &bound) != 1)
            return false;
        client_ = ::accept(listener_, nullptr, nullptr);
        return client_ != INVALID_SOCKET;
    }
    bool Send(const std::string& bytes)
    {
        return ::send(client_, bytes.data(), int(bytes.size()), 0) == int(bytes.size());
    }
    // IAC SB COM-PORT-OPTION code value IAC SE, as the server sends it.
    static std::string ComPort(unsigned char code, unsigned char value)
    {
        return std::string("\xFF\xFA\x2C", 3) + char(code) + char(value) + std::string("\xFF\xF0", 2);
    }

private:
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET client_ = INVALID_SOCKET;
    int port_ = 0;
};

class WinNetDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(board.Ok()) << "run under ser2net-line (NET_LINE_CONTROL)";
        ASSERT_TRUE(board.Discard());
    }

    // Opens the RFC 2217 port with 115200 8N1 and no flow control.
    void Open(WinNetDevice& device, const std::string& name = NetLineName("NET_LINE_RFC2217"))
    {
        ASSERT_EQ(device.Open(name), 0) << name << ": " << device.RefusalText();
        ASSERT_EQ(device.SetQueueSizes(4096, 2048), 0);
        ASSERT_EQ(device.SetLineSettings(Format(115200, 8, 0, 0)), 0);
    }

    BoardSide board;
};

TEST_F(WinNetDeviceTest, OpensClosesOpensAgainAndASecondClientIsRefusedWithTheServersText)
{
    WinNetDevice device;
    EXPECT_EQ(device.Kind(), serialdev::DeviceKind::Network);
    Open(device);
    EXPECT_EQ(device.Open(NetLineName("NET_LINE_RFC2217")), OsErrorCode(OsErrorKind::InUse));

    WinNetDevice second;
    const auto started = Clock::now();
    EXPECT_EQ(second.Open(NetLineName("NET_LINE_RFC2217")), OsErrorCode(OsErrorKind::InUse));
    EXPECT_NE(second.RefusalText().find("in use"), std::string::npos) << second.RefusalText();
    EXPECT_LT(Clock::now() - started, 2s) << "a refusal is not a time-out";

    device.Close();
    device.Close();
    std::uint32_t bits = 0;
    EXPECT_NE(device.ModemStatus(bits), 0) << "closed";
    Open(device);
    EXPECT_EQ(second.Open(NetLineName("NET_LINE_RFC2217")), OsErrorCode(OsErrorKind::InUse));
    device.Close();
}

TEST_F(WinNetDeviceTest, ConnectionsRefusedOrNamedWronglyGiveTheirCodes)
{
    WinNetDevice device;
    EXPECT_EQ(device.Open(NetLineName("NET_LINE_REFUSED")), WSAECONNREFUSED);
    EXPECT_EQ(device.RefusalText(), "");
    EXPECT_EQ(device.Open("rfc2217://127.0.0.1:2001?colour=blue"), OsErrorCode(OsErrorKind::InvalidArgument));
    EXPECT_EQ(device.Open("rfc2217://127.0.0.1"), OsErrorCode(OsErrorKind::InvalidArgument));
}

TEST_F(WinNetDeviceTest, WhatIsSetReachesTheServedLineAndWrongSettingsAreRefused)
{
    namespace F = serialdev::LineFlag;
    WinNetDevice device;
    Open(device);
    // A pseudo-terminal keeps 8 data bits whatever it is told; the rate,
    // stop size, parity kind and flow control show.
    ASSERT_EQ(device.SetLineSettings(Format(57600, 7, 1, 2, F::OutxCtsFlow | F::RtsHandshake)), 0);
    auto line = board.Line();
    EXPECT_EQ(line["speed"], "57600") << "answered before the call returned";
    EXPECT_EQ(line["stop"], "2");
    EXPECT_EQ(line["parodd"], "1") << "odd";
    EXPECT_EQ(line["cmspar"], "0");
    EXPECT_EQ(line["rtscts"], "1");

    ASSERT_EQ(device.SetLineSettings(Format(19200, 8, 3, 0, F::OutX | F::InX)), 0);
    line = board.Line();
    EXPECT_EQ(line["speed"], "19200");
    EXPECT_EQ(line["stop"], "1");
    EXPECT_EQ(line["parodd"], "1") << "mark";
    EXPECT_EQ(line["cmspar"], "1");
    EXPECT_EQ(line["rtscts"], "0");
    EXPECT_EQ(line["xonxoff"], "1");

    const int invalid = OsErrorCode(OsErrorKind::InvalidArgument);
    EXPECT_EQ(device.SetLineSettings(Format(0, 8, 0, 0)), invalid);
    EXPECT_EQ(device.SetLineSettings(Format(9600, 9, 0, 0)), invalid);
    EXPECT_EQ(device.SetLineSettings(Format(9600, 8, 0, 1)), invalid) << "1.5 stop bits need 5 data bits";
    EXPECT_EQ(board.Line()["speed"], "19200") << "a refused record sends nothing";
}

TEST_F(WinNetDeviceTest, EveryByteValueCrossesBothWaysThroughTransfers)
{
    WinNetDevice device;
    Open(device);
    ASSERT_EQ(device.SetTimeouts(WholeReads(10000)), 0);
    const std::string bytes = EveryByteValue(200 * 1024);

    // Out: more than the device holds on its way, so the write is pending
    // while the socket drains.
    auto out = std::async(std::launch::async, [&] { return Write(device, bytes); });
    const std::string received = board.Read(bytes.size(), 10000);
    ASSERT_EQ(out.wait_for(10s), std::future_status::ready);
    const Moved written = out.get();
    EXPECT_EQ(written.error, 0);
    EXPECT_EQ(written.count, std::int32_t(bytes.size()));
    EXPECT_TRUE(received == bytes) << "received " << received.size() << " of " << bytes.size();

    // In: the read waits for all of it.
    std::string in(bytes.size(), '\0');
    auto reading = std::async(std::launch::async, [&] { return Read(device, in.data(), std::int32_t(in.size())); });
    ASSERT_TRUE(board.Write(bytes));
    ASSERT_EQ(reading.wait_for(10s), std::future_status::ready);
    const Moved read = reading.get();
    EXPECT_EQ(read.error, 0);
    EXPECT_EQ(read.count, std::int32_t(bytes.size()));
    EXPECT_TRUE(in == bytes);
    device.Close();

    // socket:// carries the bytes as they are: no Telnet, no settings.
    ASSERT_EQ(board.Ask("use tcp"), "ok");
    Open(device, NetLineName("NET_LINE_SOCKET"));
    ASSERT_EQ(device.SetTimeouts(WholeReads(5000)), 0);
    // Without modem lines DSR is never off: sensitivity to it refuses nothing.
    ASSERT_EQ(device.SetLineSettings(Format(9600, 8, 0, 0, serialdev::LineFlag::DsrSensitivity)), 0);
    const std::string small = EveryByteValue(600);
    EXPECT_EQ(Write(device, small).count, 600);
    EXPECT_TRUE(board.Read(600, 5000) == small);
    ASSERT_TRUE(board.Write(small));
    std::string back(600, '\0');
    EXPECT_EQ(Read(device, back.data(), 600).count, 600);
    EXPECT_TRUE(back == small);
    std::uint32_t bits = 1;
    EXPECT_EQ(device.ModemStatus(bits), 0);
    EXPECT_EQ(bits, 0u) << "no modem lines";
}

TEST_F(WinNetDeviceTest, ReadTimeOutsCountFromTheStart)
{
    WinNetDevice device;
    Open(device);
    char buffer[16];
    // The defaults return at once with what is queued.
    auto started = Clock::now();
    EXPECT_EQ(Read(device, buffer, 16).count, 0);
    EXPECT_LT(Clock::now() - started, 200ms);

    ASSERT_EQ(device.SetTimeouts(WholeReads(300)), 0);
    started = Clock::now();
    Moved moved = Read(device, buffer, 16);
    const auto waited = Clock::now() - started;
    EXPECT_EQ(moved.error, 0) << "a time-out is no failure";
    EXPECT_EQ(moved.count, 0);
    EXPECT_GE(waited, 290ms);
    EXPECT_LT(waited, 2s);

    // Part of what was asked, then the time-out.
    ASSERT_TRUE(board.Write("abc"));
    moved = Read(device, buffer, 16);
    EXPECT_EQ(moved.count, 3);
    EXPECT_EQ(std::string(buffer, 3), "abc");
}

TEST_F(WinNetDeviceTest, ArrivalsAndTheOutputsDrainAreEventsAndPurgeDropsWhatCame)
{
    WinNetDevice device;
    Open(device);
    ASSERT_EQ(device.SetEventMask(EventBit::RxChar | EventBit::TxEmpty), 0);
    {
        EventWait wait(device);
        EXPECT_FALSE(wait.Ended(200ms)) << "nothing came";
        ASSERT_TRUE(board.Write("hello"));
        ASSERT_TRUE(wait.Ended(3s));
        const auto [error, events] = wait.Result();
        EXPECT_EQ(error, 0);
        EXPECT_EQ(events, EventBit::RxChar);
    }
    std::uint32_t errors = 1;
    std::int32_t queued = 0;
    ASSERT_EQ(device.ClearErrors(errors, queued), 0);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(queued, 5);
    {
        EventWait wait(device);
        EXPECT_FALSE(wait.Ended(200ms)) << "bytes that sit unread are no new arrival";
    }
    {
        EventWait wait(device);
        EXPECT_EQ(Write(device, "out").error, 0);
        ASSERT_TRUE(wait.Ended(3s));
        EXPECT_EQ(wait.Result().second, EventBit::TxEmpty);
    }
    EXPECT_EQ(board.Read(3, 3000), "out");

    ASSERT_EQ(device.Purge(true, true), 0);
    ASSERT_EQ(device.ClearErrors(errors, queued), 0);
    EXPECT_EQ(queued, 0);
    ASSERT_TRUE(board.Write("after"));
    ASSERT_EQ(device.SetTimeouts(WholeReads(3000)), 0);
    char buffer[5];
    EXPECT_EQ(Read(device, buffer, 5).count, 5);
    EXPECT_EQ(std::string(buffer, 5), "after");
}

TEST_F(WinNetDeviceTest, TheEventCharacterAndAQueueEightyPercentFullAreEventsAndNulsCanBeDropped)
{
    WinNetDevice device;
    Open(device);
    serialdev::LineSettings settings = Format(115200, 8, 0, 0, serialdev::LineFlag::Null);
    settings.EvtChar = '\n';
    ASSERT_EQ(device.SetLineSettings(settings), 0);
    ASSERT_EQ(device.SetQueueSizes(10, 10), 0);
    ASSERT_EQ(device.SetEventMask(EventBit::RxFlag | EventBit::Rx80Full), 0);
    {
        EventWait wait(device);
        ASSERT_TRUE(board.Write(std::string("ab\0c\n", 5)));
        ASSERT_TRUE(wait.Ended(3s));
        EXPECT_EQ(wait.Result().second, EventBit::RxFlag);
    }
    {
        EventWait wait(device);
        ASSERT_TRUE(board.Write("defg"));
        ASSERT_TRUE(wait.Ended(3s));
        EXPECT_EQ(wait.Result().second, EventBit::Rx80Full) << "8 of 10";
    }
    char buffer[16];
    const Moved moved = Read(device, buffer, 16);
    EXPECT_EQ(std::string(buffer, std::size_t(moved.count)), "abc\ndefg") << "without the NUL";
}

TEST_F(WinNetDeviceTest, AStopOrAMaskChangeEndsAWaitAtOnce)
{
    WinNetDevice device;
    Open(device);
    ASSERT_EQ(device.SetEventMask(EventBit::RxChar), 0);
    {
        EventWait wait(device);
        EXPECT_FALSE(wait.Ended(100ms));
        const auto stopped = Clock::now();
        wait.Stop();
        ASSERT_TRUE(wait.Ended(1s));
        EXPECT_LT(Clock::now() - stopped, 500ms);
        EXPECT_EQ(wait.Result().first, OsErrorCode(OsErrorKind::Cancelled));
    }
    {
        EventWait wait(device);
        EXPECT_FALSE(wait.Ended(100ms));
        ASSERT_EQ(device.SetEventMask(EventBit::RxChar | EventBit::RxFlag), 0);
        ASSERT_TRUE(wait.Ended(1s));
        const auto [error, events] = wait.Result();
        EXPECT_EQ(error, 0);
        EXPECT_EQ(events, 0u) << "ended by the mask change";
    }
}

TEST_F(WinNetDeviceTest, AServerThatStopsIsALostLineAndOpensAgainWhenBack)
{
    WinNetDevice device;
    Open(device);
    ASSERT_EQ(device.SetEventMask(EventBit::RxChar), 0);
    ASSERT_EQ(device.SetTimeouts(WholeReads(60000)), 0);
    char buffer[8];
    auto transfer = serialdev::NewTransfer();
    std::int32_t n = 0;
    ASSERT_EQ(device.StartRead(*transfer, buffer, 8, n), 0);
    EXPECT_FALSE(transfer->Completed());
    {
        EventWait wait(device);
        ASSERT_TRUE(board.StopServer());
        ASSERT_TRUE(wait.Ended(5s));
        const int error = wait.Result().first;
        EXPECT_TRUE(serialdev::LineGone(error)) << error;
    }
    EXPECT_TRUE(serialdev::LineGone(device.Wait(*transfer, n)));
    EXPECT_TRUE(serialdev::LineGone(Read(device, buffer, 8).error));
    EXPECT_TRUE(serialdev::LineGone(Write(device, "x").error));
    device.Close();

    EXPECT_EQ(device.Open(NetLineName("NET_LINE_RFC2217")), WSAECONNREFUSED);
    ASSERT_TRUE(board.StartServer());
    Open(device);
    EXPECT_EQ(Write(device, "back").count, 4);
    EXPECT_EQ(board.Read(4, 3000), "back");
}

TEST_F(WinNetDeviceTest, ABannerIsNotBoardDataAndTheServersNoticesAreModemLinesEventsAndErrors)
{
    namespace M = serialdev::ModemBit;
    PlayedServer server;
    WinNetDevice device;
    auto opened = std::async(std::launch::async, [&] { return device.Open(server.Name()); });
    ASSERT_TRUE(server.Accept());
    // The answer to the closing query of the opening (a data size of 0)
    // settles it; the text before it is the greeting.
    ASSERT_TRUE(server.Send("Board server ready\r\n" + PlayedServer::ComPort(102, 0)));
    ASSERT_EQ(opened.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(opened.get(), 0);
    ASSERT_EQ(device.SetEventMask(EventBit::CTS | EventBit::DSR | EventBit::Err | EventBit::Break), 0);
    {
        EventWait wait(device);
        // CTS and DSR on, then a framing error and a break.
        ASSERT_TRUE(server.Send(PlayedServer::ComPort(107, 0x30) + "xy" + PlayedServer::ComPort(106, 0x08 | 0x10)));
        ASSERT_TRUE(wait.Ended(3s));
        const auto [error, events] = wait.Result();
        EXPECT_EQ(error, 0);
        EXPECT_NE(events & (EventBit::CTS | EventBit::DSR), 0u) << events;
    }
    std::uint32_t bits = 0;
    ASSERT_EQ(device.ModemStatus(bits), 0);
    EXPECT_EQ(bits, M::CTS | M::DSR);
    std::uint32_t errors = 0;
    std::int32_t queued = 0;
    ASSERT_EQ(device.ClearErrors(errors, queued), 0);
    EXPECT_EQ(errors, serialdev::ErrorFlag::Frame | serialdev::ErrorFlag::Break);
    EXPECT_EQ(queued, 2) << "the banner is not the board's";
    ASSERT_EQ(device.ClearErrors(errors, queued), 0);
    EXPECT_EQ(errors, 0u) << "taken once";
    char buffer[8];
    EXPECT_EQ(Read(device, buffer, 8).count, 2);
    EXPECT_EQ(std::string(buffer, 2), "xy");
}

} // namespace
