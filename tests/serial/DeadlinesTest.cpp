// The time-out rules on their own, against a clock the test sets: which
// settings end a read at once, wait for a first byte, or count a total and
// a gap, and how long a poll may sleep meanwhile.
#include "serial/device/Deadlines.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using serialdev::Clock;
using serialdev::Deadlines;
using serialdev::Timeouts;

constexpr std::uint32_t allOnes = 0xFFFFFFFFu;
const Clock::time_point start = Clock::time_point{} + 1000h;

Timeouts Read(std::uint32_t interval, std::uint32_t multiplier, std::uint32_t constant)
{
    Timeouts t;
    t.ReadInterval = interval;
    t.ReadTotalMultiplier = multiplier;
    t.ReadTotalConstant = constant;
    return t;
}

TEST(DeadlinesTest, DefaultReadReturnsAtOnceWithWhatIsQueued)
{
    const Deadlines d = serialdev::ReadDeadlines(Timeouts{}, 10, start);
    EXPECT_TRUE(d.returnAtOnce);
    EXPECT_FALSE(d.hasTotal);
    EXPECT_EQ(d.intervalMs, 0u);
}

TEST(DeadlinesTest, TotalIsMultiplierTimesCountPlusConstant)
{
    const Deadlines d = serialdev::ReadDeadlines(Read(0, 10, 500), 4, start);
    EXPECT_FALSE(d.returnAtOnce);
    ASSERT_TRUE(d.hasTotal);
    EXPECT_EQ(d.total, start + 540ms);
    EXPECT_FALSE(serialdev::ReadSatisfied(d, 3, 4, start, start + 539ms));
    EXPECT_TRUE(serialdev::ReadSatisfied(d, 3, 4, start, start + 540ms));
    EXPECT_TRUE(serialdev::ReadSatisfied(d, 4, 4, start, start)); // everything there
    // The poll sleeps until the total, rounded up to whole milliseconds.
    EXPECT_EQ(serialdev::PollTimeoutMs(d, false, 0, start, start + 100ms + 1us), 440);
    EXPECT_EQ(serialdev::PollTimeoutMs(d, false, 0, start, start + 600ms), 0);
}

TEST(DeadlinesTest, FirstByteOnlyEndsWithTheFirstByteOrTheConstant)
{
    const Deadlines d = serialdev::ReadDeadlines(Read(allOnes, allOnes, 300), 100, start);
    EXPECT_TRUE(d.firstByteOnly);
    EXPECT_EQ(d.total, start + 300ms);  // not multiplied by the count
    EXPECT_FALSE(serialdev::ReadSatisfied(d, 0, 100, start, start + 299ms));
    EXPECT_TRUE(serialdev::ReadSatisfied(d, 1, 100, start, start + 1ms));
    EXPECT_TRUE(serialdev::ReadSatisfied(d, 0, 100, start, start + 300ms));
}

TEST(DeadlinesTest, IntervalCountsFromTheLastByteOnceOneArrived)
{
    const Deadlines d = serialdev::ReadDeadlines(Read(50, 0, 0), 10, start);
    EXPECT_FALSE(d.hasTotal);
    EXPECT_EQ(d.intervalMs, 50u);
    // No byte yet: the gap does not count, and the poll has no limit.
    EXPECT_FALSE(serialdev::ReadSatisfied(d, 0, 10, start, start + 10s));
    EXPECT_EQ(serialdev::PollTimeoutMs(d, false, 0, start, start + 10s), -1);
    const auto last = start + 1s;
    EXPECT_FALSE(serialdev::ReadSatisfied(d, 2, 10, last, last + 49ms));
    EXPECT_TRUE(serialdev::ReadSatisfied(d, 2, 10, last, last + 50ms));
    EXPECT_EQ(serialdev::PollTimeoutMs(d, false, 2, last, last + 20ms), 30);
}

TEST(DeadlinesTest, WriteGivesUpAfterItsTotalAndNeverWithoutOne)
{
    Timeouts t;  // 100 ms a byte plus 1000
    Deadlines d = serialdev::WriteDeadlines(t, 5, start);
    EXPECT_EQ(d.total, start + 1500ms);
    EXPECT_FALSE(serialdev::WriteEnded(d, 4, 5, start + 1499ms));
    EXPECT_TRUE(serialdev::WriteEnded(d, 4, 5, start + 1500ms));
    EXPECT_TRUE(serialdev::WriteEnded(d, 5, 5, start));
    // The gap between bytes is a read rule only.
    EXPECT_EQ(serialdev::PollTimeoutMs(d, true, 4, start, start), 1500);

    t.WriteTotalMultiplier = 0;
    t.WriteTotalConstant = 0;
    d = serialdev::WriteDeadlines(t, 5, start);
    EXPECT_FALSE(d.hasTotal);
    EXPECT_FALSE(serialdev::WriteEnded(d, 0, 5, start + 1000h));
}

TEST(DeadlinesTest, AllOnesSettingsWaitAYearNotAnOverflow)
{
    const Deadlines d = serialdev::ReadDeadlines(Read(0, allOnes, allOnes), 0x7FFFFFFF, start);
    ASSERT_TRUE(d.hasTotal);
    EXPECT_GT(d.total, start + 24h * 364);
    EXPECT_LE(d.total, start + 24h * 366);
    // A poll never sleeps longer than a day at a time.
    EXPECT_EQ(serialdev::PollTimeoutMs(d, false, 0, start, start), 24 * 3600 * 1000);
}

TEST(DeadlinesTest, MinTimeoutTreatsMinusOneAsNone)
{
    EXPECT_EQ(serialdev::MinTimeout(-1, 5), 5);
    EXPECT_EQ(serialdev::MinTimeout(7, -1), 7);
    EXPECT_EQ(serialdev::MinTimeout(-1, -1), -1);
    EXPECT_EQ(serialdev::MinTimeout(3, 9), 3);
    EXPECT_EQ(serialdev::MsUntil(start + 1us, start), 1);
}

} // namespace
