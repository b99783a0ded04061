// Port listing from sysfs and the environment, and port names as device
// paths.
#include "serial/posix/PortList.h"

#include "serial/posix/PortDescription.h"

#include <algorithm>
#include <climits>
#include <map>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace serialdev {

std::string DevicePath(std::string_view name)
{
    if (name.empty())
        return std::string();
    if (name.front() == '/')
        return std::string(name);
    if (name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(name[2])) == 'M' &&
        std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        name.size() <= 8) {
        const long number = std::stol(std::string(name.substr(3)));
        if (number >= 1)
            return "/dev/ttyS" + std::to_string(number - 1);
    }
    return "/dev/" + std::string(name);
}

namespace {

bool Exists(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

bool LinkOrEntryExists(const std::string& path)
{
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The /dev node of a tty entry: DEVNAME from its uevent; otherwise the
// entry's name, in which sysfs writes '!' for a '/'.
std::string DeviceName(const std::string& entryPath, std::string entry)
{
    if (const std::optional<std::string> uevent = ReadSmallFile(entryPath + "/uevent")) {
        std::size_t start = 0;
        while (start < uevent->size()) {
            std::size_t end = uevent->find('\n', start);
            if (end == std::string::npos)
                end = uevent->size();
            const std::string_view line(uevent->data() + start, end - start);
            if (line.size() > 8 && line.substr(0, 8) == "DEVNAME=" &&
                std::all_of(line.begin() + 8, line.end(),
                            [](char c) { return static_cast<unsigned char>(c) > 0x20 && c != 0x7f; }) &&
                line.find("..") == std::string_view::npos)
                return std::string(line.substr(8));
            start = end + 1;
        }
    }
    std::replace(entry.begin(), entry.end(), '!', '/');
    return entry;
}

// A tty with a device behind it: virtual terminals and the like have none,
// and an entry whose device has no driver (yet) cannot be used. A device
// link that leads nowhere is still a port, if one the system cannot
// describe.
bool IsPortEntry(const std::string& entryPath)
{
    const std::string device = entryPath + "/device";
    if (!LinkOrEntryExists(device))
        return false;
    return !Exists(device) || LinkOrEntryExists(device + "/driver");
}

// Stable name by node: each link in the by-id folder, keyed by the node it
// leads to. A node with several takes the first by name, so the choice
// does not change between listings.
std::map<std::string, std::string> StableNames(const std::string& byIdDir)
{
    std::map<std::string, std::string> byNode;
    DIR* dir = ::opendir(byIdDir.c_str());
    if (!dir)
        return byNode;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string link = byIdDir + "/" + name;
        const std::string node = RealPath(link);
        if (node.empty())
            continue;
        auto [at, added] = byNode.emplace(node, link);
        if (!added && link < at->second)
            at->second = link;
    }
    ::closedir(dir);
    return byNode;
}

// "ttyS10" after "ttyS2": compare the text before the trailing number,
// then the number.
bool NaturalLess(const std::string& a, const std::string& b)
{
    auto split = [](const std::string& s) {
        std::size_t digits = s.size();
        while (digits > 0 && s[digits - 1] >= '0' && s[digits - 1] <= '9')
            --digits;
        const std::string number = s.substr(digits);
        return std::make_pair(s.substr(0, digits),
                              number.empty() ? -1L : std::strtol(number.c_str(), nullptr, 10));
    };
    return split(a) < split(b);
}

bool IsLegacyName(const std::string& name)
{
    return name.size() > 4 && name.compare(0, 4, "ttyS") == 0 &&
           std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The driver of the character device at `path` by its device number, from
// the kernel's table: "name /dev/path major minors type" a line, the minors
// one number or a range.
std::string DriverByNumber(const std::string& table, const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::string();
    const std::optional<std::string> text = ReadSmallFile(table);
    if (!text)
        return std::string();
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, node, minors;
        unsigned long major = 0;
        if (!(fields >> name >> node >> major >> minors))
            continue;
        unsigned long low = 0, high = 0;
        char dash = 0;
        std::istringstream range(minors);
        if (!(range >> low))
            continue;
        high = (range >> dash >> high && dash == '-') ? high : low;
        if (major == ::major(st.st_rdev) && ::minor(st.st_rdev) >= low && ::minor(st.st_rdev) <= high &&
            std::all_of(name.begin(), name.end(), [](char c) { return c > 0x20 && c < 0x7f; }))
            return name;
    }
    return std::string();
}

} // namespace

PortListSources SystemPortSources()
{
    PortListSources sources;
    if (const char* extra = std::getenv("CPORT_EXTRA_PORTS"))
        sources.extraPorts = extra;
    sources.isRealUart = LegacyPortIsRealUart;
    return sources;
}

bool LegacyPortIsRealUart(const std::string& devicePath)
{
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info{};
    const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
}

namespace {

bool IsScheme(const std::string& piece)
{
    return !piece.empty() && std::all_of(piece.begin(), piece.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

} // namespace

bool IsRemoteName(std::string_view name)
{
    return name.find("://") != std::string_view::npos;
}

std::vector<std::string> SplitPathList(const std::string& list)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        pieces.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::string path = pieces[i];
        // A name such as rfc2217://host:2001 has colons of its own: the
        // scheme's, those of an IPv6 address in brackets, and the one
        // before the port number.
        if (IsScheme(path) && i + 1 < pieces.size() && pieces[i + 1].substr(0, 2) == "//") {
            path += ":" + pieces[++i];
            while (std::count(path.begin(), path.end(), '[') > std::count(path.begin(), path.end(), ']') &&
                   i + 1 < pieces.size())
                path += ":" + pieces[++i];
            if (i + 1 < pieces.size() && !pieces[i + 1].empty() && pieces[i + 1][0] >= '0' && pieces[i + 1][0] <= '9')
                path += ":" + pieces[++i];
        }
        if (!path.empty() && std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(std::move(path));
    }
    return paths;
}

int ListPorts(const PortListSources& sources, std::vector<PortInfo>& ports)
{
    ports.clear();
    int error = 0;
    // Node (resolved) to the sysfs entry, so that an extra path that leads
    // to a known tty is described as that tty is.
    std::map<std::string, std::string> entryByNode;
    const std::map<std::string, std::string> stable = StableNames(sources.serialById);
    auto stableName = [&](const std::string& nodePath) {
        const std::string node = RealPath(nodePath);
        const auto found = node.empty() ? stable.end() : stable.find(node);
        return found == stable.end() ? std::string() : found->second;
    };

    if (DIR* dir = ::opendir(sources.sysClassTty.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string entryPath = sources.sysClassTty + "/" + name;
            if (!IsPortEntry(entryPath))
                continue;
            const std::string node = DeviceName(entryPath, name);
            if (IsLegacyName(node) &&
                !(sources.isRealUart && sources.isRealUart("/dev/" + node)))
                continue;
            const std::string nodePath = sources.devDir + "/" + node;
            if (const std::string resolved = RealPath(nodePath); !resolved.empty())
                entryByNode.emplace(resolved, entryPath);
            ports.push_back({node, DescribeDevice(entryPath + "/device"), stableName(nodePath)});
        }
        ::closedir(dir);
        std::sort(ports.begin(), ports.end(),
                  [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.name, b.name); });
    } else {
        error = errno;
    }

