// The readout texts of the sliders' positions.
#include "panel/Readouts.h"

#include "framework/Exception.h"

#include <cstdio>

namespace {

// Entry 31 repeats entry 30: the sliders that show currents stop at 30.
const char* const MilliAmpTable[32] = {
    "0.00", "1.07", "1.10", "1.14", "1.18", "1.22",  "1.27",  "1.32",
    "1.38", "1.44", "1.50", "1.57", "1.65", "1.74",  "1.84",  "1.95",
    "2.07", "2.20", "2.36", "2.54", "2.75", "3.00",  "3.67",  "4.13",
    "4.71", "5.50", "6.59", "8.24", "10.96", "16.43", "32.69", "32.69"};

void CheckPosition(int position)
{
    if (position < 0 || position > 31)
        throw Exception("Slider position " + std::to_string(position) + " is outside 0 to 31");
}

} // namespace

const char* MilliAmpText(int position)
{
    CheckPosition(position);
    return MilliAmpTable[position];
}

std::string PercentText(int position, char decimalSeparator)
{
    CheckPosition(position);
    // 3.2258 rather than 100/31: the readout has always been cut, not
    // rounded, from this factor ("99.99%" at the top, never "100%").
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", position * 3.2258);
    std::string result(text);
    if (result.size() > 5)
        result.resize(5);
    for (char& c : result)
        if (c == '.')
            c = decimalSeparator;
    return result + "%";
}

std::string StrDimText(int position)
{
    CheckPosition(position);
    return std::to_string(position * 8) + "ms";
}
