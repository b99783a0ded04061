// The send step that puts a board command's two tokens on the serial
// line, and what a closed port answers it.
//
// Pure C++ apart from the port it writes to, so that it can be driven
// without a window (the command-line tool does exactly that).
#pragma once

#include "i18n/gnugettext.h"
#include "panel/BoardTokens.h"

#include <functional>
#include <string>

class TCustomComPort;

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
