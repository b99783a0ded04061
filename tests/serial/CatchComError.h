// The serial error a call raises, for the port tests.
#pragma once

#include "serial/ComError.h"
#include "tests/support/Capture.h"

template <class Body>
EComPort CatchComError(Body body)
{
    return CatchError(body, EComPort(0));
}
