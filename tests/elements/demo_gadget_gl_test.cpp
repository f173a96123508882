#include <gtest/gtest.h>

#include <algorithm>
#include <math.h>

#include "assets/package.h"
#include "assets/testimages.h"
#include "elements/demo_gadget.h"
#include "render/other.h"
#include "support/glcontext.h"
#include "support/pkgbuild.h"
#include "support/testenv.h"

namespace {

const uint8_t kSkinRed[3] = {255, 0, 0};

// Skin: an opaque red frame `frame` texels wide (a quarter of the 16-texel side unless
// given) around a clear middle; environment: plain green. A skin of 64 texels with a frame of
// 8 is also clear over the middle the cube leaves out (a quarter of the side in from each edge).
std::string CubePackage(const char* name, int side = 16, int frame = 4) {
    mhtest::Picture skin(side, side), env(16, 16);
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            int edge = std::min(std::min(x, y), std::min(side - 1 - x, side - 1 - y));
            skin.Set(x, y, kSkinRed[0], kSkinRed[1], kSkinRed[2], edge < frame ? 255 : 0);
        }
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            env.Set(x, y, 0, 255, 0, 255);
        }
    std::string path = mhtest::TestTmpPath(name);
    EXPECT_TRUE(mhtest::WritePackageItems(path, {{75, "png", mhtest::EncodePng(skin)},
                                                 {76, "png", mhtest::EncodePng(env)}}));
    return path;
}

void Transform(FXMatrix& m, const float* v, float w, float* out) {
    for (int r = 0; r < 3; r++)
        out[r] = m.m[r] * v[0] + m.m[4 + r] * v[1] + m.m[8 + r] * v[2] + m.m[12 + r] * w;
}

double g_clock = 0;
double FakeClock() {
    return g_clock;
}

TEST(DemoGadget, FacesCloseACubeAndTheLoopIsClosedInsideTheSquare) {
    FXPackage none;
    FXDemoGadget gad;
    gad.CreateCN(&none, 76, 75);

    FXMatrix move;
    move.SetMoveF(0, 0, -1);
    EXPECT_TRUE(gad.faceMatrix[0].Compare(&move));
    // Each face lies on a different side of the cube of half-size 1, its normal outwards.
    int sides = 0;
    for (int i = 0; i < 6; i++) {
        float centre[3], normal[3], corner[3];
        const float origin[3] = {0, 0, 0}, deskNormal[3] = {0, 0, -1};
        Transform(gad.faceMatrix[i], origin, 1, centre);
        Transform(gad.faceMatrix[i], deskNormal, 0, normal);
        int axis = -1;
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR(normal[k], centre[k], 1e-5f) << "face " << i;
            if (fabsf(centre[k]) > 0.5f) axis = k;
        }
        ASSERT_GE(axis, 0);
        EXPECT_NEAR(fabsf(centre[axis]), 1, 1e-5f);
        sides |= 1 << (2 * axis + (centre[axis] > 0));
        for (float cx : {-1.f, 1.f})
            for (float cy : {-1.f, 1.f}) {
                const float c[3] = {cx, cy, 0};
                Transform(gad.faceMatrix[i], c, 1, corner);
                // The degree factor is single precision: 180 degrees is not exactly a half turn.
                EXPECT_NEAR(corner[axis], centre[axis], 2e-4f) << "face " << i;
            }
        if (i == 5) {
            EXPECT_NEAR(centre[2], 1, 1e-5f);
            EXPECT_NEAR(normal[2], 1, 1e-5f);
        }
    }
    EXPECT_EQ(sides, 63);

    ASSERT_EQ(gad.path.GetCnt(), 20);
    EXPECT_TRUE(gad.path.closed);
    for (int i = 0; i < 20; i++) {
        float* p = gad.path.points.items + 3 * i;
        EXPECT_LE(fabsf(p[0]), 0.7f);
        EXPECT_LE(fabsf(p[1]), 0.7f);
        EXPECT_EQ(p[2], 0.0f);
    }
    float a[3], b[3];
    gad.path.GetAll(a, 0);
    gad.path.GetAll(b, 1);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(a[k], b[k], 1e-5f);
    EXPECT_NEAR(gad.travel.duration, 640 * gad.path.meanLength, 1e-3);
}

