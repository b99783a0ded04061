// The command language of rvd3318ctl: the board commands and pauses a lab
// script is made of, read from command-line words or from a sequence file.
//
// Plain C++ with no port and no Qt, so that everything a script can say is
// checked before a port is opened, and the parser can be fed anything.
#pragma once

#include "panel/BoardTokens.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// One command of a sequence.
struct TCtlStep {
    enum TKind { Slider, Mode, Sweep, Wait };
    TKind Kind = Slider;
    TBoardSlider SliderId = TBoardSlider::IPeak;
    TBoardMode ModeId = TBoardMode::BackLight;
    // A slider position, a count of sweep commands or a pause in ms.
    int Number = 0;
    // The command in its plain form ("led1 31", "mode rgb", "wait 500").
    std::string Text;
    // Where it was read: its line in a sequence file, 0 for an argument.
    int Line = 0;
};

// A command that cannot be understood; the message names the place.
class TSequenceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The longest wait a command may ask for, and the most sweep commands one
// command may send.
inline constexpr int MaxWaitMs = 3600000;
inline constexpr int MaxSweepCount = 1000;
// A sequence file larger than this is no script somebody wrote.
inline constexpr std::size_t MaxSequenceBytes = 1u << 20;

// Whether `word` starts a command (for telling commands from options).
bool IsCommandWord(const std::string& word);

// Reads the command that starts at words[i] and moves i past it.
TCtlStep ParseCommand(const std::vector<std::string>& words, std::size_t& i);

// A whole sequence file: one command a line, blank lines, and comments from
// '#' to the end of a line. Any bad line raises TSequenceError with
// "SOURCE:LINE: " in front; nothing of the file is returned then.
std::vector<TCtlStep> ParseSequence(std::string_view text, const std::string& source);

// A whole number in [low, high] as a command or option argument, named
// `what` in the error.
int ParseWholeNumber(const std::string& what, const std::string& text, int low, int high);
