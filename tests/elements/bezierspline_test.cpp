#include "elements/bezierspline.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

void Fill(FXBezierSpline* s, const std::vector<float>& pts, bool closed) {
    s->Destroy();
    for (float v : pts)
        s->points.Push(v);
    s->closed = closed;
    s->Precompute();
    s->PrecomputePhasesLenght();
}

void ExpectPt(const float* got, float x, float y, float z, float tol = 1e-5f) {
    EXPECT_NEAR(got[0], x, tol);
    EXPECT_NEAR(got[1], y, tol);
    EXPECT_NEAR(got[2], z, tol);
}

} // namespace

TEST(Bezier, SegmentsMeetTheirEndsAndMidpoints) {
    FXBezier4 c = {{1, 2, 3}, {4, -1, 0}, {2, 5, 1}, {-3, 0.5f, 7}, {}};
    c.Precompute();
    float out[3];
    c.Get(out, 0.0f);
    ExpectPt(out, 1, 2, 3, 0);
    c.Get(out, 1.0f);
    ExpectPt(out, -3, 0.5f, 7);
    c.Get(out, 0.5f); // (a + 3b + 3c + d) / 8
    ExpectPt(out, (1 + 12 + 6 - 3) / 8.0f, (2 - 3 + 15 + 0.5f) / 8.0f, (3 + 0 + 3 + 7) / 8.0f);
    FXBezierPhaseH h;
    h.Prepare(0.3f);
    float viaH[3];
    c.Get(out, 0.3f);
    c.GetH(viaH, &h);
    EXPECT_EQ(memcmp(out, viaH, sizeof(out)), 0);

    FXBezier3 q = {{0, 0, 0}, {2, 4, -2}, {4, 0, 6}};
    q.Get(out, 0.5f);
    ExpectPt(out, (0 + 4 + 4) / 4.0f, (0 + 8 + 0) / 4.0f, (0 - 4 + 6) / 4.0f, 0);
    h.Prepare(0.5f);
    EXPECT_EQ(h.u2, 0.25f);
    EXPECT_EQ(h.tu2, 0.5f);
    q.GetH(viaH, &h);
    EXPECT_EQ(memcmp(out, viaH, sizeof(out)), 0);
}

TEST(BezierSpline, ThreeCollinearPoints) {
    FXBezierSpline s;
    Fill(&s, {0, 0, 0, 1, 0, 0, 2, 0, 0}, false);
    ASSERT_EQ(s.phases.count, 3);
    EXPECT_EQ(s.phases.items[0], 0.0f);
    EXPECT_EQ(s.phases.items[1], 0.5f);
    EXPECT_EQ(s.phases.items[2], 1.0f);
    EXPECT_EQ(s.totalLength, 2.0f);
    EXPECT_EQ(s.meanLength, 1.0f);
    float out[3], ref[3];
    s.GetAll(out, 0.25f);
    EXPECT_EQ(s.segKind, 3);
    s.ends[0].Get(ref, 0.5f);
    EXPECT_EQ(memcmp(out, ref, sizeof(out)), 0);
    ExpectPt(out, 0.5f, 0, 0);
    s.GetAll(out, 0.75f);
    EXPECT_EQ(s.cur3, &s.ends[1]);
    ExpectPt(out, 1.5f, 0, 0);
    EXPECT_FLOAT_EQ(s.GetAllPos(0.25f), 0.5f);
}

TEST(BezierSpline, TwoPointsAreAStraightLine) {
    FXBezierSpline s;
    Fill(&s, {1, 2, 3, 3, 6, -1}, false);
    float out[3];
    s.GetAll(out, 0.5f);
    ExpectPt(out, 2, 4, 1);
    s.GetAll(out, 1.0f);
    ExpectPt(out, 3, 6, -1);

    Fill(&s, {5, 5, 5, 5, 5, 5}, false);
    for (float ph : {0.0f, 0.3f, 1.0f}) {
        s.GetAll(out, ph);
        ExpectPt(out, 5, 5, 5, 0);
    }
}

TEST(BezierSpline, ClosedUnitSquare) {
    FXBezierSpline s;
    Fill(&s, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, true);
    EXPECT_EQ(s.totalLength, 4.0f);
    EXPECT_EQ(s.meanLength, 1.0f);
    ASSERT_EQ(s.phases.count, 4);
    EXPECT_EQ(s.phases.items[1], 0.25f);
    EXPECT_EQ(s.phases.items[2], 0.5f);
    EXPECT_EQ(s.phases.items[3], 0.75f);
    EXPECT_EQ(s.bezierCount, 4);

    float out[3], ref[3];
    s.GetAll(out, 0.875f);
    EXPECT_EQ(s.actIndex, 3);
    EXPECT_EQ(s.cur4, &s.beziers[3]);
    s.beziers[3].Get(ref, 0.5f);
    EXPECT_EQ(memcmp(out, ref, sizeof(out)), 0);
    EXPECT_LT(out[0], -0.2f); // bulges outwards, left of x = 0
    EXPECT_NEAR(out[1], 0.5f, 1e-5f);

    // Jumping backwards walks back to the right segment.
    s.GetAll(out, 0.9f);
    s.GetAll(out, 0.1f);
    EXPECT_EQ(s.actIndex, 0);
    FXBezierSpline fresh;
    Fill(&fresh, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, true);
    fresh.GetAll(ref, 0.1f);
    EXPECT_EQ(memcmp(out, ref, sizeof(out)), 0);

    s.GetAll(out, 0.5f);
    ExpectPt(out, 1, 1, 0);
    s.GetAll(out, 1.0f);
    ExpectPt(out, 0, 0, 0);
}

