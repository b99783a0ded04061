#include "serial/ComPortWatch.h"

#include "framework/ErrorDisplay.h"
#include "serial/ComPortWatchPlatform.h"

namespace {

// A device is announced before the system has finished taking the last one
// away and before it has made its stable name: the list is read once
// things have been quiet this long.
constexpr int SettleMs = 100;

} // namespace

TPortListWatch::TPortListWatch(QObject* parent) : QObject(parent)
{
    settle_.setSingleShot(true);
    settle_.setInterval(SettleMs);
    connect(&settle_, &QTimer::timeout, this, [this] {
        GuardedCall([this] {
            if (OnChange)
                OnChange();
        });
    });
    signal_ = TPortListSignal::Make(*this);
}

TPortListWatch::~TPortListWatch() = default;

bool TPortListWatch::WatchesDevices() const
{
    return signal_ && signal_->WatchesDevices();
}

void TPortListWatch::Arrived()
{
    settle_.start();
}
