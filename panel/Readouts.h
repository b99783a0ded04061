// The texts shown beside the sliders. Plain C++: the board simulator shows
// the same texts for the positions it receives.
#pragma once

#include <string>

// Current in mA for a position of the I-PEAK, TGT-UP and TGT-DWN sliders
// (0 to 31), without unit: "0.00" ... "32.69". The values come from the
// chip's data sheet table, not from a formula.
const char* MilliAmpText(int position);

// LED level readout: position × 3.2258 in the shortest general form, cut to
// five characters, then "%" ("3.225%" for 1, "99.99%" for 31).
std::string PercentText(int position, char decimalSeparator = '.');

// STR DIM readout: 8 ms per step ("240ms" for 30).
std::string StrDimText(int position);
