// The command tokens of the board's vocabulary: selector and value of
// each slider position, the mode and the sweep commands. Plain C++, so
// that programs without Qt (the virtual board) can build them too.
#include "panel/BoardTokens.h"

#include "framework/Exception.h"

#include <cstdio>

namespace {

struct SliderInfo {
    const char* name;
    const char* selector;
    int base;
    int maxPosition;
};

// The upper three bits of a value token name the control, the lower five
// carry the position; hence the bases 0x20 apart.
SliderInfo Info(TBoardSlider slider)
{
    switch (slider) {
    case TBoardSlider::IPeak:  return {"I-PEAK", "00", 0x20, 30};
    case TBoardSlider::Led1:   return {"LED-1", "01", 0x40, 31};
    case TBoardSlider::Led2:   return {"LED-2", "02", 0x60, 31};
    case TBoardSlider::Led3:   return {"LED-3", "03", 0x80, 31};
    case TBoardSlider::TgtUp:  return {"TGT-UP", "04", 0xA0, 30};
    case TBoardSlider::TgtDwn: return {"TGT-DWN", "05", 0xC0, 30};
    case TBoardSlider::StrDim: return {"STR DIM", "06", 0xE0, 30};
    }
    throw Exception("Unknown slider");
}

std::string HexToken(int number)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(number) & 0xFFu);
    return text;
}

} // namespace

const char* SliderName(TBoardSlider slider) { return Info(slider).name; }
int SliderMaxPosition(TBoardSlider slider) { return Info(slider).maxPosition; }
const char* SliderSelector(TBoardSlider slider) { return Info(slider).selector; }

std::string SliderValueToken(TBoardSlider slider, int position)
{
    const SliderInfo info = Info(slider);
    if (position < 0 || position > info.maxPosition)
        throw Exception(std::string(info.name) + " position " + std::to_string(position) +
                        " is outside 0 to " + std::to_string(info.maxPosition));
    // I-PEAK at 0 switches the current off; the board expects "00" there,
    // not the base alone.
    if (slider == TBoardSlider::IPeak && position == 0)
        return "00";
    return HexToken(info.base + position);
}

TBoardCommand SliderCommand(TBoardSlider slider, int position)
{
    return {SliderSelector(slider), SliderValueToken(slider, position)};
}

TBoardCommand ModeCommand(TBoardMode mode)
{
    return mode == TBoardMode::RGB ? TBoardCommand{"20", "20"} : TBoardCommand{"10", "10"};
}

TBoardCommand SweepCommand(bool sweepToggle)
{
    return {sweepToggle ? "80" : "90", "80"};
}

