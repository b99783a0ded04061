// Tells when COM ports come or go, from the system's device-change
// notifications: no polling. A hidden window of the thread that makes the
// monitor receives them, so that thread must dispatch its window messages
// (the main thread's event loop does). Plain C++, no Qt.
#pragma once

#include <functional>

namespace serialdev {

class PortMonitor {
public:
    // `changed` runs on the making thread, from its message dispatch, for
    // each arrival or removal of a port or a COM port interface. It must not
    // throw.
    explicit PortMonitor(std::function<void()> changed);
    ~PortMonitor();
    PortMonitor(const PortMonitor&) = delete;
    PortMonitor& operator=(const PortMonitor&) = delete;

    // False when the window could not be made: nothing is watched then.
    bool WatchesDevices() const { return window_ != nullptr; }
    // 0, or the Windows error code of what failed.
    int Error() const { return error_; }

    // Handles one window message of the monitor's window (its procedure's
    // body); true when it was a port's arrival or removal.
    bool Handle(unsigned message, unsigned long long wParam, long long lParam);

private:
    std::function<void()> changed_;
    void* window_ = nullptr;
    void* notification_ = nullptr;
    int error_ = 0;
};

} // namespace serialdev
