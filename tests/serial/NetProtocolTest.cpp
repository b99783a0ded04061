// The network port against a server the test plays on the loopback, for
// what ser2net cannot be made to do: negotiation and answers split at
// every byte, a server that never answers, options nobody asked for, a
// banner, a refusal, a reset, modem and line notifications; and what the
// client puts on the wire: its requests, their order and their values.
// Also the names that never get as far as a server.
#include "serial/CPort.h"
#include "serial/net/Telnet.h"
#include "tests/serial/CatchComError.h"
#include "tests/serial/NetPort.h"
#include "tests/support/Pump.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

namespace serialdev::net {

// Requests in failure messages: their code and value bytes in hex.
void PrintTo(const ComPortMessage& message, std::ostream* out)
{
    *out << "{" << int(message.code) << ":";
    for (unsigned char byte : message.value)
        *out << " " << std::hex << int(byte) << std::dec;
    *out << "}";
}

} // namespace serialdev::net

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using serialdev::net::ComPortMessage;
using serialdev::net::TelnetSession;
using Clock = std::chrono::steady_clock;

constexpr char IAC = '\xFF', DONT = '\xFE', DO = '\xFD', WONT = '\xFC', WILL = '\xFB', SB = '\xFA', SE = '\xF0';
constexpr char Binary = 0, Echo = 1, Sga = 3, TerminalType = 24, ComPort = 44;

std::string Cmd(char verb, char option) { return {IAC, verb, option}; }

// What a serial server opens with: it takes the client's COM-PORT offer
// and binary transmission and no go-aheads both ways.
const std::string Welcome =
    Cmd(DO, ComPort) + Cmd(WILL, Binary) + Cmd(DO, Binary) + Cmd(WILL, Sga) + Cmd(DO, Sga);

// A COM-PORT message from the server (code 100 and up).
std::string Notice(int code, std::string_view value)
{
    return TelnetSession::ComPortRequest(static_cast<unsigned char>(code), value);
}

// Board data as the server puts it on the wire.
std::string Escaped(std::string_view bytes)
{
    std::string wire;
    TelnetSession::EncodeData(bytes, wire);
    return wire;
}

// What answers a request: nothing, or bytes for the client.
using Answer = std::function<std::string(const ComPortMessage& request)>;

// Answers every request as ser2net does: its code + 100 and the value.
std::string Echoed(const ComPortMessage& request)
{
    return Notice(request.code + 100, request.value);
}

// A serial server played on a ScriptedServer by a thread of its own, so
// that it answers while the port's open blocks the test's thread. Each
// connection gets `greeting` first; what the client sends is decoded (by
// the project's own Telnet layer) into its requests and its data.
class PlayedServer {
public:
    struct Script {
        std::string greeting = Welcome;
        Answer answer = Echoed;
        // Every byte goes out on its own, a moment after the last.
        bool split = false;
        // Closes each connection once the greeting has gone.
        bool closeAfterGreeting = false;
    };

    PlayedServer() : PlayedServer(Script{}) {}
    explicit PlayedServer(Script script) : script_(std::move(script)), thread_([this] { Run(); }) {}
    ~PlayedServer()
    {
        stop_ = true;
        thread_.join();
    }

    ScriptedServer& Server() { return server_; }
    std::string Name(const std::string& options = {}) const { return "rfc2217://" + server_.Address() + options; }

    // Sends `bytes` to the client as the script splits them.
    void Send(const std::string& bytes)
    {
        std::lock_guard lock(sendMutex_);
        if (!script_.split) {
            server_.Send(bytes);
            return;
        }
        for (char byte : bytes) {
            server_.Send(std::string(1, byte));
            // Not a wait for anything: spacing, so that each byte travels
            // in a segment of its own and the client reads it alone.
            std::this_thread::sleep_for(1ms);
        }
    }

