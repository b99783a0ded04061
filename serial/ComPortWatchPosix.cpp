// On Linux: the device manager's announcements and the extra paths'
// folders, through one descriptor the event loop watches.
#include "serial/ComPortWatch.h"
#include "serial/ComPortWatchPlatform.h"

#include "framework/ErrorDisplay.h"
#include "serial/posix/PortList.h"
#include "serial/posix/PortMonitor.h"

#include <QSocketNotifier>

#include <cstdlib>

namespace {

class PosixPortListSignal : public TPortListSignal {
public:
    explicit PosixPortListSignal(TPortListWatch& watch)
    {
        const char* extra = std::getenv("CPORT_EXTRA_PORTS");
        monitor_ = std::make_unique<serialdev::PortMonitor>(serialdev::SplitPathList(extra ? extra : ""));
        if (monitor_->Fd() < 0)
            return;
        notifier_ = std::make_unique<QSocketNotifier>(monitor_->Fd(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &watch, [this, &watch] {
            GuardedCall([this, &watch] {
                if (monitor_->TakeEvents())
                    watch.Arrived();
            });
        });
    }
    ~PosixPortListSignal() override
    {
        // The notifier goes before the descriptor it watches.
        notifier_.reset();
    }

    bool WatchesDevices() const override { return monitor_->WatchesDevices(); }

private:
    std::unique_ptr<serialdev::PortMonitor> monitor_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace

std::unique_ptr<TPortListSignal> TPortListSignal::Make(TPortListWatch& watch)
{
    return std::make_unique<PosixPortListSignal>(watch);
}
