// The evaluation board's side of the serial line: turns the bytes it
// receives into commands, and reports what does not belong to the line's
// vocabulary.
//
// The line has no framing: a command is four characters, a two-character
// selector and a two-character value, and the only way to find the start of
// the next command is to know which selectors exist and which values each
// one takes. The decoder keeps at most three characters of a command that
// has not arrived in full, so it can be fed in chunks of any size.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The board's controls that take a position.
enum class TBoardControl { IPeak, Led1, Led2, Led3, TgtUp, TgtDwn, StrDim };

inline constexpr TBoardControl AllBoardControls[] = {
    TBoardControl::IPeak, TBoardControl::Led1,  TBoardControl::Led2,  TBoardControl::Led3,
    TBoardControl::TgtUp, TBoardControl::TgtDwn, TBoardControl::StrDim};

// "I-PEAK", "LED-1", ..., "STR DIM".
const char* ControlName(TBoardControl control);
// Highest position the control accepts (30 or 31).
int ControlMaxPosition(TBoardControl control);
// What the position means on the board: "32.69mA", "99.99%", "240ms".
std::string ControlReadout(TBoardControl control, int position);

// One command the board understood.
struct TDecodedCommand {
    enum TKind { Setting, BackLightMode, RGBMode, Sweep };

    TKind Kind = Setting;
    TBoardControl Control = TBoardControl::IPeak;  // Setting commands
    int Position = 0;                              // Setting commands
    std::string Selector;                          // as received
    std::string Value;                             // as received
};

// What the decoder found on the line.
struct TLineEvent {
    enum TKind {
        Command,      // a whole command of the vocabulary
        HalfCommand,  // the start of a command that was never completed
        Stray         // bytes that cannot start a command where they stand
    };

    TKind Kind = Command;
    TDecodedCommand Decoded;  // for Command
    std::string Bytes;        // for HalfCommand and Stray: what was dropped

    // One line for the board's log: "01 5F  LED-1 31", "half command ...".
    std::string Describe() const;
};

class TBoardDecoder {
public:
    // Decodes `bytes` following whatever was fed before. Events come in
    // line order; an unfinished command stays pending, and so does a run of
    // stray bytes until something else arrives, so that the events do not
    // depend on how the line happened to split the bytes.
    std::vector<TLineEvent> Feed(std::string_view bytes);
    // The line went quiet or away: pending stray bytes are reported, and an
    // unfinished command as a half command; both are then forgotten.
    std::vector<TLineEvent> Flush();
    // True while something waits for Flush.
    bool HasPending() const { return !pending_.empty() || !stray_.empty(); }

private:
    void TakeByte(char byte, std::vector<TLineEvent>& events);
    // Drops the first pending byte as stray until what is left may start a
    // command.
    void Resync();
    void EmitStray(std::vector<TLineEvent>& events);

    std::string pending_;  // 0 to 3 characters of an unfinished command
    std::string stray_;    // consecutive stray bytes not yet reported
};

// Decodes one whole command; false when the four characters are not one.
bool DecodeCommand(std::string_view selector, std::string_view value, TDecodedCommand& out);
