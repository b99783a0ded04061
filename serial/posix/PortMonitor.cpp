// The device manager's announcements come through libudev; the extra paths
// through inotify. Both sit in one epoll set, so that the owner waits on a
// single descriptor and nothing here ever polls.
#include "serial/posix/PortMonitor.h"

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace serialdev {

namespace {

void SplitPath(const std::string& path, std::string& folder, std::string& name)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// The device manager announces a device only once it has made the node's
// links and permissions; without a running manager the kernel's own
// announcements are all there is.
const char* AnnouncementSource()
{
    struct stat st{};
    return ::stat("/run/udev/control", &st) == 0 ? "udev" : "kernel";
}

bool AddToSet(int epoll, int fd)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    return ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

} // namespace

PortMonitor::PortMonitor(const std::vector<std::string>& extraPaths)
    : epoll_(::epoll_create1(EPOLL_CLOEXEC))
{
    if (!epoll_.Valid())
        return;

    udev_ = ::udev_new();
    if (udev_) {
        monitor_ = ::udev_monitor_new_from_netlink(udev_, AnnouncementSource());
        if (monitor_ && (::udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
                         ::udev_monitor_enable_receiving(monitor_) < 0 ||
                         !AddToSet(epoll_.Get(), ::udev_monitor_get_fd(monitor_)))) {
            ::udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }

    if (extraPaths.empty())
        return;
    inotify_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!inotify_.Valid() || !AddToSet(epoll_.Get(), inotify_.Get())) {
        inotify_.Reset();
        return;
    }
    for (const std::string& path : extraPaths) {
        std::string folder, name;
        SplitPath(path, folder, name);
        if (name.empty())
            continue;
        const int watch = ::inotify_add_watch(inotify_.Get(), folder.c_str(),
                                              IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                                  IN_ATTRIB | IN_ONLYDIR);
        if (watch < 0)
            continue;
        // One folder is one watch, whatever the spelling of its path.
        const auto known = std::find_if(folders_.begin(), folders_.end(),
                                        [&](const Folder& f) { return f.watch == watch; });
        if (known != folders_.end())
            known->names.push_back(name);
        else
            folders_.push_back({watch, {name}});
    }
}

PortMonitor::~PortMonitor()
{
    if (monitor_)
        ::udev_monitor_unref(monitor_);
    if (udev_)
        ::udev_unref(udev_);
}

bool PortMonitor::TakeEvents()
{
    // Both are drained every time: a descriptor left readable would wake
    // the owner again at once.
    const bool devices = TakeDeviceEvents();
    const bool folders = TakeFolderEvents();
    return devices || folders;
}

bool PortMonitor::TakeDeviceEvents()
{
    if (!monitor_)
        return false;
    bool changed = false;
    // The monitor's socket does not block; a bounded number per call keeps
    // a storm of announcements from holding the owner up.
    for (int n = 0; n < 256; ++n) {
        udev_device* device = ::udev_monitor_receive_device(monitor_);
        if (!device)
            break;
        const char* action = ::udev_device_get_action(device);
        if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0 ||
                       std::strcmp(action, "move") == 0 || std::strcmp(action, "bind") == 0 ||
                       std::strcmp(action, "unbind") == 0 || std::strcmp(action, "change") == 0))
            changed = true;
        ::udev_device_unref(device);
    }
    return changed;
}

bool PortMonitor::TakeFolderEvents()
{
    if (!inotify_.Valid())
        return false;
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(inotify_.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changed = true;  // events were lost: anything may have changed
                continue;
            }
            const auto folder = std::find_if(folders_.begin(), folders_.end(),
                                             [&](const Folder& f) { return f.watch == event->wd; });
            if (folder == folders_.end() || event->len == 0)
                continue;
            const std::string name(event->name, ::strnlen(event->name, event->len));
            if (std::find(folder->names.begin(), folder->names.end(), name) != folder->names.end())
                changed = true;
        }
    }
    return changed;
}

} // namespace serialdev
