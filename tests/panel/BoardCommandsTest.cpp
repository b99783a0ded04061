// The bytes the board-command module puts on a real line (a pseudo-terminal
// pair): each command's two tokens and nothing else, the sweep phase, the
// refusal on a closed port, and the report of a write that ends early.
#include "framework/Exception.h"
#include "panel/BoardCommands.h"
#include "serial/CPort.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

class BoardCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.SetEvents(TComEvents{});
        port.SetPort(QString::fromStdString(pty.SlavePath()));
        port.OpenPort();
        commander.SetMessageHook([this](const std::string& message) { messages.push_back(message); });
    }

    // What reached the board, waiting at most a short while for more than
    // `expected` so that trailing extra bytes are caught too.
    std::string LineAfter(const std::string& expected)
    {
        return pty.Receive(expected.size() + 1, 300ms);
    }

    PtyPair pty;
    TComPort port;
    TBoardCommander commander{port};
    std::vector<std::string> messages;
};

TEST_F(BoardCommandsTest, SliderEdgePositionsSendExactlyTheirFourBytes)
{
    const struct {
        TBoardSlider slider;
        int position;
        const char* bytes;
    } cases[] = {
        {TBoardSlider::IPeak, 0, "0000"},  {TBoardSlider::IPeak, 1, "0021"},
        {TBoardSlider::IPeak, 30, "003E"}, {TBoardSlider::Led1, 31, "015F"},
        {TBoardSlider::Led3, 0, "0380"},   {TBoardSlider::StrDim, 30, "06FE"},
        {TBoardSlider::TgtDwn, 0, "05C0"}, {TBoardSlider::Led2, 10, "026A"},
        {TBoardSlider::TgtUp, 30, "04BE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(SliderName(c.slider)) + " " + std::to_string(c.position));
        EXPECT_TRUE(commander.SendSlider(c.slider, c.position));
        EXPECT_EQ(LineAfter(c.bytes), c.bytes);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(BoardCommandsTest, RepeatedCommandIsSentAgain)
{
    commander.SendSlider(TBoardSlider::Led1, 5);
    commander.SendSlider(TBoardSlider::Led1, 5);
    EXPECT_EQ(LineAfter("01450145"), "01450145");
}

TEST_F(BoardCommandsTest, ModeCommandsRepeatTheirToken)
{
    commander.SendMode(TBoardMode::RGB);
    commander.SendMode(TBoardMode::BackLight);
    EXPECT_EQ(LineAfter("20201010"), "20201010");
}

TEST_F(BoardCommandsTest, SweepTicksAlternateTheSelector)
{
    EXPECT_FALSE(commander.SweepToggle());
    for (int tick = 0; tick < 3; ++tick)
        EXPECT_TRUE(commander.Sweep());
    EXPECT_EQ(LineAfter("908080809080"), "908080809080");
    EXPECT_TRUE(commander.SweepToggle());
}

TEST_F(BoardCommandsTest, SweepTickOnClosedPortKeepsThePhase)
{
    commander.Sweep();
    EXPECT_EQ(LineAfter("9080"), "9080");
    port.ClosePort();

    EXPECT_FALSE(commander.Sweep());
    EXPECT_TRUE(commander.SweepToggle());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Cannot send command :OPEN THE RS232 PORT FIRST");

    port.OpenPort();
    commander.Sweep();
    EXPECT_EQ(LineAfter("8080"), "8080");
}

TEST_F(BoardCommandsTest, ClosedPortRefusesEveryCommandAndWritesNothing)
{
    port.ClosePort();
    EXPECT_FALSE(commander.SendSlider(TBoardSlider::Led2, 10));
    EXPECT_FALSE(commander.SendMode(TBoardMode::RGB));
    EXPECT_FALSE(commander.Send({"04", "A0"}));
    EXPECT_EQ(messages, std::vector<std::string>(3, NotConnectedMessage));
    EXPECT_EQ(pty.Receive(1, 200ms), "");
}

TEST_F(BoardCommandsTest, PositionOutsideTheSliderIsRefusedBeforeAnythingIsWritten)
{
    EXPECT_THROW(commander.SendSlider(TBoardSlider::Led1, 32), Exception);
    EXPECT_THROW(commander.SendSlider(TBoardSlider::IPeak, 31), Exception);
    EXPECT_THROW(commander.SendSlider(TBoardSlider::StrDim, -1), Exception);
    EXPECT_EQ(pty.Receive(1, 200ms), "");
}

void EmptyLine(PtyPair& pty)
{
    while (!pty.Drain().empty()) {
    }
}

TEST_F(BoardCommandsTest, WriteThatEndsEarlyIsAnErrorAndTheNextCommandFollows)
{
    pty.FillLine();
    try {
        commander.SendSlider(TBoardSlider::Led1, 31);
        FAIL() << "a write that timed out was taken for a sent command";
    } catch (const EComPort& error) {
        FAIL() << "expected the module's report, got the port's: " << error.what();
    } catch (const Exception& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("\"01\" \"5F\" not sent in full"), std::string::npos) << message;
        EXPECT_NE(message.find("selector"), std::string::npos) << message;
    }
    EmptyLine(pty);

    commander.SendSlider(TBoardSlider::Led2, 10);
    EXPECT_EQ(LineAfter("026A"), "026A");
}

TEST_F(BoardCommandsTest, SweepWhoseSelectorDidNotGoOutKeepsThePhase)
{
    pty.FillLine();
    EXPECT_THROW(commander.Sweep(), Exception);
    EXPECT_FALSE(commander.SweepToggle());
    EmptyLine(pty);

    commander.Sweep();
    EXPECT_EQ(LineAfter("9080"), "9080");
}

} // namespace
