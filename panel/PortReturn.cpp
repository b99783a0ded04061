// Waiting for a lost port's device and opening the port again.
#include "panel/PortReturn.h"

#include "framework/ErrorDisplay.h"
#include "i18n/gnugettext.h"
#include "panel/DeviceReturn.h"
#include "panel/PortNotice.h"
#include "serial/CPort.h"
#include "serial/ComPortList.h"
#include "serial/ComServerProbe.h"

#include <QFileInfo>
#include <QTime>

#include <array>

namespace {

// A device that is there but refuses to open is tried again after these
// pauses (ms), then only when its folders change again. A serial server is
// asked again after the same pauses, then at the last one for as long as
// the port is waited for.
constexpr std::array<int, 6> RetryPauses = {100, 200, 400, 800, 1600, 3200};

// How long a server is given to let go of the connection that asked it,
// before the port connects.
constexpr int ServerLetGoMs = 100;

QString TimeText(const QDateTime& at)
{
    return at.time().toString(Qt::ISODate);
}

} // namespace

// ---- waiting for the port's device -------------------------------------------------

TPortReturn::TPortReturn(TCustomComPort& port, QWidget* window, QWidget* spare)
    : QObject(nullptr), port_(port), window_(window), spare_(spare)
{
    device_ = TDeviceReturn::Make(*this, [this] { Changed(); });
    link_.OnConnectionChange = [this](QObject*, bool open) {
        if (open)
            Remember();
    };
    port_.RegisterLink(&link_);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] { GuardedCall([this] { TryReturn(); }); });
    reopen_.setSingleShot(true);
    connect(&reopen_, &QTimer::timeout, this, [this] {
        GuardedCall([this] {
            if (waiting_ && !port_.Connected() && port_.Port() == lostName_)
                Reopen(lostName_);
        });
    });
}

TPortReturn::~TPortReturn()
{
    GuardedCall([this] { port_.UnregisterLink(&link_); });
    delete notice_.data();
}

TPortNotice* TPortReturn::LostNotice() const
{
    return notice_.data();
}

void TPortReturn::Remember()
{
    device_->Remember(port_);
}

void TPortReturn::TakeLoss()
{
    lostName_ = port_.Port();
    lostAt_ = QDateTime::currentDateTime();
    port_.ClosePort();
    waiting_ = true;
    retries_ = 0;
    retry_.stop();
    if (IsNetworkPortName(lostName_)) {
        // The server is asked after the first pause: it may be restarting.
        RetryLater();
        ShowLost();
        return;
    }
    device_->Watch(port_);
    ShowLost();
    // Not tried at once: the device has only just gone, and one that went
    // again the moment it opened would be closed and opened for ever.
    // What brings it back is a change in its folders.
}

void TPortReturn::StopWaiting()
{
    if (!waiting_)
        return;
    waiting_ = false;
    retry_.stop();
    reopen_.stop();
    delete probe_;
    probe_ = nullptr;
    device_->Stop();
}

void TPortReturn::Changed()
{
    if (!waiting_)
        return;
    device_->Watch(port_);
    retries_ = 0;
    retry_.stop();
    TryReturn();
}

void TPortReturn::TryReturn()
{
    if (!waiting_)
        return;
    if (port_.Connected() || port_.Port() != lostName_) {
        // Someone else opened it, or the operator chose another port.
        StopWaiting();
        return;
    }
    if (IsNetworkPortName(lostName_)) {
        Probe();
        return;
    }
    const QString name = device_->NameToOpen(port_);
    if (name.isEmpty())
        return;
    Reopen(name);
}

void TPortReturn::Probe()
{
    if (!probe_) {
        probe_ = new TServerProbe(this);
        probe_->OnAnswer = [this](bool accepts) {
            if (!waiting_)
                return;
            if (accepts)
                reopen_.start(ServerLetGoMs);
            else
                RetryLater();
        };
    }
    probe_->Ask(lostName_);
}

void TPortReturn::Reopen(const QString& name)
{
    try {
        if (name != port_.Port()) {
            port_.SetPort(name);
            lostName_ = name;
        }
        port_.OpenPort();
    } catch (const EComPort&) {
        // There but not to be opened yet: udev may still be setting its
        // permissions, or another program probing it.
        RetryLater();
        return;
    }
    StopWaiting();
    ShowReturned();
    if (OnReturned)
        OnReturned();
}

void TPortReturn::RetryLater()
{
    const int last = static_cast<int>(RetryPauses.size()) - 1;
    if (retries_ > last) {
        if (!IsNetworkPortName(lostName_))
            return;
        retries_ = last;
    }
    retry_.start(RetryPauses[static_cast<std::size_t>(retries_++)]);
}

void TPortReturn::ShowLost()
{
    // One notice, not one per loss: a later loss rewrites it.
    if (!notice_)
        notice_ = new TPortNotice(window_, spare_);
    QString device = lostName_;
    const QString stable = device_->StableName();
    if (!stable.isEmpty())
        device += QStringLiteral(" (") + QFileInfo(stable).fileName() + QLatin1Char(')');
    const char* text = IsNetworkPortName(lostName_)
                           ? MarkForTranslation(
                                 "The port %1 went away at %2: the connection to its server was lost.\n"
                                 "The port is opened again as soon as the server accepts again. "
                                 "OPEN or Edit > Open RS232 stops the waiting.")
                           : MarkForTranslation(
                                 "The port %1 went away at %2: its device was unplugged or the line hung up.\n"
                                 "The port is opened again as soon as the same device returns. "
                                 "OPEN or Edit > Open RS232 stops the waiting.");
    notice_->Tell(QString::fromStdString(LookupText(text)).arg(device, TimeText(lostAt_)),
                  TPortNotice::TKind::Warning);
}

void TPortReturn::ShowReturned()
{
    // Told only to an operator who has not yet seen the loss off; both
    // times stay until they do.
    if (!notice_ || !notice_->isVisible())
        return;
    notice_->Tell(QString::fromStdString(LookupText(MarkForTranslation(
                      "The port %1 went away at %2 and was opened again at %3.")))
                      .arg(port_.Port(), TimeText(lostAt_), TimeText(QDateTime::currentDateTime())),
                  TPortNotice::TKind::Information);
}

void TPortReturn::SetStableNameFolder(const QString& folder)
{
    device_->SetStableNameFolder(folder);
}

QString TPortReturn::StableName() const
{
    return device_->StableName();
}
