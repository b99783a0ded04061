// Applying decoded commands to the board's state.
#include "tools/board/BoardState.h"

void TBoardState::Apply(const TLineEvent& event)
{
    switch (event.Kind) {
    case TLineEvent::HalfCommand:
        ++halfCommands_;
        return;
    case TLineEvent::Stray:
        strayBytes_ += static_cast<long>(event.Bytes.size());
        return;
    case TLineEvent::Command:
        break;
    }
    ++commands_;
    const TDecodedCommand& command = event.Decoded;
    switch (command.Kind) {
    case TDecodedCommand::Setting:
        positions_[static_cast<std::size_t>(command.Control)] = command.Position;
        break;
    case TDecodedCommand::BackLightMode:
        mode_ = "BACK LIGHT";
        break;
    case TDecodedCommand::RGBMode:
        mode_ = "RGB";
        break;
    case TDecodedCommand::Sweep:
        ++sweeps_;
        lastSweep_ = command.Selector;
        break;
    }
}

std::string TBoardState::Answer(const TLineEvent& event)
{
    switch (event.Kind) {
    case TLineEvent::Command: {
        const TDecodedCommand& command = event.Decoded;
        switch (command.Kind) {
        case TDecodedCommand::Setting:
            return std::string("OK ") + ControlName(command.Control) + " " +
                   ControlReadout(command.Control, command.Position) + "\n";
        case TDecodedCommand::BackLightMode:
            return "OK BACK LIGHT\n";
        case TDecodedCommand::RGBMode:
            return "OK RGB\n";
        case TDecodedCommand::Sweep:
            return "OK SWEEP " + command.Selector + "\n";
        }
        return "OK\n";
    }
    case TLineEvent::HalfCommand:
        return "ERR HALF COMMAND\n";
    case TLineEvent::Stray:
        return "ERR " + std::to_string(event.Bytes.size()) + " BAD BYTES\n";
    }
    return {};
}

std::string TBoardState::Describe() const
{
    std::string text = "state mode " + (mode_.empty() ? std::string("-") : mode_) + "\n";
    for (TBoardControl control : AllBoardControls) {
        text += std::string("state ") + ControlName(control) + " ";
        if (const auto position = Position(control))
            text += std::to_string(*position) + " " + ControlReadout(control, *position);
        else
            text += "-";
        text += "\n";
    }
    text += "state sweep " + std::to_string(sweeps_) + " commands";
    if (!lastSweep_.empty())
        text += ", last " + lastSweep_ + " 80";
    text += "\n";
    text += "state line " + std::to_string(commands_) + " commands, " +
            std::to_string(halfCommands_) + " half commands, " + std::to_string(strayBytes_) +
            " stray bytes\n";
    return text;
}