    std::vector<ComPortMessage> Requests() const
    {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::string Data() const
    {
        std::lock_guard lock(mutex_);
        return data_;
    }
    // Everything the client sent, as it went over the wire.
    std::string Raw() const
    {
        std::lock_guard lock(mutex_);
        return raw_;
    }

    // Waits until the client's decoded data or requests satisfy `done`.
    template <class Condition>
    bool WaitFor(Condition done, std::chrono::milliseconds timeout = 3s)
    {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (done(requests_, data_))
                    return true;
            }
            if (Clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(2ms);
        }
    }

private:
    void Run()
    {
        int seen = 0;
        while (!stop_) {
            std::string got = server_.Receive(1, 10ms);
            // A connection is counted before its first byte is received:
            // looked at here, its greeting goes before any answer.
            if (server_.Connections() > seen) {
                seen = server_.Connections();
                {
                    std::lock_guard lock(mutex_);
                    decoder_ = TelnetSession{};
                    decoder_.Settle(); // all the client sends is data or requests
                }
                Send(script_.greeting);
                if (script_.closeAfterGreeting) {
                    server_.Close();
                    continue;
                }
            }
            if (got.empty())
                continue;
            got += server_.Drain();
            std::string data, reply;
            std::vector<ComPortMessage> messages;
            {
                std::lock_guard lock(mutex_);
                raw_ += got;
                decoder_.Receive(got, data, reply, messages);
                data_ += data;
                requests_.insert(requests_.end(), messages.begin(), messages.end());
            }
            std::string answers;
            for (const ComPortMessage& message : messages)
                answers += script_.answer(message);
            if (!answers.empty())
                Send(answers);
        }
    }

    ScriptedServer server_;
    const Script script_;
    std::atomic<bool> stop_ = false;
    std::mutex sendMutex_;
    mutable std::mutex mutex_;
    TelnetSession decoder_;
    std::vector<ComPortMessage> requests_;
    std::string data_;
    std::string raw_;
    std::thread thread_; // last: it starts once everything it uses is there
};

