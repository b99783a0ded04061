// rvd3318ctl's command language on any text, as a sequence file and as
// command-line words. A parse either gives steps that each send a valid
// board command and read back the same from their plain form, or fails
// with a message that names a line of the input and carries no control
// characters to the terminal.
#include "tools/ctl/Sequence.h"
#include "tests/support/FuzzInput.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string Source = "seq";

bool IsHexToken(const std::string& token)
{
    if (token.size() != 2)
        return false;
    for (const char c : token)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

// What the runner sends for the step: the sweep phase changes the value
// token, so both phases are checked.
std::vector<TBoardCommand> CommandsOf(const TCtlStep& step)
{
    switch (step.Kind) {
    case TCtlStep::Slider:
        return {SliderCommand(step.SliderId, step.Number)};
    case TCtlStep::Mode:
        return {ModeCommand(step.ModeId)};
    case TCtlStep::Sweep:
        return {SweepCommand(false), SweepCommand(true)};
    case TCtlStep::Wait:
        return {};
    }
    return {};
}

// The plain form a script would say it in; a sweep's text leaves out its
// count.
std::string Rendered(const TCtlStep& step)
{
    return step.Kind == TCtlStep::Sweep ? "sweep " + std::to_string(step.Number) : step.Text;
}

bool SameCommand(const TCtlStep& a, const TCtlStep& b)
{
    return a.Kind == b.Kind && a.Number == b.Number && a.Text == b.Text &&
           (a.Kind != TCtlStep::Slider || a.SliderId == b.SliderId) &&
           (a.Kind != TCtlStep::Mode || a.ModeId == b.ModeId);
}

// The lines ParseSequence counts: every '\n' ends one, and text after the
// last one is one more.
int LineCount(std::string_view text)
{
    int lines = 0;
    for (const char c : text)
        lines += c == '\n';
    return lines + (!text.empty() && text.back() != '\n');
}

// The number the step read, as the input wrote it: an optional '-' and
// decimal digits, nothing else, of the value the step holds. Anything
// after the digits (a NUL, say) would have been dropped unseen.
bool WrittenNumberIs(std::string_view word, int number)
{
    std::size_t i = word.size() > 1 && word[0] == '-' ? 1 : 0;
    if (i == word.size())
        return false;
    long long value = 0;
    for (; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9')
            return false;
        value = std::min<long long>(value * 10 + (word[i] - '0'), 1LL << 40);
    }
    return (word[0] == '-' ? -value : value) == number;
}

std::vector<std::string> Words(std::string_view line)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : line) {
        if (c == ' ' || c == '\t') {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

std::string_view LineAt(std::string_view text, int number)
{
    std::size_t start = 0;
    for (int n = 1; n < number; ++n)
        start = text.find('\n', start) + 1;
    std::string_view line = text.substr(start, text.find('\n', start) - start);
    line = line.substr(0, line.find('#'));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

void CheckMessage(const std::string& message, int lines)
{
    for (const char c : message)
        REQUIRE(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f);
    if (lines < 0)
        return;
    REQUIRE(message.compare(0, Source.size() + 1, Source + ":") == 0);
    const char* digits = message.c_str() + Source.size() + 1;
    char* end = nullptr;
    const long line = std::strtol(digits, &end, 10);
    REQUIRE(end != digits && *end == ':' && line >= 1 && line <= lines);
}

void CheckSteps(std::string_view text, const std::vector<TCtlStep>& steps)
{
    std::string rendering;
    int lastLine = 0;
    for (const TCtlStep& step : steps) {
        REQUIRE(step.Line > lastLine && step.Line <= LineCount(text));
        lastLine = step.Line;
        for (const TBoardCommand& command : CommandsOf(step))
            REQUIRE(IsHexToken(command.Selector) && IsHexToken(command.Value));
        if (step.Kind != TCtlStep::Mode) {
            const std::vector<std::string> words = Words(LineAt(text, step.Line));
            REQUIRE(words.size() == 2 && WrittenNumberIs(words[1], step.Number));
        }
        rendering += Rendered(step) + "\n";
    }
    std::vector<TCtlStep> again;
    try {
        again = ParseSequence(rendering, Source);
    } catch (const TSequenceError& error) {
        std::fprintf(stderr, "sequence fuzzer: plain form refused: %s\n", error.what());
        std::abort();
    }
    REQUIRE(again.size() == steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        REQUIRE(SameCommand(again[i], steps[i]));
        REQUIRE(again[i].Line == static_cast<int>(i) + 1);
    }
}

// The input as command-line words: the commands are read one after
// another until one fails.
void ParseAsArguments(std::string_view text)
{
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(" \n", start);
        if (end == std::string_view::npos)
            end = text.size();
        words.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::size_t i = 0;
    while (i < words.size()) {
        if (!IsCommandWord(words[i])) {
            ++i;
            continue;
        }
        const std::size_t before = i;
        try {
            const TCtlStep step = ParseCommand(words, i);
            REQUIRE(i > before && i <= words.size());
            REQUIRE(step.Line == 0);
            for (const TBoardCommand& command : CommandsOf(step))
                REQUIRE(IsHexToken(command.Selector) && IsHexToken(command.Value));
            if (step.Kind != TCtlStep::Mode)
                REQUIRE(WrittenNumberIs(words[before + 1], step.Number));
        } catch (const TSequenceError& error) {
            CheckMessage(error.what(), -1);
            i = before + 1;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // No head: every byte is text.
    const std::string_view text = FuzzInput(data, size).Rest();
    try {
        CheckSteps(text, ParseSequence(text, Source));
    } catch (const TSequenceError& error) {
        CheckMessage(error.what(), LineCount(text));
    }
    ParseAsArguments(text);
    return 0;
}
