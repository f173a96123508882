#include <gtest/gtest.h>
#include <math.h>

#include "assets/package.h"
#include "assets/testimages.h"
#include "elements/firefly.h"
#include "render/other.h"
#include "support/glcontext.h"
#include "support/pkgbuild.h"

namespace {

mhtest::Bytes SolidPng(int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    mhtest::Picture p(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p.Set(x, y, r, g, b, a);
    return mhtest::EncodePng(p);
}

// Seven frame pictures at items 16 ... 22, frame i with red = 10 * i; `skip` leaves one out.
std::string FramePackage(const char* name, int skip = -1) {
    std::vector<mhtest::PackageItem> items;
    for (int i = 0; i < 7; i++)
        if (i != skip) items.push_back({16 + i, "png", SolidPng(8, 8, (uint8_t)(10 * i), 0, 0)});
    std::string path = mhtest::TestTmpPath(name);
    EXPECT_TRUE(mhtest::WritePackageItems(path, items));
    return path;
}

float Dist(const float* a, const float* b) {
    float d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return sqrtf(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

class FireFlyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fxLoadDevil() || fxSystemImageCodec());
        ASSERT_TRUE(ctx.Create(64, 64));
    }
    GLContext ctx;
};

TEST(FireFlyPath, StepsStayWithinMaxStepAndTheBox) {
    float centre[3] = {0.5f, -0.5f, -0.25f};
    float extent[3] = {1.0f, 1.0f, 0.1f};
    bool firstLeft = false, firstRight = false;
    for (unsigned seed = 1; seed <= 40; seed++) {
        fxSeedRandom(seed * 2654435761u);
        FXFireFly f;
        f.lightOn = false;
        f.pointCount = 16;
        f.maxStep = 0.1f;
        f.secondsPerUnit = 132;
        f.Prepare(centre, extent);
        ASSERT_EQ(f.path.GetCnt(), 16);
        float* p = f.path.points.items;
        for (int i = 0; i < 16; i++) {
            for (int k = 0; k < 3; k++) {
                EXPECT_GE(p[3 * i + k], centre[k] - extent[k] - 1e-5f);
                EXPECT_LE(p[3 * i + k], centre[k] + extent[k] + 1e-5f);
            }
            if (i > 0) {
                EXPECT_LE(Dist(p + 3 * i, p + 3 * (i - 1)), 0.1f + 1e-5f) << "seed " << seed;
            }
        }
        (p[0] < centre[0] ? firstLeft : firstRight) = true;
        EXPECT_DOUBLE_EQ(f.flightDuration, f.path.meanLength * 132.0);
    }
    // The first point is free to lie anywhere in the box.
    EXPECT_TRUE(firstLeft && firstRight);
}

TEST(FireFlyPath, FlightTimeFollowsTheMeanSegmentLength) {
    // Candidates far apart are all pulled back to maxStep: every segment is 0.08 long.
    fxSeedRandom(5);
    FXFireFly f;
    f.lightOn = false;
    f.pointCount = 16;
    f.maxStep = 0.08f;
    f.secondsPerUnit = 120;
    float centre[3] = {0, 0, 0};
    float extent[3] = {1000, 1000, 1000};
    f.Prepare(centre, extent);
    EXPECT_NEAR(f.path.meanLength, 0.08f, 1e-4f);
    EXPECT_NEAR(f.flightDuration, 9.6, 1e-3);
}

TEST(FireFlyFlight, BrightnessRampsAndTheLightFollows) {
    fxSeedRandom(11);
    FXFireFly f;
    f.lightAimsAtOrigin = true;
    f.pointCount = 16;
    f.maxStep = 0.1f;
    float centre[3] = {0, -0.7f, -0.25f};
    float extent[3] = {1.0f, 0.3f, 0.1f};
    f.Prepare(centre, extent);
    f.flightDuration = 10;
    EXPECT_FALSE(f.IsPlaying());
    f.Start(100);
    EXPECT_TRUE(f.IsPlaying());

    struct {
        double t;
        float brightness;
    } cases[] = {{100.25, 0.5f}, {105, 1.0f}, {109.75, 0.5f}};
    for (auto& c : cases) {
        f.PreRender(nullptr, c.t);
        EXPECT_NEAR(f.brightness, c.brightness, 1e-4f) << "t " << c.t;
        EXPECT_NEAR(f.ShownMaterial()->diffuse[3], c.brightness, 1e-4f);
        EXPECT_FLOAT_EQ(f.light.diffuse[0], f.brightness);
        EXPECT_FLOAT_EQ(f.light.specular[2], f.brightness);
        EXPECT_FLOAT_EQ(f.light.diffuse[3], 1.0f);
        for (int k = 0; k < 3; k++) {
            EXPECT_FLOAT_EQ(f.light.position[k], f.curPos[k]);
            EXPECT_FLOAT_EQ(f.light.spotDirection[k], -f.curPos[k]);
            EXPECT_LE(fabsf(f.curPos[k] - centre[k]), extent[k] + 1e-4f);
        }
        EXPECT_FLOAT_EQ(f.light.position[3], 1.0f);
    }

    // The flight ends at the last point of the path, dark, and stops.
    f.PreRender(nullptr, 110.5);
    EXPECT_FALSE(f.IsPlaying());
    EXPECT_FLOAT_EQ(f.brightness, 0.0f);
    float* last = f.path.points.items + 3 * 15;
    EXPECT_LT(Dist(f.curPos, last), 1e-4f);
    float kept[3] = {f.curPos[0], f.curPos[1], f.curPos[2]};
    float keptDiffuse = f.light.diffuse[0];
    f.curPos[0] += 1;
    f.PreRender(nullptr, 111);
    EXPECT_FLOAT_EQ(f.light.position[0], kept[0]);
    EXPECT_FLOAT_EQ(f.light.diffuse[0], keptDiffuse);
}

TEST_F(FireFlyTest, AnimationPlaysForwardsThenBackwards) {
    FXPackage pck;
    ASSERT_TRUE(pck.Load(FramePackage("frames.dat").c_str()));
    FXFireFly f;
    EXPECT_TRUE(f.CreateManyCN(&pck, 16, 1, 7));
    EXPECT_EQ(f.frameCount, 7);
    f.noPos = true;
    std::vector<int> shown;
    for (int i = 0; i < 16; i++) {
        double t = 50 + i * 0.0625;
        f.PreRender(&ctx.gl, t);
        shown.push_back(f.curFrame);
        EXPECT_EQ(f.desk.mesh.material, (FXMaterial*)f.frames.items[f.curFrame]);
        // A second call within the frame interval does not step.
        f.PreRender(&ctx.gl, t + 0.03125);
        EXPECT_EQ(f.curFrame, shown.back());
    }
    std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 6, 5, 4, 3, 2, 1, 0, 0, 1};
    EXPECT_EQ(shown, expected);

