// The port list on a made-up device tree the input chooses: tty entries
// with or without a device and a driver, uevent files, USB attributes
// (manufacturer, product, serial) that may be missing, damaged, too large,
// folders or FIFOs, driver names and by-id links. Every entry with a device
// is listed exactly once, under the name its uevent or entry gives, and
// every description is printable UTF-8 on one line within the attributes'
// bounds. One folder is reused for every input and removed at exit.
#include "serial/posix/PortDescription.h"
#include "serial/posix/PortList.h"
#include "tests/support/FuzzInput.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Scratch {
    std::string root;
    Scratch()
    {
        // In memory where there is such a folder: the tree is rebuilt for
        // every input.
        char shared[] = "/dev/shm/portlist-fuzz-XXXXXX";
        char temporary[] = "/tmp/portlist-fuzz-XXXXXX";
        if (::mkdtemp(shared))
            root = shared;
        else if (::mkdtemp(temporary))
            root = temporary;
        else
            std::abort();
    }
    ~Scratch()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

// Destroyed at exit, so the folder goes with the process.
Scratch& TheScratch()
{
    static Scratch scratch;
    return scratch;
}

// A name a folder can hold: no '/' or NUL, not "." or "..", not empty.
std::string FileName(FuzzedDataProvider& in, std::size_t longest)
{
    std::string name = in.ConsumeRandomLengthString(longest);
    for (char& c : name)
        if (c == '/' || c == '\0')
            c = '_';
    if (name.empty() || name == "." || name == "..")
        name = "n" + name;
    return name;
}

// An attribute file in one of the shapes the kernel would not give, or
// the plain text it would.
void Attribute(FuzzedDataProvider& in, const std::string& path)
{
    enum Shape { Missing, Text, Oversized, Folder, Fifo };
    // Mostly text, as the kernel writes it.
    const int choice = in.ConsumeIntegralInRange(0, 7);
    const Shape shape = choice > Fifo ? Text : static_cast<Shape>(choice);
    std::string text = in.ConsumeRandomLengthString(80);
    switch (shape) {
    case Missing:
        break;
    case Text:
        std::ofstream(path, std::ios::binary) << text;
        break;
    case Oversized: {
        std::ofstream out(path, std::ios::binary);
        if (text.empty())
            text = "x";
        for (std::size_t n = 0; n <= serialdev::MaxAttributeSize; n += text.size())
            out << text;
        break;
    }
    case Folder:
        fs::create_directory(path);
        break;
    case Fifo:
        ::mkfifo(path.c_str(), 0600);
        break;
    }
}

// Printable UTF-8 on one line: each sequence well formed and shortest,
// no surrogates, no C0 or C1 controls, no DEL.
bool PrintableLine(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : lead >= 0xc2 && lead < 0xe0 ? 2 : lead >= 0xe0 && lead < 0xf0 ? 3
                                           : lead >= 0xf0 && lead < 0xf5                  ? 4
                                                                                          : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t code = length == 1 ? lead : lead & (0x7f >> length);
        for (int k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3f);
        }
        const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < shortest[length] || code > 0x10ffff || (code >= 0xd800 && code < 0xe000) || code < 0x20 ||
            (code >= 0x7f && code < 0xa0))
            return false;
        i += length;
    }
    return true;
}

