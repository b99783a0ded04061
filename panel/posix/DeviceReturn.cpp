// On Linux a device comes back as a node in /dev (and a stable name under
// /dev/serial/by-id): inotify watches the folders on the way to it, read
// through a socket notifier of the event loop.
#include "panel/DeviceReturn.h"

#include "framework/ErrorDisplay.h"
#include "serial/CPort.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

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

// The inotify watches on the folders that lead to some paths: the nearest
// folder of each path that exists, and likewise for the targets of
// symbolic links on the way.
class TFolderWatch {
public:
    TFolderWatch() = default;
    ~TFolderWatch();
    TFolderWatch(const TFolderWatch&) = delete;
    TFolderWatch& operator=(const TFolderWatch&) = delete;

    // Returns 0 or the errno value; the descriptor is non-blocking.
    int Open();
    void Close();
    int Fd() const { return fd_; }

    // Watches what leads to `paths`, dropping watches no longer needed.
    void Arm(const std::vector<std::string>& paths);
    // Reads what the descriptor has; true when anything of concern
    // happened (a watched name created, moved in or changed in its
    // attributes, or a watched folder itself gone), after which the caller
    // arms again and looks.
    bool TakeEvents();

private:
    int fd_ = -1;
    // Watch descriptor → names of concern in that folder.
    std::map<int, std::set<std::string>> watches_;
};

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

class PosixDeviceReturn : public TDeviceReturn {
public:
    PosixDeviceReturn(QObject& context, std::function<void()> changed)
        : context_(context), changed_(std::move(changed))
    {
    }
    ~PosixDeviceReturn() override { Stop(); }

    void Remember(const TCustomComPort& port_) override
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

    QString StableName() const override { return stableName_; }
    void SetStableNameFolder(const QString& folder) override { stableFolder_ = folder; }

    void Watch(const TCustomComPort& port) override
    {
        if (watch_.Fd() < 0 && watch_.Open() == 0) {
            notifier_ = new QSocketNotifier(watch_.Fd(), QSocketNotifier::Read, &context_);
            QObject::connect(notifier_, &QSocketNotifier::activated, &context_, [this] {
                GuardedCall([this] {
                    if (watch_.TakeEvents())
                        changed_();
                });
            });
        }
        std::vector<std::string> paths{port.DevicePath().toStdString()};
        if (!stableName_.isEmpty())
            paths.push_back(stableName_.toStdString());
        watch_.Arm(paths);
    }

    void Stop() override
    {
        delete notifier_;
        notifier_ = nullptr;
        watch_.Close();
    }

    QString NameToOpen(const TCustomComPort& port_) const override
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

private:
    QObject& context_;
    std::function<void()> changed_;
    QString stableFolder_ = QStringLiteral("/dev/serial/by-id");
    // The device as it was when the port last opened.
    QString stableName_;
    TFolderWatch watch_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace

std::unique_ptr<TDeviceReturn> TDeviceReturn::Make(QObject& context, std::function<void()> changed)
{
    return std::make_unique<PosixDeviceReturn>(context, std::move(changed));
}