TEST(DemoGadget, TheLoopFollowsTheClockItIsBuiltOn) {
    FXPackage none;
    auto loopAt = [&](double clock) {
        fxSeedRandom(7);
        g_clock = clock;
        FXDemoGadget gad;
        gad.CreateCN(&none, 76, 75);
        return std::vector<float>(gad.path.points.items, gad.path.points.items + 60);
    };
    fxSetRandomClock(FakeClock);
    std::vector<float> a = loopAt(1000), b = loopAt(1000), c = loopAt(1000.5);
    fxSetRandomClock(nullptr);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(DemoGadget, WaitsFifteenSecondsThenFadesInOverTwo) {
    ASSERT_TRUE(fxLoadDevil() || fxSystemImageCodec());
    GLContext ctx; // the sphere-mapping switches go to OpenGL directly
    ASSERT_TRUE(ctx.Create(16, 16));
    mhtest::ScopedTestEnv scoped;
    mhtest::TestEnv& env = scoped.env;
    FXPackage pck;
    ASSERT_TRUE(pck.Load(CubePackage("fade.dat").c_str()));
    FXDemoGadget gad;
    gad.CreateCN(&pck, 76, 75);
    ASSERT_TRUE(gad.reflectMat.textured);
    ASSERT_TRUE(gad.skinMat.textured);

    const double t0 = 500;
    env.calls.clear();
    for (double t : {t0, t0 + 7.0, t0 + 14.9, t0 + 15.0})
        gad.OnRender(&env, t);
    EXPECT_TRUE(env.calls.empty()) << "drawn within the first 15 s";

    gad.OnRender(&env, t0 + 16);
    EXPECT_FLOAT_EQ(gad.reflectMat.diffuse[3], 0.5f * gad.reflectMat.savedDiffuse[3]);
    EXPECT_FLOAT_EQ(gad.skinMat.diffuse[3], 0.5f * gad.skinMat.savedDiffuse[3]);
    EXPECT_FLOAT_EQ(gad.reflectMat.diffuse[0], 0.5f) << "the reflection is darkened";
    // Six reflective faces, then six skins over them, each on its own side of the cube.
    ASSERT_EQ(env.drawn.size(), 12u);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(env.drawn[i].mesh, &gad.faces[i].mesh);
        EXPECT_EQ(env.drawn[6 + i].mesh, &gad.skins[i].mesh);
        const float o[3] = {0, 0, 0};
        float inner[3], outer[3], centre[3];
        Transform(env.drawn[i].matrix, o, 1, inner);
        Transform(env.drawn[6 + i].matrix, o, 1, outer);
        float p[3];
        gad.path.GetAll(p, gad.travel.phase);
        for (int k = 0; k < 3; k++) {
            inner[k] -= p[k];
            outer[k] -= p[k];
            centre[k] = outer[k] - inner[k] * 1.001f;
        }
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(centre[k], 0, 1e-5f) << "the skin sits just outside face " << i;
    }

    gad.OnRender(&env, t0 + 17);
    EXPECT_FLOAT_EQ(gad.reflectMat.diffuse[3], gad.reflectMat.savedDiffuse[3]);
    EXPECT_FLOAT_EQ(gad.skinMat.diffuse[3], gad.skinMat.savedDiffuse[3]);
    EXPECT_FALSE(gad.fadingIn);
    gad.reflectMat.diffuse[3] = 0.25f;
    gad.OnRender(&env, t0 + 18);
    EXPECT_EQ(gad.reflectMat.diffuse[3], 0.25f) << "colours are left alone once faded in";
}

// Drawn whole, or as a ring round the middle when the picture is clear there: the same pixels.
class DemoGadgetSkin : public testing::TestWithParam<int> {};

