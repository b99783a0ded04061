// Tells when the list of serial ports may have changed: ttys the system
// adds or removes (its device manager's announcements) and the extra paths
// appearing and going in their folders. Plain C++ and POSIX, no Qt.
#pragma once

#include "serial/posix/UniqueFd.h"

#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace serialdev {

class PortMonitor {
public:
    // Watches the ttys of the system and the given extra paths (each in
    // its folder, so that a path that does not exist yet is seen when it
    // is made). What cannot be watched (no device manager, a folder that
    // is not there) is left out; the rest still works.
    explicit PortMonitor(const std::vector<std::string>& extraPaths);
    ~PortMonitor();
    PortMonitor(const PortMonitor&) = delete;
    PortMonitor& operator=(const PortMonitor&) = delete;

    // One descriptor that is readable whenever something arrived; -1 when
    // nothing at all could be watched.
    int Fd() const { return epoll_.Valid() ? epoll_.Get() : -1; }
    // True when the ttys are watched (the device manager answers).
    bool WatchesDevices() const { return monitor_ != nullptr; }
    // How many folders are watched for the extra paths.
    std::size_t WatchedFolders() const { return folders_.size(); }

    // Takes everything that arrived, without waiting. True when any of it
    // can have changed the list: a tty added or removed, or an entry of a
    // watched folder under an extra path's name made, removed or renamed.
    bool TakeEvents();

private:
    bool TakeDeviceEvents();
    bool TakeFolderEvents();

    UniqueFd epoll_;
    UniqueFd inotify_;
    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
    struct Folder {
        int watch;
        std::vector<std::string> names;
    };
    std::vector<Folder> folders_;
};

} // namespace serialdev
