// rvd3318ctl --list: one port a line, name, description and stable name.
#include "tests/support/PtyPair.h"
#include "tests/tools/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(PortListingTest, ListGivesEachPortWithWhatItIsTabSeparated)
{
    char folder[] = "/tmp/ctl-list-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string board = std::string(folder) + "/board.tty", plain = std::string(folder) + "/plain";
    PtyPair pty;
    std::filesystem::create_symlink(pty.SlavePath(), board);
    std::ofstream(plain).put('\n');
    const auto result = RunProgram(CTL_PROGRAM, {"--list"},
                                   {"CPORT_EXTRA_PORTS=" + board + ":" + folder + "/gone:" + plain});
    const auto refused = RunProgram(CTL_PROGRAM, {"--list", "led1", "1"}, {});
    std::filesystem::remove_all(folder);

    EXPECT_EQ(result.status, 0);
    const std::string tail = board + "\tpty_slave\t\n" + plain + "\t\t\n";
    ASSERT_GE(result.output.size(), tail.size()) << result.output;
    EXPECT_EQ(result.output.substr(result.output.size() - tail.size()), tail) << result.output;
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.output.find("--list takes nothing else"), std::string::npos);
}

} // namespace
