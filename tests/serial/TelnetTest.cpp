// The Telnet layer of the network device, driven as the device drives it:
// what a server sends in, what must go back and what is board data out.
#include "serial/net/Telnet.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace serialdev::net;
using namespace std::string_literals;

namespace {

constexpr char IAC = '\xFF', DONT = '\xFE', DO = '\xFD', WONT = '\xFC', WILL = '\xFB', SB = '\xFA', SE = '\xF0';
constexpr char NOP = '\xF1', DM = '\xF2', AYT = '\xF6', GA = '\xF9';
constexpr char Binary = 0, Sga = 3, ComPort = 44, TerminalType = 24;

std::string Cmd(char verb, char option) { return {IAC, verb, option}; }

// One client session and everything it put out so far.
struct Client {
    TelnetSession session;
    std::string data, reply;
    std::vector<ComPortMessage> messages;

    explicit Client(bool start = true)
    {
        if (start)
            session.Start();
    }
    Client& Feed(const std::string& bytes)
    {
        session.Receive(bytes, data, reply, messages);
        return *this;
    }
    // Returns and forgets the replies so far.
    std::string Reply() { return std::exchange(reply, {}); }
};

// A client whose COM-PORT offer the server has taken.
Client Accepted()
{
    Client client;
    client.Feed(Cmd(DO, ComPort));
    return client;
}

} // namespace

TEST(TelnetCodec, EveryByteValueArrivesAsSent)
{
    std::string all;
    for (int round = 0; round < 2; ++round)
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
    std::string wire;
    TelnetSession::EncodeData(all, wire);
    EXPECT_EQ(wire.size(), all.size() + 2);

    Client client = Accepted();
    client.Feed(wire);
    EXPECT_EQ(client.data, all);
    EXPECT_EQ(client.reply, "");
}

TEST(TelnetCodec, RequestDoublesIacInValue)
{
    EXPECT_EQ(TelnetSession::ComPortRequest(ComPortCode::SetBaudRate, "\x00\x00\xFF\xFF"s),
              "\xFF\xFA\x2C\x01\x00\x00\xFF\xFF\xFF\xFF\xFF\xF0"s);
}

TEST(TelnetCodec, MessageValueIsUnescaped)
{
    Client client = Accepted();
    client.Feed(TelnetSession::ComPortRequest(101, "\x00\x01\xFF\x80"s) + "\xFF\xFA\x2C\x6B\xFF\xFF\xFF\xF0"s);
    const std::vector<ComPortMessage> expected{{101, "\x00\x01\xFF\x80"s}, {107, "\xFF"}};
    EXPECT_EQ(client.messages, expected);
    EXPECT_EQ(client.data, "");
}

// A stream with everything the parser must carry from one read to the next.
TEST(TelnetSplits, EverySplitGivesTheSameResult)
{
    const std::string stream = "banner"s + Cmd(DO, ComPort) + "ab" + IAC + IAC + "c" + IAC + NOP
        + TelnetSession::ComPortRequest(106, "\xFF\x10"s) + Cmd(WILL, Binary) + "d" + Cmd(DO, TerminalType)
        + IAC + SB + TerminalType + IAC + IAC + IAC + SE + "e" + IAC + IAC;

    Client whole;
    whole.Feed(stream);
    ASSERT_EQ(whole.data, "ab\xFF" "cde\xFF");
    ASSERT_EQ(whole.messages, (std::vector<ComPortMessage>{{106, "\xFF\x10"s}}));
    ASSERT_EQ(whole.reply, Cmd(WONT, TerminalType));
    ASSERT_EQ(whole.session.Preamble(), "banner");

    Client bytewise;
    for (char c : stream)
        bytewise.Feed(std::string(1, c));
    EXPECT_EQ(bytewise.data, whole.data);
    EXPECT_EQ(bytewise.reply, whole.reply);
    EXPECT_EQ(bytewise.messages, whole.messages);

    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        Client split;
        split.Feed(stream.substr(0, cut)).Feed(stream.substr(cut));
        EXPECT_EQ(split.data, whole.data) << "cut at " << cut;
        EXPECT_EQ(split.reply, whole.reply) << "cut at " << cut;
        EXPECT_EQ(split.messages, whole.messages) << "cut at " << cut;
        EXPECT_EQ(split.session.Preamble(), "banner") << "cut at " << cut;
    }
}

