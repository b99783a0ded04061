// Runs a sequence against a board, collecting its answers.
#include "tools/ctl/SequenceRunner.h"

#include <cstdio>

namespace {

// A board that never ends its lines still has them shown, in pieces this
// long, instead of growing one without bound.
constexpr std::size_t MaxLineBytes = 64 * 1024;

void AppendJsonString(std::string& out, const std::string& text)
{
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
                out += escaped;
            } else if (byte >= 0x80) {
                // One byte, one Latin-1 character, as the panel shows it.
                out += static_cast<char>(0xC0 | (byte >> 6));
                out += static_cast<char>(0x80 | (byte & 0x3F));
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

std::string Milliseconds(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
}

std::string Quoted(const std::string& line)
{
    std::string shown = "'";
    for (const char c : line.substr(0, 80))
        shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    return shown + (line.size() > 80 ? "...'" : "'");
}

} // namespace

std::vector<std::string> TAnswerLines::Feed(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (const char c : bytes) {
        const bool wasAfterCr = afterCr_;
        afterCr_ = c == '\r';
        if (c == '\n' && wasAfterCr)
            continue;  // the LF of a CR LF pair
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(partial_));
            partial_.clear();
            continue;
        }
        partial_ += c;
        if (partial_.size() >= MaxLineBytes) {
            lines.push_back(std::move(partial_));
            partial_.clear();
        }
    }
    return lines;
}

std::optional<std::string> TAnswerLines::TakePartial()
{
    if (partial_.empty())
        return std::nullopt;
    std::string line = std::move(partial_);
    partial_.clear();
    return line;
}

TExpectation ExpectContaining(const std::string& text)
{
    return {"containing '" + text + "'", [text](const std::string& line) { return line.find(text) != std::string::npos; }};
}

TSequenceRunner::TSequenceRunner(TCtlLine& line, TRunSettings settings)
    : line_(line), settings_(std::move(settings))
{
}

TSequenceRunner::TResult TSequenceRunner::Run(const std::vector<TCtlStep>& steps)
{
    start_ = line_.Now();
    for (const TCtlStep& step : steps) {
        bool met = true;
        switch (step.Kind) {
        case TCtlStep::Wait:
            Collect(line_.Now() + std::chrono::milliseconds(step.Number), false);
            break;
        case TCtlStep::Slider:
            met = SendAndCollect(step, SliderCommand(step.SliderId, step.Number));
            break;
        case TCtlStep::Mode:
            met = SendAndCollect(step, ModeCommand(step.ModeId));
            break;
        case TCtlStep::Sweep:
            for (int n = 0; n < step.Number && met; ++n) {
                if (n > 0 && settings_.SweepInterval.count() > 0)
                    Collect(line_.Now() + settings_.SweepInterval, false);
                const TBoardCommand command = SweepCommand(sweepToggle_);
                sweepToggle_ = !sweepToggle_;
                met = SendAndCollect(step, command);
            }
            break;
        }
        if (!met) {
            CloseRecord();
            return TResult::ExpectationNotMet;
        }
    }
    CloseRecord();
    return TResult::Done;
}

bool TSequenceRunner::SendAndCollect(const TCtlStep& step, const TBoardCommand& command)
{
    // Whatever is waiting now came late for the command before.
    Collect(line_.Now(), false);
    CloseRecord();

    sentAt_ = line_.Now();
    open_ = TCommandRecord{};
    open_->Command = step.Text;
    open_->Sent = command.Selector + command.Value;
    open_->TimeMs = MsSinceStart(sentAt_);
    line_.Send(command);
    ++commandsSent_;

    Collect(sentAt_ + settings_.AnswerTimeout, true);
    if (!Answered())
        if (auto partial = lines_.TakePartial())
            TakeLine(std::move(*partial));  // a line the board never ended

    for (const TExpectation& expectation : settings_.Expectations) {
        bool found = false;
        for (const std::string& answer : open_->Answers)
            found = found || expectation.Matches(answer);
        if (found)
            continue;
        open_->Met = false;
        failure_ = "'" + step.Text + "'" + (step.Line > 0 ? " (line " + std::to_string(step.Line) + ")" : "") +
                   ": no answer " + expectation.Description + " within " +
                   std::to_string(settings_.AnswerTimeout.count()) + " ms";
        if (open_->Answers.empty()) {
            failure_ += "; the board did not answer";
        } else {
            failure_ += "; it answered";
            for (std::size_t i = 0; i < open_->Answers.size(); ++i)
                failure_ += (i ? ", " : " ") + Quoted(open_->Answers[i]);
        }
        return false;
    }
    return true;
}

void TSequenceRunner::Collect(TCtlLine::Clock::time_point deadline, bool untilAnswered)
{
    for (;;) {
        if (untilAnswered && Answered())
            return;
        const std::string bytes = line_.Receive(deadline);
        for (std::string& line : lines_.Feed(bytes))
            TakeLine(std::move(line));
        // Past the deadline one more piece is taken, not a stream: a board
        // that never stops talking cannot hold the sequence up.
        if (line_.Now() >= deadline)
            return;
    }
}

bool TSequenceRunner::Answered() const
{
    if (!open_)
        return false;
    if (settings_.Expectations.empty())
        return !open_->Answers.empty();
    for (const TExpectation& expectation : settings_.Expectations) {
        bool found = false;
        for (const std::string& answer : open_->Answers)
            found = found || expectation.Matches(answer);
        if (!found)
            return false;
    }
    return true;
}

void TSequenceRunner::TakeLine(std::string line)
{
    if (OnAnswer)
        OnAnswer(line);
    if (!open_)
        return;  // nothing has been sent that it could answer
    if (!open_->FirstAnswerMs)
        open_->FirstAnswerMs = MsSinceStart(line_.Now()) - open_->TimeMs;
    open_->Answers.push_back(std::move(line));
}

void TSequenceRunner::CloseRecord()
{
    if (!open_)
        return;
    if (auto partial = lines_.TakePartial())
        TakeLine(std::move(*partial));
    if (OnRecord)
        OnRecord(*open_);
    open_.reset();
}

double TSequenceRunner::MsSinceStart(TCtlLine::Clock::time_point when) const
{
    return std::chrono::duration<double, std::milli>(when - start_).count();
}

std::string RecordJson(const TCommandRecord& record, bool withExpectations)
{
    std::string out = "{\"command\":";
    AppendJsonString(out, record.Command);
    out += ",\"sent\":";
    AppendJsonString(out, record.Sent);
    out += ",\"bytes\":" + std::to_string(record.Sent.size()) + ",\"answers\":[";
    for (std::size_t i = 0; i < record.Answers.size(); ++i) {
        if (i)
            out += ',';
        AppendJsonString(out, record.Answers[i]);
    }
    out += "],\"time_ms\":" + Milliseconds(record.TimeMs) + ",\"answer_ms\":" +
           (record.FirstAnswerMs ? Milliseconds(*record.FirstAnswerMs) : std::string("null"));
    if (withExpectations)
        out += std::string(",\"met\":") + (record.Met ? "true" : "false");
    return out + "}";
}
