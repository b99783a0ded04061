#include "serial/ComPortWatch.h"

#include "framework/ErrorDisplay.h"
#include "serial/posix/PortList.h"
#include "serial/posix/PortMonitor.h"

#include <QSocketNotifier>

#include <cstdlib>

namespace {

// A device is announced before the kernel has finished taking the last one
// away and before the device manager has made its stable name: the list is
// read once things have been quiet this long.
constexpr int SettleMs = 100;

} // namespace

TPortListWatch::TPortListWatch(QObject* parent) : QObject(parent)
{
    const char* extra = std::getenv("CPORT_EXTRA_PORTS");
    monitor_ = std::make_unique<serialdev::PortMonitor>(serialdev::SplitPathList(extra ? extra : ""));
    settle_.setSingleShot(true);
    settle_.setInterval(SettleMs);
    connect(&settle_, &QTimer::timeout, this, [this] {
        GuardedCall([this] {
            if (OnChange)
                OnChange();
        });
    });
    if (monitor_->Fd() < 0)
        return;
    notifier_ = new QSocketNotifier(monitor_->Fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { GuardedCall([this] { Arrived(); }); });
}

TPortListWatch::~TPortListWatch()
{
    // The notifier goes before the descriptor it watches.
    delete notifier_;
}

bool TPortListWatch::WatchesDevices() const
{
    return monitor_->WatchesDevices();
}

void TPortListWatch::Arrived()
{
    if (monitor_->TakeEvents())
        settle_.start();
}
