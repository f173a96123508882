#include <gtest/gtest.h>

#include "assets/package.h"
#include "assets/testimages.h"
#include "elements/err_gadget.h"
#include "support/glcontext.h"
#include "support/pkgbuild.h"
#include "support/testenv.h"

namespace {

std::string ErrorPackage(const char* name, int w, int h) {
    mhtest::Picture p(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p.Set(x, y, 0, 255, 0, 255);
    std::string path = mhtest::TestTmpPath(name);
    EXPECT_TRUE(mhtest::WritePackageItems(path, {{74, "png", mhtest::EncodePng(p)}}));
    return path;
}

// Where the placement puts a desk corner, in normalised screen coordinates.
void Corner(FXMatrix& m, float x, float y, float* out) {
    out[0] = m.m[0] * x + m.m[4] * y + m.m[12];
    out[1] = m.m[1] * x + m.m[5] * y + m.m[13];
}

TEST(ErrGadget, PlacesThePictureUnscaledTenPixelsFromTheTopLeft) {
    ASSERT_TRUE(fxLoadDevil() || fxSystemImageCodec());
    mhtest::ScopedTestEnv scoped;
    scoped.env.screenWidth = 1024;
    scoped.env.screenHeight = 768;
    FXPackage pck;
    ASSERT_TRUE(pck.Load(ErrorPackage("err512.dat", 512, 128).c_str()));
    FXErrGadget gad;
    gad.CreateCN(&pck, 74);
    float lt[2], rb[2];
    Corner(gad.placement.matrix, -1, 1, lt);
    Corner(gad.placement.matrix, 1, -1, rb);
    EXPECT_NEAR(lt[0], -0.98046875f, 1e-6f);
    EXPECT_NEAR(lt[1], 0.97395833f, 1e-6f);
    EXPECT_NEAR(rb[0], 0.01953125f, 1e-6f);
    EXPECT_NEAR(rb[1], 0.640625f, 1e-6f);

    // Hidden, it touches nothing.
    scoped.env.calls.clear();
    gad.OnRender(&scoped.env, 1.0);
    EXPECT_TRUE(scoped.env.calls.empty());

    gad.visible = true;
    gad.OnRender(&scoped.env, 1.0);
    EXPECT_EQ(scoped.env.Count("RenderMesh"), 1);
    EXPECT_EQ(scoped.env.Count("ApplyMatrix"), 1);
}

TEST(ErrGadget, MissingPictureDrawsNothing) {
    ASSERT_TRUE(fxLoadDevil() || fxSystemImageCodec());
    mhtest::ScopedTestEnv scoped;
    scoped.env.screenWidth = 1024;
    scoped.env.screenHeight = 768;
    FXPackage empty;
    FXErrGadget gad;
    gad.CreateCN(&empty, 74);
    gad.visible = true;
    scoped.env.calls.clear();
    gad.OnRender(&scoped.env, 1.0);
    EXPECT_EQ(scoped.env.Count("RenderMesh"), 0);
}

TEST(ErrGadget, DrawsOverTheFrameWithoutDepthOrLight) {
    ASSERT_TRUE(fxLoadDevil() || fxSystemImageCodec());
    GLContext ctx;
    ASSERT_TRUE(ctx.Create(128, 96));
    FXPackage pck;
    ASSERT_TRUE(pck.Load(ErrorPackage("err32.dat", 32, 16).c_str()));
    {
        FXErrGadget gad;
        gad.CreateCN(&pck, 74);
        gad.visible = true;
        float black[4] = {0, 0, 0, 1};
        ctx.gl.SetClrColor(black);
        ctx.gl.Clrscr(true, true, false);
        ctx.gl.EnableDepthTest(true);
        ctx.gl.EnableDepthWrite(true);
        ctx.gl.EnableLights(true);
        gad.OnRender(&ctx.gl, 0);
        EXPECT_FALSE(ctx.gl.depthTest);
        EXPECT_FALSE(ctx.gl.depthWrite);
        EXPECT_FALSE(ctx.gl.lightsEnabled);
        std::vector<uint8_t> px = ctx.Read();
        ASSERT_FALSE(px.empty());
        for (int y = 0; y < 96; y++)
            for (int x = 0; x < 128; x++) {
                bool inside = x >= 10 && x < 42 && y >= 10 && y < 26;
                EXPECT_EQ(GLContext::Pixel(px, 128, x, y) >> 8, inside ? 0x00FF00u : 0u) << x << "," << y;
            }
    }
}

} // namespace
