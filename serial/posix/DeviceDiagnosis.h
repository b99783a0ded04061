// What the system can tell about a device that would not open: its own
// description of the error, who owns the node, and who holds it. Only read
// when an error is explained to a person, never on the way to a result.
// Plain C++ and POSIX, no Qt.
#pragma once

#include "serial/device/OsError.h"

#include <string>
#include <vector>

namespace serialdev {

// SystemErrorText (serial/device/OsError.h) is the C library's description,
// English where the language's locale is not installed.

struct AccessFacts {
    bool Known = false;          // the node could be looked at
    std::string OwnerName;       // user owning the node (its number when unnamed)
    std::string GroupName;       // group owning the node (its number when unnamed)
    std::string Permissions;     // "rw-rw----"
    bool GroupMayOpen = false;   // the group may read and write
    bool ProcessInGroup = false; // this process carries that group now
    bool UserInGroup = false;    // the group database lists the user (from the next login)
    std::string UserName;        // the user this process runs as
};

// Who owns `path`'s node and whether joining its group would let this
// process's user in.
AccessFacts DeviceAccess(const std::string& path);

struct DeviceHolder {
    int Pid = 0;
    std::string Name; // the process's command name ("" when unreadable)
};

// Processes that keep `path`'s device: the one whose lock is on the node
// (from `procRoot`/locks) when it still runs; else every process, this one
// excluded, that has the device open and lets itself be looked at (the
// descriptors of other users' processes are hidden from non-root users).
std::vector<DeviceHolder> DeviceHolders(const std::string& path, const std::string& procRoot = "/proc");

// The process whose lock (flock or record lock) sits on `path`'s node, from
// `procRoot`/locks; 0 when none does. Looking takes no lock, so it never
// keeps out an opening it watches for.
int DeviceLockOwner(const std::string& path, const std::string& procRoot = "/proc");

} // namespace serialdev
