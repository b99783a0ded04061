// The Linux port list, read from a made-up /sys/class/tty tree: which
// entries count, how they are named and ordered, and the extra paths.
#include "serial/posix/PortList.h"
#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class PortListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/portlist-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        sources.sysClassTty = root + "/tty";
        fs::create_directories(sources.sysClassTty);
        fs::create_directories(root + "/drivers/serial");
    }
    void TearDown() override { fs::remove_all(root); }

    // A tty entry; with a device, and with a driver behind that device.
    void Entry(const std::string& name, bool device, bool driver, const std::string& devname = "")
    {
        const std::string dir = sources.sysClassTty + "/" + name;
        fs::create_directories(dir);
        if (device) {
            fs::create_directories(dir + "/device");
            if (driver)
                fs::create_directory_symlink(root + "/drivers/serial", dir + "/device/driver");
        }
        if (!devname.empty())
            std::ofstream(dir + "/uevent") << "MAJOR=4\nMINOR=64\nDEVNAME=" << devname << "\n";
    }

    std::string root;
    serialdev::PortListSources sources;
};

TEST_F(PortListTest, ListsTtysWithADriverInNaturalOrder)
{
    Entry("tty0", false, false);
    Entry("ttyACM0", true, false);
    Entry("ttyUSB10", true, true, "ttyUSB10");
    Entry("ttyUSB2", true, true, "ttyUSB2");
    Entry("ttyUSB0", true, true);
    Entry("rfcomm!0", true, true);
    std::vector<std::string> names;
    EXPECT_EQ(serialdev::ListPorts(sources, names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"rfcomm/0", "ttyUSB0", "ttyUSB2", "ttyUSB10"}));
}

TEST_F(PortListTest, KeepsLegacyPortsOnlyWithARealUart)
{
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS10"})
        Entry(name, true, true, name);
    std::vector<std::string> asked;
    sources.isRealUart = [&](const std::string& path) {
        asked.push_back(path);
        return path != "/dev/ttyS1";
    };
    std::vector<std::string> names;
    serialdev::ListPorts(sources, names);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyS0", "ttyS2", "ttyS10"}));
    EXPECT_EQ(asked.size(), 4u);
}

TEST_F(PortListTest, ExtraPathsFollowOnceEach)
{
    Entry("ttyUSB0", true, true, "ttyUSB0");
    const std::string board = root + "/board.tty", pts = root + "/pts7";
    std::ofstream(board).put('\n');
    std::ofstream(pts).put('\n');
    sources.extraPorts = board + "::" + pts + ":" + board + ":ttyUSB0:";
    std::vector<std::string> names;
    serialdev::ListPorts(sources, names);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyUSB0", board, pts}));
}

// Network names keep their own colons in the colon-separated list, and are
// listed whether or not anything answers there.
TEST_F(PortListTest, NetworkNamesStayWholeAmongTheExtraPaths)
{
    const std::string board = root + "/board.tty";
    std::ofstream(board).put('\n');
    sources.extraPorts = "rfc2217://rack:2001:" + board + ":socket://[::1]:3001?logging=debug:" +
                         "rfc2217://10.0.0.7:2002?ign_set_control&timeout=2::rfc2217://rack:2001:" + root + "/gone";
    EXPECT_EQ(serialdev::SplitPathList(sources.extraPorts),
              (std::vector<std::string>{"rfc2217://rack:2001", board, "socket://[::1]:3001?logging=debug",
                                        "rfc2217://10.0.0.7:2002?ign_set_control&timeout=2", root + "/gone"}));
    std::vector<std::string> names;
    serialdev::ListPorts(sources, names);
    EXPECT_EQ(names, (std::vector<std::string>{"rfc2217://rack:2001", board, "socket://[::1]:3001?logging=debug",
                                               "rfc2217://10.0.0.7:2002?ign_set_control&timeout=2"}));
    // A scheme without its // is just a relative name and its own entry.
    EXPECT_EQ(serialdev::SplitPathList("rfc2217:board"), (std::vector<std::string>{"rfc2217", "board"}));
}

TEST_F(PortListTest, UnreadableTtyDirectoryStillGivesTheExtraPaths)
{
    sources.sysClassTty = root + "/missing";
    const std::string pts = root + "/pts3";
    std::ofstream(pts).put('\n');
    sources.extraPorts = pts;
    std::vector<std::string> names{"stale"};
    EXPECT_EQ(serialdev::ListPorts(sources, names), ENOENT);
    EXPECT_EQ(names, (std::vector<std::string>{pts}));
}

TEST(SystemPortListTest, EnvironmentVariableAddsItsPaths)
{
    const serialdev::PortListSources sources = [] {
        ScopedEnvironment extra("CPORT_EXTRA_PORTS", "/tmp/a-board:/tmp/b-board");
        return serialdev::SystemPortSources();
    }();
    EXPECT_EQ(sources.extraPorts, "/tmp/a-board:/tmp/b-board");
    ASSERT_TRUE(static_cast<bool>(sources.isRealUart));
    // A pseudo-terminal is no UART.
    EXPECT_FALSE(sources.isRealUart("/dev/ptmx"));
}

} // namespace
