// The main-thread timer with the panel's rules for interval and enabling.
#include "framework/Timer.h"

#include "framework/ErrorDisplay.h"

TTimer::TTimer(QObject* owner)
    : QObject(owner)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        GuardedCall([this] {
            if (OnTimer)
                OnTimer(this);
        });
    });
    Restart();
}

void TTimer::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    Restart();
}

void TTimer::SetInterval(int milliseconds)
{
    if (milliseconds == interval_)
        return;
    interval_ = milliseconds;
    Restart();
}

void TTimer::Restart()
{
    timer_.stop();
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
}
