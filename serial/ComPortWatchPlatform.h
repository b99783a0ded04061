// Private to serial/: how the platform learns that the port list may have
// changed (ComPortWatchPosix.cpp, ComPortWatchWin32.cpp).
#pragma once

#include <memory>

class TPortListWatch;

class TPortListSignal {
public:
    // Starts watching the system's serial devices and the paths in
    // CPORT_EXTRA_PORTS as they are named now, and calls `watch.Arrived()`
    // on the main thread whenever the list may have changed. What cannot
    // be watched is left out; the rest still works.
    static std::unique_ptr<TPortListSignal> Make(TPortListWatch& watch);
    virtual ~TPortListSignal() = default;
    // True when the system's devices are watched, not only the extra paths.
    virtual bool WatchesDevices() const = 0;
};
