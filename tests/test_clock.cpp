// The wrap-safe comparison every frame step and every wait relies on.
#include <gtest/gtest.h>

#include "clock.h"

TEST(Clock, TimeReachedAcrossTheWrapAndFromOldSchedules)
{
    const struct {
        DWORD now, last, when;
        int due;
    } cases[] = {
        {1000, 1000, 1500, 0}, {1499, 1000, 1500, 0}, {1500, 1000, 1500, 1}, {99999, 1000, 1500, 1},
        {1000, 1000, 1000, 1},                             // nothing ahead: due at once
        {0xFFFFFFFFu, 0xFFFFFF00u, 0x4DCu, 0},             // scheduled past the wrap
        {0u, 0xFFFFFF00u, 0x4DCu, 0}, {0x4DBu, 0xFFFFFF00u, 0x4DCu, 0},
        {0x4DCu, 0xFFFFFF00u, 0x4DCu, 1}, {0x4E6u, 0xFFFFFF00u, 0x4DCu, 1},
        // The first game after 2^31 ms of uptime: nothing ran since 0; a signed difference
        // would call 0 "in the future". A pause longer than 2^31 ms is over when it ends.
        {0x90000000u, 0, 0, 1}, {0xFFFFFFFFu, 0, 0, 1}, {0x80001000u, 1000, 2500, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.due, StkTimeReached(c.now, c.last, c.when))
            << std::hex << c.now << " " << c.last;
}
