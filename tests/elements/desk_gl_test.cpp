// Desks drawn for real on the software renderer, read back pixel by pixel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "assets/material.h"
#include "elements/desk.h"
#include "elements/scrpos01.h"
#include "elements/sdesk.h"
#include "support/glcontext.h"

namespace {

uint32_t Rgba(int r, int g, int b, int a) {
    return (uint32_t)a << 24 | (uint32_t)b << 16 | (uint32_t)g << 8 | r;
}

// Fills a canvas with fn(x, y) (red-first packed pixels) and makes it the material's texture.
void MakeTexture(FXCanvas& c, FXMaterial& m, int w, int h, const std::function<uint32_t(int, int)>& fn) {
    ASSERT_TRUE(c.pixmap.Realloc(w, h));
    c.pixmap.Clear(0);
    c.opaque = true;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            c.pixmap.pixels[x + y * c.pixmap.stride] = fn(x, y);
    // Repeat the edges into the power-of-two padding, as loaded pictures are.
    c.ExtendEdges();
    m.mipmaps = false;
    ASSERT_TRUE(m.SetTexture(&c));
}

// Writes the frame as a PPM picture beside the test's other files, for looking at.
void SaveFrame(const std::vector<uint8_t>& rgba, int w, int h, const char* name) {
    const char* dir = getenv("MH_TEST_TMP");
    if (!dir) return;
    std::string cmd = std::string("mkdir -p '") + dir + "'";
    if (system(cmd.c_str()) != 0) return;
    FILE* f = fopen((std::string(dir) + "/" + name + ".ppm").c_str(), "wb");
    if (!f) return;
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    for (size_t i = 0; i < rgba.size(); i += 4)
        fwrite(&rgba[i], 1, 3, f);
    fclose(f);
}

class DeskGL : public ::testing::Test {
  protected:
    bool Start(int w, int h) {
        if (!ctx.Create(w, h)) return false;
        float black[4] = {0, 0, 0, 1};
        ctx.gl.SetClrColor(black);
        ctx.gl.Clrscr(true, true, false);
        return true;
    }
    std::vector<uint8_t> Frame(const char* name) {
        std::vector<uint8_t> f = ctx.Read();
        SaveFrame(f, ctx.gl.width, ctx.gl.height, name);
        return f;
    }
    // Red, green, blue of a pixel of the frame, 0xRRGGBB.
    uint32_t Rgb(const std::vector<uint8_t>& f, int x, int y) {
        return GLContext::Pixel(f, ctx.gl.width, x, y) >> 8;
    }

    GLContext ctx;
};

// Each channel of two 0xRRGGBB colours within tol.
bool Near(uint32_t a, uint32_t b, int tol) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs((int)((a >> shift) & 255) - (int)((b >> shift) & 255)) > tol) return false;
    return true;
}

// Four quadrants: red, green / blue, white.
uint32_t Quadrants(int x, int y, int w, int h) {
    bool right = x >= w / 2, bottom = y >= h / 2;
    if (!bottom) return right ? Rgba(0, 255, 0, 255) : Rgba(255, 0, 0, 255);
    return right ? Rgba(255, 255, 255, 255) : Rgba(0, 0, 255, 255);
}

} // namespace

TEST_F(DeskGL, OneCellDeskFillsTheScreenWithItsPicture) {
    ASSERT_TRUE(Start(64, 48));
    FXCanvas canvas;
    FXMaterial mat;
    // A 6 x 6 picture in an 8 x 8 block: the texture coordinates stop at the picture's edge.
    MakeTexture(canvas, mat, 6, 6, [](int x, int y) { return Quadrants(x, y, 6, 6); });
    FXDesk desk;
    desk.Create(1, 1);
    desk.SetMaterial(&mat);
    desk.OnRender(&ctx.gl, 0);
    std::vector<uint8_t> f = Frame("desk_quadrants");
    // The picture the right way up (first texture row on top), reaching every corner of the screen.
    EXPECT_EQ(Rgb(f, 0, 0), 0xff0000u);
    EXPECT_EQ(Rgb(f, 8, 6), 0xff0000u);
    EXPECT_EQ(Rgb(f, 63, 0), 0x00ff00u);
    EXPECT_EQ(Rgb(f, 0, 47), 0x0000ffu);
    EXPECT_EQ(Rgb(f, 63, 47), 0xffffffu);
    EXPECT_EQ(Rgb(f, 56, 42), 0xffffffu);
    // Every pixel is covered by the picture: none stays black.
    int black = 0;
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            black += Rgb(f, x, y) == 0;
    EXPECT_EQ(black, 0);
}

