// Port names on Windows as plain text: built and run on Linux too.
#include "serial/win32/PortNames.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using serialdev::NaturalLess;
using serialdev::SplitPortList;
using Names = std::vector<std::string>;

TEST(Win32PortNames, ComNamesOpenThroughTheDevicePrefix)
{
    EXPECT_EQ(serialdev::Win32DevicePath("COM3"), "\\\\.\\COM3");
    EXPECT_EQ(serialdev::Win32DevicePath("com12"), "\\\\.\\COM12");
    EXPECT_EQ(serialdev::Win32DevicePath("\\\\.\\VPORT0"), "\\\\.\\VPORT0");
    EXPECT_EQ(serialdev::Win32DevicePath("COM0"), "COM0"); // no such COM name: as it is
    EXPECT_EQ(serialdev::Win32DevicePath("COM"), "COM");
    EXPECT_EQ(serialdev::Win32DevicePath("COMA"), "COMA");
    EXPECT_EQ(serialdev::Win32DevicePath(""), "");
    EXPECT_EQ(serialdev::DosDeviceName("\\\\.\\COM3"), "COM3");
    EXPECT_EQ(serialdev::DosDeviceName("COM3"), "COM3");
}

TEST(Win32PortNames, NaturalOrder)
{
    Names names{"COM10", "COM2", "com3", "COM1", "VPORT0", "COM", "COM3", "COM99999999999999999999"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    EXPECT_EQ(names, (Names{"COM", "COM1", "COM2", "COM3", "com3", "COM10", "COM99999999999999999999", "VPORT0"}));
    EXPECT_FALSE(NaturalLess("COM2", "COM2"));
}

TEST(Win32PortNames, ExtraPortsAreSplitAtSemicolons)
{
    EXPECT_EQ(SplitPortList(""), Names{});
    EXPECT_EQ(SplitPortList(";;"), Names{});
    EXPECT_EQ(SplitPortList("COM7; \\\\.\\VPORT0 ;COM7"), (Names{"COM7", "\\\\.\\VPORT0"}));
    EXPECT_EQ(SplitPortList("rfc2217://lab:2001;socket://[::1]:3001;C:\\ports\\a"),
              (Names{"rfc2217://lab:2001", "socket://[::1]:3001", "C:\\ports\\a"}));
    EXPECT_TRUE(serialdev::IsRemotePortName("socket://host:1"));
    EXPECT_FALSE(serialdev::IsRemotePortName("COM1"));
}

} // namespace
