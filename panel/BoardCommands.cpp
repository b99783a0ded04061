// The send step: a command's two tokens on the serial line, refused on a
// closed port. The tokens themselves are built in BoardTokens.cpp.
#include "panel/BoardCommands.h"

#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "serial/ComPort.h"

TBoardCommander::TBoardCommander(TCustomComPort& port)
    : port_(port)
{
}

void TBoardCommander::SetMessageHook(TMessageHook hook)
{
    messageHook_ = std::move(hook);
}

bool TBoardCommander::RefuseIfClosed()
{
    if (port_.Connected())
        return false;
    if (messageHook_)
        messageHook_(NotConnectedMessage);
    else
        ShowErrorMessage(NotConnectedMessage);
    return true;
}

void TBoardCommander::WriteToken(const TBoardCommand& command, TTokenPart part)
{
    const std::string& token = part == TTokenPart::Selector ? command.Selector : command.Value;
    const std::int32_t written = port_.WriteText(token);
    if (written == static_cast<std::int32_t>(token.size()))
        return;
    // The port reports a time-out as a short count, not as an error; left
    // unnoticed, the operator would believe the board had the command.
    throw Exception("Command \"" + command.Selector + "\" \"" + command.Value +
                    "\" not sent in full: the write of the " +
                    (part == TTokenPart::Selector ? "selector" : "value") + " \"" + token + "\" ended after " +
                    std::to_string(written) + " of " + std::to_string(token.size()) +
                    " bytes (write time-out; is the board taking data?)");
}

bool TBoardCommander::Send(const TBoardCommand& command)
{
    if (RefuseIfClosed())
        return false;
    WriteToken(command, TTokenPart::Selector);
    WriteToken(command, TTokenPart::Value);
    return true;
}

bool TBoardCommander::SendSlider(TBoardSlider slider, int position)
{
    return Send(SliderCommand(slider, position));
}

bool TBoardCommander::SendMode(TBoardMode mode)
{
    return Send(ModeCommand(mode));
}

bool TBoardCommander::Sweep()
{
    if (RefuseIfClosed())
        return false;
    const TBoardCommand command = SweepCommand(sweepToggle_);
    WriteToken(command, TTokenPart::Selector);
    sweepToggle_ = !sweepToggle_;
    WriteToken(command, TTokenPart::Value);
    return true;
}
