// What each listed port is, read from a made-up device tree laid out as the
// kernel lays out its tty, USB and platform devices: descriptions, stable
// names, and attribute files that are missing or damaged.
#include "serial/posix/PortDescription.h"
#include "serial/posix/PortList.h"
#include "serial/posix/PortMonitor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using serialdev::PortInfo;

namespace {

class PortDescriptionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/portinfo-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        sources.sysClassTty = root + "/sys/class/tty";
        sources.devDir = root + "/dev";
        sources.serialById = root + "/dev/serial/by-id";
        sources.isRealUart = [](const std::string&) { return true; };
        for (const std::string& dir : {sources.sysClassTty, sources.serialById, root + "/sys/bus/usb/drivers",
                                       root + "/sys/bus/pnp/drivers/serial"})
            fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(root); }

    static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    static void Link(const std::string& target, const std::string& link)
    {
        fs::create_symlink(fs::relative(target, fs::path(link).parent_path()), link);
    }

    // A USB device under the host's root hub, with the given attribute
    // files (name, contents); "" as contents leaves the file out.
    std::string UsbDevice(const std::string& port, const std::string& manufacturer, const std::string& product,
                          const std::string& serial)
    {
        const std::string hub = root + "/sys/devices/pci0000:00/0000:00:14.0/usb1";
        if (!fs::exists(hub)) {
            fs::create_directories(hub);
            Write(hub + "/idVendor", "1d6b\n");
            Write(hub + "/manufacturer", "Linux 6.1.0 xhci-hcd\n");
            Write(hub + "/product", "xHCI Host Controller\n");
        }
        const std::string device = hub + "/" + port;
        fs::create_directories(device);
        Write(device + "/idVendor", "0403\n");
        for (const auto& [name, text] : {std::pair{"manufacturer", manufacturer}, {"product", product},
                                         {"serial", serial}})
            if (!text.empty())
                Write(device + "/" + name, text);
        return device;
    }

    // The tty `name` whose device is `deviceDir` with the given driver:
    // /sys/class/tty/<name> -> ../../devices/.../tty/<name>, its `device`
    // link, the driver's link, the uevent and the node under /dev.
    void Tty(const std::string& name, const std::string& deviceDir, const std::string& driver)
    {
        const std::string ttyDir = deviceDir + "/tty/" + name;
        fs::create_directories(ttyDir);
        Write(ttyDir + "/uevent", "MAJOR=188\nMINOR=0\nDEVNAME=" + name + "\n");
        Link(deviceDir, ttyDir + "/device");
        if (!driver.empty() && !fs::exists(deviceDir + "/driver")) {
            fs::create_directories(driver);
            Link(driver, deviceDir + "/driver");
        }
        Link(ttyDir, sources.sysClassTty + "/" + name);
        Write(sources.devDir + "/" + name, "");
    }

    // A USB serial adapter: the device, its interface, and the port below.
    std::string UsbTty(const std::string& name, const std::string& usbPort, const std::string& manufacturer,
                       const std::string& product, const std::string& serial, const std::string& driver)
    {
        const std::string device = UsbDevice(usbPort, manufacturer, product, serial);
        const std::string interface = device + "/" + usbPort + ":1.0";
        fs::create_directories(interface);
        Write(interface + "/bInterfaceClass", "ff\n");
        Tty(name, interface, root + "/sys/bus/usb/drivers/" + driver);
        return device;
    }

    void ById(const std::string& stable, const std::string& node)
    {
        Link(sources.devDir + "/" + node, sources.serialById + "/" + stable);
    }

    std::vector<PortInfo> List()
    {
        std::vector<PortInfo> ports;
        EXPECT_EQ(serialdev::ListPorts(sources, ports), 0);
        return ports;
    }

    std::string root;
    serialdev::PortListSources sources;
};

