// What a serial port is, in the system's own words: the description a
// person recognises the device by, read from its sysfs attributes. Plain
// C++ and POSIX, no Qt.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace serialdev {

// The largest attribute taken in. sysfs never gives more than a page; a
// file that holds more is not an attribute and is left unread.
constexpr std::size_t MaxAttributeSize = 4096;

// The whole of the regular file at `path` when it holds at most
// MaxAttributeSize bytes; nothing when it is missing, unreadable, not a
// regular file or larger.
std::optional<std::string> ReadSmallFile(const std::string& path);

// The text of the attribute file at `path` without its trailing line end
// and blanks, or nothing when the file is missing, unreadable, not a regular
// file (a FIFO would block the read), larger than MaxAttributeSize, or holds
// anything but printable UTF-8 on one line.
std::optional<std::string> ReadAttribute(const std::string& path);

// The description of the device whose sysfs folder is `deviceDir` (the
// target of /sys/class/tty/<name>/device). Behind USB: the manufacturer,
// product and serial number of the nearest USB device above it
// ("FTDI FT232R USB UART (A50285BI)"), each left out when its file is
// missing or damaged; a USB device with none of them has no description.
// Any other device: the name of its driver ("serial8250"). "" when there is
// nothing usable.
std::string DescribeDevice(const std::string& deviceDir);

} // namespace serialdev
