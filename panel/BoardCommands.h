// The commands the panel sends to the evaluation board: the value token of
// each slider, the mode and sweep commands, and the send step that puts a
// command's two tokens on the serial line.
//
// Pure C++ apart from the port it writes to, so that it can be driven
// without a window (the command-line tool does exactly that).
#pragma once

#include "i18n/gnugettext.h"

#include <functional>
#include <string>

class TCustomComPort;

// The seven sliders that each send one command per change.
enum class TBoardSlider { IPeak, Led1, Led2, Led3, TgtUp, TgtDwn, StrDim };

inline constexpr TBoardSlider AllBoardSliders[] = {
    TBoardSlider::IPeak, TBoardSlider::Led1,  TBoardSlider::Led2,  TBoardSlider::Led3,
    TBoardSlider::TgtUp, TBoardSlider::TgtDwn, TBoardSlider::StrDim};

enum class TBoardMode { BackLight, RGB };

// Selector first, value second; each two upper-case hexadecimal characters.
struct TBoardCommand {
    std::string Selector;
    std::string Value;

    bool operator==(const TBoardCommand&) const = default;
};

// The slider's name as the window labels it ("I-PEAK", "LED-1", "STR DIM").
const char* SliderName(TBoardSlider slider);
// The highest position of the slider (30 or 31); the lowest is always 0.
int SliderMaxPosition(TBoardSlider slider);
// The selector token of the slider's command ("00" to "06").
const char* SliderSelector(TBoardSlider slider);

// The value token for a slider position. A position outside the slider's
// range raises Exception: such a token would belong to another control.
std::string SliderValueToken(TBoardSlider slider, int position);
TBoardCommand SliderCommand(TBoardSlider slider, int position);
TBoardCommand ModeCommand(TBoardMode mode);
// The sweep command due for the given phase: "90" "80" while the phase is
// false, "80" "80" while it is true.
TBoardCommand SweepCommand(bool sweepToggle);

// What the operator is told when a command meets a closed port.
inline constexpr const char* NotConnectedMessage =
    MarkForTranslation("Cannot send command :OPEN THE RS232 PORT FIRST");

// Sends commands to one port and keeps the sweep phase.
//
// A closed port refuses every command with NotConnectedMessage, passed to
// the message hook; nothing is written and nothing else changes. On an open
// port each token goes out with its own blocking write, selector first.
// Errors of the port propagate unchanged. A write that ends early without
// an error (its time-out passed) raises Exception naming the token and
// the bytes that did go out; the rest of that command is not written, and
// the next command simply follows on the line.
class TBoardCommander {
public:
    using TMessageHook = std::function<void(const std::string& message)>;

    // The port is not owned and must outlive the commander.
    explicit TBoardCommander(TCustomComPort& port);

    // Who tells the operator about a refused command. Without a hook (or
    // after setting an empty one) the message goes to standard error.
    void SetMessageHook(TMessageHook hook);

    // The send step. Returns false when the port is closed.
    bool Send(const TBoardCommand& command);
    bool SendSlider(TBoardSlider slider, int position);
    // Sends unconditionally; a window sends it only when the selection
    // actually changes to that mode.
    bool SendMode(TBoardMode mode);
    // One tick of the sweep timer. The phase flips once the selector is on
    // the line, before the value goes out: a failed value write leaves a
    // half command behind but the board has seen that selector.
    bool Sweep();

    bool SweepToggle() const { return sweepToggle_; }

private:
    enum class TTokenPart { Selector, Value };

    bool RefuseIfClosed();
    void WriteToken(const TBoardCommand& command, TTokenPart part);

    TCustomComPort& port_;
    TMessageHook messageHook_;
    bool sweepToggle_ = false;
};
