#include "elements/scrpos01.h"

#include <gtest/gtest.h>

#include "support/testenv.h"

namespace {

// Where the matrix puts the desk point (x, y).
void Map(FXMatrix& m, float x, float y, float* ox, float* oy) {
    *ox = *m.M(0, 0) * x + *m.M(1, 0) * y + *m.M(3, 0);
    *oy = *m.M(0, 1) * x + *m.M(1, 1) * y + *m.M(3, 1);
}

// Expects the desk's square to land on x0..x1 (left, right), y0..y1 (bottom, top).
void ExpectSpan(FXMatrix& m, float x0, float x1, float y0, float y1) {
    float ax, ay, bx, by;
    Map(m, -1, -1, &ax, &ay);
    Map(m, 1, 1, &bx, &by);
    EXPECT_NEAR(ax, x0, 1e-6);
    EXPECT_NEAR(bx, x1, 1e-6);
    EXPECT_NEAR(ay, y0, 1e-6);
    EXPECT_NEAR(by, y1, 1e-6);
}

FXScrPos01 Layer(float rw, float rh, float w, float h) {
    FXScrPos01 p;
    p.refWidth = rw;
    p.refHeight = rh;
    p.width = w;
    p.height = h;
    return p;
}

} // namespace

TEST(ScrPos01, PlacesTheLayerRectangle) {
    FXScrPos01 p = Layer(1024, 768, 512, 384);
    p.SetPos(0, 0);
    ExpectSpan(p.matrix, -1, 0, 0, 1); // left-top quarter
    p.SetPos(512, 384);
    ExpectSpan(p.matrix, 0, 1, -1, 0);
    p.UpdateSize();
    ExpectSpan(p.matrix, -0.5f, 0.5f, -0.5f, 0.5f);

    FXScrPos01 q = Layer(1000, 500, 100, 100);
    q.SetPos(500, 0);
    q.ShiftPos(-0.04f, 0.1f);
    EXPECT_FLOAT_EQ(q.posX, 460);
    EXPECT_FLOAT_EQ(q.posY, 50);
    ExpectSpan(q.matrix, -0.08f, 0.12f, 0.4f, 0.8f);
}

TEST(ScrPos01, MissingSizesGiveTheIdentity) {
    FXScrPos01 p;
    EXPECT_TRUE(p.relative == false);
    p.Update();
    FXMatrix id;
    id.SetIdentity();
    EXPECT_TRUE(p.matrix.Compare(&id));
    FXScrPos01 q = Layer(1024, 0, 10, 10);
    q.SetPos(5, 5);
    EXPECT_TRUE(q.matrix.Compare(&id));
    q.UpdateSize();
    EXPECT_TRUE(q.matrix.Compare(&id));
    q.UpdateAspectH1(1, 1920, 1080); // nothing to correct against
    EXPECT_TRUE(q.matrix.Compare(&id));
}

TEST(ScrPos01, AspectCorrectionOnAWideScreen) {
    FXScrPos01 p = Layer(1024, 768, 1024, 768);
    p.SetPos(0, 0);
    p.UpdateAspectH1(1, 1920, 1080);
    ExpectSpan(p.matrix, -0.5f, 1, -1, 1);
    p.Update();
    p.UpdateAspectH1(-1, 1920, 1080);
    ExpectSpan(p.matrix, -1, 0.5f, -1, 1);
    p.Update();
    p.UpdateAspectH1(0, 1920, 1080);
    ExpectSpan(p.matrix, -0.75f, 0.75f, -1, 1);
    p.Update();
    p.UpdateAspectH1(1, 1024, 768); // same aspect: unchanged
    ExpectSpan(p.matrix, -1, 1, -1, 1);
    p.UpdateAspectH1(1, 1024, 1024); // taller screen: unchanged
    ExpectSpan(p.matrix, -1, 1, -1, 1);

    // A quarter-size layer keeps its proportions and its right edge.
    FXScrPos01 q = Layer(1024, 768, 512, 384);
    q.SetPos(512, 0);
    q.UpdateAspectH1(1, 1920, 1080);
    ExpectSpan(q.matrix, 0.25f, 1, 0, 1);
}

TEST(ScrPos01, PixelRectangle) {
    FXScrPos01 p = Layer(1024, 768, 300.7f, 200.2f);
    p.SetPos(100.5f, 50.25f);
    FXRect rc;
    p.GetPixelRC(&rc, 2048, 1536);
    EXPECT_EQ(rc.left, 201);
    EXPECT_EQ(rc.top, 100);
    EXPECT_EQ(rc.right, 802);  // trunc(401.2) = 401, * 2
    EXPECT_EQ(rc.bottom, 500); // trunc(250.45) = 250, * 2

    FXScrPos01 z;
    rc.left = 7;
    z.GetPixelRC(&rc, 1920, 1080); // no canvas: an empty rectangle, no division by zero
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.right, 0);
}

TEST(ScrPos01, OnRenderLoadsOrComposesTheMatrix) {
    mhtest::ScopedTestEnv scoped;
    FXScrPos01 p = Layer(1024, 768, 512, 384);
    p.SetPos(0, 0);
    p.OnRender(&scoped.env, 0);
    EXPECT_EQ(scoped.env.Count("ApplyMatrix"), 1);
    EXPECT_EQ(scoped.env.Count("MultiplyMatrix"), 0);
    p.relative = true;
    p.OnRender(&scoped.env, 0);
    EXPECT_EQ(scoped.env.Count("ApplyMatrix"), 2);
}
