// Tells its owner when the list of serial ports may have changed (a device
// plugged in or pulled out, an extra path made or removed), so that a list
// on screen follows the machine without being read again and again.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

// What the platform watches with (ComPortWatchPosix.cpp,
// ComPortWatchWin32.cpp).
class TPortListSignal;

class TPortListWatch : public QObject {
    Q_OBJECT

public:
    // Starts watching the system's ttys and the paths in CPORT_EXTRA_PORTS
    // as they are named now.
    explicit TPortListWatch(QObject* parent = nullptr);
    ~TPortListWatch() override;

    // Raised on the main thread, once for a burst of announcements (a USB
    // adapter brings several), shortly after the last of them.
    std::function<void()> OnChange;

    // True when the system's ttys are watched; without a device manager
    // only the extra paths are.
    bool WatchesDevices() const;

    // The platform's watch calls this when something arrived that can have
    // changed the list.
    void Arrived();

private:
    QTimer settle_;
    std::unique_ptr<TPortListSignal> signal_;
};
