// The board's command vocabulary: the value token of each slider
// position, the mode and sweep commands. Plain C++, so that programs
// without Qt (the virtual board) build them too.
#pragma once

#include <string>

// The seven sliders that each send one command per change.
enum class TBoardSlider { IPeak, Led1, Led2, Led3, TgtUp, TgtDwn, StrDim };

inline constexpr TBoardSlider AllBoardSliders[] = {
    TBoardSlider::IPeak, TBoardSlider::Led1,  TBoardSlider::Led2,  TBoardSlider::Led3,
    TBoardSlider::TgtUp, TBoardSlider::TgtDwn, TBoardSlider::StrDim};

enum class TBoardMode { BackLight, RGB };

// Selector first, value second; each two upper-case hexadecimal characters.
struct TBoardCommand {
    std::string Selector;
    std::string Value;

    bool operator==(const TBoardCommand&) const = default;
};

// The slider's name as the window labels it ("I-PEAK", "LED-1", "STR DIM").
const char* SliderName(TBoardSlider slider);
// The highest position of the slider (30 or 31); the lowest is always 0.
int SliderMaxPosition(TBoardSlider slider);
// The selector token of the slider's command ("00" to "06").
const char* SliderSelector(TBoardSlider slider);

// The value token for a slider position. A position outside the slider's
// range raises Exception: such a token would belong to another control.
std::string SliderValueToken(TBoardSlider slider, int position);
TBoardCommand SliderCommand(TBoardSlider slider, int position);
TBoardCommand ModeCommand(TBoardMode mode);
// The sweep command due for the given phase: "90" "80" while the phase is
// false, "80" "80" while it is true.
TBoardCommand SweepCommand(bool sweepToggle);