TEST_F(PortDescriptionTest, TwoUsbAdaptersAndAnOnBoardUartAreDescribedWithTheirStableNames)
{
    UsbTty("ttyUSB0", "1-1", "FTDI\n", "FT232R USB UART\n", "A50285BI\n", "ftdi_sio");
    UsbTty("ttyACM0", "1-2", "Arduino\n", "Arduino Uno\n", "75834353930351F0E1C1\n", "cdc_acm");
    const std::string pnp = root + "/sys/devices/pnp0/00:01";
    fs::create_directories(pnp);
    Tty("ttyS0", pnp, root + "/sys/bus/pnp/drivers/serial");
    ById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
    ById("usb-Arduino_Arduino_Uno_75834353930351F0E1C1-if00", "ttyACM0");
    // A second, later link to the same node does not replace the first.
    ById("usb-zz-second-link", "ttyACM0");

    EXPECT_EQ(List(), (std::vector<PortInfo>{
                          {"ttyACM0", "Arduino Uno (75834353930351F0E1C1)",
                           sources.serialById + "/usb-Arduino_Arduino_Uno_75834353930351F0E1C1-if00"},
                          {"ttyS0", "serial", ""},
                          {"ttyUSB0", "FTDI FT232R USB UART (A50285BI)",
                           sources.serialById + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
                      }));

    // An extra path that leads to a listed tty is that tty; one that is
    // not there is no port; a pseudo-terminal is named by its driver.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string pts = ::ptsname(master);
    sources.extraPorts = sources.serialById + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0:" + root +
                         "/gone.tty:" + pts;
    const std::vector<PortInfo> ports = List();
    ::close(master);
    ASSERT_EQ(ports.size(), 5u);
    EXPECT_EQ(ports[3], (PortInfo{sources.serialById + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                                  "FTDI FT232R USB UART (A50285BI)",
                                  sources.serialById + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}));
    EXPECT_EQ(ports[4], (PortInfo{pts, "pty_slave", ""}));
}

TEST_F(PortDescriptionTest, WhatIsThereIsUsedAndADeviceWithoutAttributesIsListedByNameAlone)
{
    UsbTty("ttyUSB0", "1-1", "", "", "", "ch341-uart");
    UsbTty("ttyUSB1", "1-3", "", "USB Serial\n", "", "ch341-uart");
    UsbTty("ttyUSB2", "1-4", "Prolific Technology Inc.\n", "", "", "pl2303");
    EXPECT_EQ(List(), (std::vector<PortInfo>{{"ttyUSB0", "", ""},
                                             {"ttyUSB1", "USB Serial", ""},
                                             {"ttyUSB2", "Prolific Technology Inc.", ""}}));
}

TEST_F(PortDescriptionTest, DamagedAttributesGiveTheNameWithoutDescriptionAndSkipNoPort)
{
    const std::string junk("\x01\x02\xff\xfe\x00", 5);
    const std::string huge(serialdev::MaxAttributeSize + 1, 'A');
    UsbTty("ttyUSB0", "1-1", junk, "Two\nlines\n", "\xc0\xaf\n", "ftdi_sio");  // binary, two lines, overlong UTF-8
    UsbTty("ttyUSB1", "1-2", huge, huge, huge, "ftdi_sio");
    // Unreadable: a folder, a FIFO (a read of which would block), links
    // that lead nowhere or to a device node.
    const std::string odd = UsbTty("ttyUSB2", "1-3", "", "", "", "ftdi_sio");
    fs::create_directory(odd + "/manufacturer");
    ASSERT_EQ(::mkfifo((odd + "/product").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", odd + "/serial");
    const std::string dangling = UsbTty("ttyUSB3", "1-4", "", "", "", "ftdi_sio");
    for (const char* name : {"manufacturer", "product", "serial"})
        fs::create_symlink(root + "/nowhere", dangling + "/" + name);
    // A device whose driver link and a tty whose device link lead nowhere.
    const std::string platform = root + "/sys/devices/platform/serial8250";
    fs::create_directories(platform);
    Tty("ttyS1", platform, "");
    fs::create_symlink(root + "/no-driver", platform + "/driver");
    fs::create_directories(sources.sysClassTty + "/ttyS3");
    fs::create_symlink(root + "/nowhere", sources.sysClassTty + "/ttyS3/device");
    ById("usb-dangling", "ttyUSB9");
    // A uevent that is not a file: the entry's own name is the node's.
    fs::create_directory(sources.sysClassTty + "/ttyS3/uevent");
    // A driver whose name would carry a terminal escape into the list.
    const std::string escaping = root + "/sys/devices/platform/serial8250.4";
    fs::create_directories(escaping);
    Tty("ttyS4", escaping, root + "/sys/bus/platform/drivers/serial\x1b[2J");

    EXPECT_EQ(List(), (std::vector<PortInfo>{{"ttyS1", "", ""},
                                             {"ttyS3", "", ""},
                                             {"ttyS4", "", ""},
                                             {"ttyUSB0", "", ""},
                                             {"ttyUSB1", "", ""},
                                             {"ttyUSB2", "", ""},
                                             {"ttyUSB3", "", ""}}));
    EXPECT_FALSE(serialdev::ReadAttribute(odd + "/product"));
    EXPECT_EQ(serialdev::ReadAttribute(root + "/sys/devices/pci0000:00/0000:00:14.0/usb1/idVendor"), "1d6b");
    Write(root + "/umlaut", "  Gerätebau GmbH \n");
    EXPECT_EQ(serialdev::ReadAttribute(root + "/umlaut"), "Gerätebau GmbH");
}

TEST_F(PortDescriptionTest, MonitorSeesTheExtraPathsComeAndGoAndNothingElse)
{
    fs::create_directories(root + "/run");
    serialdev::PortMonitor monitor({root + "/run/board.tty", root + "/run/other.tty", root + "/absent/x"});
    ASSERT_GE(monitor.Fd(), 0);
    EXPECT_EQ(monitor.WatchedFolders(), 1u);
    auto readable = [&] {
        pollfd wait{monitor.Fd(), POLLIN, 0};
        return ::poll(&wait, 1, 1000) == 1;
    };

    Write(root + "/run/unrelated", "");
    ASSERT_TRUE(readable());
    EXPECT_FALSE(monitor.TakeEvents());
    fs::create_symlink("/dev/null", root + "/run/board.tty");
    ASSERT_TRUE(readable());
    EXPECT_TRUE(monitor.TakeEvents());
    fs::remove(root + "/run/board.tty");
    ASSERT_TRUE(readable());
    EXPECT_TRUE(monitor.TakeEvents());
    pollfd quiet{monitor.Fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&quiet, 1, 0), 0) << "everything was taken";
}

} // namespace
