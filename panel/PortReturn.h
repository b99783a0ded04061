// Taking a port back when its device returns.
//
// When the port's device goes away (a USB adapter pulled, the far end of a
// pseudo-terminal closed), the window closes the port and this waits for
// the same device to come back: the same stable name under
// /dev/serial/by-id when the device had one (it may come back under
// another node, ttyUSB1 for ttyUSB0), else the same path. Then it opens the
// port again with the settings it has; nothing is sent.
//
// Waiting costs nothing: the platform tells when the device may be back
// (panel/DeviceReturn.h: on Linux inotify on the folders on the way to the
// device and to a symbolic link's target; on Windows the system's
// device-arrival notices); no timer runs. A pseudo-terminal's node never counts
// as its return (its number goes to whichever program opens the next
// one): only a link to it that is made anew does. A device that is there but cannot be
// opened yet (udev still setting its permissions, a program probing it) is
// tried again on the next change in those folders, and a few times after
// growing pauses, then only on changes.
//
// A port on a serial server has no folder to watch: its server is asked
// again after pauses growing from 0.1 to 3.2 s, then every 3.2 s, each
// time with a connection made in the background (nothing blocks the
// window while a host does not answer). Once the server accepts, the port
// opens again.
#pragma once

#include "serial/ComLink.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class TDeviceReturn;
class TServerProbe;
class QWidget;
class TCustomComPort;
class TPortNotice;

class TPortReturn : public QObject {
    Q_OBJECT

public:
    // `port` must outlive this object; the notice about a lost port is
    // shown beside `window`, or over `spare`, one of its controls, where the
    // screen has no room around the window (see TPortNotice).
    TPortReturn(TCustomComPort& port, QWidget* window, QWidget* spare);
    ~TPortReturn() override;

    // Where the system keeps the stable names of serial devices (Linux:
    // /dev/serial/by-id), for tests that make their own.
    void SetStableNameFolder(const QString& folder);

    // The stable name of the device the port had open last ("" when it
    // had none), found when the port opened.
    QString StableName() const;

    // The port's device went away: closes the port (in its fixed order, so
    // every link hears of it), tells the operator without stopping them and
    // waits for the device.
    void TakeLoss();
    // The operator took the port over (opened or closed it, chose another):
    // nothing is waited for any more.
    void StopWaiting();
    bool Waiting() const { return waiting_; }

    // After the port was opened again.
    std::function<void()> OnReturned;

    // The notice shown about the lost port (none before the first loss).
    TPortNotice* LostNotice() const;

private:
    void Remember();
    // The platform's watch saw something that may be the device's return.
    void Changed();
    void TryReturn();
    void Reopen(const QString& name);
    // A port on a serial server: asks whether its server accepts.
    void Probe();
    void RetryLater();
    void ShowLost();
    void ShowReturned();

    TCustomComPort& port_;
    QWidget* window_;
    QWidget* spare_;
    TComLink link_;
    std::unique_ptr<TDeviceReturn> device_;

    // The port name when the loss was taken.
    QString lostName_;
    QDateTime lostAt_;

    bool waiting_ = false;
    QTimer retry_;
    int retries_ = 0;
    // The connection that asks a serial server whether it accepts again.
    TServerProbe* probe_ = nullptr;
    // The server accepted: the port opens once the asking connection is
    // gone from the server, which keeps a port for one client at a time.
    QTimer reopen_;
    QPointer<TPortNotice> notice_;
};