const int kFrameOf64 = 8;

TEST_P(DemoGadgetSkin, CoversTheReflectionWhichShowsThroughItsClearParts) {
    const int side = GetParam(), frameTexels = side == 64 ? kFrameOf64 : 4;
    ASSERT_TRUE(fxLoadDevil() || fxSystemImageCodec());
    const int kSide = 200;
    GLContext ctx;
    ASSERT_TRUE(ctx.Create(kSide, kSide));
    FXPackage pck;
    ASSERT_TRUE(pck.Load(CubePackage("pixels.dat", side, frameTexels).c_str()));
    FXDemoGadget gad;
    gad.CreateCN(&pck, 76, 75);
    EXPECT_EQ(gad.skins[0].mesh.indexCount, side == 64 ? 24 : 6) << "drawn as a ring only round a clear middle";
    FXGL& gl = ctx.gl;
    const double t0 = 1000;
    gad.OnRender(&gl, t0);
    gad.OnRender(&gl, t0 + 15);
    gad.OnRender(&gl, t0 + 17);

    // Squarely facing the viewer at the start of its loop: the front face spans
    // 0.3 x 0.366 around the loop's first point.
    const double t = t0 + 20;
    gad.spinX.start = gad.spinY.start = gad.travel.start = t;
    float black[4] = {0, 0, 0, 1};
    gl.SetClrColor(black);
    gl.Clrscr(true, true, false);
    gl.ApplyMatrixIdentity();
    gl.EnableLights(false);
    gl.EnableDepthTest(true);
    gl.EnableDepthWrite(true);
    glDisable(GL_ALPHA_TEST);
    gad.OnRender(&gl, t);
    std::vector<uint8_t> px = ctx.Read();
    ASSERT_FALSE(px.empty());
    GLint gen = 1;
    glGetIntegerv(GL_TEXTURE_GEN_S, &gen);
    EXPECT_EQ(gen, 0) << "sphere mapping is switched off again";

    float* p = gad.path.points.items;
    auto toPixel = [&](float v, bool vertical) {
        return vertical ? (1 - v) / 2 * kSide : (v + 1) / 2 * kSide;
    };
    double left = toPixel(p[0] - 0.3f, false), right = toPixel(p[0] + 0.3f, false);
    double top = toPixel(p[1] + 0.366f, true), bottom = toPixel(p[1] - 0.366f, true);
    const double frame = (double)frameTexels / side;
    double fw = (right - left) * frame, fh = (bottom - top) * frame; // the skin's frame
    int skin = 0, reflection = 0, background = 0;
    for (int y = 0; y < kSide; y++)
        for (int x = 0; x < kSide; x++) {
            double cx = x + 0.5, cy = y + 0.5;
            uint32_t c = GLContext::Pixel(px, kSide, x, y) >> 8;
            auto within = [&](double l, double r, double tp, double b, double m) {
                return cx > l + m && cx < r - m && cy > tp + m && cy < b - m;
            };
            if (!within(left, right, top, bottom, -1.5)) {
                EXPECT_EQ(c, 0u) << "outside the cube at " << x << "," << y;
                background++;
            } else if (within(left + fw, right - fw, top + fh, bottom - fh, 3)) {
                EXPECT_EQ(c, 0x00FF00u) << "the reflection at " << x << "," << y;
                reflection++;
            } else if (within(left, right, top, bottom, 1.5) &&
                       !within(left + fw, right - fw, top + fh, bottom - fh, -3)) {
                EXPECT_EQ(c, 0xFF0000u) << "the skin at " << x << "," << y;
                skin++;
            }
        }
    EXPECT_GT(skin, side == 64 ? 400 : 1000);
    EXPECT_GT(reflection, 300);
    EXPECT_GT(background, 10000);
}

INSTANTIATE_TEST_SUITE_P(WholeAndRing, DemoGadgetSkin, testing::Values(16, 64));

} // namespace
