// The command language and the sequence runner as a unit: sequence files,
// pacing against a clock the test drives, expectations, JSON records.
#include "tools/ctl/Sequence.h"
#include "tools/ctl/SequenceRunner.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <deque>

using namespace std::chrono_literals;

namespace {

// A board whose every answer arrives `delay` after a command, on a clock
// that moves only when the runner waits.
class FakeLine : public TCtlLine {
public:
    std::function<std::string(const TBoardCommand&)> Answer = [](const TBoardCommand& c) {
        return "OK " + c.Selector + "\r\n";
    };
    Clock::duration Delay = 5ms;
    std::vector<std::pair<double, std::string>> Sent;  // ms on this clock, bytes

    Clock::time_point Now() override { return now_; }
    void Send(const TBoardCommand& command) override
    {
        Sent.emplace_back(std::chrono::duration<double, std::milli>(now_ - Clock::time_point{}).count(),
                          command.Selector + command.Value);
        const std::string answer = Answer(command);
        // In two pieces, the CR LF pair split between them.
        if (!answer.empty()) {
            pending_.push_back({now_ + Delay, answer.substr(0, answer.size() - 1)});
            pending_.push_back({now_ + Delay + 1ms, answer.substr(answer.size() - 1)});
        }
    }
    std::string Receive(Clock::time_point deadline) override
    {
        if (!pending_.empty() && pending_.front().first <= std::max(deadline, now_)) {
            now_ = std::max(now_, pending_.front().first);
            std::string bytes = pending_.front().second;
            pending_.pop_front();
            return bytes;
        }
        now_ = std::max(now_, deadline);
        return {};
    }

private:
    Clock::time_point now_{};
    std::deque<std::pair<Clock::time_point, std::string>> pending_;
};

std::vector<TCommandRecord> RunSequence(FakeLine& line, const std::string& sequence, TRunSettings settings = {},
                                TSequenceRunner::TResult expected = TSequenceRunner::TResult::Done)
{
    TSequenceRunner runner(line, std::move(settings));
    std::vector<TCommandRecord> records;
    runner.OnRecord = [&](const TCommandRecord& record) { records.push_back(record); };
    EXPECT_EQ(runner.Run(ParseSequence(sequence, "test.seq")), expected) << runner.Failure();
    return records;
}

TEST(SequenceTest, FileWithCommentsBlankLinesAndLineEnds)
{
    const auto steps = ParseSequence("# ramp\r\n\nled1 10   # half\r\n\twait 250\nmode rgb\nsweep 2", "ramp.seq");
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].Text, "led1 10");
    EXPECT_EQ(steps[0].Line, 3);
    EXPECT_EQ(steps[1].Kind, TCtlStep::Wait);
    EXPECT_EQ(steps[1].Number, 250);
    EXPECT_EQ(steps[2].ModeId, TBoardMode::RGB);
    EXPECT_EQ(steps[3].Line, 6);

    const struct {
        std::string_view text;
        const char* message;
    } bad[] = {
        {"led1 1\n# fine\nled2 2\nled3 32\nled1 1\n", "ramp.seq:4: led3 32 is out of range: 0 to 31"},
        {"led1 1 led2 2\n", "ramp.seq:1: one command a line; 'led2' follows 'led1 1'"},
        {"wait\n", "ramp.seq:1: wait needs a time in ms"},
        {"\n\nlamp 3\n", "ramp.seq:3: unknown command 'lamp'"},
        {"led1 +3\n", "ramp.seq:1: led1 takes a whole number, not '+3'"},
        {"led1 \x01\x7f\n", "ramp.seq:1: led1 takes a whole number, not '?" "?'"},
        {std::string_view("led1 3\0\x31\n", 9), "ramp.seq:1: led1 takes a whole number, not '3?1'"},
    };
    for (const auto& b : bad) {
        try {
            ParseSequence(b.text, "ramp.seq");
            ADD_FAILURE() << "accepted: " << b.text;
        } catch (const TSequenceError& error) {
            EXPECT_STREQ(error.what(), b.message);
        }
    }
    EXPECT_THROW(ParseSequence(std::string(MaxSequenceBytes + 1, '\n'), "big"), TSequenceError);
    std::size_t i = 0;
    EXPECT_THROW(ParseCommand({"wait", std::string("5\0" "00", 4)}, i), TSequenceError);
}

TEST(SequenceTest, WaitAndSweepIntervalPaceAgainstTheLinesClock)
{
    FakeLine line;
    TRunSettings settings;
    settings.SweepInterval = 100ms;
    auto records = RunSequence(line, "led1 1\nwait 500\nled2 2\nsweep 2\n", settings);
    // Answered after 5 ms: the wait starts there, the sweep's second
    // command waits its interval after the first one's answer.
    const std::vector<std::pair<double, std::string>> sent{{0, "0141"}, {505, "0262"}, {510, "9080"}, {615, "8080"}};
    EXPECT_EQ(line.Sent, sent);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1].TimeMs, 505);
    EXPECT_EQ(records[3].Command, "sweep");
    EXPECT_EQ(records[3].Answers, std::vector<std::string>{"OK 80"});
    EXPECT_EQ(records[0].FirstAnswerMs, 5);

    // A board that never answers holds each command for the time-out only.
    FakeLine silent;
    silent.Answer = [](const TBoardCommand&) { return std::string(); };
    records = RunSequence(silent, "led1 1\nwait 500\nled2 2\n");
    EXPECT_EQ(silent.Sent[1].first, 700);
    EXPECT_TRUE(records[0].Answers.empty());
    EXPECT_FALSE(records[0].FirstAnswerMs);
}

TEST(SequenceTest, ExpectationsStopTheRunAtTheFirstCommandThatMissesThem)
{
    FakeLine line;
    line.Answer = [](const TBoardCommand& c) { return c.Selector == "02" ? "ERR\n" : "OK " + c.Value + "\n"; };
    TRunSettings settings;
    settings.Expectations = {ExpectContaining("OK")};
    TSequenceRunner runner(line, settings);
    std::vector<TCommandRecord> records;
    runner.OnRecord = [&](const TCommandRecord& record) { records.push_back(record); };
    EXPECT_EQ(runner.Run(ParseSequence("led1 1\n\nled2 2\nled3 3\n", "s")), TSequenceRunner::TResult::ExpectationNotMet);
    EXPECT_EQ(runner.Failure(), "'led2 2' (line 3): no answer containing 'OK' within 200 ms; it answered 'ERR'");
    EXPECT_EQ(line.Sent.size(), 2u);  // nothing after it
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(records[0].Met);
    EXPECT_FALSE(records[1].Met);
}

TEST(SequenceTest, RecordsReadBackAsJson)
{
    TCommandRecord record;
    record.Command = "led1 31";
    record.Sent = "015F";
    record.Answers = {"OK \"1\"\t\\ \xB5", std::string("a\0b", 3)};
    record.TimeMs = 12.5;
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(RecordJson(record, true)));
    ASSERT_TRUE(doc.isObject());
    const QJsonObject o = doc.object();
    EXPECT_EQ(o["command"].toString(), "led1 31");
    EXPECT_EQ(o["bytes"].toInt(), 4);
    EXPECT_EQ(o["answers"].toArray()[0].toString(), QString::fromUtf8("OK \"1\"\t\\ µ"));
    EXPECT_EQ(o["answers"].toArray()[1].toString(), QString::fromLatin1("a\0b", 3));
    EXPECT_EQ(o["time_ms"].toDouble(), 12.5);
    EXPECT_TRUE(o["answer_ms"].isNull());
    EXPECT_TRUE(o["met"].toBool());
}

} // namespace