TEST(TelnetNegotiation, AcknowledgementsOfOurOffersGetNoAnswer)
{
    Client client;
    EXPECT_EQ(TelnetSession().Start(),
              Cmd(WILL, ComPort) + Cmd(WILL, Binary) + Cmd(DO, Binary) + Cmd(WILL, Sga) + Cmd(DO, Sga));
    client.Feed(Cmd(DO, ComPort) + Cmd(DO, Binary) + Cmd(WILL, Binary) + Cmd(DO, Sga) + Cmd(WILL, Sga));
    EXPECT_EQ(client.reply, "");
    EXPECT_TRUE(client.session.Settled());
    EXPECT_TRUE(client.session.ComPortAccepted());
    EXPECT_EQ(client.session.Start(), ""); // nothing left to ask for
}

TEST(TelnetNegotiation, RepeatedRequestIsAnsweredOnce)
{
    Client client(false);
    client.Feed(Cmd(DO, Binary) + Cmd(DO, Binary) + Cmd(DO, Binary) + Cmd(WILL, Sga) + Cmd(WILL, Sga));
    EXPECT_EQ(client.reply, Cmd(WILL, Binary) + Cmd(DO, Sga));
}

TEST(TelnetNegotiation, ServerMayAskForComPortFirst)
{
    Client client(false);
    client.Feed(Cmd(DO, ComPort) + "x");
    EXPECT_EQ(client.reply, Cmd(WILL, ComPort));
    EXPECT_TRUE(client.session.ComPortAccepted());
    EXPECT_EQ(client.data, "x");
}

TEST(TelnetNegotiation, UnknownOptionsAreRefusedOnce)
{
    Client client;
    client.Feed(Cmd(DO, TerminalType) + Cmd(DO, TerminalType) + Cmd(WILL, TerminalType) + Cmd(WILL, TerminalType)
                + Cmd(WILL, ComPort) + Cmd(WILL, ComPort));
    EXPECT_EQ(client.reply, Cmd(WONT, TerminalType) + Cmd(DONT, TerminalType) + Cmd(DONT, ComPort));
}

TEST(TelnetNegotiation, OffForWhatIsOffGetsNothing)
{
    Client client(false);
    client.Feed(Cmd(DONT, Binary) + Cmd(WONT, Binary) + Cmd(DONT, TerminalType) + Cmd(WONT, ComPort));
    EXPECT_EQ(client.reply, "");
}

TEST(TelnetNegotiation, SwitchingOffIsAcknowledgedOnce)
{
    Client client = Accepted();
    client.Feed(Cmd(DO, Binary) + Cmd(WILL, Sga));
    client.Feed(Cmd(DONT, Binary) + Cmd(DONT, Binary) + Cmd(WONT, Sga) + Cmd(WONT, Sga));
    EXPECT_EQ(client.Reply(), Cmd(WONT, Binary) + Cmd(DONT, Sga));
    client.Feed(Cmd(DONT, ComPort));
    EXPECT_EQ(client.Reply(), Cmd(WONT, ComPort));
    EXPECT_FALSE(client.session.ComPortAccepted());
    client.Feed(Cmd(DO, Binary)); // on again is a change, so it is answered
    EXPECT_EQ(client.Reply(), Cmd(WILL, Binary));
}

TEST(TelnetNegotiation, RefusedComPortSettlesWithoutAnswer)
{
    Client client;
    client.Feed(Cmd(DONT, ComPort) + Cmd(WONT, Binary) + "x");
    EXPECT_EQ(client.reply, "");
    EXPECT_TRUE(client.session.Settled());
    EXPECT_FALSE(client.session.ComPortAccepted());
    EXPECT_EQ(client.data, "x");
}

