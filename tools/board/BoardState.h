// What the board has been told: the last mode, the position of every
// control, the sweep commands, and how much of the line made no sense.
#pragma once

#include "tools/board/BoardDecoder.h"

#include <array>
#include <optional>
#include <string>

class TBoardState {
public:
    void Apply(const TLineEvent& event);

    // The position a control was last set to; empty until it is set.
    std::optional<int> Position(TBoardControl control) const
    {
        return positions_[static_cast<std::size_t>(control)];
    }
    // "BACK LIGHT", "RGB", or empty before the first mode command.
    const std::string& Mode() const { return mode_; }

    // The board's answer to one event, a short line for the serial line.
    static std::string Answer(const TLineEvent& event);

    // Several lines, each starting with "state ", for the operator.
    std::string Describe() const;

private:
    std::string mode_;
    std::array<std::optional<int>, 7> positions_{};
    int sweeps_ = 0;
    std::string lastSweep_;
    int commands_ = 0;
    int halfCommands_ = 0;
    long strayBytes_ = 0;
};
