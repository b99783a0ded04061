// The virtual board's command decoder on any byte stream. The first eight
// bytes choose how the rest is cut into the pieces the line delivers; what
// the board understands must not depend on the cuts, and every byte must
// be in exactly one of its events, in line order.
#include "tools/board/BoardDecoder.h"
#include "tools/board/BoardState.h"
#include "tests/support/FuzzInput.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool Same(const TLineEvent& a, const TLineEvent& b)
{
    return a.Kind == b.Kind && a.Bytes == b.Bytes && a.Decoded.Kind == b.Decoded.Kind
        && a.Decoded.Control == b.Decoded.Control && a.Decoded.Position == b.Decoded.Position
        && a.Decoded.Selector == b.Decoded.Selector && a.Decoded.Value == b.Decoded.Value;
}

void Append(std::vector<TLineEvent>& to, std::vector<TLineEvent> events)
{
    to.insert(to.end(), std::make_move_iterator(events.begin()), std::make_move_iterator(events.end()));
}

std::vector<TLineEvent> Decode(std::string_view line, const std::vector<std::size_t>& cuts)
{
    TBoardDecoder decoder;
    std::vector<TLineEvent> events;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        Append(events, decoder.Feed(line.substr(from, cut - from)));
        from = cut;
    }
    Append(events, decoder.Feed(line.substr(from)));
    Append(events, decoder.Flush());
    REQUIRE(!decoder.HasPending());
    return events;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    std::uint64_t seed = input.Number(8);
    const std::string_view line = input.Rest();

    std::vector<std::size_t> cuts;
    for (std::size_t at = 0; line.size() > 1;) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        at += 1 + (seed >> 33) % ((seed >> 62) == 0 ? 64 : 5);
        if (at >= line.size())
            break;
        cuts.push_back(at);
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t at = 1; at < line.size(); ++at)
        everyByte.push_back(at);

    const std::vector<TLineEvent> whole = Decode(line, {});
    for (const auto& cutting : {cuts, everyByte}) {
        const std::vector<TLineEvent> pieces = Decode(line, cutting);
        REQUIRE(pieces.size() == whole.size());
        for (std::size_t i = 0; i < whole.size(); ++i)
            REQUIRE(Same(pieces[i], whole[i]));
    }

    std::string seen;
    TBoardState state;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const TLineEvent& event = whole[i];
        switch (event.Kind) {
        case TLineEvent::Command: {
            REQUIRE(event.Bytes.empty());
            TDecodedCommand again;
            REQUIRE(DecodeCommand(event.Decoded.Selector, event.Decoded.Value, again));
            REQUIRE(again.Kind == event.Decoded.Kind && again.Position == event.Decoded.Position);
            if (event.Decoded.Kind == TDecodedCommand::Setting)
                REQUIRE(event.Decoded.Position >= 0
                        && event.Decoded.Position <= ControlMaxPosition(event.Decoded.Control));
            seen += event.Decoded.Selector + event.Decoded.Value;
            break;
        }
        case TLineEvent::HalfCommand:
            REQUIRE(!event.Bytes.empty() && event.Bytes.size() < 4);
            seen += event.Bytes;
            break;
        case TLineEvent::Stray:
            // A run of stray bytes is one event.
            REQUIRE(!event.Bytes.empty());
            REQUIRE(i == 0 || whole[i - 1].Kind != TLineEvent::Stray);
            seen += event.Bytes;
            break;
        }
        REQUIRE(!event.Describe().empty());
        REQUIRE(!TBoardState::Answer(event).empty());
        state.Apply(event);
    }
    REQUIRE(seen == line);
    REQUIRE(!state.Describe().empty());
    return 0;
}
