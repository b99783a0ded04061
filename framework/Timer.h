// A main-thread timer with the rules the panel's timers follow: writing
// the interval it already has changes nothing (a running wait is not
// restarted), a changed interval restarts the wait at once, and enabling
// starts a full period before the first tick.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class TTimer : public QObject {
    Q_OBJECT

public:
    explicit TTimer(QObject* owner = nullptr);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    int Interval() const { return interval_; }
    void SetInterval(int milliseconds);

    // Runs on each tick, with this timer as Sender.
    std::function<void(QObject* Sender)> OnTimer;

    // The underlying timer, for observers (tests count its ticks).
    const QTimer& Ticker() const { return timer_; }

private:
    void Restart();

    QTimer timer_;
    bool enabled_ = true;
    int interval_ = 1000;
};
