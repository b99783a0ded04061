// Tests of the port's value types and their text forms.
#include "serial/ComTypes.h"
#include "serial/ComDeviceMapping.h"

#include <gtest/gtest.h>

namespace {

TEST(ComTypesTest, ParsingFoldsAsciiCaseWithoutTrimming)
{
    EXPECT_EQ(ParseBaudRate("custom"), brCustom);
    EXPECT_EQ(ParseBaudRate("CUSTOM"), brCustom);
    EXPECT_EQ(ParseBaudRate("115200"), br115200);
    EXPECT_EQ(ParseBaudRate(" 9600"), br9600);
    EXPECT_EQ(ParseBaudRate("19200 "), br9600);
    EXPECT_EQ(ParseBaudRate(""), br9600);
    EXPECT_EQ(ParseBaudRate("9601"), br9600);
    EXPECT_EQ(ParseParity("sPaCe"), prSpace);
    EXPECT_EQ(ParseParity("Even "), prNone);
    // Only ASCII letters fold: a dotless capital I is not an "i".
    EXPECT_EQ(ParseParity(QString::fromUtf8("N\u0130ne")), prNone);
    EXPECT_EQ(ParseParity(QString::fromUtf8("ODD")), prOdd);
    EXPECT_EQ(ParseStopBits("1.5"), sbOne5StopBits);
    EXPECT_EQ(ParseStopBits("1,5"), sbOneStopBit);
    EXPECT_EQ(ParseDataBits("7"), dbSeven);
    EXPECT_EQ(ParseDataBits("9"), dbEight);
    EXPECT_EQ(ParseFlowControl("none"), fcNone);
    EXPECT_EQ(ParseFlowControl("hardware"), fcHardware);
    EXPECT_EQ(ParseFlowControl("RTS/CTS"), fcCustom);
}

TEST(ComTypesTest, EveryTextParsesBackToItsValue)
{
    for (int v = brCustom; v <= br256000; ++v)
        EXPECT_EQ(ParseBaudRate(BaudRateText(TBaudRate(v))), v);
    for (int v = sbOneStopBit; v <= sbTwoStopBits; ++v)
        EXPECT_EQ(ParseStopBits(StopBitsText(TStopBits(v))), v);
    for (int v = dbFive; v <= dbEight; ++v)
        EXPECT_EQ(ParseDataBits(DataBitsText(TDataBits(v))), v);
    for (int v = prNone; v <= prSpace; ++v)
        EXPECT_EQ(ParseParity(ParityText(TParityBits(v))), v);
    for (int v = fcHardware; v <= fcCustom; ++v)
        EXPECT_EQ(ParseFlowControl(FlowControlText(TFlowControl(v))), v);
    EXPECT_EQ(BaudRateText(br56000), "56000");
    EXPECT_EQ(BaudRateValue(br56000), 56000);
    EXPECT_EQ(BaudRateValue(brCustom), 0);
    EXPECT_EQ(ParityText(prMark), "Mark");
    EXPECT_EQ(StopBitsText(sbOne5StopBits), "1.5");
    // The status bar's line-format text.
    EXPECT_EQ(ParityText(prNone) + "," + DataBitsText(dbEight) + "," + BaudRateText(br9600) + "," +
                  StopBitsText(sbOneStopBit),
              "None,8,9600,1");
}

TEST(ComTypesTest, EventSetAndDriverMaskConvertBothWays)
{
    EXPECT_EQ(EventsToMask(AllComEvents), 0x05FFu);
    EXPECT_EQ(MaskToEvents(0x0001 | 0x0400), (TComEvents{evRxChar, evRx80Full}));
    EXPECT_EQ(MaskToEvents(0x0200 | 0x0800 | 0xF000), TComEvents{}); // unknown bits ignored
    EXPECT_EQ(MaskToEvents(0x05FF), AllComEvents);
    // The set order is not the mask order.
    EXPECT_EQ(EventsToMask({evTxEmpty}), 0x0004u);
    EXPECT_EQ(EventsToMask({evRxFlag}), 0x0002u);
    EXPECT_EQ(EventsToMask({evRing, evRLSD}), 0x0120u);
    for (int e = evRxChar; e <= evRx80Full; ++e) {
        const TComEvents one{TComEvent(e)};
        EXPECT_EQ(MaskToEvents(EventsToMask(one)), one) << "event " << e;
    }
    EXPECT_EQ(EventsToMask({}), 0u);
}

TEST(ComTypesTest, SetsIncludeAndExclude)
{
    TComErrors errors;
    EXPECT_TRUE(errors.Empty());
    errors.Include(ceTxFull).Include(ceFrame);
    EXPECT_EQ(errors.ToBits(), 0x81);
    errors.Exclude(ceFrame);
    EXPECT_FALSE(errors.Contains(ceFrame));
    EXPECT_TRUE(errors.Contains(ceTxFull));
}

} // namespace
