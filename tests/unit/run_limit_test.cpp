#include "dos/run_limit.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

TEST(LimitWatch, PlainLimitPassesOnceAndTellsTheWaitWhenToLook) {
    const RunLimit limit{5, nullptr};
    LimitWatch watch(limit, 1000);
    EXPECT_EQ(watch.NextLookMs(1000), 5000u);
    EXPECT_FALSE(watch.Expired(3000));
    EXPECT_EQ(watch.NextLookMs(3000), 3000u);
    EXPECT_FALSE(watch.Expired(5999));
    EXPECT_TRUE(watch.Expired(6000));
    EXPECT_EQ(watch.NextLookMs(7000), 0u); // overdue: look at once

    const RunLimit none{0, nullptr};
    LimitWatch unlimited(none, 0);
    EXPECT_FALSE(unlimited.Expired(uint64_t{1} << 40));
    EXPECT_EQ(unlimited.NextLookMs(0), NoLookDue);
}

TEST(LimitWatch, ProgressStartsTheCountAgainAndAStallEndsIt) {
    uint64_t copied = 0;
    int readings = 0;
    const RunLimit limit{3, [&] {
                             ++readings;
                             return copied;
                         }};
    LimitWatch watch(limit, 0);
    // A copy far longer than the limit that keeps growing is never ended.
    for (uint64_t now = 500; now <= 20000; now += 500) {
        if (now % 1000 == 0) copied += 4096;
        EXPECT_FALSE(watch.Expired(now)) << now;
        EXPECT_LE(watch.NextLookMs(now), ProgressLookMs);
    }
    // Readings are taken once a second, not on every wake.
    EXPECT_EQ(readings, 21);
    // Then it stalls: the limit counts from the last change seen.
    EXPECT_FALSE(watch.Expired(22999));
    EXPECT_TRUE(watch.Expired(23000));

    // What the system counts for the job is progress as well, when the target shows none.
    copied = 0;
    LimitWatch byJob(limit, 0);
    for (uint64_t now = 1000; now <= 10000; now += 1000)
        EXPECT_FALSE(byJob.Expired(now, now * 10)) << now;
    EXPECT_TRUE(byJob.Expired(13000, 100000));
}

TEST(LimitWatch, ALimitBelowTheProgressPeriodStillHolds) {
    const RunLimit limit{1, [] { return uint64_t{7}; }};
    LimitWatch watch(limit, 0);
    EXPECT_FALSE(watch.Expired(999));
    EXPECT_TRUE(watch.Expired(1000));
}

} // namespace
