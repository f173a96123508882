#include "elements/sdesk.h"

#include <gtest/gtest.h>

#include "assets/material.h"
#include "support/testenv.h"

namespace {

struct Fog {
    mhtest::ScopedTestEnv scoped;
    FXMaterial mat;
    FXDeskScroll desk;

    Fog() {
        mat.texScaleU = 1.0f;
        mat.texScaleV = 1.0f;
        desk.Create(1, 1);
        desk.SetMaterial(&mat);
    }
    void Frame(double t) { desk.OnRender(&scoped.env, t); }
    float U(int i) const { return desk.mesh.vertices[i].tex[0]; }
    float V(int i) const { return desk.mesh.vertices[i].tex[1]; }
};

} // namespace

TEST(DeskScroll, WindowMapping) {
    Fog f;
    f.mat.texScaleU = 0.5f;
    f.mat.texScaleV = 0.75f;
    f.desk.scaleU = 0.5f;
    f.desk.scaleV = 0.5f;
    f.desk.offsetU = 0.25f;
    f.desk.offsetV = 0.5f;
    f.desk.mesh.flipV = true; // not used by the scrolling mapping
    int before = f.scoped.env.Count("UnprepareMesh");
    f.desk.UpdateTex();
    EXPECT_EQ(f.scoped.env.Count("UnprepareMesh"), before + 1);
    EXPECT_FLOAT_EQ(f.U(0), 0.25f * 0.5f * 0.5f);
    EXPECT_FLOAT_EQ(f.V(0), 0.5f * 0.5f * 0.75f);
    EXPECT_FLOAT_EQ(f.U(3), 1.25f * 0.5f * 0.5f);
    EXPECT_FLOAT_EQ(f.V(3), 1.5f * 0.5f * 0.75f);

    // Exact to the bit: the window scale is applied before the picture's extent, each step in
    // float. These values round differently when the two scales are multiplied together first.
    f.mat.texScaleU = 0.75f;
    f.mat.texScaleV = 0.9375f;
    f.desk.scaleU = 0.7f;
    f.desk.scaleV = 0.7f;
    f.desk.offsetU = 0.1f;
    f.desk.offsetV = 0.1f;
    f.desk.UpdateTex();
    volatile float step = 0.1f * 0.7f;
    EXPECT_EQ(f.U(0), step * 0.75f);
    EXPECT_EQ(f.V(0), step * 0.9375f);
    volatile float right = 0.1f + 1.0f;
    step = right * 0.7f;
    EXPECT_EQ(f.U(3), step * 0.75f);
    EXPECT_EQ(f.V(3), step * 0.9375f);
}

TEST(DeskScroll, FullWindowNeverDrifts) {
    Fog f;
    float u3 = f.U(3);
    for (double t = 1; t < 10; t += 0.5)
        f.Frame(t);
    EXPECT_EQ(f.desk.offsetU, 0.0f);
    EXPECT_EQ(f.desk.offsetV, 0.0f);
    EXPECT_EQ(f.U(3), u3);
    EXPECT_EQ(f.scoped.env.Count("RenderMesh"), 18); // still drawn every frame
}

TEST(DeskScroll, OnlyVDriftsAndWrapsBackIntoRange) {
    Fog f;
    f.desk.periodU = 0;
    f.desk.periodV = 45;
    f.desk.scaleV = 0.5f;
    f.desk.speedV = 1;
    f.desk.lastTime = 100;
    f.Frame(109); // 9 s: -0.5 * 9 / 45 = -0.1, wrapped to 0.9
    EXPECT_FLOAT_EQ(f.desk.offsetV, 0.9f);
    EXPECT_EQ(f.desk.offsetU, 0.0f);
    EXPECT_EQ(f.desk.lastTime, 109.0);
    f.Frame(118);
    EXPECT_FLOAT_EQ(f.desk.offsetV, 0.8f);
    EXPECT_FLOAT_EQ(f.V(3), (0.8f + 1) * 0.5f);
    EXPECT_FLOAT_EQ(f.U(3), 1.0f);

    // Many small frames: the offset always stays within 0..1.
    for (double t = 118; t < 400; t += 0.37) {
        f.Frame(t);
        ASSERT_GE(f.desk.offsetV, 0.0f);
        ASSERT_LE(f.desk.offsetV, 1.0f);
    }
}

