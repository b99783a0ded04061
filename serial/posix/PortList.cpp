// Port listing from sysfs and the environment, and port names as device
// paths.
#include "serial/posix/PortList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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

// The /dev node of a tty entry: DEVNAME from its uevent; otherwise the
// entry's name, in which sysfs writes '!' for a '/'.
std::string DeviceName(const std::string& entryPath, std::string entry)
{
    std::ifstream uevent(entryPath + "/uevent");
    std::string line;
    while (std::getline(uevent, line))
        if (line.rfind("DEVNAME=", 0) == 0 && line.size() > 8)
            return line.substr(8);
    std::replace(entry.begin(), entry.end(), '!', '/');
    return entry;
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

int ListPorts(const PortListSources& sources, std::vector<std::string>& names)
{
    names.clear();
    int error = 0;
    if (DIR* dir = ::opendir(sources.sysClassTty.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string entryPath = sources.sysClassTty + "/" + name;
            // Virtual terminals and the like have no device behind them.
            if (!Exists(entryPath + "/device/driver"))
                continue;
            const std::string node = DeviceName(entryPath, name);
            if (IsLegacyName(node) &&
                !(sources.isRealUart && sources.isRealUart("/dev/" + node)))
                continue;
            names.push_back(node);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end(), NaturalLess);
    } else {
        error = errno;
    }

    std::size_t start = 0;
    const std::string& extra = sources.extraPorts;
    while (start <= extra.size()) {
        std::size_t end = extra.find(':', start);
        if (end == std::string::npos)
            end = extra.size();
        const std::string path = extra.substr(start, end - start);
        if (!path.empty() && std::find(names.begin(), names.end(), path) == names.end())
            names.push_back(path);
        start = end + 1;
    }
    return error;
}

} // namespace serialdev
