// A wake-up that one thread signals and another waits for, alone or among
// other things the platform's waits watch: an eventfd on Linux, an event
// object on Windows. The event thread's stop, the main-thread synchroniser
// and the threads waiting for it use it. Plain C++, no Qt, so that the
// device layer can take it too.
//
//   Open(blocking)  makes it (0 or the platform's error value)
//   Signal()        wakes the waiter; it stays signalled until drained
//   Drain()         takes every pending signal
//   Wait()          blocks until signalled, then drains (blocking ones)
//   Handle()        what a device's event wait watches (WakeHandle)
#pragma once

#if defined(_WIN32)
#include "framework/win32/WakeEvent.h"
#else
#include "framework/posix/EventFd.h"
using WakeEvent = EventFd;
using WakeHandle = int;
#endif