// Two of our clients wired to each other: each refuses what the other
// offers on its behalf, and the talk must end.
TEST(TelnetNegotiation, TwoPeersComeToRest)
{
    Client a(false), b(false);
    std::string toB = a.session.Start(), toA = b.session.Start();
    int rounds = 0;
    for (; (!toA.empty() || !toB.empty()) && rounds < 10; ++rounds) {
        a.Feed(toA);
        b.Feed(toB);
        toA = b.Reply();
        toB = a.Reply();
    }
    EXPECT_LT(rounds, 10);
    EXPECT_TRUE(a.session.Settled());
    EXPECT_FALSE(a.session.ComPortAccepted());
}

TEST(TelnetPreamble, TextBeforeTheAnswerIsNotBoardData)
{
    Client client;
    client.Feed("ser2net port 2000\r\n"s + Cmd(DO, ComPort) + "board");
    EXPECT_EQ(client.session.Preamble(), "ser2net port 2000\r\n");
    EXPECT_EQ(client.data, "board");
}

TEST(TelnetPreamble, SettleEndsTheWait)
{
    Client client;
    client.Feed("Port already in use\r\n");
    EXPECT_FALSE(client.session.Settled());
    client.session.Settle();
    client.Feed("board" + Cmd(DO, ComPort));
    EXPECT_EQ(client.data, "board");
    EXPECT_EQ(client.reply, ""); // still an answer to our offer
    EXPECT_TRUE(client.session.ComPortAccepted());
    EXPECT_EQ(client.session.Preamble(), "Port already in use\r\n");
}

TEST(TelnetPreamble, KeepsTheEndOfALongText)
{
    Client client;
    const std::string text = std::string(5000, '.') + "Device open failure";
    for (std::size_t at = 0; at < text.size(); at += 700)
        client.Feed(text.substr(at, 700));
    EXPECT_EQ(client.session.Preamble(), text.substr(text.size() - TelnetSession::MaxPreamble));
    EXPECT_EQ(client.data, "");
}

TEST(TelnetSubnegotiation, OversizeIsDroppedWhole)
{
    Client client = Accepted();
    const std::string big(TelnetSession::MaxSubnegotiation, 'v');
    client.Feed("\xFF\xFA\x2C\x65"s + big + "\xFF\xF0" + "x"
                + TelnetSession::ComPortRequest(101, std::string(TelnetSession::MaxSubnegotiation - 1, 'w')));
    ASSERT_EQ(client.messages.size(), 1u);
    EXPECT_EQ(client.messages[0].value.size(), TelnetSession::MaxSubnegotiation - 1);
    EXPECT_EQ(client.data, "x");
}

TEST(TelnetSubnegotiation, EndlessOneSwallowsOnlyItself)
{
    Client client = Accepted();
    client.Feed("\xFF\xFA\x2C\x65"s);
    const std::string chunk(65536, '\x01');
    for (int i = 0; i < 16; ++i)
        client.Feed(chunk);
    client.Feed("\xFF\xF0ok"s);
    EXPECT_TRUE(client.messages.empty());
    EXPECT_EQ(client.data, "ok");
}

TEST(TelnetSubnegotiation, OtherOptionsAreDropped)
{
    Client client = Accepted();
    client.Feed("\xFF\xFA\x18\x01\xFF\xF0" "a" "\xFF\xFA\x2C\xFF\xF0" "b" "\xFF\xFA\xFF\xF0" "c"s);
    EXPECT_TRUE(client.messages.empty());
    EXPECT_EQ(client.data, "abc");
}

TEST(TelnetSubnegotiation, CommandInsideEndsIt)
{
    Client client = Accepted();
    client.Feed("\xFF\xFA\x2C\x65\x01"s + Cmd(DO, TerminalType) + "x");
    EXPECT_TRUE(client.messages.empty());
    EXPECT_EQ(client.reply, Cmd(WONT, TerminalType));
    EXPECT_EQ(client.data, "x");
}

TEST(TelnetCommands, OthersAreConsumed)
{
    Client client = Accepted();
    client.Feed("a"s + IAC + NOP + IAC + GA + IAC + DM + IAC + AYT + IAC + SE + "b");
    EXPECT_EQ(client.data, "ab");
    EXPECT_EQ(client.reply, "");
}