    for (const std::string& path : SplitPathList(sources.extraPorts)) {
        // A port on another machine is listed as it is named: whether it
        // is there shows when it is opened.
        if (IsRemoteName(path)) {
            if (std::none_of(ports.begin(), ports.end(), [&](const PortInfo& p) { return p.name == path; }))
                ports.push_back({path, "", ""});
            continue;
        }
        // Nothing to open there (a board that has gone, a link to a closed
        // pseudo-terminal): not a port.
        if (!Exists(path))
            continue;
        if (std::any_of(ports.begin(), ports.end(), [&](const PortInfo& p) { return p.name == path; }))
            continue;
        const auto entry = entryByNode.find(RealPath(path));
        ports.push_back({path,
                         entry != entryByNode.end() ? DescribeDevice(entry->second + "/device")
                                                    : DriverByNumber(sources.ttyDrivers, path),
                         stableName(path)});
    }
    return error;
}

int ListPorts(const PortListSources& sources, std::vector<std::string>& names)
{
    std::vector<PortInfo> ports;
    const int error = ListPorts(sources, ports);
    names.clear();
    names.reserve(ports.size());
    for (PortInfo& port : ports)
        names.push_back(std::move(port.name));
    return error;
}

int ListSystemPorts(std::vector<PortInfo>& ports)
{
    return ListPorts(SystemPortSources(), ports);
}

} // namespace serialdev
