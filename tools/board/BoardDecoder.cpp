// Decoding the board's received bytes into commands.
#include "tools/board/BoardDecoder.h"

#include "panel/Readouts.h"

#include <cstdio>

namespace {

bool IsTokenChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

int HexDigit(char c)
{
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

// The number of a token; -1 when it is not two token characters.
int TokenNumber(std::string_view token)
{
    if (token.size() != 2 || !IsTokenChar(token[0]) || !IsTokenChar(token[1]))
        return -1;
    return HexDigit(token[0]) * 16 + HexDigit(token[1]);
}

bool IsSelector(std::string_view token)
{
    switch (TokenNumber(token)) {
    case 0x00: case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06:
    case 0x10: case 0x20: case 0x80: case 0x90:
        return true;
    default:
        return false;
    }
}

// Whether `bytes` (one or more characters) may be the start of a command.
bool MayStartCommand(std::string_view bytes)
{
    if (bytes.size() >= 2)
        return IsSelector(bytes.substr(0, 2));
    const char c = bytes[0];
    return c == '0' || c == '1' || c == '2' || c == '8' || c == '9';
}

// The board's own table: the value of each control is a number whose upper
// three bits name the control, except I-PEAK off, which is 0 itself.
int ControlBase(TBoardControl control)
{
    return 0x20 * (static_cast<int>(control) + 1);
}

std::string Printable(std::string_view bytes)
{
    std::string text;
    for (unsigned char c : bytes)
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    return text;
}

std::string HexList(std::string_view bytes)
{
    std::string text;
    char one[4];
    for (unsigned char c : bytes) {
        std::snprintf(one, sizeof one, "%02X", c);
        if (!text.empty())
            text += ' ';
        text += one;
    }
    return text;
}

std::string Readout(TBoardControl control, int position)
{
    switch (control) {
    case TBoardControl::Led1:
    case TBoardControl::Led2:
    case TBoardControl::Led3:
        return PercentText(position);
    case TBoardControl::StrDim:
        return StrDimText(position);
    default:
        return std::string(MilliAmpText(position)) + "mA";
    }
}

} // namespace

const char* ControlName(TBoardControl control)
{
    switch (control) {
    case TBoardControl::IPeak:  return "I-PEAK";
    case TBoardControl::Led1:   return "LED-1";
    case TBoardControl::Led2:   return "LED-2";
    case TBoardControl::Led3:   return "LED-3";
    case TBoardControl::TgtUp:  return "TGT-UP";
    case TBoardControl::TgtDwn: return "TGT-DWN";
    case TBoardControl::StrDim: return "STR DIM";
    }
    return "?";
}

int ControlMaxPosition(TBoardControl control)
{
    switch (control) {
    case TBoardControl::Led1:
    case TBoardControl::Led2:
    case TBoardControl::Led3:
        return 31;
    default:
        return 30;
    }
}

std::string ControlReadout(TBoardControl control, int position)
{
    return Readout(control, position);
}

bool DecodeCommand(std::string_view selector, std::string_view value, TDecodedCommand& out)
{
    const int sel = TokenNumber(selector);
    const int val = TokenNumber(value);
    if (!IsSelector(selector) || val < 0)
        return false;
    TDecodedCommand decoded;
    decoded.Selector = std::string(selector);
    decoded.Value = std::string(value);
    switch (sel) {
    case 0x10:
        if (val != 0x10)
            return false;
        decoded.Kind = TDecodedCommand::BackLightMode;
        break;
    case 0x20:
        if (val != 0x20)
            return false;
        decoded.Kind = TDecodedCommand::RGBMode;
        break;
    case 0x80:
    case 0x90:
        if (val != 0x80)
            return false;
        decoded.Kind = TDecodedCommand::Sweep;
        break;
    default: {
        const auto control = static_cast<TBoardControl>(sel);
        int position = val - ControlBase(control);
        if (control == TBoardControl::IPeak && val == 0)
            position = 0;
        else if (control == TBoardControl::IPeak && position == 0)
            return false;  // "20" is no I-PEAK value: off is "00"
        if (position < 0 || position > ControlMaxPosition(control))
            return false;
        decoded.Kind = TDecodedCommand::Setting;
        decoded.Control = control;
        decoded.Position = position;
        break;
    }
    }
    out = std::move(decoded);
    return true;
}

std::string TLineEvent::Describe() const
{
    switch (Kind) {
    case Command: {
        std::string text = Decoded.Selector + " " + Decoded.Value + "  ";
        switch (Decoded.Kind) {
        case TDecodedCommand::Setting:
            return text + ControlName(Decoded.Control) + " " + std::to_string(Decoded.Position) +
                   " (" + Readout(Decoded.Control, Decoded.Position) + ")";
        case TDecodedCommand::BackLightMode:
            return text + "mode BACK LIGHT";
        case TDecodedCommand::RGBMode:
            return text + "mode RGB";
        case TDecodedCommand::Sweep:
            return text + "sweep " + Decoded.Selector;
        }
        return text;
    }
    case HalfCommand:
        return "half command \"" + Printable(Bytes) + "\" (" + std::to_string(Bytes.size()) +
               " of 4 bytes; the rest never came)";
    case Stray: {
        const std::size_t shown = Bytes.size() > 16 ? 16 : Bytes.size();
        std::string text = std::to_string(Bytes.size()) + " stray byte" +
                           (Bytes.size() == 1 ? "" : "s") + " \"" +
                           Printable(std::string_view(Bytes).substr(0, shown)) + "\" (" +
                           HexList(std::string_view(Bytes).substr(0, shown));
        if (shown < Bytes.size())
            text += " ...";
        return text + ") outside the vocabulary";
    }
    }
    return {};
}

std::vector<TLineEvent> TBoardDecoder::Feed(std::string_view bytes)
{
    std::vector<TLineEvent> events;
    for (char byte : bytes)
        TakeByte(byte, events);
    return events;
}

std::vector<TLineEvent> TBoardDecoder::Flush()
{
    std::vector<TLineEvent> events;
    EmitStray(events);
    if (!pending_.empty()) {
        events.push_back({TLineEvent::HalfCommand, {}, pending_});
        pending_.clear();
    }
    return events;
}

void TBoardDecoder::TakeByte(char byte, std::vector<TLineEvent>& events)
{
    if (!IsTokenChar(byte)) {
        if (!pending_.empty()) {
            EmitStray(events);
            events.push_back({TLineEvent::HalfCommand, {}, pending_});
            pending_.clear();
        }
        stray_ += byte;
        return;
    }
    pending_ += byte;
    Resync();
    if (pending_.size() < 4)
        return;
    EmitStray(events);
    TDecodedCommand decoded;
    if (DecodeCommand(std::string_view(pending_).substr(0, 2),
                      std::string_view(pending_).substr(2, 2), decoded)) {
        events.push_back({TLineEvent::Command, std::move(decoded), {}});
        pending_.clear();
        return;
    }
    // A selector whose value does not fit it: the sender gave up after the
    // selector, and what follows is most likely the next command.
    events.push_back({TLineEvent::HalfCommand, {}, pending_.substr(0, 2)});
    pending_.erase(0, 2);
    Resync();
}

void TBoardDecoder::Resync()
{
    while (!pending_.empty() && !MayStartCommand(pending_)) {
        stray_ += pending_[0];
        pending_.erase(0, 1);
    }
}

void TBoardDecoder::EmitStray(std::vector<TLineEvent>& events)
{
    if (stray_.empty())
        return;
    events.push_back({TLineEvent::Stray, {}, stray_});
    stray_.clear();
}
