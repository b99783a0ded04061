// The board's decoder: whole commands in chunks of any size, and how it
// finds its way back after bytes that do not belong on the line.
#include "tools/board/BoardDecoder.h"
#include "tools/board/BoardState.h"

#include <gtest/gtest.h>

namespace {

// Events in a compact form: "cmd LED-1 31", "half 01", "stray zz".
std::vector<std::string> Summaries(const std::vector<TLineEvent>& events)
{
    std::vector<std::string> out;
    for (const TLineEvent& event : events) {
        switch (event.Kind) {
        case TLineEvent::Command:
            switch (event.Decoded.Kind) {
            case TDecodedCommand::Setting:
                out.push_back(std::string("cmd ") + ControlName(event.Decoded.Control) + " " +
                              std::to_string(event.Decoded.Position));
                break;
            case TDecodedCommand::BackLightMode: out.push_back("cmd BACK LIGHT"); break;
            case TDecodedCommand::RGBMode: out.push_back("cmd RGB"); break;
            case TDecodedCommand::Sweep: out.push_back("cmd sweep " + event.Decoded.Selector); break;
            }
            break;
        case TLineEvent::HalfCommand: out.push_back("half " + event.Bytes); break;
        case TLineEvent::Stray: out.push_back("stray " + event.Bytes); break;
        }
    }
    return out;
}

std::vector<std::string> DecodeAll(const std::string& bytes)
{
    TBoardDecoder decoder;
    auto events = decoder.Feed(bytes);
    const auto rest = decoder.Flush();
    events.insert(events.end(), rest.begin(), rest.end());
    return Summaries(events);
}

using Lines = std::vector<std::string>;

TEST(BoardDecoderTest, WholeVocabularyInOneStream)
{
    EXPECT_EQ(DecodeAll("0000002101400260038004A005C006E010102020908080800000"),
              (Lines{"cmd I-PEAK 0", "cmd I-PEAK 1", "cmd LED-1 0", "cmd LED-2 0", "cmd LED-3 0",
                     "cmd TGT-UP 0", "cmd TGT-DWN 0", "cmd STR DIM 0", "cmd BACK LIGHT", "cmd RGB",
                     "cmd sweep 90", "cmd sweep 80", "cmd I-PEAK 0"}));
}

TEST(BoardDecoderTest, ChunkBoundariesDoNotMatter)
{
    const std::string stream = "015F\r\n01026Azz0380";
    const Lines whole = DecodeAll(stream);
    TBoardDecoder decoder;
    std::vector<TLineEvent> events;
    for (char byte : stream) {
        const auto some = decoder.Feed(std::string(1, byte));
        events.insert(events.end(), some.begin(), some.end());
    }
    EXPECT_FALSE(decoder.HasPending());
    EXPECT_EQ(Summaries(events), whole);
    EXPECT_EQ(whole, (Lines{"cmd LED-1 31", "stray \r\n", "half 01", "cmd LED-2 10", "stray zz",
                            "cmd LED-3 0"}));
}

TEST(BoardDecoderTest, SelectorWithoutItsValueIsAHalfCommandAndTheNextOneCounts)
{
    // A value write that failed after its selector: the next command follows.
    EXPECT_EQ(DecodeAll("90026A"), (Lines{"half 90", "cmd LED-2 10"}));
    EXPECT_EQ(DecodeAll("06" "0380"), (Lines{"half 06", "cmd LED-3 0"}));
}

TEST(BoardDecoderTest, ValuesOfOtherControlsAreNotAccepted)
{
    // I-PEAK off is "00"; the bare base "20" is not one of its values.
    EXPECT_EQ(DecodeAll("0020"), (Lines{"half 00", "half 20"}));
    EXPECT_EQ(DecodeAll("0160"), (Lines{"half 01", "stray 6", "half 0"}));
    EXPECT_EQ(DecodeAll("04BF"), (Lines{"half 04", "stray BF"}));
    EXPECT_EQ(DecodeAll("1020"), (Lines{"half 10", "half 20"}));
    EXPECT_EQ(DecodeAll("9090"), (Lines{"half 90", "half 90"}));
}

TEST(BoardDecoderTest, LowerCaseAndUnknownBytesAreStray)
{
    EXPECT_EQ(DecodeAll("015f"), (Lines{"half 015", "stray f"}));
    const std::string binary("AB\0\xff" "0145", 8);
    EXPECT_EQ(DecodeAll(binary), (Lines{"stray " + binary.substr(0, 4), "cmd LED-1 5"}));
}

TEST(BoardDecoderTest, FlushReportsTheUnfinishedCommandOnce)
{
    TBoardDecoder decoder;
    EXPECT_TRUE(decoder.Feed("015").empty());
    EXPECT_TRUE(decoder.HasPending());
    EXPECT_EQ(Summaries(decoder.Flush()), (Lines{"half 015"}));
    EXPECT_FALSE(decoder.HasPending());
    EXPECT_TRUE(decoder.Flush().empty());
    EXPECT_EQ(Summaries(decoder.Feed("F026A")), (Lines{"stray F", "cmd LED-2 10"}));
}

TEST(BoardStateTest, KeepsTheLastValueOfEveryControl)
{
    TBoardDecoder decoder;
    TBoardState state;
    for (const TLineEvent& event : decoder.Feed("2020003E0140015F9080xx8080"))
        state.Apply(event);
    EXPECT_EQ(state.Mode(), "RGB");
    EXPECT_EQ(state.Position(TBoardControl::IPeak), 30);
    EXPECT_EQ(state.Position(TBoardControl::Led1), 31);
    EXPECT_FALSE(state.Position(TBoardControl::Led2).has_value());
    const std::string text = state.Describe();
    EXPECT_NE(text.find("state I-PEAK 30 32.69mA\n"), std::string::npos) << text;
    EXPECT_NE(text.find("state LED-1 31 99.99%\n"), std::string::npos) << text;
    EXPECT_NE(text.find("state LED-2 -\n"), std::string::npos) << text;
    EXPECT_NE(text.find("state sweep 2 commands, last 80 80\n"), std::string::npos) << text;
    EXPECT_NE(text.find("state line 6 commands, 0 half commands, 2 stray bytes\n"), std::string::npos)
        << text;
}

TEST(BoardStateTest, AnswersAreOneShortLine)
{
    TBoardDecoder decoder;
    std::vector<std::string> answers;
    for (const TLineEvent& event : decoder.Feed("06FE\n0190"))
        answers.push_back(TBoardState::Answer(event));
    for (const TLineEvent& event : decoder.Flush())
        answers.push_back(TBoardState::Answer(event));
    EXPECT_EQ(answers, (std::vector<std::string>{"OK STR DIM 240ms\n", "ERR 1 BAD BYTES\n",
                                                 "ERR HALF COMMAND\n", "ERR HALF COMMAND\n"}));
}

} // namespace
