// The two programs together: the command-line tool drives the virtual board
// over a pseudo-terminal, the board decodes and reports, and both deal with
// bad input and a line that goes away.
#include "tests/support/PtyPair.h"
#include "tests/tools/BoardState.h"
#include "tests/tools/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const std::string BoardProgram = BOARD_PROGRAM;
const std::string CtlProgram = CTL_PROGRAM;

// A board on a new pseudo-terminal; reports half commands after 200 ms.
class Board {
public:
    explicit Board(std::vector<std::string> args = {})
        : process_(BoardProgram, WithIdle(std::move(args)))
    {
        const auto first = process_.ReadLine();
        if (first && first->rfind("listening on ", 0) == 0)
            path_ = first->substr(13);
    }

    ChildProcess& Process() { return process_; }
    const std::string& Path() const { return path_; }

    // The board's state lines.
    std::vector<std::string> State() { return BoardState(process_); }

private:
    static std::vector<std::string> WithIdle(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--idle-ms", "200"});
        return args;
    }

    ChildProcess process_;
    std::string path_;
};

// The other end of the board's terminal, opened the way a port would.
int OpenRaw(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (fd >= 0 && tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

std::string ReadFor(int fd, std::size_t count, std::chrono::milliseconds timeout)
{
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (text.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - text.size()));
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

TEST(BoardProgramTest, CommandLineToolSetsTheBoardsState)
{
    Board board;
    ASSERT_FALSE(board.Path().empty()) << "no 'listening on' line";

    // Two runs: the board stays for the next program that opens its line.
    auto first = RunProgram(CtlProgram, {"--port", board.Path(), "mode", "rgb", "ipeak", "30",
                                         "led1", "31", "led2", "10", "led3", "0", "tgt-up", "12"});
    EXPECT_EQ(first.status, 0) << first.output;
    auto second = RunProgram(CtlProgram, {"tgt-dwn", "0", "str-dim", "30", "sweep", "3"},
                             {"RVD3318_PORT=" + board.Path()});
    EXPECT_EQ(second.status, 0) << second.output;

    const auto state = board.State();
    EXPECT_TRUE(HasLine(state, "state mode RGB"));
    EXPECT_TRUE(HasLine(state, "state I-PEAK 30 32.69mA"));
    EXPECT_TRUE(HasLine(state, "state LED-1 31 99.99%"));
    EXPECT_TRUE(HasLine(state, "state LED-2 10 32.25%"));
    EXPECT_TRUE(HasLine(state, "state LED-3 0 0%"));
    EXPECT_TRUE(HasLine(state, "state TGT-UP 12 1.65mA"));
    EXPECT_TRUE(HasLine(state, "state TGT-DWN 0 0.00mA"));
    EXPECT_TRUE(HasLine(state, "state STR DIM 30 240ms"));
    EXPECT_TRUE(HasLine(state, "state sweep 3 commands, last 90 80"));
    EXPECT_TRUE(HasLine(state, "state line 11 commands, 0 half commands, 0 stray bytes"));

    // Each command was logged on its own line, in the order sent.
    const auto& seen = board.Process().Seen();
    std::vector<std::string> sweeps;
    for (const auto& line : seen)
        if (line.find("sweep") != std::string::npos && line.rfind("state", 0) != 0)
            sweeps.push_back(line);
    EXPECT_EQ(sweeps, (std::vector<std::string>{"90 80  sweep 90", "80 80  sweep 80", "90 80  sweep 90"}));
    EXPECT_TRUE(HasLine(seen, "02 6A  LED-2 10 (32.25%)"));

    board.Process().Write("quit\n");
    EXPECT_EQ(board.Process().Wait(), 0);
}

TEST(BoardProgramTest, BoardReportsMalformedBytesAndGoesOn)
{
    Board board;
    ASSERT_FALSE(board.Path().empty());
    const int line = OpenRaw(board.Path());
    ASSERT_GE(line, 0);

    // A command, a line end, a selector whose value never came, the next
    // command, lower-case junk, and the start of a command left hanging.
    const std::string stream = "015F\r\n01026Azz0";
    ASSERT_EQ(::write(line, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));

    auto& log = board.Process();
    EXPECT_EQ(log.WaitForLine("01 5F"), "01 5F  LED-1 31 (99.99%)");
    EXPECT_EQ(log.WaitForLine("bad:"), "bad: 2 stray bytes \"..\" (0D 0A) outside the vocabulary");
    EXPECT_EQ(log.WaitForLine("bad:"), "bad: half command \"01\" (2 of 4 bytes; the rest never came)");
    EXPECT_EQ(log.WaitForLine("02 6A"), "02 6A  LED-2 10 (32.25%)");
    EXPECT_EQ(log.WaitForLine("bad:"), "bad: 2 stray bytes \"zz\" (7A 7A) outside the vocabulary");
    // The lone "0" is reported once the line has been quiet for a while.
    EXPECT_EQ(log.WaitForLine("bad:"), "bad: half command \"0\" (1 of 4 bytes; the rest never came)");

    // One status line per event came back on the line.
    const std::string answers = ReadFor(line, 200, 500ms);
    EXPECT_EQ(answers, "OK LED-1 99.99%\nERR 2 BAD BYTES\nERR HALF COMMAND\nOK LED-2 32.25%\n"
                       "ERR 2 BAD BYTES\nERR HALF COMMAND\n");

    // Decoding goes on after all that.
    ASSERT_EQ(::write(line, "0380", 4), 4);
    EXPECT_EQ(log.WaitForLine("03 80"), "03 80  LED-3 0 (0%)");
    const auto state = board.State();
    EXPECT_TRUE(HasLine(state, "state LED-3 0 0%"));
    EXPECT_TRUE(HasLine(state, "state line 3 commands, 2 half commands, 4 stray bytes"));
    ::close(line);

    board.Process().Signal(SIGINT);
    EXPECT_EQ(board.Process().Wait(), 0);
}

TEST(BoardProgramTest, HangUpEndsTheBoardWhenAskedOrWhenItsDeviceGoesAway)
{
    {
        Board board({"--once"});
        ASSERT_FALSE(board.Path().empty());
        const int line = OpenRaw(board.Path());
        ASSERT_GE(line, 0);
        ASSERT_EQ(::write(line, "01", 2), 2);
        ::close(line);
        EXPECT_TRUE(board.Process().WaitForLine("bad: half command \"01\""));
        EXPECT_TRUE(board.Process().WaitForLine("line closed by the other side"));
        EXPECT_EQ(board.Process().Wait(), 0);
    }
    {
        PtyPair pty;
        ChildProcess board(BoardProgram, {"--device", pty.SlavePath()});
        EXPECT_EQ(board.ReadLine(), "listening on " + pty.SlavePath());
        pty.Send("2020");
        EXPECT_EQ(board.WaitForLine("20 20"), "20 20  mode RGB");
        pty.HangUp();
        EXPECT_TRUE(board.WaitForLine("the other side hung up"));
        EXPECT_EQ(board.Wait(), 0);
    }
    {
        // A device is served raw, 8N1 without flow control, at the rate asked.
        PtyPair pty;
        ChildProcess board(BoardProgram, {"--device", pty.SlavePath(), "--baud", "57600"});
        EXPECT_EQ(board.ReadLine(), "listening on " + pty.SlavePath());
        termios tio{};
        ASSERT_EQ(tcgetattr(pty.MasterFd(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), B57600);
        EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        pty.HangUp();
        EXPECT_TRUE(board.WaitForLine("the other side hung up"));
        EXPECT_EQ(board.Wait(), 0);
    }
}

TEST(BoardProgramTest, TheNextProgramIsAnsweredWhenItSentBeforeTheBoardSawItOpen)
{
    Board board;
    ASSERT_FALSE(board.Path().empty());
    const std::string answer = "OK LED-2 32.25%\n";
    int line = OpenRaw(board.Path());
    ASSERT_GE(line, 0);
    ASSERT_EQ(::write(line, "026A", 4), 4);
    EXPECT_EQ(ReadFor(line, answer.size(), 5s), answer);
    ::close(line);
    ASSERT_TRUE(board.Process().WaitForLine("waiting for the next program to open"));

    // The next program opens the line and sends at once while the board is
    // held up (stopped here, as a busy machine would hold it): both its
    // opening and its command are waiting when the board looks again.
    board.Process().Signal(SIGSTOP);
    line = OpenRaw(board.Path());
    ASSERT_GE(line, 0);
    ASSERT_EQ(::write(line, "026A", 4), 4);
    board.Process().Signal(SIGCONT);
    EXPECT_EQ(ReadFor(line, answer.size(), 5s), answer);
    EXPECT_TRUE(HasLine(board.State(), "state line 2 commands, 0 half commands, 0 stray bytes"));
    ::close(line);

    board.Process().Signal(SIGINT);
    EXPECT_EQ(board.Process().Wait(), 0);
}

TEST(BoardProgramTest, InterruptStopsTheBoardAndRemovesItsLink)
{
    char pattern[] = "/tmp/board-link-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string link = std::string(pattern) + "/board.tty";
    {
        Board board({"--link", link});
        ASSERT_FALSE(board.Path().empty());
        EXPECT_EQ(std::filesystem::read_symlink(link), board.Path());
        auto result = RunProgram(CtlProgram, {"--port", link, "led1", "1"});
        EXPECT_EQ(result.status, 0) << result.output;
        EXPECT_TRUE(board.Process().WaitForLine("01 41"));
        board.Process().Signal(SIGINT);
        EXPECT_TRUE(board.Process().WaitForLine("stopping on"));
        EXPECT_EQ(board.Process().Wait(), 0);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    }
    std::filesystem::remove_all(pattern);
}

TEST(BoardProgramTest, BadArgumentsSendNothing)
{
    Board board;
    ASSERT_FALSE(board.Path().empty());
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--port", board.Path(), "led1", "31", "led2", "32"}, 2, "led2 32 is out of range: 0 to 31"},
        {{"--port", board.Path(), "ipeak", "31"}, 2, "ipeak 31 is out of range: 0 to 30"},
        {{"--port", board.Path(), "str-dim", "-1"}, 2, "out of range"},
        {{"--port", board.Path(), "tgt-up", "3x"}, 2, "takes a whole number"},
        {{"--port", board.Path(), "mode", "green"}, 2, "unknown mode 'green'"},
        {{"--port", board.Path(), "led4", "1"}, 2, "unknown command 'led4'"},
        {{"--port", board.Path(), "sweep"}, 2, "sweep needs a count"},
        {{"--port", board.Path()}, 2, "nothing to send"},
        {{"led1", "1"}, 2, "no port"},
        {{"--port", "/dev/no-such-board", "led1", "1"}, 1, "cannot open port /dev/no-such-board"},
    };
    for (const auto& c : cases) {
        const auto result = RunProgram(CtlProgram, c.args, {"RVD3318_PORT="});
        SCOPED_TRACE(result.output);
        EXPECT_EQ(result.status, c.status);
        EXPECT_NE(result.output.find(c.message), std::string::npos);
    }
    EXPECT_TRUE(HasLine(board.State(), "state line 0 commands, 0 half commands, 0 stray bytes"));
}

TEST(BoardProgramTest, APortThatWillNotOpenIsExplainedOnStandardError)
{
    const auto result =
        RunProgram(CtlProgram, {"--port", "/dev/no-such-board", "led1", "1"}, {"RVD3318_PORT=", "LANG=C", "LC_ALL="});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("(win error code: 2)\n  /dev/no-such-board: No such file or directory\n"
                                 "  The device is not there: is it plugged in?\n"),
              std::string::npos)
        << result.output;
}

TEST(BoardProgramTest, PortsListsTheExtraPaths)
{
    // Only paths that exist are ports.
    char folder[] = "/tmp/ctl-ports-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string first = std::string(folder) + "/first-board", second = std::string(folder) + "/second-board";
    std::ofstream(first).put('\n');
    std::ofstream(second).put('\n');
    const auto result = RunProgram(CtlProgram, {"ports"}, {"CPORT_EXTRA_PORTS=" + first + ":" + second});
    std::filesystem::remove_all(folder);
    EXPECT_EQ(result.status, 0);
    const std::string tail = first + "\n" + second + "\n";
    ASSERT_GE(result.output.size(), tail.size());
    EXPECT_EQ(result.output.substr(result.output.size() - tail.size()), tail) << result.output;
}

} // namespace
