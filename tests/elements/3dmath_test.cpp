#include "elements/3dmath.h"

#include <cmath>
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

FXMatrix Sequence(float base) {
    FXMatrix m;
    for (int i = 0; i < 16; i++)
        m.m[i] = base + (float)i * 0.5f;
    return m;
}

} // namespace

TEST(Matrix, RotationsUseTheDegreeFactorAndTheirOwnSigns) {
    const float k = 0.017452778f;
    FXMatrix r;
    r.SetRotateX(90);
    EXPECT_FLOAT_EQ(*r.M(1, 2), 1.0f);
    EXPECT_FLOAT_EQ(*r.M(2, 1), -1.0f);
    EXPECT_EQ(Bits(*r.M(1, 1)), Bits(cosf(90.0f * k)));
    EXPECT_NEAR(*r.M(1, 1), 0.0000463f, 0.000001f);
    EXPECT_EQ(*r.M(0, 0), 1.0f);
    EXPECT_EQ(*r.M(3, 3), 1.0f);
    EXPECT_EQ(*r.M(0, 1), 0.0f);

    r.SetRotateY(90);
    EXPECT_FLOAT_EQ(*r.M(0, 2), 1.0f);
    EXPECT_FLOAT_EQ(*r.M(2, 0), -1.0f);
    EXPECT_EQ(*r.M(1, 1), 1.0f);

    r.SetRotateZ(90);
    EXPECT_FLOAT_EQ(*r.M(1, 0), 1.0f);
    EXPECT_FLOAT_EQ(*r.M(0, 1), -1.0f);
    EXPECT_EQ(*r.M(2, 2), 1.0f);

    // 3.1415/180 instead of pi/180 leaves a visible residue at 180 degrees.
    r.SetRotateX(180);
    EXPECT_NEAR(*r.M(1, 2), 0.0000927f, 0.000001f);
    EXPECT_EQ(Bits(*r.M(1, 2)), Bits(sinf(180.0f * k)));
}

TEST(Matrix, MultiplyAppliesTheRightOperandFirst) {
    FXMatrix move, rot, both, id, out;
    move.SetMoveF(1, 0, 0);
    rot.SetRotateZ(-90); // +90 degrees counter-clockwise about Z
    both.Multiply(&move, &rot);
    // Column-major: a point p maps to both * p. (0,1,0) rotates to (-1,0,0)-ish, then moves.
    float p[4] = {1, 0, 0, 1};
    float q[4];
    for (int j = 0; j < 4; j++) {
        q[j] = 0;
        for (int i = 0; i < 4; i++)
            q[j] += *both.M(i, j) * p[i];
    }
    EXPECT_NEAR(q[0], 1.0f, 1e-4f);
    EXPECT_NEAR(q[1], 1.0f, 1e-4f);
    both.Multiply(&rot, &move); // move first, then rotate
    for (int j = 0; j < 4; j++) {
        q[j] = 0;
        for (int i = 0; i < 4; i++)
            q[j] += *both.M(i, j) * p[i];
    }
    EXPECT_NEAR(q[0], 0.0f, 1e-3f);
    EXPECT_NEAR(q[1], 2.0f, 1e-4f);

    FXMatrix a = Sequence(-3.25f);
    id.SetIdentity();
    out.Multiply(&a, &id);
    EXPECT_TRUE(out.Compare(&a));
    out.Multiply(&id, &a);
    EXPECT_TRUE(out.Compare(&a));

    // Element (i, j) sums a(k, j) * b(i, k) over k in order, in single precision.
    FXMatrix b = Sequence(1.1f);
    out.Multiply(&a, &b);
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) {
            float s = 0.0f;
            for (int k = 0; k < 4; k++)
                s = s + *a.M(k, j) * *b.M(i, k);
            EXPECT_EQ(Bits(*out.M(i, j)), Bits(s)) << i << "," << j;
        }
    }
}

