// Runs a sequence against a board the way a lab instrument does: each
// command goes out, the board's answer lines are collected for a bounded
// time, `wait` pauses, and expectations on the answers are checked.
//
// The line and its clock come from outside, so that the pacing can be
// checked against a clock a test drives, and the runner needs no Qt.
#pragma once

#include "panel/BoardTokens.h"
#include "tools/ctl/Sequence.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The board's side as the runner sees it.
class TCtlLine {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~TCtlLine() = default;
    virtual Clock::time_point Now() = 0;
    // Puts one command on the line; a port failure is thrown.
    virtual void Send(const TBoardCommand& command) = 0;
    // What has arrived: returns as soon as there is anything, or empty once
    // `deadline` has passed (at once when it has already).
    virtual std::string Receive(Clock::time_point deadline) = 0;
};

// Splits received bytes into lines: CR, LF and a CR LF pair each end one,
// also a pair split between two pieces.
class TAnswerLines {
public:
    std::vector<std::string> Feed(const std::string& bytes);
    // The start of a line that has not ended yet, taken away.
    std::optional<std::string> TakePartial();

private:
    std::string partial_;
    bool afterCr_ = false;
};

// Something every command's answers must hold: a line containing a text,
// or matching a pattern (the matcher is given by the caller).
struct TExpectation {
    std::string Description;  // "containing 'OK'", "matching /^OK/"
    std::function<bool(const std::string& line)> Matches;
};
TExpectation ExpectContaining(const std::string& text);

// What happened to one board command.
struct TCommandRecord {
    std::string Command;                // "led1 31"
    std::string Sent;                   // the bytes, "015F"
    std::vector<std::string> Answers;   // lines, without their ends
    double TimeMs = 0;                  // sent this long after the run began
    std::optional<double> FirstAnswerMs;  // the first answer line this long after sending
    bool Met = true;                    // every expectation held
};

struct TRunSettings {
    // How long each command waits for its answer.
    std::chrono::milliseconds AnswerTimeout{200};
    // A pause between the commands of one `sweep`.
    std::chrono::milliseconds SweepInterval{0};
    std::vector<TExpectation> Expectations;
};

class TSequenceRunner {
public:
    enum class TResult { Done, ExpectationNotMet };

    TSequenceRunner(TCtlLine& line, TRunSettings settings);

    // Each answer line as it arrives.
    std::function<void(const std::string& line)> OnAnswer;
    // Each command's record once its answers are in: when the next command
    // is about to go out, or at the end of the run.
    std::function<void(const TCommandRecord& record)> OnRecord;

    // Runs the steps in order and stops at the first command whose answers
    // did not meet the expectations within the time-out. Port failures are
    // thrown; the records of the commands before are out by then.
    TResult Run(const std::vector<TCtlStep>& steps);

    // Why the run stopped early.
    const std::string& Failure() const { return failure_; }
    // The board commands that went out in full.
    int CommandsSent() const { return commandsSent_; }

private:
    bool SendAndCollect(const TCtlStep& step, const TBoardCommand& command);
    // Takes answers until `deadline`; with `untilAnswered`, only until the
    // open record's answers are complete.
    void Collect(TCtlLine::Clock::time_point deadline, bool untilAnswered);
    bool Answered() const;
    void TakeLine(std::string line);
    void CloseRecord();
    double MsSinceStart(TCtlLine::Clock::time_point when) const;

    TCtlLine& line_;
    TRunSettings settings_;
    TAnswerLines lines_;
    std::optional<TCommandRecord> open_;
    TCtlLine::Clock::time_point start_{};
    TCtlLine::Clock::time_point sentAt_{};
    bool sweepToggle_ = false;
    int commandsSent_ = 0;
    std::string failure_;
};

// One record as a line of JSON: {"command":...,"sent":...,"bytes":...,
// "answers":[...],"time_ms":...,"answer_ms":...|null} and "met" when
// expectations were given. Answer bytes above 0x7F are read as Latin-1.
std::string RecordJson(const TCommandRecord& record, bool withExpectations);
