// Device descriptions from sysfs attributes, read with bounds: the files
// are the kernel's, but nothing here may hang, read without limit or take
// a binary blob for a name.
#include "serial/posix/PortDescription.h"

#include "serial/posix/UniqueFd.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace serialdev {

namespace {

// One line of printable text in valid UTF-8: no control characters, no
// broken or overlong sequences.
bool IsPrintableUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7f)
                return false;
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t code = 0;
        if ((byte & 0xe0) == 0xc0) {
            length = 2;
            code = byte & 0x1f;
        } else if ((byte & 0xf0) == 0xe0) {
            length = 3;
            code = byte & 0x0f;
        } else if ((byte & 0xf8) == 0xf0) {
            length = 4;
            code = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3f);
        }
        static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) ||
            (code >= 0x80 && code < 0xa0))
            return false;
        i += length;
    }
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string Parent(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDirectory(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// A USB device carries its vendor and product numbers; its interfaces and
// the ports below them do not.
bool IsUsbDevice(const std::string& dir)
{
    struct stat st{};
    return ::stat((dir + "/idVendor").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string UsbDescription(const std::string& usbDevice)
{
    const std::optional<std::string> manufacturer = ReadAttribute(usbDevice + "/manufacturer");
    const std::optional<std::string> product = ReadAttribute(usbDevice + "/product");
    const std::optional<std::string> serial = ReadAttribute(usbDevice + "/serial");
    std::string text;
    // Many products repeat their maker's name ("Arduino" "Arduino Uno").
    if (manufacturer && !(product && product->rfind(*manufacturer, 0) == 0))
        text = *manufacturer;
    if (product)
        text += (text.empty() ? "" : " ") + *product;
    if (serial)
        text += (text.empty() ? "" : " ") + ("(" + *serial + ")");
    return text;
}

} // namespace

std::optional<std::string> ReadSmallFile(const std::string& path)
{
    // Looked at before it is opened: opening a device node can do things.
    struct stat before{};
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode))
        return std::nullopt;
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.Valid())
        return std::nullopt;
    struct stat st{};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    // sysfs reports a page as the size of every attribute, so the size is
    // known only from reading: one byte more than the limit says too big.
    std::string text(MaxAttributeSize + 1, '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t got = ::read(fd.Get(), text.data() + filled, text.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    if (filled > MaxAttributeSize)
        return std::nullopt;
    text.resize(filled);
    return text;
}

std::optional<std::string> ReadAttribute(const std::string& path)
{
    std::optional<std::string> read = ReadSmallFile(path);
    if (!read)
        return std::nullopt;
    std::string& text = *read;
    while (!text.empty() && IsBlank(text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    text.erase(0, start);
    if (text.empty() || !IsPrintableUtf8(text))
        return std::nullopt;
    return text;
}

std::string DescribeDevice(const std::string& deviceDir)
{
    const std::string device = RealPath(deviceDir);
    if (device.empty())
        return std::string();
    // The tty's device is a port or an interface of the USB device; a real
    // tree is a few levels deep, a made-up or looping one stops here.
    std::string dir = device;
    for (int depth = 0; depth < 16 && dir != "/"; ++depth, dir = Parent(dir))
        if (IsUsbDevice(dir))
            return UsbDescription(dir);
    const std::string driver = RealPath(device + "/driver");
    if (driver.empty() || !IsDirectory(driver))
        return std::string();
    // A folder name can hold any byte but '/'; the list shows only text.
    const std::string name = BaseName(driver);
    return IsPrintableUtf8(name) ? name : std::string();
}

} // namespace serialdev