    // Built again after Destroy, it starts over from its first frame.
    f.Destroy();
    EXPECT_EQ(f.frameCount, 0);
    EXPECT_TRUE(f.CreateManyCN(&pck, 16, 1, 7));
    f.PreRender(&ctx.gl, 60);
    EXPECT_EQ(f.curFrame, 0);
    EXPECT_EQ(f.desk.mesh.material, (FXMaterial*)f.frames.items[0]);
}

// A firefly that shares another's frames draws the same textures with colours of its own,
// and going away never deletes the textures it does not own.
TEST_F(FireFlyTest, SharedFramesKeepTheirOwnColoursAndLeaveTheOwnersTextures) {
    FXPackage pck;
    ASSERT_TRUE(pck.Load(FramePackage("shared.dat").c_str()));
    FXFireFly owner;
    ASSERT_TRUE(owner.CreateManyCN(&pck, 16, 1, 7));
    {
        FXFireFly user;
        ASSERT_TRUE(user.ShareFrames(&owner));
        ASSERT_EQ(user.frameCount, 7);
        for (int i = 0; i < 7; i++) {
            FXMaterial* a = (FXMaterial*)owner.frames.items[i];
            FXMaterial* b = (FXMaterial*)user.frames.items[i];
            EXPECT_NE(a, b);
            EXPECT_EQ(a->texId, b->texId);
            EXPECT_EQ(b->GetWidth(), 8);
        }
        user.noPos = owner.noPos = true;
        user.brightness = 0.25f;
        user.PreRender(&ctx.gl, 1);
        owner.PreRender(&ctx.gl, 1);
        EXPECT_FLOAT_EQ(user.ShownMaterial()->diffuse[3], 0.25f);
        EXPECT_FLOAT_EQ(owner.ShownMaterial()->diffuse[3], 1.0f);
        // Loading a picture into a sharing material gives it a texture of its own.
        FXMaterial* b = (FXMaterial*)user.frames.items[0];
        ASSERT_TRUE(b->LoadTextureCN(&pck, 17));
        EXPECT_NE(b->texId, ((FXMaterial*)owner.frames.items[0])->texId);
    }
    for (int i = 0; i < 7; i++)
        EXPECT_TRUE(glIsTexture((GLuint)((FXMaterial*)owner.frames.items[i])->texId)) << i;
}

