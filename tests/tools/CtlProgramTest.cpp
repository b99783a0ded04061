// rvd3318ctl as a lab instrument, run as a program against the virtual
// board: answers, pacing, sequence files, expectations, JSON records; and
// what each program's --help and manual page say about its options.
#include "tests/tools/BoardState.h"
#include "tests/tools/ChildProcess.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <unistd.h>

namespace {

const std::string BoardProgram = BOARD_PROGRAM;
const std::string CtlProgram = CTL_PROGRAM;

struct Board {
    explicit Board(std::vector<std::string> args = {})
        : process(BoardProgram, args)
    {
        const auto first = process.ReadLine();
        if (first && first->rfind("listening on ", 0) == 0)
            path = first->substr(13);
    }
    ~Board() { process.Write("quit\n"); }
    ChildProcess process;
    std::string path;
};

std::vector<QJsonObject> Records(const std::string& output)
{
    std::vector<QJsonObject> records;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind('{', 0) == 0)
            records.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    return records;
}

std::string TempFile(const std::string& text)
{
    char name[] = "/tmp/ctl-seq-XXXXXX";
    const int fd = mkstemp(name);
    ::close(fd);
    std::ofstream(name) << text;
    return name;
}

// The answer wait for runs whose commands are all answered as expected:
// the program goes on as soon as an answer is in, so a wait this long
// costs nothing on a quiet machine and lets a busy one answer late.
const std::string AnsweredWithin = "10000";
// For a run that must wait the whole time-out for an answer that cannot
// come: long enough for a busy machine's board to have given the answer
// it does give.
const std::string MissedWithin = "2000";

TEST(CtlProgramTest, PrintsAnswersInOrderAndPacesWithWait)
{
    Board board;
    ASSERT_FALSE(board.path.empty());
    auto text = RunProgram(CtlProgram, {"--port", board.path, "--timeout", AnsweredWithin, "led1", "31", "mode", "rgb",
                                         "sweep", "2"});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.output, "OK LED-1 99.99%\nOK RGB\nOK SWEEP 90\nOK SWEEP 80\n");

    auto json = RunProgram(CtlProgram, {"--port", board.path, "--timeout", AnsweredWithin, "--json", "led2", "10", "wait",
                                         "300", "ipeak", "0"});
    EXPECT_EQ(json.status, 0) << json.output;
    const auto records = Records(json.output);
    ASSERT_EQ(records.size(), 2u) << json.output;
    EXPECT_EQ(records[0]["command"].toString(), "led2 10");
    EXPECT_EQ(records[0]["sent"].toString(), "026A");
    EXPECT_EQ(records[0]["bytes"].toInt(), 4);
    EXPECT_EQ(records[0]["answers"].toArray().at(0).toString(), "OK LED-2 32.25%");
    EXPECT_EQ(records[1]["sent"].toString(), "0000");
    // The second command went out no sooner than its answer plus the wait.
    EXPECT_GE(records[1]["time_ms"].toDouble(),
              records[0]["time_ms"].toDouble() + records[0]["answer_ms"].toDouble() + 300);

    // A board that never answers: nothing printed, status 0, each command
    // given up after the time-out.
    Board silent({"--silent"});
    auto quiet = RunProgram(CtlProgram, {"--port", silent.path, "--timeout", "50", "--json", "led1", "1", "led1", "2"});
    EXPECT_EQ(quiet.status, 0);
    const auto none = Records(quiet.output);
    ASSERT_EQ(none.size(), 2u);
    EXPECT_TRUE(none[0]["answer_ms"].isNull());
    EXPECT_GE(none[1]["time_ms"].toDouble(), 50);
}

TEST(CtlProgramTest, SequenceFilesAreCheckedWholeBeforeAnythingIsSent)
{
    Board board;
    const std::string bad = TempFile("# setup\nmode rgb\n\nled1 31  # red\nled2 40\nled3 1\n");
    auto refused = RunProgram(CtlProgram, {"--port", board.path, "--file", bad});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.output.find(bad + ":5: led2 40 is out of range: 0 to 31"), std::string::npos) << refused.output;
    EXPECT_TRUE(HasLine(BoardState(board.process), "state line 0 commands, 0 half commands, 0 stray bytes"));

    ChildProcess piped(CtlProgram, {"--port", board.path, "--timeout", AnsweredWithin, "--file", "-"});
    piped.Write("# from a pipe\nled3 1\r\nwait 10\nmode backlight\n");
    piped.CloseInput();
    EXPECT_EQ(piped.ReadAll(), "OK LED-3 3.225%\nOK BACK LIGHT\n");
    EXPECT_EQ(piped.Wait(), 0);
    std::remove(bad.c_str());
}