TEST(DeskScroll, NegativeSpeedGrowsAndWrapsDown) {
    Fog f;
    f.desk.scaleU = 0.5f;
    f.desk.speedU = -1;
    f.desk.periodU = 10;
    f.desk.lastTime = 1; // past the start-up catch-up
    f.desk.offsetU = 0.75f;
    f.Frame(6); // +0.5 * 5 / 10 = +0.25: exactly 1 stays 1
    EXPECT_EQ(f.desk.offsetU, 1.0f);
    f.desk.offsetU = 0.95f;
    f.Frame(8); // 1.05 wraps to 0.05
    EXPECT_NEAR(f.desk.offsetU, 0.05f, 1e-6);
}

TEST(DeskScroll, CatchUpAfterAPause) {
    Fog f;
    f.desk.scaleU = 0.5f;
    f.desk.periodU = 45;
    f.desk.offsetU = 0.5f;
    f.Frame(1000); // first frame: lastTime 0 trips the guard, no jump
    EXPECT_EQ(f.desk.offsetU, 0.5f);
    EXPECT_EQ(f.desk.lastTime, 1000.0);
    f.Frame(1100); // 100 s later: reset first, no move
    EXPECT_EQ(f.desk.offsetU, 0.5f);
    f.Frame(1109); // 9 s later: -0.5 * 9 / 45
    EXPECT_FLOAT_EQ(f.desk.offsetU, 0.4f);
    f.Frame(1000); // a clock that went back is a pause too
    EXPECT_FLOAT_EQ(f.desk.offsetU, 0.4f);
    EXPECT_EQ(f.desk.lastTime, 1000.0);
}

TEST(DeskScroll, DriftSpeedIndependentOfFrameRate) {
    Fog a, b;
    for (Fog* f : {&a, &b}) {
        f->desk.scaleU = 0.5f;
        f->desk.scaleV = 0.5f;
        f->desk.speedV = -1;
        f->desk.periodU = 20;
        f->desk.periodV = 30;
        f->desk.lastTime = 5;
    }
    for (int k = 1; k <= 100; k++)
        a.Frame(5 + k * 0.1);
    for (int k = 1; k <= 10; k++)
        b.Frame(5 + k * 1.0);
    EXPECT_NEAR(a.desk.offsetU, b.desk.offsetU, 1e-4);
    EXPECT_NEAR(a.desk.offsetV, b.desk.offsetV, 1e-4);
    EXPECT_NEAR(a.desk.offsetU, 1 - 0.25f, 1e-4); // 10 s of 0.5 per 20 s, wrapped
    EXPECT_NEAR(a.desk.offsetV, 0.5f / 3, 1e-4);
}

TEST(DeskScroll, WithoutAPictureItIsDrawnButNeverDrifts) {
    Fog f;
    f.desk.scaleU = 0.5f;
    f.desk.SetMaterial(nullptr);
    f.Frame(0.5);
    f.Frame(0.9);
    EXPECT_EQ(f.desk.offsetU, 0.0f);
    EXPECT_EQ(f.scoped.env.Count("RenderMesh"), 2);
    f.mat.texScaleU = 0;
    f.desk.SetMaterial(&f.mat);
    f.Frame(1.3);
    EXPECT_EQ(f.desk.offsetU, 0.0f);
}

TEST(DeskScroll, ExtremePeriodsCannotHang) {
    Fog f;
    f.desk.scaleU = 0.5f;
    f.desk.scaleV = 0.5f;
    f.desk.periodU = 1000;
    f.desk.periodV = 1e-30; // each frame moves v by an enormous amount
    f.Frame(1);
    f.Frame(500);
    EXPECT_GE(f.desk.offsetV, 0.0f);
    EXPECT_LE(f.desk.offsetV, 1.0f);
    f.desk.periodV = 1e-300; // beyond any float
    f.Frame(900);
    EXPECT_EQ(f.desk.offsetV, 0.0f);
    EXPECT_GE(f.desk.offsetU, 0.0f);
    EXPECT_LE(f.desk.offsetU, 1.0f);
}

TEST(DeskScroll, UpdateTexWithoutAnEnvironment) {
    FXDeskScroll d;
    d.Create(2, 2); // no process environment published: nothing to tell
    EXPECT_EQ(d.mesh.vertexCount, 9);
}