TEST_F(DeskGL, PlacementFillsExactlyTheLeftTopQuarter) {
    ASSERT_TRUE(Start(128, 96));
    FXCanvas canvas;
    FXMaterial mat;
    MakeTexture(canvas, mat, 4, 4, [](int, int) { return Rgba(255, 200, 0, 255); });
    FXScrPos01 place;
    place.refWidth = 1024;
    place.refHeight = 768;
    place.width = 512;
    place.height = 384;
    place.SetPos(0, 0);
    FXDesk desk;
    desk.Create(1, 1);
    desk.SetMaterial(&mat);
    place.OnRender(&ctx.gl, 0);
    desk.OnRender(&ctx.gl, 0);
    std::vector<uint8_t> f = Frame("desk_quarter");
    int wrong = 0;
    for (int y = 0; y < 96; y++)
        for (int x = 0; x < 128; x++) {
            uint32_t want = x < 64 && y < 48 ? 0xffc800u : 0u;
            wrong += Rgb(f, x, y) != want;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(DeskGL, SkewMovesOnlyTheTopEdge) {
    ASSERT_TRUE(Start(80, 80));
    FXDesk desk;
    desk.Create(1, 1);
    desk.UpdatePosSkew(true, false, 0.5f, 0); // untextured: the default material, drawn white
    desk.OnRender(&ctx.gl, 0);
    std::vector<uint8_t> f = Frame("desk_skew");
    // Top row: covered from x = 20 (-0.5 in the square) onwards, running off the right side.
    EXPECT_EQ(Rgb(f, 18, 0), 0u);
    EXPECT_EQ(Rgb(f, 22, 0), 0xffffffu);
    EXPECT_EQ(Rgb(f, 79, 0), 0xffffffu);
    // Bottom row: unmoved, the whole width.
    EXPECT_EQ(Rgb(f, 0, 79), 0xffffffu);
    EXPECT_EQ(Rgb(f, 79, 79), 0xffffffu);
    // Half way down the left edge has moved half as far.
    EXPECT_EQ(Rgb(f, 8, 40), 0u);
    EXPECT_EQ(Rgb(f, 12, 40), 0xffffffu);
}

TEST_F(DeskGL, CornerColoursBlendInColourModeOne) {
    ASSERT_TRUE(Start(81, 81));
    FXDesk desk;
    desk.Create(2, 2);
    float lt[4] = {1, 0, 0, 1}, rb[4] = {0, 0, 1, 1};
    desk.UpdateCol_LT_RB(lt, rb);
    desk.OnRender(&ctx.gl, 0);
    std::vector<uint8_t> f = Frame("desk_colour_mode0");
    EXPECT_EQ(Rgb(f, 40, 40), 0xffffffu); // colour mode 0 ignores the vertex colours

    ctx.gl.Clrscr(true, true, false);
    desk.mesh.colorMode = 1;
    desk.OnRender(&ctx.gl, 0);
    f = Frame("desk_colour_mode1");
    EXPECT_TRUE(Near(Rgb(f, 0, 0), 0xff0000u, 2));
    EXPECT_TRUE(Near(Rgb(f, 80, 0), 0xff0000u, 2));
    EXPECT_TRUE(Near(Rgb(f, 0, 80), 0xff0000u, 2));
    uint32_t rbPix = Rgb(f, 80, 80);
    EXPECT_LE(rbPix >> 16, 8u); // nearly pure blue at the right-bottom corner
    EXPECT_GE(rbPix & 0xff, 240u);
    uint32_t mid = Rgb(f, 40, 40); // s * t = 0.25 at the centre
    EXPECT_NEAR((int)(mid >> 16), 191, 3);
    EXPECT_NEAR((int)(mid & 0xff), 64, 3);
}

TEST_F(DeskGL, MaskedFogShowsTheMaskAlphaThroughTheSecondUnit) {
    ASSERT_TRUE(Start(96, 32));
    ASSERT_TRUE(ctx.gl.extMultitexture);
    float blue[4] = {0, 0, 1, 1};
    ctx.gl.SetClrColor(blue);
    ctx.gl.Clrscr(true, true, false);

    FXCanvas fogPicture, maskPicture;
    FXMaterial fogMat, maskMat;
    MakeTexture(fogPicture, fogMat, 8, 8, [](int, int) { return Rgba(255, 255, 255, 255); });
    // Three bands of mask alpha: 0, 128, 255.
    MakeTexture(maskPicture, maskMat, 12, 4, [](int x, int) {
        return Rgba(255, 255, 255, x < 4 ? 0 : x < 8 ? 128 : 255);
    });
    FXDeskScroll fog;
    fog.Create(1, 1);
    fog.SetMaterial(&fogMat);
    FXDesk mask;
    mask.Create(1, 1);
    mask.SetMaterial(&maskMat);
    fog.mesh.secondMesh = &mask.mesh;
    fog.OnRender(&ctx.gl, 0);
    std::vector<uint8_t> f = Frame("desk_fog_mask");
    EXPECT_EQ(Rgb(f, 10, 16), 0x0000ffu); // alpha 0: the background
    uint32_t half = Rgb(f, 48, 16);
    EXPECT_NEAR((int)(half >> 16), 128, 3);
    EXPECT_EQ(half & 0xff, 0xffu);
    EXPECT_EQ(Rgb(f, 86, 16), 0xffffffu); // alpha 255: the fog

    // An ordinary mesh drawn next switches the second unit off again.
    EXPECT_TRUE(ctx.gl.texture2On);
    FXDesk plain;
    plain.Create(1, 1);
    plain.OnRender(&ctx.gl, 0);
    EXPECT_FALSE(ctx.gl.texture2On);

    // Without multitexturing the fog is not drawn at all.
    ctx.gl.Clrscr(true, true, false);
    ctx.gl.extMultitexture = false;
    fog.OnRender(&ctx.gl, 0);
    ctx.gl.extMultitexture = true;
    f = Frame("desk_fog_nomultitexture");
    EXPECT_EQ(Rgb(f, 86, 16), 0x0000ffu);
}

TEST_F(DeskGL, AspectCorrectionKeepsTheProportions) {
    ASSERT_TRUE(Start(1920, 1080));
    FXDesk desk;
    desk.Create(1, 1);
    struct Case {
        int align;
        int left, right; // first and last covered column
    } cases[] = {{1, 480, 1919}, {-1, 0, 1439}, {0, 240, 1679}};
    for (const Case& c : cases) {
        ctx.gl.Clrscr(true, true, false);
        FXScrPos01 place;
        place.refWidth = 1024;
        place.refHeight = 768;
        place.width = 1024;
        place.height = 768;
        place.SetPos(0, 0);
        place.UpdateAspectH1(c.align, 1920, 1080);
        place.OnRender(&ctx.gl, 0);
        desk.OnRender(&ctx.gl, 0);
        std::vector<uint8_t> f = ctx.Read();
        int first = -1, last = -1;
        for (int x = 0; x < 1920; x++)
            if (Rgb(f, x, 540) == 0xffffffu) {
                if (first < 0) first = x;
                last = x;
            }
        EXPECT_EQ(first, c.left) << "align " << c.align;
        EXPECT_EQ(last, c.right) << "align " << c.align;
        // Full height: 1440 x 1080 keeps the canvas's 4:3.
        EXPECT_EQ(Rgb(f, (c.left + c.right) / 2, 0), 0xffffffu);
        EXPECT_EQ(Rgb(f, (c.left + c.right) / 2, 1079), 0xffffffu);
    }
}

TEST_F(DeskGL, RelativePlacementBuildsOnTheCurrentMatrix) {
    ASSERT_TRUE(Start(64, 64));
    FXMatrix shift;
    shift.SetMoveF(1, 0, 0); // the right half of the screen
    ctx.gl.ApplyMatrix(&shift);
    FXScrPos01 place;
    place.refWidth = 64;
    place.refHeight = 64;
    place.width = 32;
    place.height = 32;
    place.relative = true;
    place.SetPos(0, 0); // the left-top quarter, moved right by half the screen
    place.OnRender(&ctx.gl, 0);
    FXDesk desk;
    desk.Create(1, 1);
    desk.OnRender(&ctx.gl, 0);
    std::vector<uint8_t> f = Frame("desk_relative");
    EXPECT_EQ(Rgb(f, 16, 16), 0u);
    EXPECT_EQ(Rgb(f, 32, 0), 0xffffffu);
    EXPECT_EQ(Rgb(f, 63, 31), 0xffffffu);
    EXPECT_EQ(Rgb(f, 48, 40), 0u);
}