TEST(Matrix, SimpleSettersAndCompare) {
    FXMatrix a, b;
    float v[3] = {2.5f, -1.0f, 7.0f};
    a.SetMove(v);
    b.SetMoveF(2.5f, -1.0f, 7.0f);
    EXPECT_TRUE(a.Compare(&b));
    EXPECT_EQ(a.m[12], 2.5f);
    EXPECT_EQ(a.m[13], -1.0f);
    EXPECT_EQ(a.m[14], 7.0f);
    EXPECT_EQ(a.m[15], 1.0f);

    a.SetScale(v);
    EXPECT_EQ(a.m[0], 2.5f);
    EXPECT_EQ(a.m[5], -1.0f);
    EXPECT_EQ(a.m[10], 7.0f);
    EXPECT_EQ(a.m[15], 1.0f);
    EXPECT_EQ(a.m[12], 0.0f);

    a.SetFlipY();
    b.SetIdentity();
    EXPECT_FALSE(a.Compare(&b));
    *b.M(1, 1) = -1.0f;
    EXPECT_TRUE(a.Compare(&b));

    a.SetIdentity();
    a.m[7] = NAN;
    EXPECT_FALSE(a.Compare(&a));
    b.Copy(&a);
    EXPECT_EQ(memcmp(a.m, b.m, sizeof(a.m)), 0);
}

TEST(Matrix, RecordIsSixteenLittleEndianFloats) {
    FXMatrix a = Sequence(0.75f);
    std::string path = mhtest::TestTmpPath("matrix.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    a.Save(f);
    fclose(f);
    mhtest::Bytes expect;
    for (int i = 0; i < 16; i++)
        mhtest::PutFloat(&expect, 0.75f + (float)i * 0.5f);
    EXPECT_EQ(mhtest::ReadFileBytes(path), expect);

    FXMatrix b;
    b.Clear(9);
    f = fopen(path.c_str(), "rb");
    b.Load(f);
    fclose(f);
    EXPECT_EQ(memcmp(a.m, b.m, 64), 0);
}

TEST(Matrix, LoadCTakesBlocksAndFallsBackToIdentity) {
    mhtest::Bytes item;
    for (int i = 0; i < 16; i++)
        mhtest::PutFloat(&item, -2.0f + (float)i);
    item.resize(item.size() + 63, 0xAB); // not a second full record
    FXPackageData d;
    d.InitData(item.data(), (int)item.size());
    FXMatrix m, id;
    m.LoadC(nullptr, &d);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(m.m[i], -2.0f + (float)i);
    m.LoadC(nullptr, &d);
    id.SetIdentity();
    EXPECT_TRUE(m.Compare(&id));
    EXPECT_EQ(d.left, 63);
}

TEST(Vectors, CombineAndBlend) {
    float a[4] = {1, 2, 3, 4}, b[4] = {0.5f, -1, 3, 10}, out[4];
    fxVec4fCombine(out, a, b);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_EQ(out[3], 40.0f);
    float c[3] = {2, 3, 4};
    fxVec3fCombine(c, c, c); // in place
    EXPECT_EQ(c[2], 16.0f);

    const float x[4] = {0.1f, 0.7f, 0.3f, 1.0f}, y[4] = {0.9f, 0.2f, 0.3f, 0.0f};
    float xa[4], ya[4];
    memcpy(xa, x, 16);
    memcpy(ya, y, 16);
    fxVec4fCombineP(out, xa, ya, 0.0f);
    EXPECT_EQ(memcmp(out, x, 16), 0);
    fxVec4fCombineP(out, xa, ya, 1.0f);
    EXPECT_EQ(memcmp(out, y, 16), 0);
    fxVec4fCombineP(out, xa, ya, 0.25f);
    EXPECT_EQ(Bits(out[0]), Bits((0.9f - 0.1f) * 0.25f + 0.1f));
    EXPECT_EQ(out[2], 0.3f);            // equal components stay as they are
    fxVec4fCombineP(out, xa, ya, 1.5f); // extrapolates
    EXPECT_NEAR(out[0], 1.3f, 1e-6f);
    EXPECT_EQ(fxVec1fCombineP(2, 4, 0.5f), 3.0f);
    EXPECT_EQ(fxVec1fCombineP(0.1f, 0.3f, 1.0f), 0.3f);
    float two[2];
    fxVec2fCombineP(two, xa, ya, 0.5f);
    EXPECT_FLOAT_EQ(two[1], 0.45f);
}
