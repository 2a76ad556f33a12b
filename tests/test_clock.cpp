// Tests of the tick-count seam and the wrap-safe time comparison.
#include <gtest/gtest.h>

#include "clock.h"

namespace {
struct ClockTest : ::testing::Test {
    void TearDown() override { StkClockDrive(0, 0); }
};
} // namespace

TEST_F(ClockTest, DrivenClockWrapsAndCountsItsReads)
{
    StkClockDrive(1, 12345);
    StkClockResetReads();
    EXPECT_EQ(12345u, StkTickCount());
    StkClockAdvance(55);
    EXPECT_EQ(12400u, StkTickCount());
    EXPECT_EQ(2u, StkClockReads());
    StkClockResetReads();
    EXPECT_EQ(0u, StkClockReads());
    StkClockDrive(1, 0xFFFFFFF0u);
    StkClockAdvance(0x20);
    EXPECT_EQ(0x10u, StkTickCount());
}

TEST_F(ClockTest, UndrivenClockIsTheSystemTickCount)
{
    StkClockDrive(1, 5);
    StkClockDrive(0, 0);
    DWORD before = GetTickCount();
    DWORD seen = StkTickCount();
    DWORD after = GetTickCount();
    EXPECT_GE((LONG)(seen - before), 0);
    EXPECT_GE((LONG)(after - seen), 0);
}

TEST(TimeReached, PlainCasesAndAcrossTheWrap)
{
    EXPECT_FALSE(StkTimeReached(1000, 1000, 1500));
    EXPECT_FALSE(StkTimeReached(1499, 1000, 1500));
    EXPECT_TRUE(StkTimeReached(1500, 1000, 1500));
    EXPECT_TRUE(StkTimeReached(99999, 1000, 1500));
    EXPECT_TRUE(StkTimeReached(1000, 1000, 1000));   // nothing ahead: due at once
    const DWORD last = 0xFFFFFF00u;
    const DWORD when = last + 1500;   // wraps to 0x4DC
    EXPECT_FALSE(StkTimeReached(0xFFFFFFFFu, last, when));
    EXPECT_FALSE(StkTimeReached(0u, last, when));
    EXPECT_FALSE(StkTimeReached(when - 1, last, when));
    EXPECT_TRUE(StkTimeReached(when, last, when));
    EXPECT_TRUE(StkTimeReached(when + 10, last, when));
}

TEST(TimeReached, OldScheduleFarBehindIsDue)
{
    // The first game after a long uptime: nothing has run since 0, and a
    // signed difference would call 0 "in the future" past 2^31 ms.
    EXPECT_TRUE(StkTimeReached(0x90000000u, 0, 0));
    EXPECT_TRUE(StkTimeReached(0xFFFFFFFFu, 0, 0));
    // A pause longer than 2^31 ms is still over when it ends.
    EXPECT_TRUE(StkTimeReached(0x80001000u, 1000, 2500));
}