bool HasRequest(const std::vector<ComPortMessage>& requests, int code, const std::string& value)
{
    return std::find(requests.begin(), requests.end(), ComPortMessage{static_cast<unsigned char>(code), value}) !=
           requests.end();
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

void ReadsWaitUpTo(TComPort& port, std::chrono::milliseconds total)
{
    TComTimeouts timeouts;
    timeouts.SetReadInterval(0);
    timeouts.SetReadTotalMultiplier(0);
    timeouts.SetReadTotalConstant(static_cast<std::int32_t>(total.count()));
    port.SetTimeouts(&timeouts);
}

std::string Read(TComPort& port, std::size_t count)
{
    std::string text;
    port.ReadText(text, static_cast<std::int32_t>(count));
    return text;
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- negotiation -------------------------------------------------------------

TEST(NetProtocolTest, NegotiationAnswersAndDataSplitAtEveryByteAreUnderstood)
{
    PlayedServer played({.split = true});
    // A time-out far above what the answers take: an open that had to wait
    // it out would show they were not understood.
    NetPort port(played.Name("?timeout=6"), TComEvents{});
    ReadsWaitUpTo(port, 3s);
    const auto start = Clock::now();
    port.OpenPort();
    EXPECT_LT(SecondsSince(start), 3.0) << "the split answers were waited out, not taken";

    played.Send(Escaped("board\xFF\r\n"s));
    EXPECT_EQ(Read(port, 8), "board\xFF\r\n"s);
    port.WriteText("host\xFF"s);
    EXPECT_TRUE(played.WaitFor([](auto&, const std::string& data) { return data == "host\xFF"s; }));
    EXPECT_NE(played.Raw().find("host\xFF\xFF"s), std::string::npos) << "0xFF doubled on the wire";
    port.ClosePort();
}

TEST(NetProtocolTest, AServerThatNeverAnswersStillOpensAfterTheWaitAndCarriesBytes)
{
    PlayedServer played({.greeting = "", .answer = [](const ComPortMessage&) { return std::string(); }});
    NetPort port(played.Name("?timeout=0.3"), TComEvents{});
    ReadsWaitUpTo(port, 3s);
    port.SetBaudRate(br19200);
    port.OpenPort();
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(played.WaitFor([](const auto& requests, auto&) { return HasRequest(requests, 1, "\0\0\x4B\0"s); }))
        << "the settings went out all the same";

    played.Send("from the board");
    EXPECT_EQ(Read(port, 14), "from the board");
    port.WriteText("to the board");
    EXPECT_TRUE(played.WaitFor([](auto&, const std::string& data) { return data == "to the board"; }));

    // Changed later, a setting still goes out.
    port.SetBaudRate(br38400);
    EXPECT_TRUE(played.WaitFor([](const auto& requests, auto&) { return HasRequest(requests, 1, "\0\0\x96\0"s); }));
    port.ClosePort();
}

TEST(NetProtocolTest, OptionsAndSubnegotiationsNobodyAskedForChangeNothing)
{
    // Options the client does not support, subnegotiations of other
    // options and of unknown COM-PORT codes, and an answer to a request it
    // never sent, around board data.
    const std::string unasked = Cmd(DO, TerminalType) + Cmd(WILL, Echo) + IAC + SB + TerminalType + '\x01' + IAC + SE +
                                IAC + SB + '\x63' + "junk" + IAC + SE + Notice(150, "x") + Notice(112, "\x03");
    PlayedServer played({.greeting = Welcome + unasked});
    NetPort port(played.Name(), TComEvents{});
    ReadsWaitUpTo(port, 3s);
    port.OpenPort();
    played.Send(Escaped("before") + unasked + Escaped("after"));
    EXPECT_EQ(Read(port, 11), "beforeafter");
    EXPECT_EQ(port.PendingInputCount(), 0);

    // Refused once each, however often asked: the client's reply to the
    // second round went out before the data it wrote after reading it.
    port.WriteText("sync");
    ASSERT_TRUE(played.WaitFor([](auto&, const std::string& data) { return data == "sync"; }));
    const std::string raw = played.Raw();
    EXPECT_EQ(Count(raw, Cmd(WONT, TerminalType)), 1u);
    EXPECT_EQ(Count(raw, Cmd(DONT, Echo)), 1u);
    EXPECT_EQ(Count(raw, Cmd(WILL, ComPort)), 1u) << "the accepted offer is not made again";
    port.ClosePort();
}

TEST(NetProtocolTest, ABannerIsNotBoardOutputButDataRightAfterTheSettlingAnswerIs)
{
    std::atomic<int> queries = 0;
    PlayedServer::Script script;
    script.greeting = Welcome + "Welcome to the rack server\r\nport 2001\r\n";
    // The first query of the data size is what the client's negotiation
    // waits for; the board's first bytes follow its answer in the same
    // segment.
    script.answer = [&queries](const ComPortMessage& request) {
        std::string answer = Echoed(request);
        if (request.code == 2 && request.value == "\0"s && queries++ == 0)
            answer += Escaped("first");
        return answer;
    };
    PlayedServer played(script);
    NetPort port(played.Name(), TComEvents{});
    ReadsWaitUpTo(port, 3s);
    port.OpenPort();
    EXPECT_EQ(Read(port, 5), "first");
    TComTimeouts atOnce; // reads return what is there
    port.SetTimeouts(&atOnce);
    EXPECT_EQ(Read(port, 100), "");
    port.ClosePort();
}

// ---- refusals and losses -------------------------------------------------------------

TEST(NetProtocolTest, ARefusalBeforeTheCloseIsTheServersReason)
{
    ScopedEnvironment lang("LANG", "C"), all("LC_ALL", std::nullopt), language("LANGUAGE", std::nullopt);
    struct Case {
        std::string said;
        int osCode;
        std::string reason;
    } cases[] = {
        {"Port already in use\r\n", EBUSY, "Port already in use"},
        {"\r\nDevice open failure: Permission denied\r\n", ECONNRESET, "Device open failure: Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        PlayedServer played({.greeting = Welcome + c.said, .closeAfterGreeting = true});
        NetPort port(played.Name());
        const EComPort error = CatchComError([&] { port.OpenPort(); });
        EXPECT_EQ(error.Code(), CError_OpenFailed);
        EXPECT_EQ(error.OsCode(), c.osCode);
        EXPECT_EQ(error.PeerText(), c.reason);
        const std::vector<std::string> details = error.Details();
        EXPECT_TRUE(std::find(details.begin(), details.end(),
                              "The serial server refused the port: \"" + c.reason + "\".") != details.end())
            << ::testing::PrintToString(details);
        EXPECT_FALSE(port.Connected());
    }
}

TEST(NetProtocolTest, AConnectionResetWhileOpenIsALostDevice)
{
    PlayedServer played;
    NetPort port(played.Name());
    int losses = 0;
    port.OnDeviceLost = [&](QObject*) { ++losses; };
    port.OpenPort();
    ASSERT_TRUE(played.Server().WaitForConnection());
    played.Server().Close(true);
    ASSERT_TRUE(PumpUntil([&] { return losses > 0; }));
    EXPECT_EQ(CatchComError([&] { port.WriteText("x"); }).Code(), CError_WriteFailed);
    PumpFor(50ms);
    EXPECT_EQ(losses, 1);
    port.ClosePort();
}

// ---- notifications ---------------------------------------------------------------

TEST(NetProtocolTest, ModemNotificationsBecomeTheModemSignalsAndTheirEvents)
{
    PlayedServer played;
    NetPort port(played.Name(), TComEvents{evCTS, evDSR, evRLSD, evRing});
    std::vector<std::string> told;
    port.OnCTSChange = [&](QObject*, bool on) { told.push_back(on ? "CTS on" : "CTS off"); };
    port.OnDSRChange = [&](QObject*, bool on) { told.push_back(on ? "DSR on" : "DSR off"); };
    port.OnRLSDChange = [&](QObject*, bool on) { told.push_back(on ? "RLSD on" : "RLSD off"); };
    port.OnRing = [&](QObject*) { told.push_back("ring"); };
    port.OpenPort();
    EXPECT_TRUE(port.ModemSignals().Empty());
    const auto has = [&](const char* what) { return std::find(told.begin(), told.end(), what) != told.end(); };

    // Every line on, with every change bit: 0xFF, doubled on the wire.
    played.Send(Notice(107, "\xFF"));
    ASSERT_TRUE(PumpUntil([&] { return has("CTS on") && has("DSR on") && has("RLSD on") && has("ring"); }))
        << ::testing::PrintToString(told);
    EXPECT_EQ(port.ModemSignals(), (TModemSignals{msCTS, msDSR, msRing, msRLSD}));

    told.clear();
    played.Send(Notice(107, "\x0F")); // all off, each changed
    ASSERT_TRUE(PumpUntil([&] { return has("CTS off") && has("DSR off") && has("RLSD off"); }))
        << ::testing::PrintToString(told);
    EXPECT_TRUE(port.ModemSignals().Empty());
    PumpFor(150ms);
    EXPECT_FALSE(has("ring")) << "a ring is told as it starts";
    port.ClosePort();
}

TEST(NetProtocolTest, LineNotificationsBecomeErrorsAndBreaks)
{
    PlayedServer played;
    {
        NetPort port(played.Name(), TComEvents{evError, evBreak});
        TComParity checked;
        checked.SetCheck(true);
        port.SetParity(&checked);
        TComErrors errors;
        int breaks = 0;
        port.OnError = [&](QObject*, TComErrors e) { errors = errors | e; };
        port.OnBreak = [&](QObject*) { ++breaks; };
        port.OpenPort();
        // Data ready and the transmitter's state are no errors; framing,
        // parity and overrun are.
        played.Send(Notice(106, "\x61") + Notice(106, "\x0E"));
        ASSERT_TRUE(PumpUntil([&] { return errors == TComErrors{ceFrame, ceRxParity, ceOverrun}; }))
            << int(errors.ToBits());
        played.Send(Notice(106, "\x10"));
        ASSERT_TRUE(PumpUntil([&] { return breaks > 0; }));
        port.ClosePort();
    }
    {
        // Without an event thread, the error query finds them.
        NetPort port(played.Name(), TComEvents{});
        port.OpenPort();
        played.Send(Notice(106, "\x08"));
        TComErrors errors;
        ASSERT_TRUE(PumpUntil([&] { return !(errors = port.TakeLineErrors()).Empty(); }));
        EXPECT_EQ(errors, TComErrors{ceFrame});
        port.ClosePort();
    }
}

// ---- what the client sends -----------------------------------------------------------

// The five requests from the first SET-BAUDRATE after index `from` on.
std::vector<ComPortMessage> SettingRequests(const std::vector<ComPortMessage>& requests, std::size_t from = 0)
{
    for (std::size_t i = from; i < requests.size(); ++i)
        if (requests[i].code == 1)
            return {requests.begin() + static_cast<std::ptrdiff_t>(i),
                    requests.begin() + static_cast<std::ptrdiff_t>(std::min(i + 5, requests.size()))};
    return {};
}

TEST(NetProtocolTest, RequestsGoOutInTheirOrderAndNeverSuspendTheServer)
{
    PlayedServer played;
    NetPort port(played.Name());
    port.SetBaudRate(br57600);
    port.SetDataBits(dbSeven);
    TComParity even;
    even.SetBits(prEven);
    port.SetParity(&even);
    port.SetStopBits(sbTwoStopBits);
    port.FlowControl()->SetFlowControl(fcHardware);
    ReadsWaitUpTo(port, 10s);
    port.OpenPort();

    const std::vector<ComPortMessage> atOpen = played.Requests();
    // First what the server is to report: line errors and breaks, and every
    // modem line; then the settings, in their order.
    ASSERT_GE(atOpen.size(), 2u);
    EXPECT_EQ(atOpen[0], (ComPortMessage{10, "\x1E"}));
    EXPECT_EQ(atOpen[1], (ComPortMessage{11, "\xFF"}));
    std::vector<ComPortMessage> settings = SettingRequests(atOpen, 2);
    ASSERT_EQ(settings.size(), 5u) << ::testing::PrintToString(atOpen);
    EXPECT_EQ(settings[0], (ComPortMessage{1, "\0\0\xE1\0"s}));
    EXPECT_EQ(settings[1], (ComPortMessage{2, "\x07"}));
    EXPECT_EQ(settings[2], (ComPortMessage{3, "\x03"}));
    EXPECT_EQ(settings[3], (ComPortMessage{4, "\x02"}));
    EXPECT_EQ(settings[4], (ComPortMessage{5, "\x03"}));

    // One setting changed while open sends them all again, in order.
    TComParity odd;
    odd.SetBits(prOdd);
    port.SetParity(&odd);
    settings = SettingRequests(played.Requests(), atOpen.size());
    ASSERT_EQ(settings.size(), 5u) << ::testing::PrintToString(played.Requests());
    EXPECT_EQ(settings[0].code, 1);
    EXPECT_EQ(settings[1].code, 2);
    EXPECT_EQ(settings[2], (ComPortMessage{3, "\x02"}));
    EXPECT_EQ(settings[3].code, 4);
    EXPECT_EQ(settings[4], (ComPortMessage{5, "\x03"}));

    // The board sends far more than the port takes in at once: the client
    // holds back by not reading, never by asking the server to suspend.
    const std::string flood = EveryByteValue(512 * 1024);
    played.Send(Escaped(flood));
    ASSERT_TRUE(PumpUntil([&] { return port.PendingInputCount() >= 1000; })) << "a backlog at the port";
    std::string atPort(flood.size(), '\0');
    atPort.resize(static_cast<std::size_t>(port.ReadBuffer(atPort.data(), static_cast<std::int32_t>(atPort.size()))));
    EXPECT_EQ(FirstDifference(atPort, flood), "");
    for (const ComPortMessage& request : played.Requests()) {
        EXPECT_NE(request.code, 8) << "FLOWCONTROL-SUSPEND";
        EXPECT_NE(request.code, 9) << "FLOWCONTROL-RESUME";
    }
    port.ClosePort();
}

// What the server sent before it purged its queue is on its way when the
// client asks: the answer comes after it, and the purge drops that too.
TEST(NetProtocolTest, AnInputPurgeDropsWhatTheServerSentBeforeItsAnswer)
{
    PlayedServer::Script script;
    script.answer = [](const ComPortMessage& request) {
        return request.code == 12 ? Escaped("in flight") + Echoed(request) : Echoed(request);
    };
    PlayedServer played(script);
    NetPort port(played.Name(), TComEvents{});
    ReadsWaitUpTo(port, 3s);
    port.OpenPort();
    played.Send(Escaped("queued"));
    ASSERT_TRUE(PumpUntil([&] { return port.PendingInputCount() == 6; }));
    ASSERT_EQ(port.Purge(true, false), 0);
    played.Send(Escaped("fresh"));
    EXPECT_EQ(Read(port, 5), "fresh");
    port.ClosePort();
}

TEST(NetProtocolTest, APurgeAsksTheServerToDropWhatItHolds)
{
    PlayedServer played;
    NetPort port(played.Name(), TComEvents{});
    port.OpenPort();
    const struct {
        bool input, output;
        char value;
    } purges[] = {{true, false, 1}, {false, true, 2}, {true, true, 3}};
    for (const auto& p : purges) {
        const std::size_t before = played.Requests().size();
        ASSERT_EQ(port.Purge(p.input, p.output), 0);
        const std::vector<ComPortMessage> sent = played.Requests();
        ASSERT_GT(sent.size(), before);
        EXPECT_EQ(sent[before], (ComPortMessage{12, std::string(1, p.value)}));
    }
    port.ClosePort();
}

// ---- names that get nowhere ---------------------------------------------------------

class NetNameTest : public ::testing::Test {
protected:
    // The lines under the message, in English.
    ScopedEnvironment lang_{"LANG", "C"};
    ScopedEnvironment all_{"LC_ALL", std::nullopt};
    ScopedEnvironment language_{"LANGUAGE", std::nullopt};
};

bool HasLineWith(const std::vector<std::string>& lines, const std::string& part)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

TEST_F(NetNameTest, AnOptionNotKnownIsRefusedBeforeAnyConnection)
{
    PlayedServer played;
    const struct {
        std::string options, named;
    } cases[] = {
        {"?bogus", "\"bogus\""},
        {"?timeout=soon", "\"soon\""},
        {"?timeout=1&colour=blue", "\"colour=blue\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        NetPort port(played.Name(c.options));
        const EComPort error = CatchComError([&] { port.OpenPort(); });
        EXPECT_EQ(error.Code(), CError_OpenFailed);
        EXPECT_EQ(error.OsCode(), EINVAL);
        EXPECT_TRUE(HasLineWith(error.Details(), c.named)) << ::testing::PrintToString(error.Details());
    }
    // socket:// names take no control options.
    NetPort plain("socket://" + played.Server().Address() + "?ign_set_control");
    EXPECT_EQ(CatchComError([&] { plain.OpenPort(); }).OsCode(), EINVAL);
    EXPECT_EQ(played.Server().Connections(), 0);

    // The options a lab's tools use are taken.
    NetPort known(played.Name("?ign_set_control&poll_modem&logging=debug&timeout=2.5"));
    known.OpenPort();
    EXPECT_TRUE(known.Connected());
    known.ClosePort();
}

TEST_F(NetNameTest, AHostThatCannotBeFoundIsNamed)
{
    // A label longer than names may have (63 bytes): the resolver refuses
    // it itself, so no query leaves the machine.
    const std::string host = std::string(64, 'x') + ".invalid";
    NetPort port("rfc2217://" + host + ":2001");
    const EComPort error = CatchComError([&] { port.OpenPort(); });
    EXPECT_EQ(error.Code(), CError_OpenFailed);
    EXPECT_EQ(error.OsCode(), ENOENT);
    EXPECT_TRUE(HasLineWith(error.Details(), "The host " + host + " could not be found"))
        << ::testing::PrintToString(error.Details());
    EXPECT_FALSE(HasLineWith(error.Details(), "No such file")) << "the name is what is missing, not a file";
}

TEST_F(NetNameTest, ARefusedConnectionNamesHostAndPort)
{
    ScriptedServer closed;
    closed.StopListening();
    for (const std::string scheme : {"rfc2217://", "socket://"}) {
        SCOPED_TRACE(scheme);
        NetPort port(scheme + closed.Address());
        const EComPort error = CatchComError([&] { port.OpenPort(); });
        EXPECT_EQ(error.Code(), CError_OpenFailed);
        EXPECT_EQ(error.OsCode(), ECONNREFUSED);
        EXPECT_TRUE(HasLineWith(error.Details(), "Nothing accepts connections on " + closed.Address()))
            << ::testing::PrintToString(error.Details());
    }
}

} // namespace