TEST(BezierSpline, HandlesLieOnTheNeighbourLine) {
    FXBezierSpline s;
    s.tension = 0.8f;
    Fill(&s, {0, 0, 0, 3, 1, 0, 4, 4, 2, -1, 5, 1, -2, 2, -1}, true);
    int n = s.GetCnt();
    ASSERT_EQ(s.handles.count, 6 * n);
    for (int i = 0; i < n; i++) {
        const float* q = s.points.items + 3 * i;
        const float* r = s.points.items + 3 * ((i + n - 1) % n);
        const float* t = s.points.items + 3 * ((i + 1) % n);
        const float* in = s.handles.items + 6 * i;
        const float* out = in + 3;
        float dir[3], din[3], dout[3];
        for (int k = 0; k < 3; k++) {
            dir[k] = t[k] - r[k];
            din[k] = in[k] - q[k];
            dout[k] = out[k] - q[k];
        }
        auto len = [](const float* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); };
        auto dist = [](const float* a, const float* b) {
            return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                             (a[2] - b[2]) * (a[2] - b[2]));
        };
        // Out-handle points along next - previous, in-handle against it.
        float dl = len(dir);
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR(dout[k] / len(dout), dir[k] / dl, 1e-4f) << i;
            EXPECT_NEAR(din[k] / len(din), -dir[k] / dl, 1e-4f) << i;
        }
        EXPECT_NEAR(len(din), dist(q, r) * 0.5f * 0.8f, 1e-4f);
        EXPECT_NEAR(len(dout), dist(q, t) * 0.5f * 0.8f, 1e-4f);
    }
}

TEST(BezierSpline, PhasesUseTheRoundedReciprocal) {
    FXBezierSpline s;
    Fill(&s, {0, 0, 0, 1, 0, 0, 1, 2, 0}, false);
    float rcp = 1.0f / 3.0f;
    EXPECT_EQ(s.phases.items[1], 1.0f * rcp);
    EXPECT_EQ(s.phases.items[2], 3.0f * rcp);
    EXPECT_EQ(s.meanLength, 1.5f);
    s.PrecomputePhasesLinear();
    EXPECT_EQ(s.phases.items[1], 0.5f);
    EXPECT_EQ(s.phases.items[2], 1.0f);
}

