// Waiting for a lost port's device and opening the port again.
#include "panel/PortReturn.h"

#include "framework/ErrorDisplay.h"
#include "i18n/gnugettext.h"
#include "panel/PortNotice.h"
#include "serial/CPort.h"
#include "serial/ComPortList.h"
#include "serial/ComServerProbe.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTime>

#include <array>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A device that is there but refuses to open is tried again after these
// pauses (ms), then only when its folders change again. A serial server is
// asked again after the same pauses, then at the last one for as long as
// the port is waited for.
constexpr std::array<int, 6> RetryPauses = {100, 200, 400, 800, 1600, 3200};

// How long a server is given to let go of the connection that asked it,
// before the port connects.
constexpr int ServerLetGoMs = 100;

// Links followed on the way from a path to its device.
constexpr int MaxLinks = 8;

// Where pseudo-terminals live. Their nodes are numbered afresh: once one's
// far end has closed, its number goes to the next pseudo-terminal any
// program opens, never back to the same device. A link to one (the
// virtual board's --link) is the place its successor appears, not the
// node.
constexpr const char* PseudoTerminals = "/dev/pts";

bool IsPseudoTerminal(const QString& path)
{
    return path.startsWith(QLatin1String(PseudoTerminals) + QLatin1Char('/'));
}

constexpr std::uint32_t FolderEvents =
    IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// The nearest folder of `path` that exists, and the name in it that leads
// on to `path`.
std::pair<fs::path, std::string> ExistingFolder(fs::path path)
{
    std::error_code error;
    std::string name = path.filename().string();
    fs::path folder = path.parent_path();
    while (!folder.empty() && folder != folder.root_path() && !fs::is_directory(folder, error)) {
        name = folder.filename().string();
        folder = folder.parent_path();
    }
    if (folder.empty())
        folder = "/";
    return {folder, name};
}

QString CanonicalPath(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

QString TimeText(const QDateTime& at)
{
    return at.time().toString(Qt::ISODate);
}

} // namespace

// ---- folder watch -------------------------------------------------------------------

TFolderWatch::~TFolderWatch()
{
    Close();
}

int TFolderWatch::Open()
{
    if (fd_ >= 0)
        return 0;
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    return fd_ < 0 ? errno : 0;
}

void TFolderWatch::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    watches_.clear();
}

void TFolderWatch::Arm(const std::vector<std::string>& paths)
{
    if (fd_ < 0)
        return;
    std::map<std::string, std::set<std::string>> wanted;
    for (const std::string& start : paths) {
        fs::path path = start;
        for (int link = 0; link <= MaxLinks && !path.empty(); ++link) {
            auto [folder, name] = ExistingFolder(path);
            std::error_code error;
            const fs::path normal = fs::weakly_canonical(folder, error);
            if (error || normal != PseudoTerminals)
                wanted[(error ? folder : normal).string()].insert(name);
            if (!fs::is_symlink(path, error))
                break;
            const fs::path target = fs::read_symlink(path, error);
            if (error)
                break;
            path = target.is_absolute() ? target : path.parent_path() / target;
        }
    }
    std::map<int, std::set<std::string>> armed;
    for (const auto& [folder, names] : wanted) {
        const int wd = ::inotify_add_watch(fd_, folder.c_str(), FolderEvents);
        if (wd >= 0)
            armed[wd].insert(names.begin(), names.end());
    }
    for (const auto& [wd, names] : watches_) {
        if (!armed.count(wd))
            ::inotify_rm_watch(fd_, wd);
    }
    watches_ = std::move(armed);
}

bool TFolderWatch::TakeEvents()
{
    if (fd_ < 0)
        return false;
    bool concern = false;
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF)) {
                concern = true;
                continue;
            }
            if (event->mask & IN_IGNORED) {
                // A folder that went is to be replaced by its parent; one
                // this watch let go of itself is no news.
                if (watches_.erase(event->wd))
                    concern = true;
                continue;
            }
            const auto it = watches_.find(event->wd);
            if (it != watches_.end() && event->len > 0 && it->second.count(event->name))
                concern = true;
        }
    }
    return concern;
}

// ---- waiting for the port's device -------------------------------------------------

TPortReturn::TPortReturn(TCustomComPort& port, QWidget* window, QWidget* spare)
    : QObject(nullptr), port_(port), window_(window), spare_(spare)
{
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
    delete notifier_;
    delete notice_.data();
}

TPortNotice* TPortReturn::LostNotice() const
{
    return notice_.data();
}

void TPortReturn::Remember()
{
    // Looked up while the device is there: once it is unplugged, udev
    // removes its stable name with it.
    stableName_.clear();
    const QString device = CanonicalPath(port_.DevicePath());
    if (device.isEmpty())
        return;
    const QFileInfoList names =
        QDir(stableFolder_).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& name : names) {
        if (name.isSymLink() && name.canonicalFilePath() == device) {
            stableName_ = name.absoluteFilePath();
            return;
        }
    }
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
    if (watch_.Fd() < 0 && watch_.Open() == 0) {
        notifier_ = new QSocketNotifier(watch_.Fd(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { GuardedCall([this] { Changed(); }); });
    }
    Arm();
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
    delete notifier_;
    notifier_ = nullptr;
    watch_.Close();
}

void TPortReturn::Arm()
{
    std::vector<std::string> paths{port_.DevicePath().toStdString()};
    if (!stableName_.isEmpty())
        paths.push_back(stableName_.toStdString());
    watch_.Arm(paths);
}

void TPortReturn::Changed()
{
    if (!watch_.TakeEvents() || !waiting_)
        return;
    Arm();
    retries_ = 0;
    retry_.stop();
    TryReturn();
}

QString TPortReturn::NameToOpen() const
{
    const QString name = port_.Port();
    if (stableName_.isEmpty()) {
        const QString path = port_.DevicePath();
        if (IsPseudoTerminal(QDir::cleanPath(path)))
            return {};
        return QFileInfo::exists(path) ? name : QString();
    }
    // The stable name says which device it is; its node may be another
    // one now (ttyUSB1 while something else took ttyUSB0).
    const QString device = CanonicalPath(stableName_);
    if (device.isEmpty())
        return {};
    if (CanonicalPath(port_.DevicePath()) == device)
        return name;
    // Named as before: a name under /dev stays a bare name, as the port
    // list gives it.
    const QString dev = QStringLiteral("/dev/");
    if (!name.contains(QLatin1Char('/')) && device.startsWith(dev) && !device.mid(dev.size()).contains('/'))
        return device.mid(dev.size());
    return device;
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
    const QString name = NameToOpen();
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
    if (!stableName_.isEmpty())
        device += QStringLiteral(" (") + QFileInfo(stableName_).fileName() + QLatin1Char(')');
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
