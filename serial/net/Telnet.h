// The Telnet layer of a network port (RFC 854, 855), with the option that
// carries a serial port's settings (COM-PORT-OPTION, RFC 2217). Plain
// bytes in, plain bytes out: no sockets, no threads, no clock, so the
// device can drive it from whatever reads its socket and the tests and the
// fuzzer can drive it directly.
//
// Everything here comes from the network, so nothing grows with what a
// server sends: a subnegotiation longer than MaxSubnegotiation is dropped
// whole, and of the text before the negotiation settles only the last
// MaxPreamble bytes are kept.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace serialdev::net {

namespace TelnetByte {
inline constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
}

namespace TelnetOption {
inline constexpr unsigned char Binary = 0, SuppressGoAhead = 3, ComPort = 44;
}

// RFC 2217 client codes; a server answers with code + 100.
namespace ComPortCode {
inline constexpr unsigned char SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5,
                               NotifyLineState = 6, NotifyModemState = 7, FlowControlSuspend = 8,
                               FlowControlResume = 9, SetLineStateMask = 10, SetModemStateMask = 11,
                               PurgeData = 12, ServerOffset = 100;
}

// One COM-PORT-OPTION subnegotiation from the server: its code as sent
// (101..112 for answers and notifications) and its value, unescaped.
struct ComPortMessage {
    unsigned char code = 0;
    std::string value;
    bool operator==(const ComPortMessage&) const = default;
};

// The client side of one Telnet connection.
//
// Options are negotiated after RFC 1143: each side of each option is off,
// on, or asked for, and an answer goes out only when a request changes
// that state. An acknowledgement of our own request, a request for what is
// already so, and a DONT/WONT for what is already off get no answer, which
// is what keeps two peers from bouncing an option between them forever.
// An option we do not support is refused once; a server that keeps asking
// for it is not answered again.
class TelnetSession {
public:
    // Longest COM-PORT-OPTION subnegotiation kept (code and value,
    // unescaped). RFC 2217's longest is a few bytes; a signature text is
    // the only long one, and it is of no use to us.
    static constexpr std::size_t MaxSubnegotiation = 256;
    // Bytes of text kept from before the negotiation settled.
    static constexpr std::size_t MaxPreamble = 1024;

    // What the client sends first: WILL COM-PORT-OPTION, WILL BINARY, DO
    // BINARY, WILL SUPPRESS-GO-AHEAD, DO SUPPRESS-GO-AHEAD; records them as
    // asked. A second call asks for nothing already asked for or agreed.
    std::string Start();

    // Takes bytes as the server sent them, in any split. Board data is
    // appended to `data` (after Settled(); before it, to the preamble),
    // bytes the client must send back to `reply`, complete COM-PORT-OPTION
    // subnegotiations to `messages`. Nothing of the three is cleared.
    void Receive(std::string_view bytes, std::string& data, std::string& reply, std::vector<ComPortMessage>& messages);

    // Appends `bytes` to `out` with each 0xFF doubled, ready to send.
    static void EncodeData(std::string_view bytes, std::string& out);
    // IAC SB COM-PORT-OPTION code value IAC SE, with every 0xFF in code
    // and value doubled.
    static std::string ComPortRequest(unsigned char code, std::string_view value);

    // The server answered the COM-PORT offer: DO (accepted) or DONT
    // (refused); or Settle() was called.
    bool Settled() const { return settled_; }
    // The server has agreed to COM-PORT-OPTION and not withdrawn it since.
    bool ComPortAccepted() const { return comPortAccepted_; }
    // Ends the wait for the answer (the device gave up waiting): data from
    // now on is board data. A DO that comes later still counts as accepted.
    void Settle() { settled_ = true; }

    // Data the server sent before the negotiation settled (a banner, or a
    // refusal text such as "Port already in use"). Of a longer text the
    // end is kept: a server that refuses says why just before it closes.
    const std::string& Preamble() const { return preamble_; }

private:
    // RFC 1143's states, without WANTNO: this client never switches off
    // an option it has agreed to.
    enum class Side : unsigned char { No, Yes, WantYes };
    enum class State : unsigned char { Data, Command, Option, SubOption, SubBody, SubCommand };

    void Command(unsigned char byte, std::string& data);
    void Negotiate(unsigned char verb, unsigned char option, std::string& reply);
    void Deliver(std::string_view bytes, std::string& data);
    void Collect(std::string_view bytes);
    void TrimPreamble(std::size_t keep);

    State state_ = State::Data;
    unsigned char verb_ = 0;
    // The subnegotiation being read is a COM-PORT one that still fits.
    bool keepSub_ = false;
    std::string sub_;
    std::array<Side, 256> local_{};  // what we do: we send WILL/WONT, the server DO/DONT
    std::array<Side, 256> remote_{}; // what the server does: it sends WILL/WONT, we DO/DONT
    std::bitset<256> refusedLocal_;
    std::bitset<256> refusedRemote_;
    bool settled_ = false;
    bool comPortAccepted_ = false;
    std::string preamble_;
};

} // namespace serialdev::net
