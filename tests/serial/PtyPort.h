// A port on the slave side of a pseudo-terminal pair, closed before it goes.
#pragma once

#include "framework/ErrorDisplay.h"
#include "serial/CPort.h"
#include "tests/support/PtyPair.h"

#include <QString>

class PtyPort : public TComPort {
public:
    explicit PtyPort(const PtyPair& pty, TComEvents events = AllComEvents)
    {
        SetPort(QString::fromStdString(pty.SlavePath()));
        SetEvents(events);
    }
    ~PtyPort() override { GuardedCall([this] { ClosePort(); }); }
};
