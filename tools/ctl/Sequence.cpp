// The command language of rvd3318ctl.
#include "tools/ctl/Sequence.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace {

struct TSliderWord {
    const char* Word;
    TBoardSlider Slider;
};

constexpr TSliderWord SliderWords[] = {
    {"ipeak", TBoardSlider::IPeak},  {"led1", TBoardSlider::Led1},       {"led2", TBoardSlider::Led2},
    {"led3", TBoardSlider::Led3},    {"tgt-up", TBoardSlider::TgtUp},    {"tgt-dwn", TBoardSlider::TgtDwn},
    {"tgt-down", TBoardSlider::TgtDwn}, {"str-dim", TBoardSlider::StrDim}};

const TSliderWord* SliderWordOf(const std::string& word)
{
    for (const TSliderWord& entry : SliderWords)
        if (word == entry.Word)
            return &entry;
    return nullptr;
}

// Words are shown in messages; a line of binary junk should not flood the
// terminal or carry control characters to it.
std::string Shown(std::string_view text)
{
    std::string shown;
    for (const char c : text.substr(0, 40)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    if (text.size() > 40)
        shown += "...";
    return shown;
}

std::vector<std::string> SplitWords(std::string_view line)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            words.emplace_back(line.substr(start, i - start));
    }
    return words;
}

} // namespace

int ParseWholeNumber(const std::string& what, const std::string& text, int low, int high)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    // strtol would also take leading blanks and a '+'; a script says digits.
    const bool digits = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-');
    // A NUL inside the word would end strtol's text early and hide the rest.
    if (!digits || errno != 0 || end != text.c_str() + text.size())
        throw TSequenceError(what + " takes a whole number, not '" + Shown(text) + "'");
    if (value < low || value > high)
        throw TSequenceError(what + " " + text + " is out of range: " + std::to_string(low) + " to " +
                             std::to_string(high));
    return static_cast<int>(value);
}

bool IsCommandWord(const std::string& word)
{
    return word == "mode" || word == "sweep" || word == "wait" || SliderWordOf(word) != nullptr;
}

TCtlStep ParseCommand(const std::vector<std::string>& words, std::size_t& i)
{
    const std::string& word = words.at(i);
    auto next = [&](const std::string& what) -> const std::string& {
        if (i + 1 >= words.size())
            throw TSequenceError(word + " needs " + what);
        return words[++i];
    };
    TCtlStep step;
    if (word == "mode") {
        const std::string& mode = next("rgb or backlight");
        step.Kind = TCtlStep::Mode;
        if (mode == "rgb" || mode == "RGB")
            step.ModeId = TBoardMode::RGB;
        else if (mode == "backlight" || mode == "back-light" || mode == "bkl")
            step.ModeId = TBoardMode::BackLight;
        else
            throw TSequenceError("unknown mode '" + Shown(mode) + "': use rgb or backlight");
        step.Text = step.ModeId == TBoardMode::RGB ? "mode rgb" : "mode backlight";
    } else if (const TSliderWord* slider = SliderWordOf(word)) {
        step.Kind = TCtlStep::Slider;
        step.SliderId = slider->Slider;
        step.Number = ParseWholeNumber(word, next("a position"), 0, SliderMaxPosition(slider->Slider));
        step.Text = word + " " + std::to_string(step.Number);
    } else if (word == "sweep") {
        step.Kind = TCtlStep::Sweep;
        step.Number = ParseWholeNumber(word, next("a count"), 1, MaxSweepCount);
        step.Text = "sweep";
    } else if (word == "wait") {
        step.Kind = TCtlStep::Wait;
        step.Number = ParseWholeNumber(word, next("a time in ms"), 0, MaxWaitMs);
        step.Text = "wait " + std::to_string(step.Number);
    } else {
        throw TSequenceError("unknown command '" + Shown(word) + "'");
    }
    ++i;
    return step;
}

std::vector<TCtlStep> ParseSequence(std::string_view text, const std::string& source)
{
    if (text.size() > MaxSequenceBytes)
        throw TSequenceError(source + ": longer than " + std::to_string(MaxSequenceBytes) +
                             " bytes; no sequence is that long");
    std::vector<TCtlStep> steps;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::vector<std::string> words = SplitWords(line);
        if (words.empty())
            continue;
        const std::string place = source + ":" + std::to_string(lineNumber) + ": ";
        try {
            std::size_t i = 0;
            TCtlStep step = ParseCommand(words, i);
            if (i != words.size())
                throw TSequenceError("one command a line; '" + Shown(words[i]) + "' follows '" + step.Text + "'");
            step.Line = lineNumber;
            steps.push_back(std::move(step));
        } catch (const TSequenceError& error) {
            throw TSequenceError(place + error.what());
        }
    }
    return steps;
}
