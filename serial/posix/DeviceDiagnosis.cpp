// Explaining why a device would not open: the error, the node's owner, its holders.
#include "serial/posix/DeviceDiagnosis.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <locale.h>
#include <pwd.h>
#include <sstream>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace serialdev {

namespace {

// A person reading an error needs only a few names; a device open in a
// hundred processes does not need a hundred lines.
constexpr std::size_t MaxHolders = 4;

// The name the user or group database gives `id` (through `lookup`, one of
// the reentrant getpwuid_r and getgrgid_r), or its number when it has none.
template <typename Id, typename Entry>
std::string NameOf(Id id, int (*lookup)(Id, Entry*, char*, std::size_t, Entry**), char* Entry::*name)
{
    std::vector<char> buffer(16384);
    Entry entry{};
    Entry* found = nullptr;
    if (lookup(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->*name;
    return std::to_string(id);
}

std::string UserNameOf(uid_t uid)
{
    return NameOf(uid, ::getpwuid_r, &passwd::pw_name);
}

std::string GroupNameOf(gid_t gid)
{
    return NameOf(gid, ::getgrgid_r, &group::gr_name);
}

std::string PermissionText(mode_t mode)
{
    std::string text;
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += (mode >> shift) & 4 ? 'r' : '-';
        text += (mode >> shift) & 2 ? 'w' : '-';
        text += (mode >> shift) & 1 ? 'x' : '-';
    }
    return text;
}

bool ProcessCarries(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Whether the group database gives `user` the group: what a new login
// would carry.
bool DatabaseLists(const std::string& user, gid_t gid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user.c_str(), found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user.c_str(), found->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

bool SameDevice(const struct stat& a, const struct stat& b)
{
    // A character device is the same device under any node that names it
    // (a by-id link's target, a copy made with mknod).
    if (S_ISCHR(b.st_mode))
        return S_ISCHR(a.st_mode) && a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string CommandName(const std::string& procRoot, int pid, bool& running)
{
    std::ifstream comm(procRoot + "/" + std::to_string(pid) + "/comm");
    running = comm.is_open();
    std::string name;
    std::getline(comm, name);
    return name;
}

// The process whose flock or record lock sits on the node, from lines such
// as "3: FLOCK  ADVISORY  WRITE 4711 00:05:123 0 EOF".
int LockOwner(const std::string& procRoot, const struct stat& node)
{
    std::ifstream locks(procRoot + "/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, advisory, access, where;
        long pid = 0;
        fields >> number >> kind;
        if (kind == "->") // a waiter, not a holder
            continue;
        if (!(fields >> advisory >> access >> pid >> where) || pid <= 0)
            continue;
        unsigned int major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
            continue;
        if (major == ::major(node.st_dev) && minor == ::minor(node.st_dev) &&
            inode == static_cast<unsigned long long>(node.st_ino))
            return static_cast<int>(pid);
    }
    return 0;
}

bool HasOpen(int procFd, const std::string& pidName, const struct stat& target)
{
    const int fdDir = ::openat(procFd, (pidName + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDir < 0)
        return false; // gone, or another user's
    DIR* fds = ::fdopendir(fdDir);
    if (fds == nullptr) {
        ::close(fdDir);
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.')
            continue;
        // Only what lies under /dev is looked at: a descriptor on a hung
        // network file system would hang the stat, and so the error box.
        char link[16] = {};
        const ssize_t length = ::readlinkat(fdDir, entry->d_name, link, sizeof link - 1);
        if (length < 5 || std::strncmp(link, "/dev/", 5) != 0)
            continue;
        struct stat seen{};
        if (::fstatat(fdDir, entry->d_name, &seen, 0) == 0 && SameDevice(seen, target)) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

} // namespace

std::string SystemErrorText(int error, const std::string& language)
{
    // The text is wanted in UTF-8 whatever the user's own codeset, so the
    // locale's character type is chosen along with its messages.
    std::vector<std::string> names;
    const std::string base = language.substr(0, language.find_first_of(".@"));
    if (!base.empty() && base != "C" && base != "POSIX") {
        names.push_back(base + ".UTF-8");
        names.push_back(base + ".utf8");
    }
    names.push_back("C.UTF-8");
    names.push_back("C");
    for (const std::string& name : names) {
        const locale_t locale = ::newlocale(LC_CTYPE_MASK | LC_MESSAGES_MASK, name.c_str(), locale_t{});
        if (locale == locale_t{})
            continue;
        std::string text = ::strerror_l(error, locale);
        ::freelocale(locale);
        return text;
    }
    return "error " + std::to_string(error);
}

AccessFacts DeviceAccess(const std::string& path)
{
    AccessFacts facts;
    facts.UserName = UserNameOf(::geteuid());
    struct stat node{};
    if (::stat(path.c_str(), &node) != 0)
        return facts;
    facts.Known = true;
    facts.OwnerName = UserNameOf(node.st_uid);
    facts.GroupName = GroupNameOf(node.st_gid);
    facts.Permissions = PermissionText(node.st_mode);
    facts.GroupMayOpen = (node.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    facts.ProcessInGroup = ProcessCarries(node.st_gid);
    facts.UserInGroup = DatabaseLists(facts.UserName, node.st_gid);
    return facts;
}

int DeviceLockOwner(const std::string& path, const std::string& procRoot)
{
    struct stat target{};
    if (::stat(path.c_str(), &target) != 0)
        return 0;
    return LockOwner(procRoot, target);
}

std::vector<DeviceHolder> DeviceHolders(const std::string& path, const std::string& procRoot)
{
    std::vector<DeviceHolder> holders;
    struct stat target{};
    if (::stat(path.c_str(), &target) != 0)
        return holders;

    // The lock is what keeps a second opener out; its owner is the answer
    // when it still runs (an inherited descriptor may outlive it).
    if (const int owner = LockOwner(procRoot, target)) {
        bool running = false;
        std::string name = CommandName(procRoot, owner, running);
        if (running) {
            holders.push_back({owner, std::move(name)});
            return holders;
        }
    }

    const int procFd = ::open(procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0)
        return holders;
    DIR* processes = ::fdopendir(procFd);
    if (processes == nullptr) {
        ::close(procFd);
        return holders;
    }
    const int self = static_cast<int>(::getpid());
    while (const dirent* entry = ::readdir(processes)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || pid <= 0 || pid == self)
            continue;
        if (!HasOpen(procFd, entry->d_name, target))
            continue;
        bool running = false;
        holders.push_back({static_cast<int>(pid), CommandName(procRoot, static_cast<int>(pid), running)});
        if (holders.size() == MaxHolders)
            break;
    }
    ::closedir(processes);
    std::sort(holders.begin(), holders.end(), [](const DeviceHolder& a, const DeviceHolder& b) { return a.Pid < b.Pid; });
    return holders;
}

} // namespace serialdev
