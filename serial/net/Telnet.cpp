#include "serial/net/Telnet.h"

namespace serialdev::net {

namespace {

constexpr char kIac = static_cast<char>(TelnetByte::IAC);

bool WeDo(unsigned char option)
{
    return option == TelnetOption::ComPort || option == TelnetOption::Binary
        || option == TelnetOption::SuppressGoAhead;
}

// The server acting as the COM-PORT client makes no sense here, so only
// BINARY and SUPPRESS-GO-AHEAD are welcome from its side.
bool ServerMayDo(unsigned char option)
{
    return option == TelnetOption::Binary || option == TelnetOption::SuppressGoAhead;
}

void Append(std::string& out, unsigned char verb, unsigned char option)
{
    out += kIac;
    out += static_cast<char>(verb);
    out += static_cast<char>(option);
}

} // namespace

std::string TelnetSession::Start()
{
    using namespace TelnetOption;
    std::string out;
    auto ask = [&](std::array<Side, 256>& side, unsigned char verb, unsigned char option) {
        if (side[option] != Side::No)
            return;
        side[option] = Side::WantYes;
        Append(out, verb, option);
    };
    ask(local_, TelnetByte::WILL, ComPort);
    ask(local_, TelnetByte::WILL, Binary);
    ask(remote_, TelnetByte::DO, Binary);
    ask(local_, TelnetByte::WILL, SuppressGoAhead);
    ask(remote_, TelnetByte::DO, SuppressGoAhead);
    return out;
}

void TelnetSession::Receive(std::string_view bytes, std::string& data, std::string& reply,
                            std::vector<ComPortMessage>& messages)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        switch (state_) {
        case State::Data:
        case State::SubBody: {
            // Runs of plain bytes go over in one piece: this is the path
            // every byte of board data takes.
            std::size_t end = bytes.find(kIac, at);
            if (end == std::string_view::npos)
                end = bytes.size();
            const std::string_view run = bytes.substr(at, end - at);
            if (state_ == State::Data)
                Deliver(run, data);
            else
                Collect(run);
            at = end;
            if (at < bytes.size()) {
                state_ = state_ == State::Data ? State::Command : State::SubCommand;
                ++at;
            }
            break;
        }
        case State::Command:
            ++at;
            Command(byte, data);
            break;
        case State::Option:
            ++at;
            state_ = State::Data;
            Negotiate(verb_, byte, reply);
            break;
        case State::SubOption:
            ++at;
            sub_.clear();
            keepSub_ = byte == TelnetOption::ComPort;
            // IAC where the option belongs: a malformed subnegotiation,
            // read on as one to drop so its IAC SE still ends it.
            state_ = byte == TelnetByte::IAC ? State::SubCommand : State::SubBody;
            break;
        case State::SubCommand:
            ++at;
            if (byte == TelnetByte::IAC) {
                Collect(std::string_view(&kIac, 1));
                state_ = State::SubBody;
            } else if (byte == TelnetByte::SE) {
                if (keepSub_ && !sub_.empty())
                    messages.push_back({static_cast<unsigned char>(sub_[0]), sub_.substr(1)});
                sub_.clear();
                state_ = State::Data;
            } else {
                // Any other command inside a subnegotiation means its IAC SE
                // was lost: drop what was read and take the command, so that
                // a broken server cannot hide its negotiation inside one.
                sub_.clear();
                Command(byte, data);
            }
            break;
        }
    }
    TrimPreamble(MaxPreamble);
}

// The byte after an IAC outside a subnegotiation.
void TelnetSession::Command(unsigned char byte, std::string& data)
{
    switch (byte) {
    case TelnetByte::IAC:
        state_ = State::Data;
        Deliver(std::string_view(&kIac, 1), data);
        break;
    case TelnetByte::DO:
    case TelnetByte::DONT:
    case TelnetByte::WILL:
    case TelnetByte::WONT:
        verb_ = byte;
        state_ = State::Option;
        break;
    case TelnetByte::SB:
        state_ = State::SubOption;
        break;
    default:
        // NOP, GA, DM, AYT, a stray SE ...: nothing of them is board data,
        // and a serial line has nothing to say to any of them.
        state_ = State::Data;
        break;
    }
}

void TelnetSession::Negotiate(unsigned char verb, unsigned char option, std::string& reply)
{
    const bool local = verb == TelnetByte::DO || verb == TelnetByte::DONT;
    const bool enable = verb == TelnetByte::DO || verb == TelnetByte::WILL;
    Side& side = local ? local_[option] : remote_[option];
    const unsigned char yes = local ? TelnetByte::WILL : TelnetByte::DO;
    const unsigned char no = local ? TelnetByte::WONT : TelnetByte::DONT;
    const bool comPort = local && option == TelnetOption::ComPort;

    if (enable) {
        if (side == Side::Yes)
            return; // already so
        if (side == Side::WantYes) {
            side = Side::Yes; // the answer to our request
        } else if (local ? WeDo(option) : ServerMayDo(option)) {
            side = Side::Yes;
            Append(reply, yes, option);
        } else {
            auto& refused = local ? refusedLocal_ : refusedRemote_;
            if (!refused[option]) {
                refused.set(option);
                Append(reply, no, option);
            }
            return;
        }
        if (comPort)
            settled_ = comPortAccepted_ = true;
        return;
    }

    if (side == Side::No)
        return; // already off: answering would start a loop
    // A refusal of our request needs no answer; switching off what was on does.
    if (side == Side::Yes)
        Append(reply, no, option);
    side = Side::No;
    if (comPort) {
        settled_ = true;
        comPortAccepted_ = false;
    }
}

void TelnetSession::Deliver(std::string_view bytes, std::string& data)
{
    if (settled_) {
        data.append(bytes);
        return;
    }
    preamble_.append(bytes);
    // Trimmed to twice the cap on the way, to the cap when Receive ends.
    if (preamble_.size() > 2 * MaxPreamble)
        TrimPreamble(MaxPreamble);
}

void TelnetSession::Collect(std::string_view bytes)
{
    if (!keepSub_)
        return;
    if (sub_.size() + bytes.size() > MaxSubnegotiation) {
        keepSub_ = false;
        sub_.clear();
        return;
    }
    sub_.append(bytes);
}

void TelnetSession::TrimPreamble(std::size_t keep)
{
    if (preamble_.size() > keep)
        preamble_.erase(0, preamble_.size() - keep);
}

void TelnetSession::EncodeData(std::string_view bytes, std::string& out)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = bytes.find(kIac, at);
        if (end == std::string_view::npos) {
            out.append(bytes.substr(at));
            return;
        }
        out.append(bytes.substr(at, end + 1 - at));
        out += kIac;
        at = end + 1;
    }
}

std::string TelnetSession::ComPortRequest(unsigned char code, std::string_view value)
{
    std::string out;
    out.reserve(value.size() + 8);
    Append(out, TelnetByte::SB, TelnetOption::ComPort);
    const char codeByte = static_cast<char>(code);
    EncodeData(std::string_view(&codeByte, 1), out);
    EncodeData(value, out);
    out += kIac;
    out += static_cast<char>(TelnetByte::SE);
    return out;
}

} // namespace serialdev::net
