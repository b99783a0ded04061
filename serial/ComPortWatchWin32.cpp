// On Windows: the system's device-change notifications, which a hidden
// window of the main thread receives through Qt's event loop.
#include "serial/ComPortWatch.h"
#include "serial/ComPortWatchPlatform.h"

#include "framework/ErrorDisplay.h"
#include "serial/win32/PortMonitor.h"

namespace {

class Win32PortListSignal : public TPortListSignal {
public:
    // The watch is made on the main thread, so the monitor's window is the
    // main thread's and its messages arrive there.
    explicit Win32PortListSignal(TPortListWatch& watch)
        : monitor_([&watch] { GuardedCall([&watch] { watch.Arrived(); }); })
    {
    }

    bool WatchesDevices() const override { return monitor_.WatchesDevices(); }

private:
    serialdev::PortMonitor monitor_;
};

} // namespace

std::unique_ptr<TPortListSignal> TPortListSignal::Make(TPortListWatch& watch)
{
    return std::make_unique<Win32PortListSignal>(watch);
}
