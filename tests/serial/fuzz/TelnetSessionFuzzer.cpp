// What a server sends a network port, as the Telnet layer takes it: any
// bytes, cut into reads anywhere. The head of the input chooses whether
// the client offered its options first, whether (and after how many
// bytes) the device gives up waiting for the answer, and the seed of the
// cuts; the rest is the server's stream.
//
// Whatever the server sends, the layer must
// - give the same result however the stream is cut;
// - keep within its bounds (preamble, subnegotiation size) and put out
//   no more than came in;
// - put out board data that, sent again with its 0xFF doubled, comes
//   back as it was;
// - answer only with whole negotiation commands, never twice in a row to
//   the same effect, and refuse an option it does not support once at
//   most.
#include "serial/net/Telnet.h"
#include "tests/support/FuzzInput.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using namespace serialdev::net;

namespace {

struct Outcome {
    std::string data, reply, preamble;
    std::vector<ComPortMessage> messages;
    bool settled = false, accepted = false;
    bool operator==(const Outcome&) const = default;
};

// Feeds `stream` in the pieces `cuts` gives (one piece when null), with
// Settle() after `settleAt` bytes.
Outcome Feed(std::string_view stream, bool start, std::size_t settleAt, Cuts* cuts)
{
    TelnetSession session;
    Outcome out;
    if (start)
        session.Start();
    std::size_t at = 0;
    while (at < stream.size() || at == settleAt) {
        if (at == settleAt)
            session.Settle();
        if (at == stream.size())
            break;
        std::size_t end = cuts ? std::min(stream.size(), at + cuts->Size(5, 2048)) : stream.size();
        if (at < settleAt && end > settleAt)
            end = settleAt;
        session.Receive(stream.substr(at, end - at), out.data, out.reply, out.messages);
        at = end;
        REQUIRE(session.Preamble().size() <= TelnetSession::MaxPreamble);
        REQUIRE(out.data.size() + out.reply.size() <= at);
    }
    for (const ComPortMessage& message : out.messages)
        REQUIRE(1 + message.value.size() <= TelnetSession::MaxSubnegotiation);
    out.preamble = session.Preamble();
    out.settled = session.Settled();
    out.accepted = session.ComPortAccepted();
    REQUIRE(!out.accepted || out.settled);
    return out;
}

// The replies as RFC 1143 allows them. A supported option goes on in
// answer to a request while it is off, and off in answer to one while it
// is on, so its replies take turns; an option nothing here supports gets
// one refusal at most.
void CheckReplies(const std::string& reply)
{
    REQUIRE(reply.size() % 3 == 0);
    std::array<std::array<int, 256>, 2> last{}; // 0 none yet, 1 on, 2 off
    for (std::size_t i = 0; i < reply.size(); i += 3) {
        const auto verb = static_cast<unsigned char>(reply[i + 1]);
        const auto option = static_cast<unsigned char>(reply[i + 2]);
        REQUIRE(static_cast<unsigned char>(reply[i]) == TelnetByte::IAC);
        REQUIRE(verb >= TelnetByte::WILL && verb <= TelnetByte::DONT);
        const int side = verb == TelnetByte::WILL || verb == TelnetByte::WONT ? 0 : 1;
        const int said = verb == TelnetByte::WILL || verb == TelnetByte::DO ? 1 : 2;
        const bool supported = option == TelnetOption::Binary || option == TelnetOption::SuppressGoAhead
            || (side == 0 && option == TelnetOption::ComPort);
        REQUIRE(supported ? last[side][option] != said : last[side][option] == 0 && said == 2);
        last[side][option] = said;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::uint8_t flags = input.Byte();
    const bool start = flags & 1;
    const std::size_t settleAt = flags & 2 ? input.Number(2) : std::string_view::npos;
    Cuts cuts{input.Number(8)};
    const std::string_view stream = input.Rest();

    const Outcome whole = Feed(stream, start, settleAt, nullptr);
    const Outcome split = Feed(stream, start, settleAt, &cuts);
    REQUIRE(split == whole);
    CheckReplies(whole.reply);

    // The board data, sent again as the server would, arrives unchanged
    // and is nothing but data.
    std::string wire;
    TelnetSession::EncodeData(whole.data, wire);
    const Outcome again = Feed(wire, false, 0, &cuts);
    REQUIRE(again.data == whole.data);
    REQUIRE(again.reply.empty() && again.messages.empty() && again.preamble.empty());
    return 0;
}
