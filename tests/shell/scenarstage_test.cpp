#include "shell/scenarstage.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

TEST(ScenarStage, RampsOverItsDuration) {
    FXScenarStage s;
    s.duration = 30;
    EXPECT_EQ(s.UpdateStage(100.0), 0.0f);
    EXPECT_TRUE(s.changed); // started
    EXPECT_EQ(s.start, 100.0);
    EXPECT_EQ(s.UpdateStage(100.0), 0.0f);
    EXPECT_FALSE(s.changed);
    EXPECT_FLOAT_EQ(s.UpdateStage(115.0), 0.5f);
    EXPECT_TRUE(s.changed);
    EXPECT_EQ(s.UpdateStage(130.0), 1.0f);
    EXPECT_TRUE(s.changed);
    EXPECT_EQ(s.UpdateStage(145.0), 1.0f);
    EXPECT_FALSE(s.changed);
    EXPECT_EQ(s.value, 1.0f);

    s.restart = true; // begins anew
    EXPECT_EQ(s.UpdateStage(200.0), 0.0f);
    EXPECT_TRUE(s.changed);
    EXPECT_FLOAT_EQ(s.UpdateStage(203.0), 0.1f);
}

TEST(ScenarStage, PartialRangeWaitsThenRamps) {
    FXScenarStage s;
    s.duration = 4;
    s.from = 0.5f;
    s.UpdateStage(0.0);
    EXPECT_EQ(s.UpdateStage(1.0), 0.0f);
    EXPECT_FALSE(s.changed);
    EXPECT_EQ(s.UpdateStage(2.0), 0.0f); // exactly at from
    EXPECT_FLOAT_EQ(s.UpdateStage(3.0), 0.5f);
    EXPECT_EQ(s.UpdateStage(4.0), 1.0f); // exactly at to
    s.to = 0.75f;
    s.restart = true;
    s.UpdateStage(10.0);
    EXPECT_FLOAT_EQ(s.UpdateStage(12.5), 0.5f);
    EXPECT_EQ(s.UpdateStage(13.0), 1.0f);
}

TEST(ScenarStage, ZeroDurationStaysFinite) {
    FXScenarStage s;
    EXPECT_EQ(s.UpdateStage(5.0), 0.0f);
    EXPECT_EQ(s.UpdateStage(6.0), 1.0f);
    EXPECT_FALSE(std::isnan(s.value));
}

TEST(ScenarStage, ProgressIsRoundedOnceThenRampedInFloat) {
    // Reference bits: the elapsed time divided in double and rounded once, then
    // (p - from) / (to - from) in float. Dividing in float, or multiplying by the
    // reciprocal of the range, gives other bits.
    const struct {
        double start, time, duration;
        uint32_t bits;
    } probes[] = {{0.7, 2.9, 6.1, 0x3eb1f0e4u}, {0.0, 1.0, 3.0, 0x3e9f49f5u}};
    for (const auto& pr : probes) {
        FXScenarStage s;
        s.duration = pr.duration;
        s.from = 0.1f;
        s.to = 0.85f;
        s.UpdateStage(pr.start);
        float v = s.UpdateStage(pr.time);
        uint32_t u;
        memcpy(&u, &v, 4);
        EXPECT_EQ(u, pr.bits) << pr.duration;
    }
}
