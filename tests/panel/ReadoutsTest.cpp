// The readout texts: the cut (not rounded) percentages, the fixed current
// table with its irregular step, and the dimming time.
#include "framework/Exception.h"
#include "panel/Readouts.h"

#include <gtest/gtest.h>

TEST(ReadoutsTest, PercentIsCutToFiveCharacters)
{
    EXPECT_EQ(PercentText(0), "0%");
    EXPECT_EQ(PercentText(1), "3.225%");
    EXPECT_EQ(PercentText(3), "9.677%");
    EXPECT_EQ(PercentText(4), "12.90%");
    EXPECT_EQ(PercentText(10), "32.25%");
    EXPECT_EQ(PercentText(15), "48.38%");
    EXPECT_EQ(PercentText(31), "99.99%");
    EXPECT_EQ(PercentText(4, ','), "12,90%");
}

TEST(ReadoutsTest, CurrentComesFromTheTable)
{
    EXPECT_STREQ(MilliAmpText(0), "0.00");
    EXPECT_STREQ(MilliAmpText(12), "1.65");
    EXPECT_STREQ(MilliAmpText(21), "3.00");
    EXPECT_STREQ(MilliAmpText(22), "3.67");
    EXPECT_STREQ(MilliAmpText(30), "32.69");
    EXPECT_STREQ(MilliAmpText(31), "32.69");
}

TEST(ReadoutsTest, DimmingTimeIsEightMillisecondsAStep)
{
    EXPECT_EQ(StrDimText(0), "0ms");
    EXPECT_EQ(StrDimText(1), "8ms");
    EXPECT_EQ(StrDimText(30), "240ms");
}

TEST(ReadoutsTest, PositionOutsideTheSlidersIsRefused)
{
    EXPECT_THROW(MilliAmpText(32), Exception);
    EXPECT_THROW(PercentText(-1), Exception);
    EXPECT_THROW(StrDimText(32), Exception);
}
