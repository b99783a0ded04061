// The command-line tool on a board shared over the network: the virtual
// board serves a pseudo-terminal, ser2net shares it on the loopback, and
// rvd3318ctl reaches it by an rfc2217:// name; and network names in the
// port list.
#include "tests/support/Ser2net.h"
#include "tests/tools/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdlib.h>

namespace {

const std::string BoardProgram = BOARD_PROGRAM;
const std::string CtlProgram = CTL_PROGRAM;

// A folder of the test's own, gone with it.
class TempFolder {
public:
    TempFolder()
    {
        char pattern[] = "/tmp/ctl-net-XXXXXX";
        if (::mkdtemp(pattern))
            path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(NetworkCtlTest, TheToolDrivesABoardSharedByASerialServer)
{
    TempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    const std::string link = folder.Path() + "/board.tty";
    ChildProcess board(BoardProgram, {"--link", link});
    ASSERT_TRUE(board.WaitForLine("linked as"));
    // ser2net opens the board's line by the link, as a lab's server opens
    // an adapter by its stable name.
    Ser2net server(link);
    server.Start();

    const auto result =
        RunProgram(CtlProgram, {"--port", server.PortName(), "--timeout", "10000", "led1", "31"}, {"RVD3318_PORT="});
    EXPECT_EQ(result.status, 0) << result.output << server.Log();
    EXPECT_EQ(result.output, "OK LED-1 99.99%\n");
    EXPECT_TRUE(board.WaitForLine("01 5F"));

    server.Stop();
    board.Write("quit\n");
    EXPECT_EQ(board.Wait(), 0);
}

// Needs CPORT_EXTRA_PORTS to keep "://" and ":PORT" of a network name
// together in its colon-separated list (being changed on main).
TEST(NetworkCtlTest, ListNamesNetworkPortsFromTheExtraPortsAndWhereTheyLead)
{
    TempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    const std::string plain = folder.Path() + "/plain";
    std::ofstream(plain).put('\n');
    const std::string rfc2217 = "rfc2217://127.0.0.1:2001", socket = "socket://127.0.0.1:3001";
    const auto result =
        RunProgram(CtlProgram, {"--list"}, {"CPORT_EXTRA_PORTS=" + plain + ":" + rfc2217 + ":" + socket});
    EXPECT_EQ(result.status, 0) << result.output;

    const std::vector<std::string> lines = Lines(result.output);
    const auto listed = [&](const std::string& name) -> std::string {
        for (const std::string& line : lines)
            if (line.rfind(name + "\t", 0) == 0)
                return line;
        return {};
    };
    EXPECT_NE(listed(plain), "") << result.output;
    for (const auto& [name, where] : {std::pair{rfc2217, "127.0.0.1:2001"}, std::pair{socket, "127.0.0.1:3001"}}) {
        const std::string line = listed(name);
        ASSERT_NE(line, "") << name << " not listed:\n" << result.output;
        const std::string description = line.substr(name.size() + 1, line.find('\t', name.size() + 1) - name.size() - 1);
        EXPECT_NE(description.find(where), std::string::npos) << "the description says where it leads: " << line;
    }
}

} // namespace