TEST(CtlProgramTest, ExpectationsFailWithStatusThreeAndStopTheRun)
{
    Board board;
    auto met = RunProgram(CtlProgram, {"--port", board.path, "--timeout", AnsweredWithin, "--expect", "OK",
                                       "--expect-regex", "^OK [A-Z]", "led1", "3", "mode", "rgb"});
    EXPECT_EQ(met.status, 0) << met.output;

    auto missed = RunProgram(CtlProgram, {"--port", board.path, "--timeout", MissedWithin, "--json",
                                          "--expect-regex", "LED-[12] ", "led1", "1", "led3", "1", "led2", "1"});
    EXPECT_EQ(missed.status, 3);
    EXPECT_NE(missed.output.find("'led3 1': no answer matching /LED-[12] / within " + MissedWithin +
                                 " ms; it answered 'OK LED-3 3.225%'"),
              std::string::npos) << missed.output;
    const auto records = Records(missed.output);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records[1]["met"].toBool());
    EXPECT_TRUE(HasLine(BoardState(board.process), "state line 4 commands, 0 half commands, 0 stray bytes"));

    // Without --timeout an answer is waited for 200 ms; a board that never
    // answers is told apart from one that answered otherwise.
    Board silent({"--silent"});
    auto unanswered = RunProgram(CtlProgram, {"--port", silent.path, "--expect", "OK", "led1", "1", "led2", "1"});
    EXPECT_EQ(unanswered.status, 3);
    EXPECT_NE(unanswered.output.find("'led1 1': no answer containing 'OK' within 200 ms; the board did not answer"),
              std::string::npos) << unanswered.output;

    auto badPattern = RunProgram(CtlProgram, {"--port", board.path, "--expect-regex", "(", "led1", "1"});
    EXPECT_EQ(badPattern.status, 2);
}

// The options a text names: "--name" at the start of a help line, or after
// ".B"/".BR"/".BI" in a manual page.
std::set<std::string> OptionsIn(const std::string& text, const std::regex& line)
{
    std::set<std::string> options;
    std::istringstream lines(text);
    std::smatch m;
    for (std::string l; std::getline(lines, l);)
        if (std::regex_search(l, m, line))
            options.insert(std::regex_replace(m[1].str(), std::regex(R"(\\-)"), "-"));
    return options;
}

TEST(CtlProgramTest, HelpAndManualPageNameTheSameOptions)
{
    const std::regex helpLine(R"(^  (?:-\w, )?(--[a-z-]+))");
    const std::regex pageLine(R"(^\.B[IR]? ((?:\\-){2}[a-z\\-]+))");
    const std::regex variable(R"(\b(?:RVD3318|CPORT)_[A-Z_]+\b)");
    const struct {
        std::string program;
        std::string page;
    } programs[] = {{CtlProgram, CTL_PAGE}, {BoardProgram, BOARD_PAGE}, {PANEL_PROGRAM, PANEL_PAGE}};
    for (const auto& p : programs) {
        SCOPED_TRACE(p.page);
        std::stringstream page;
        page << std::ifstream(p.page).rdbuf();
        // A panel that does not know --help would show its window instead.
        const auto help = RunProgram(p.program, {"--help"}, {"QT_QPA_PLATFORM=offscreen", "RVD3318_PANEL_EXIT_WHEN_SHOWN=1"});
        if (p.program == PANEL_PROGRAM && help.output.find("shown ") != std::string::npos &&
            OptionsIn(help.output, helpLine).empty())
            GTEST_SKIP() << "the panel takes no options yet";
        EXPECT_EQ(help.status, 0);
        const auto helpOptions = OptionsIn(help.output, helpLine);
        EXPECT_GE(helpOptions.size(), 2u) << help.output;
        EXPECT_EQ(helpOptions, OptionsIn(page.str(), pageLine)) << help.output;
        for (std::sregex_iterator v(help.output.begin(), help.output.end(), variable), end; v != end; ++v)
            EXPECT_NE(page.str().find(v->str()), std::string::npos) << v->str();
    }
}

TEST(CtlProgramTest, BoardsHelpAndErrorNameTheSameRates)
{
    const auto help = RunProgram(BoardProgram, {"--help"});
    const auto bad = RunProgram(BoardProgram, {"--device", "/dev/null", "--baud", "300"});
    EXPECT_EQ(bad.status, 2);
    const std::string rates = "1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200";
    EXPECT_NE(help.output.find(rates), std::string::npos) << help.output;
    EXPECT_NE(bad.output.find("--baud takes one of " + rates + ", not '300'"), std::string::npos) << bad.output;
}

} // namespace