TEST_F(FireFlyTest, MissingFramesAreSkippedAndTheLightIsRegistered) {
    FXPackage pck;
    ASSERT_TRUE(pck.Load(FramePackage("frames_gap.dat", 3).c_str()));
    {
        FXFireFly f;
        EXPECT_FALSE(f.CreateManyCN(&pck, 16, 1, 7));
        EXPECT_EQ(f.frameCount, 6);
        int slots = 0;
        for (FXLight* l : ctx.gl.lights)
            if (l == &f.light) slots++;
        EXPECT_EQ(slots, 1);
        // Frame 4 of the package (red 40) follows frame 2 (red 20).
        EXPECT_EQ(((FXMaterial*)f.frames.items[3])->texture->pixmap.pixels[0] & 0xFF, 40u);
    }
    // A destroyed firefly leaves no light behind in the environment.
    for (FXLight* l : ctx.gl.lights)
        EXPECT_EQ(l, nullptr);

    FXPackage empty;
    FXFireFly none;
    EXPECT_FALSE(none.CreateManyCN(&empty, 16, 1, 7));
    EXPECT_EQ(none.frameCount, 0);
    EXPECT_EQ(none.desk.mesh.material, &none.material);
    none.noPos = true;
    none.PreRender(&ctx.gl, 1.0);
    EXPECT_EQ(none.ShownMaterial(), &none.material);
}

TEST_F(FireFlyTest, PicturesFromFiles) {
    for (int i = 1; i <= 3; i++)
        ASSERT_TRUE(mhtest::WriteFileBytes(mhtest::TestTmpPath("fly" + std::to_string(i) + ".png"),
                                           SolidPng(4, 4, (uint8_t)(50 * i), 0, 0)));
    FXFireFly many;
    EXPECT_TRUE(many.CreateMany(mhtest::TestTmpPath("fly%d.png").c_str(), 1, 3));
    EXPECT_EQ(many.frameCount, 3);
    EXPECT_EQ(((FXMaterial*)many.frames.items[2])->texture->pixmap.pixels[0] & 0xFF, 150u);
    EXPECT_FALSE(many.CreateMany(mhtest::TestTmpPath("fly%d.png").c_str(), 2, 4));
    EXPECT_EQ(many.frameCount, 2);

    FXFireFly one;
    EXPECT_TRUE(one.Create(mhtest::TestTmpPath("fly1.png").c_str()));
    EXPECT_TRUE(one.material.textured);
    EXPECT_EQ(one.desk.mesh.material, &one.material);
    FXFireFly none;
    EXPECT_FALSE(none.Create(mhtest::TestTmpPath("missing.png").c_str()));
    EXPECT_EQ(none.desk.cols, 1);
}

TEST_F(FireFlyTest, SpriteIsDrawnAtItsPixelSizeWhereItFlies) {
    FXPackage pck;
    ASSERT_TRUE(pck.Load(FramePackage("sprite.dat").c_str()));
    FXFireFly f;
    f.lightOn = false;
    ASSERT_TRUE(f.CreateManyCN(&pck, 16, 1, 7));
    // A path of two equal points keeps the firefly at (0.5, 0.5).
    float centre[3] = {0.5f, 0.5f, 0.0f};
    float extent[3] = {0, 0, 0};
    f.pointCount = 2;
    f.Prepare(centre, extent);
    f.flightDuration = 10;
    f.Start(0);
    f.PreRender(&ctx.gl, 5.0);
    ((FXMaterial*)f.frames.items[f.curFrame])->SetDefDiffuse(1.0f);

    // Frame 0 is black: clear to white and find the black sprite.
    float white[4] = {1, 1, 1, 1};
    ctx.gl.SetClrColor(white);
    ctx.gl.Clrscr(true, true, false);
    ctx.gl.EnableDepthTest(false);
    ctx.gl.EnableLights(false);
    FXMatrix before;
    before.SetScaleF(1, 1, 1);
    ctx.gl.ApplyMatrix(&before);
    f.OnRender(&ctx.gl, 5.0);
    EXPECT_TRUE(ctx.gl.matrix.Compare(&before));
    std::vector<uint8_t> px = ctx.Read();
    ASSERT_FALSE(px.empty());
    // Centre (48, 16) in pixels, 8 x 8: columns and rows 44 ... 51 and 12 ... 19.
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            bool inside = x >= 44 && x < 52 && y >= 12 && y < 20;
            uint32_t p = GLContext::Pixel(px, 64, x, y);
            EXPECT_EQ(p >> 8, inside ? 0x000000u : 0xFFFFFFu) << x << "," << y;
        }

    // Once the flight is over nothing is drawn.
    f.PreRender(&ctx.gl, 20.0);
    EXPECT_FALSE(f.IsPlaying());
    ctx.gl.Clrscr(true, true, false);
    f.OnRender(&ctx.gl, 20.0);
    px = ctx.Read();
    EXPECT_EQ(GLContext::Pixel(px, 64, 48, 16) >> 8, 0xFFFFFFu);
}

} // namespace
