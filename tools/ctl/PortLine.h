// The sequence runner's line on a real serial port: commands go out as the
// panel sends them, answers are read with the port's own time-outs.
#pragma once

#include "panel/BoardCommands.h"
#include "tools/ctl/SequenceRunner.h"

class TCustomComPort;

class TPortLine : public TCtlLine {
public:
    // The port must be open and outlive the line.
    explicit TPortLine(TCustomComPort& port);

    Clock::time_point Now() override;
    void Send(const TBoardCommand& command) override;
    std::string Receive(Clock::time_point deadline) override;

private:
    // The read time-out for the next read: at once (0) or up to `ms` for
    // the first byte. Changed only when it differs, as every change of an
    // open port's time-outs reaches the device.
    void SetReadWait(int ms);

    TCustomComPort& port_;
    TBoardCommander commander_;
    int readWaitMs_ = -1;
};
