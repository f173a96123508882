#include "elements/phaser.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

#include "assets/package.h"
#include "support/pkgbuild.h"

namespace {

uint32_t Bits(float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

} // namespace

TEST(Phaser, SawToothWrapsAndKeepsItsRhythm) {
    FXPhaser p;
    p.Restart(10);
    p.OnRender(nullptr, 10.25);
    EXPECT_FLOAT_EQ(p.phase, 0.25f);
    EXPECT_FALSE(p.wrapped);
    p.OnRender(nullptr, 11.25);
    EXPECT_FLOAT_EQ(p.phase, 0.25f);
    EXPECT_TRUE(p.wrapped);
    EXPECT_DOUBLE_EQ(p.start, 11.0); // advanced by one cycle, not to the frame time
    EXPECT_TRUE(p.running);
    EXPECT_FALSE(p.reverse);
    p.OnRender(nullptr, 11.5);
    EXPECT_TRUE(p.wrapped); // stays set until Restart
    p.Restart(20);
    EXPECT_FALSE(p.wrapped);
    EXPECT_EQ(p.phase, 0.0f);
}

TEST(Phaser, SmoothPingPongSwingsBackAndForth) {
    FXPhaser p;
    p.pingPong = true;
    p.smooth = true;
    p.duration = 2;
    p.Restart(0);
    p.OnRender(nullptr, 1.0);
    EXPECT_FLOAT_EQ(p.phase, 0.5f);
    p.OnRender(nullptr, 2.5);
    EXPECT_FLOAT_EQ(p.phase, 0.84375f);
    EXPECT_TRUE(p.reverse);
    p.OnRender(nullptr, 4.5);
    EXPECT_FLOAT_EQ(p.phase, 0.15625f);
    EXPECT_FALSE(p.reverse);
    // A frame exactly at the end of a leg already starts the next one.
    p.OnRender(nullptr, 6.0);
    EXPECT_TRUE(p.reverse);
    EXPECT_FLOAT_EQ(p.phase, 1.0f);
}

TEST(Phaser, HalfSmoothIsTheMeanOfLinearAndSmooth) {
    FXPhaser p;
    p.halfSmooth = true;
    p.duration = 4;
    p.Restart(0);
    p.OnRender(nullptr, 1.0);
    EXPECT_FLOAT_EQ(p.phase, (0.25f + 0.15625f) * 0.5f);
}

TEST(Phaser, EasingKeepsItsSinglePrecisionOrder) {
    // Reference bits of (v + v) * (1 - v) * v + v * v, step by step in single precision;
    // 3v^2 - 2v^3 or v^2 * (3 - 2v) round differently at these phases.
    FXPhaser p;
    p.smooth = true;
    p.Restart(0);
    const struct {
        double t;
        uint32_t bits;
    } probes[] = {{0.3, 0x3e5d2f1cu}, {0.55, 0x3f1322d1u}, {0.83, 0x3f6c51fcu}};
    for (const auto& pr : probes) {
        p.OnRender(nullptr, pr.t);
        EXPECT_EQ(Bits(p.phase), pr.bits) << pr.t;
    }
    // The elapsed time is divided in double and rounded once.
    p.duration = 2.7;
    p.Restart(3.1);
    p.OnRender(nullptr, 4.0);
    EXPECT_EQ(Bits(p.phase), 0x3e84bda2u);
    p.smooth = false;
    p.halfSmooth = true;
    p.OnRender(nullptr, 4.0);
    EXPECT_EQ(Bits(p.phase), 0x3e97b426u);
}

TEST(Phaser, OneShotStopsAtTheEnd) {
    FXPhaser p;
    p.loop = false;
    p.Restart(0);
    p.OnRender(nullptr, 0.5);
    EXPECT_FLOAT_EQ(p.phase, 0.5f);
    p.OnRender(nullptr, 1.5);
    EXPECT_EQ(p.phase, 1.0f);
    EXPECT_FALSE(p.running);
    EXPECT_TRUE(p.wrapped);
    p.OnRender(nullptr, 7.0);
    EXPECT_EQ(p.phase, 1.0f);
    p.Restart(8);
    p.OnRender(nullptr, 8.25);
    EXPECT_FLOAT_EQ(p.phase, 0.25f);

    FXPhaser back; // one-shot that was running in reverse ends at 0
    back.loop = false;
    back.Restart(0);
    back.reverse = true;
    back.OnRender(nullptr, 0.25);
    EXPECT_FLOAT_EQ(back.phase, 0.75f);
    back.OnRender(nullptr, 1.0);
    EXPECT_EQ(back.phase, 0.0f);
    EXPECT_FALSE(back.running);
}

TEST(Phaser, ResynchronisesAfterALongPause) {
    FXPhaser p;
    p.duration = 2;
    p.Restart(0);
    p.OnRender(nullptr, 0.5);
    p.OnRender(nullptr, 10.5); // five cycles later
    EXPECT_DOUBLE_EQ(p.start, 10.5);
    EXPECT_EQ(p.phase, 0.0f);
    p.OnRender(nullptr, 11.0);
    EXPECT_FLOAT_EQ(p.phase, 0.25f);

    FXPhaser r;
    r.pingPong = true;
    r.Restart(0);
    r.OnRender(nullptr, 5.0);
    EXPECT_TRUE(r.reverse);
    EXPECT_EQ(r.phase, 1.0f);
    EXPECT_DOUBLE_EQ(r.start, 5.0);
}

TEST(Phaser, GetOnOffIsAFallingRamp) {
    FXPhaser p;
    p.phase = 0.1f;
    EXPECT_EQ(p.GetOnOff(0.2f, 0.6f), 1.0f);
    p.phase = 0.2f;
    EXPECT_EQ(p.GetOnOff(0.2f, 0.6f), 1.0f);
    p.phase = 0.4f;
    EXPECT_NEAR(p.GetOnOff(0.2f, 0.6f), 0.5f, 1e-6f);
    p.phase = 0.6f;
    EXPECT_EQ(p.GetOnOff(0.2f, 0.6f), 0.0f);
    p.phase = 0.8f;
    EXPECT_EQ(p.GetOnOff(0.2f, 0.6f), 0.0f);
}

TEST(Phaser1, RestsBetweenSwings) {
    FXPhaser1 p;
    p.pingPong = true;
    p.autoRepeat = true;
    p.interval = 3;
    p.duration = 1;
    p.Restart(0);
    p.OnRender(nullptr, 0.5);
    EXPECT_FLOAT_EQ(p.phase, 0.5f);
    p.OnRender(nullptr, 1.5); // on the way back: the last leg
    EXPECT_TRUE(p.reverse);
    EXPECT_FLOAT_EQ(p.phase, 0.5f);
    p.OnRender(nullptr, 2.25); // leg down ended at 2
    EXPECT_FALSE(p.loop);
    EXPECT_FALSE(p.running);
    EXPECT_EQ(p.phase, 0.0f);
    p.OnRender(nullptr, 4.5);
    EXPECT_FALSE(p.running);
    EXPECT_EQ(p.phase, 0.0f);
    p.OnRender(nullptr, 5.25); // 3 s after the end of the leg down
    EXPECT_TRUE(p.running);
    EXPECT_TRUE(p.loop);
    EXPECT_FALSE(p.reverse);
    EXPECT_EQ(p.phase, 0.0f);
    p.OnRender(nullptr, 5.5);
    EXPECT_FLOAT_EQ(p.phase, 0.25f);

    FXPhaser1 plain; // without autoRepeat it is an ordinary phaser
    plain.Restart(0);
    plain.OnRender(nullptr, 1.5);
    EXPECT_TRUE(plain.running);
    EXPECT_FLOAT_EQ(plain.phase, 0.5f);
}

namespace {

mhtest::Bytes Record(float phase, double duration, const unsigned char flags[6]) {
    mhtest::Bytes b;
    mhtest::PutFloat(&b, phase);
    mhtest::PutDouble(&b, duration);
    b.insert(b.end(), flags, flags + 6);
    return b;
}

} // namespace

TEST(Phaser, RecordIsEighteenBytes) {
    FXPhaser p;
    p.phase = 0.375f;
    p.duration = 6.5;
    p.running = false;
    p.reverse = true;
    p.loop = true;
    p.pingPong = false;
    p.smooth = true;
    p.halfSmooth = false;
    std::string path = mhtest::TestTmpPath("phaser.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    p.Save(f);
    fclose(f);
    const unsigned char flags[6] = {0, 1, 1, 0, 1, 0};
    EXPECT_EQ(mhtest::ReadFileBytes(path), Record(0.375f, 6.5, flags));

    FXPhaser q;
    f = fopen(path.c_str(), "rb");
    q.Load(f);
    fclose(f);
    EXPECT_EQ(q.phase, 0.375f);
    EXPECT_EQ(q.duration, 6.5);
    EXPECT_FALSE(q.running);
    EXPECT_TRUE(q.reverse);
    EXPECT_TRUE(q.loop);
    EXPECT_FALSE(q.pingPong);
    EXPECT_TRUE(q.smooth);
    EXPECT_FALSE(q.halfSmooth);
}

TEST(Phaser, OnlyTheByteOneSetsAFlag) {
    const unsigned char flags[6] = {2, 1, 0xFF, 1, 0, 1};
    mhtest::Bytes rec = Record(0.5f, 3.0, flags);
    std::string path = mhtest::TestTmpPath("phaser2.bin");
    ASSERT_TRUE(mhtest::WriteFileBytes(path, rec));
    FXPhaser q;
    FILE* f = fopen(path.c_str(), "rb");
    q.Load(f);
    fclose(f);
    EXPECT_FALSE(q.running);
    EXPECT_TRUE(q.reverse);
    EXPECT_FALSE(q.loop);
    EXPECT_TRUE(q.pingPong);
    EXPECT_FALSE(q.smooth);
    EXPECT_TRUE(q.halfSmooth);

    FXPhaser c;
    FXPackageData d;
    d.InitData(rec.data(), (int)rec.size());
    c.LoadC(nullptr, &d);
    EXPECT_EQ(c.phase, 0.5f);
    EXPECT_EQ(c.duration, 3.0);
    EXPECT_FALSE(c.running);
    EXPECT_TRUE(c.reverse);
    EXPECT_FALSE(c.loop);
    EXPECT_TRUE(c.pingPong);
    EXPECT_FALSE(c.smooth);
    EXPECT_TRUE(c.halfSmooth);
    EXPECT_EQ(d.left, 0);

    // A short item gives neutral values for what is missing.
    FXPhaser s;
    d.InitData(rec.data(), 12);
    s.LoadC(nullptr, &d);
    EXPECT_EQ(s.duration, 3.0);
    EXPECT_FALSE(s.running);
    EXPECT_FALSE(s.loop);
}
