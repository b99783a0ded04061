// How the platform tells that a lost port's device may be back, and which
// name opens it then (panel/posix/DeviceReturn.cpp, panel/win32/DeviceReturn.cpp).
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class TCustomComPort;

class TDeviceReturn {
public:
    // `changed` runs on the main thread (inside the event loop, guarded)
    // whenever something happened that may be the device's return.
    static std::unique_ptr<TDeviceReturn> Make(QObject& context, std::function<void()> changed);
    virtual ~TDeviceReturn() = default;

    // While the port is open: notes what names its device for good (a
    // stable name), which may be gone once the device is.
    virtual void Remember(const TCustomComPort& port) = 0;
    // That stable name, "" when the device has none.
    virtual QString StableName() const = 0;
    // Where the system keeps stable names, for tests that make their own.
    virtual void SetStableNameFolder(const QString& folder) = 0;

    // Starts watching for the port's device, or watches again after a
    // change (what leads to it may have changed too).
    virtual void Watch(const TCustomComPort& port) = 0;
    virtual void Stop() = 0;
    // The port name to open now, or "" while the device is not there.
    virtual QString NameToOpen(const TCustomComPort& port) const = 0;
};