// The node the list names an entry by: the first DEVNAME in its uevent
// that is a plain relative name, else the entry's name with '!' for '/'.
std::string ExpectedNode(const std::string& entry, const std::string& uevent)
{
    std::size_t start = 0;
    while (start < uevent.size()) {
        std::size_t end = uevent.find('\n', start);
        if (end == std::string::npos)
            end = uevent.size();
        const std::string line = uevent.substr(start, end - start);
        start = end + 1;
        if (line.rfind("DEVNAME=", 0) != 0 || line.size() == 8 || line.find("..") != std::string::npos)
            continue;
        if (std::all_of(line.begin() + 8, line.end(),
                        [](char c) { return static_cast<unsigned char>(c) > 0x20 && c != 0x7f; }))
            return line.substr(8);
    }
    std::string name = entry;
    std::replace(name.begin(), name.end(), '!', '/');
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string& root = TheScratch().root;
    for (const char* part : {"tty", "devices", "drivers", "dev", "by-id"}) {
        fs::remove_all(root + "/" + part);
        fs::create_directory(root + "/" + part);
    }
    serialdev::PortListSources sources;
    sources.sysClassTty = root + "/tty";
    sources.devDir = root + "/dev";
    sources.serialById = root + "/by-id";
    sources.ttyDrivers = root + "/none";
    const bool legacyReal = in.ConsumeBool();
    sources.isRealUart = [legacyReal](const std::string&) { return legacyReal; };

    std::vector<std::string> expected;
    std::map<std::string, std::vector<std::string>> linksByNode;
    const int entries = in.ConsumeIntegralInRange(1, 5);
    for (int k = 0; k < entries && in.remaining_bytes() > 0; ++k) {
        // Entry names differ by their number, so that no two name one node
        // unless a uevent says so.
        const std::string entry = FileName(in, 12) + std::to_string(k);
        const std::string entryDir = sources.sysClassTty + "/" + entry;
        if (fs::exists(entryDir))
            continue;
        fs::create_directory(entryDir);
        std::string uevent;
        if (in.ConsumeBool()) {
            uevent = in.ConsumeBool() ? "MAJOR=188\nMINOR=" + std::to_string(k) + "\n" : "";
            uevent += in.ConsumeRandomLengthString(40);
            std::ofstream(entryDir + "/uevent", std::ios::binary) << uevent;
        }
        enum DeviceShape { NoDevice, Dangling, Plain, Usb };
        const auto shape = static_cast<DeviceShape>(in.ConsumeIntegralInRange(0, 3));
        if (shape == NoDevice)
            continue;
        const std::string usbDir = root + "/devices/usb" + std::to_string(k);
        const std::string deviceDir = usbDir + "/" + std::to_string(k) + "-1:1.0/port";
        fs::create_directory_symlink(shape == Dangling ? root + "/devices/gone" : deviceDir, entryDir + "/device");
        bool withDriver = shape == Dangling;
        if (shape != Dangling) {
            fs::create_directories(deviceDir);
            if (shape == Usb) {
                std::ofstream(usbDir + "/idVendor") << "0403\n";
                for (const char* attribute : {"manufacturer", "product", "serial"})
                    Attribute(in, usbDir + "/" + attribute);
            }
            if (in.ConsumeBool()) {
                const std::string driver = root + "/drivers/" + FileName(in, 24);
                fs::create_directories(driver);
                fs::create_directory_symlink(driver, deviceDir + "/driver");
                withDriver = true;
            }
        }
        const std::string node = ExpectedNode(entry, uevent);
        const bool legacy = node.size() > 4 && node.compare(0, 4, "ttyS") == 0 &&
                            std::all_of(node.begin() + 4, node.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!withDriver || (legacy && !legacyReal))
            continue;
        expected.push_back(node);
        // The node and, for some, stable names leading to it.
        if (node.find('/') == std::string::npos && !fs::exists(sources.devDir + "/" + node)) {
            std::ofstream(sources.devDir + "/" + node).put('\n');
            for (int links = in.ConsumeIntegralInRange(0, 2); links > 0; --links) {
                const std::string link = sources.serialById + "/" + FileName(in, 30);
                std::error_code exists;
                fs::create_symlink(sources.devDir + "/" + node, link, exists);
                if (!exists)
                    linksByNode[node].push_back(link);
            }
        }
    }

    std::vector<serialdev::PortInfo> ports;
    REQUIRE(serialdev::ListPorts(sources, ports) == 0);
    std::vector<std::string> listed;
    for (const serialdev::PortInfo& port : ports) {
        listed.push_back(port.name);
        REQUIRE(PrintableLine(port.description));
        // Three attributes, two blanks and a pair of brackets at most.
        REQUIRE(port.description.size() <= 3 * serialdev::MaxAttributeSize + 4);
        const auto links = linksByNode.find(port.name);
        if (links == linksByNode.end() || links->second.empty())
            REQUIRE(port.stableName.empty());
        else
            REQUIRE(port.stableName == *std::min_element(links->second.begin(), links->second.end()));
    }
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    REQUIRE(listed == expected);
    return 0;
}
