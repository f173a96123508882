#include <gtest/gtest.h>
#include <math.h>

#include "assets/package.h"
#include "assets/testimages.h"
#include "elements/vesk_gadget.h"
#include "geometry/mesh.h"
#include "support/glcontext.h"
#include "support/pkgbuild.h"
#include "support/testenv.h"

namespace {

void Transform(const FXMatrix& m, float x, float y, float z, float w, float* out) {
    for (int r = 0; r < 3; r++)
        out[r] = m.m[r] * x + m.m[4 + r] * y + m.m[8 + r] * z + m.m[12 + r] * w;
}

// A model of one triangle, so that its drawing shows in the recording.
FXMesh* AddTriangle(FXModel* model) {
    FXMesh* m = new FXMesh;
    m->Realloc(3, 3);
    memset(m->vertices, 0, sizeof(tagFXVertex) * 3);
    for (int i = 0; i < 3; i++)
        m->indices[i] = i;
    model->meshes.Push(m);
    return m;
}

const FXMatrix* ModelMatrix(mhtest::TestEnv& env, FXMesh* mesh) {
    for (auto& d : env.drawn)
        if (d.mesh == mesh) return &d.matrix;
    return nullptr;
}

TEST(VeskGadget, SitsInTheBottomRightCornerAndStaysRound) {
    mhtest::ScopedTestEnv scoped;
    mhtest::TestEnv& env = scoped.env;
    FXPackage none;
    FXVeskGadget gad;
    gad.CreateCN(&none, 23, 73);
    FXMesh* mesh = AddTriangle(&gad.model);
    const struct {
        int w, h;
        float cx, cy;
    } windows[] = {{1600, 1200, 0.765f, -0.67f}, {800, 800, 0.72f, -0.67f}, {600, 1200, 0.72f, -0.76f}};
    for (auto& win : windows) {
        env.width = win.w;
        env.height = win.h;
        env.drawn.clear();
        gad.OnRender(&env, 1.0);
        const FXMatrix* m = ModelMatrix(env, mesh);
        ASSERT_NE(m, nullptr);
        float c[3], right[3], up[3];
        Transform(*m, 0, 0, 0, 1, c);
        EXPECT_NEAR(c[0], win.cx, 1e-5f) << win.w << "x" << win.h;
        EXPECT_NEAR(c[1], win.cy, 1e-5f) << win.w << "x" << win.h;
        EXPECT_NEAR(c[2], -1, 1e-5f);
        // The unit square spans as many pixels across as up.
        Transform(*m, 1, 0, 0, 0, right);
        Transform(*m, 0, 1, 0, 0, up);
        EXPECT_NEAR(right[0] * win.w, up[1] * win.h, 1e-2f) << win.w << "x" << win.h;
        EXPECT_NEAR(std::max(right[0] * win.w, up[1] * win.h) / std::min(win.w, win.h), 0.18f, 1e-5f);
    }
}

TEST(VeskGadget, TurnsOnceEveryEightSecondsFromItsFirstDraw) {
    mhtest::ScopedTestEnv scoped;
    mhtest::TestEnv& env = scoped.env;
    env.width = env.height = 100;
    FXPackage none;
    FXVeskGadget gad;
    gad.CreateCN(&none, 23, 73);
    FXMesh* mesh = AddTriangle(&gad.model);
    const double t0 = 5000;
    const struct {
        double after;
        float x, z; // where the model's x axis points, over the size
    } turns[] = {{0, 1, 0}, {2, 0, 1}, {4, -1, 0}, {8, 1, 0}};
    for (auto& turn : turns) {
        env.drawn.clear();
        gad.OnRender(&env, t0 + turn.after);
        const FXMatrix* m = ModelMatrix(env, mesh);
        ASSERT_NE(m, nullptr);
        float axis[3];
        Transform(*m, 1, 0, 0, 0, axis);
        EXPECT_NEAR(axis[0] / 0.18f, turn.x, 1e-3f) << turn.after << " s";
        EXPECT_NEAR(fabsf(axis[2]), fabsf(turn.z), 1e-3f) << turn.after << " s";
    }
}

TEST(VeskGadget, LabelShowsAtFortyPercentWhateverItsPictureHolds) {
    ASSERT_TRUE(fxLoadDevil() || fxSystemImageCodec());
    const int kSide = 200;
    GLContext ctx;
    ASSERT_TRUE(ctx.Create(kSide, kSide));
    mhtest::Picture white(32, 8);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 32; x++)
            white.Set(x, y, 255, 255, 255, 255);
    std::string path = mhtest::TestTmpPath("label.dat");
    ASSERT_TRUE(mhtest::WritePackageItems(path, {{23, "png", mhtest::EncodePng(white)}}));
    FXPackage pck;
    ASSERT_TRUE(pck.Load(path.c_str()));
    FXVeskGadget gad;
    gad.CreateCN(&pck, 23, 73);
    float black[4] = {0, 0, 0, 1};
    ctx.gl.SetClrColor(black);
    ctx.gl.Clrscr(true, true, false);
    glDisable(GL_ALPHA_TEST);
    gad.OnRender(&ctx.gl, 3.0);
    std::vector<uint8_t> px = ctx.Read();
    ASSERT_FALSE(px.empty());
    // Centred 0.25 below the medallion's centre (0.72, -0.67): 0.48 ... 0.96 across,
    // -0.98 ... -0.86 up.
    auto pixel = [&](float x, float y) {
        return GLContext::Pixel(px, kSide, (int)((x + 1) / 2 * kSide), (int)((1 - y) / 2 * kSide)) >> 8;
    };
    for (float x : {0.5f, 0.72f, 0.94f})
        for (float y : {-0.965f, -0.92f, -0.875f}) {
            uint32_t c = pixel(x, y);
            for (int k = 0; k < 24; k += 8)
                EXPECT_NEAR((int)((c >> k) & 0xFF), 102, 2) << x << "," << y;
        }
    for (auto p : {std::make_pair(0.44f, -0.92f), std::make_pair(0.72f, -0.83f), std::make_pair(0.72f, -0.995f)})
        EXPECT_EQ(pixel(p.first, p.second), 0u) << p.first << "," << p.second;
}

} // namespace