namespace {

uint32_t Bits(float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

} // namespace

// Reference bits worked out step by step in single precision, in the order the path
// is defined: handle lengths and midpoints, the power form of each segment, chord
// phases with the rounded reciprocal. Any change of operation order shows up here.
TEST(BezierSpline, SinglePrecisionStepsGiveExactBits) {
    const std::vector<float> pts = {0.1f,  0.2f,  -0.3f, 0.7f, -0.45f, 0.05f, 1.3f,  0.9f,
                                    0.25f, -0.6f, 0.33f, 0.8f, 0.05f,  -0.9f, -0.15f};
    struct Probe {
        float phase;
        uint32_t x, y, z;
    };
    FXBezierSpline s;
    s.tension = 0.9f;
    Fill(&s, pts, false);
    EXPECT_EQ(Bits(s.totalLength), 0x40c5ed54u);
    EXPECT_EQ(Bits(s.meanLength), 0x3fc5ed54u);
    const uint32_t openPhases[5] = {0, 0x3e1d7eeeu, 0x3eca275au, 0x3f3a469eu, 0x3f800000u};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(Bits(s.phases.items[i]), openPhases[i]) << i;
    // First quadratic end, two cubic segments, last quadratic end.
    const Probe open[] = {{0.03f, 0x3e502700u, 0xbdbc0a89u, 0xbe67b125u},
                          {0.2f, 0x3f80c581u, 0xbe6b3a69u, 0x3e0ac145u},
                          {0.41f, 0x3f99f9c5u, 0x3f744750u, 0x3e9c66cfu},
                          {0.97f, 0xbe2cbde1u, 0xbf4397ceu, 0x3cac9f18u}};
    float out[3];
    for (const Probe& p : open) {
        s.GetAll(out, p.phase);
        EXPECT_EQ(Bits(out[0]), p.x) << p.phase;
        EXPECT_EQ(Bits(out[1]), p.y) << p.phase;
        EXPECT_EQ(Bits(out[2]), p.z) << p.phase;
    }
    EXPECT_EQ(Bits(s.GetAllPos(0.41f)), 0x3f9b50cbu);

    Fill(&s, pts, true);
    EXPECT_EQ(Bits(s.totalLength), 0x40e97d25u);
    EXPECT_EQ(Bits(s.meanLength), 0x3fbaca84u);
    EXPECT_EQ(Bits(s.phases.items[4]), 0x3f590276u);
    // A cubic inside the path and the closing segment back to the first point.
    const Probe closed[] = {{0.2f, 0x3f9c11f9u, 0xbc9357e0u, 0x3e14ba9cu},
                            {0.97f, 0xbd02fa03u, 0xbcac2460u, 0xbebddab5u}};
    for (const Probe& p : closed) {
        s.GetAll(out, p.phase);
        EXPECT_EQ(Bits(out[0]), p.x) << p.phase;
        EXPECT_EQ(Bits(out[1]), p.y) << p.phase;
        EXPECT_EQ(Bits(out[2]), p.z) << p.phase;
    }
    EXPECT_EQ(Bits(s.GetAllPos(0.97f)), 0x3db8a150u);
}

TEST(BezierSpline, PreparedPowersEvaluateEverySegmentKind) {
    FXBezierPhaseH h;
    h.Prepare(0.37f);
    float viaT[3], viaH[3], ref[3];
    FXBezierSpline s;
    Fill(&s, {1, 2, 3, 3, 6, -1}, false); // straight line
    s.Get(viaT, 0.37f);
    s.GetH(viaH, &h);
    EXPECT_EQ(memcmp(viaT, viaH, sizeof(viaT)), 0);

    Fill(&s, {0, 0, 0, 1, 0.5f, 0, 2, 0, 1, 3, 1, 1}, false);
    s.GetAll(viaT, 0.01f); // quadratic first segment
    ASSERT_EQ(s.segKind, 3);
    s.GetH(viaH, &h);
    s.ends[0].GetH(ref, &h);
    EXPECT_EQ(memcmp(viaH, ref, sizeof(ref)), 0);
    s.GetAll(viaT, 0.5f); // cubic middle segment
    ASSERT_EQ(s.segKind, 4);
    s.Get(viaT, 0.37f);
    s.GetH(viaH, &h);
    EXPECT_EQ(memcmp(viaT, viaH, sizeof(viaT)), 0);

    Fill(&s, {4, 4, 4, 4, 4, 4}, false); // fixed
    s.GetH(viaH, &h);
    ExpectPt(viaH, 4, 4, 4, 0);
}

TEST(BezierSpline, OpenPathEndsAtItsLastPoint) {
    // Chords 1, 1 and 0.1: the rounded phases can leave the last point below 1.
    FXBezierSpline s;
    Fill(&s, {0, 0, 0, 1, 0, 0, 1, 1, 0, 1.1f, 1, 0}, false);
    float out[3];
    for (float ph : {0.99f, 1.0f, 0.9999999f}) {
        s.GetAll(out, ph);
        EXPECT_GT(out[0], 0.9f) << ph;
        EXPECT_GT(out[1], 0.9f) << ph;
    }
    s.GetAll(out, 1.0f);
    ExpectPt(out, 1.1f, 1, 0);
    EXPECT_NEAR(s.GetAllPos(1.0f), 1.1f, 1e-6f);
}

TEST(BezierSpline, DegenerateInputStaysFinite) {
    FXBezierSpline s;
    float out[3] = {9, 9, 9};
    s.GetAll(out, 0.5f); // nothing set up at all
    ExpectPt(out, 0, 0, 0, 0);
    Fill(&s, {}, false);
    s.GetAll(out, 0.5f);
    ExpectPt(out, 0, 0, 0, 0);
    Fill(&s, {2, 3, 4}, false);
    s.GetAll(out, 0.7f);
    ExpectPt(out, 2, 3, 4, 0);

    // A point whose neighbours coincide, and a path of one repeated point.
    Fill(&s, {0, 0, 0, 1, 1, 0, 0, 0, 0, 2, 0, 0}, true);
    for (float ph = 0.0f; ph <= 1.0f; ph += 0.05f) {
        s.GetAll(out, ph);
        EXPECT_TRUE(std::isfinite(out[0]) && std::isfinite(out[1]) && std::isfinite(out[2])) << ph;
    }
    Fill(&s, {1, 1, 1, 1, 1, 1, 1, 1, 1}, false);
    for (float ph : {0.0f, 0.5f, 1.0f}) {
        s.GetAll(out, ph);
        ExpectPt(out, 1, 1, 1, 0);
    }
    s.GetAll(out, -0.5f); // outside the range: no walk before the first point
    ExpectPt(out, 1, 1, 1, 0);
}

TEST(BezierSpline, RebuildsForANewPath) {
    FXBezierSpline s;
    Fill(&s, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, true);
    float out[3];
    s.GetAll(out, 0.8f);
    s.Precompute();
    EXPECT_EQ(s.actIndex, 0);
    Fill(&s, {0, 0, 0, 0, 0, 4, 0, 3, 4}, false);
    EXPECT_EQ(s.bezierCount, 3);
    EXPECT_EQ(s.totalLength, 7.0f);
    s.GetAll(out, 1.0f);
    ExpectPt(out, 0, 3, 4);
    s.Destroy();
    EXPECT_EQ(s.GetCnt(), 0);
    EXPECT_EQ(s.bezierCount, 0);
    EXPECT_EQ(s.phases.count, 0);
}
