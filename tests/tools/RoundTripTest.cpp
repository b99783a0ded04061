// What the panel encodes, the board decodes to the same control and
// position: every slider position over a real line, and every value byte
// under every slider selector.
#include "panel/BoardCommands.h"
#include "serial/CPort.h"
#include "tests/support/PtyPair.h"
#include "tools/board/BoardDecoder.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace std::chrono_literals;

namespace {

const struct {
    TBoardSlider slider;
    TBoardControl control;
} Pairs[] = {
    {TBoardSlider::IPeak, TBoardControl::IPeak},   {TBoardSlider::Led1, TBoardControl::Led1},
    {TBoardSlider::Led2, TBoardControl::Led2},     {TBoardSlider::Led3, TBoardControl::Led3},
    {TBoardSlider::TgtUp, TBoardControl::TgtUp},   {TBoardSlider::TgtDwn, TBoardControl::TgtDwn},
    {TBoardSlider::StrDim, TBoardControl::StrDim},
};

TEST(RoundTripTest, EverySliderPositionSentOverTheLineIsDecodedToItself)
{
    PtyPair pty;
    TComPort port;
    port.SetEvents(TComEvents{});
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    port.OpenPort();
    TBoardCommander commander(port);

    struct Sent {
        TBoardControl control;
        int position;
    };
    std::vector<Sent> sent;
    TBoardDecoder decoder;
    std::vector<TLineEvent> events;
    for (const auto& pair : Pairs) {
        EXPECT_EQ(SliderName(pair.slider), std::string(ControlName(pair.control)));
        EXPECT_EQ(SliderMaxPosition(pair.slider), ControlMaxPosition(pair.control));
        for (int position = 0; position <= SliderMaxPosition(pair.slider); ++position) {
            ASSERT_TRUE(commander.SendSlider(pair.slider, position));
            sent.push_back({pair.control, position});
        }
        // Read as we go: the line holds only so much.
        const auto some = decoder.Feed(pty.Receive(4 * (SliderMaxPosition(pair.slider) + 1)));
        events.insert(events.end(), some.begin(), some.end());
    }
    commander.SendMode(TBoardMode::RGB);
    commander.SendMode(TBoardMode::BackLight);
    commander.Sweep();
    commander.Sweep();
    for (const auto& event : decoder.Feed(pty.Receive(16)))
        events.push_back(event);
    EXPECT_FALSE(decoder.HasPending());

    // Seven sliders: 31 + 3 × 32 + 3 × 31 positions.
    ASSERT_EQ(sent.size(), 220u);
    ASSERT_EQ(events.size(), sent.size() + 4);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        SCOPED_TRACE(std::string(ControlName(sent[i].control)) + " " + std::to_string(sent[i].position));
        ASSERT_EQ(events[i].Kind, TLineEvent::Command);
        EXPECT_EQ(events[i].Decoded.Kind, TDecodedCommand::Setting);
        EXPECT_EQ(events[i].Decoded.Control, sent[i].control);
        EXPECT_EQ(events[i].Decoded.Position, sent[i].position);
    }
    EXPECT_EQ(events[220].Decoded.Kind, TDecodedCommand::RGBMode);
    EXPECT_EQ(events[221].Decoded.Kind, TDecodedCommand::BackLightMode);
    EXPECT_EQ(events[222].Decoded.Selector, "90");
    EXPECT_EQ(events[223].Decoded.Selector, "80");
}

TEST(RoundTripTest, BoardAcceptsExactlyTheValueBytesThePanelCanProduce)
{
    for (const auto& pair : Pairs) {
        std::vector<std::string> producible;
        for (int position = 0; position <= SliderMaxPosition(pair.slider); ++position)
            producible.push_back(SliderValueToken(pair.slider, position));
        for (int byte = 0; byte < 256; ++byte) {
            char value[3];
            std::snprintf(value, sizeof value, "%02X", byte);
            SCOPED_TRACE(std::string(SliderName(pair.slider)) + " value " + value);
            TDecodedCommand decoded;
            const bool accepted = DecodeCommand(SliderSelector(pair.slider), value, decoded);
            const auto it = std::find(producible.begin(), producible.end(), value);
            ASSERT_EQ(accepted, it != producible.end());
            if (accepted) {
                EXPECT_EQ(decoded.Control, pair.control);
                EXPECT_EQ(decoded.Position, it - producible.begin());
            }
        }
    }
}

} // namespace
