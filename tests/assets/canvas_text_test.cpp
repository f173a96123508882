#include <gtest/gtest.h>

#include <string>

#include "assets/canvas.h"
#include "assets/font.h"
#include "support/pkgbuild.h"

using namespace mhtest;

class CanvasText : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(font.Create("DejaVu Sans", 32)); }
    FXFontGDI font;
};

TEST_F(CanvasText, CanvasHasTheMeasuredSizeAndAlphaFollowsCoverage) {
    int w = 0, h = 0;
    ASSERT_TRUE(FXCanvas::GetTextSize("Mirehollow", &font, &w, &h));
    EXPECT_GT(w, 100);
    EXPECT_LT(w, 250);
    EXPECT_GE(h, 32);
    EXPECT_LT(h, 48);

    FXCanvas c;
    float colour[4] = {1.0f, 0.5f, 0.25f, 1.0f};
    ASSERT_TRUE(c.CreateFromText("Mirehollow", &font, colour));
    EXPECT_EQ(w, c.GetWidth());
    EXPECT_EQ(h, c.GetHeight());
    EXPECT_FALSE(c.opaque);
    int clear = 0, solid = 0, partial = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint32_t p = c.pixmap.pixels[x + y * c.pixmap.stride];
            EXPECT_EQ(0x003F7FFFu, p & 0x00FFFFFFu) << "every pixel carries the colour";
            uint32_t a = p >> 24;
            clear += a == 0;
            solid += a == 255;
            partial += a > 0 && a < 255;
        }
    EXPECT_GT(clear, w * h / 2) << "most of the box is background";
    EXPECT_GT(solid, 50) << "glyph stems are fully covered";
    EXPECT_GT(partial, 50) << "edges are antialiased";
    // The corners of the box lie outside every glyph.
    EXPECT_EQ(0u, c.pixmap.pixels[0] >> 24);
    EXPECT_EQ(0u, c.pixmap.pixels[(w - 1) + (h - 1) * c.pixmap.stride] >> 24);

    // A translucent colour scales the coverage.
    FXCanvas half;
    float halfColour[4] = {1.0f, 0.5f, 0.25f, 0.5f};
    ASSERT_TRUE(half.CreateFromText("Mirehollow", &font, halfColour));
    for (int i = 0; i < w * h; i++) {
        int x = i % w, y = i / w;
        uint32_t full = c.pixmap.pixels[x + y * c.pixmap.stride] >> 24;
        uint32_t got = half.pixmap.pixels[x + y * half.pixmap.stride] >> 24;
        ASSERT_EQ((uint32_t)(int)((float)full * 0.5f), got);
    }

    if (fxLoadDevil()) {
        EXPECT_TRUE(c.SaveToPict2(TestTmpPath("text.png").c_str(), 0, 0, w, h));
        fxUnloadDevil();
    }
}

TEST_F(CanvasText, WideAndUtf8TextAgree) {
    FXCanvas narrow, wide;
    float white[4] = {1, 1, 1, 1};
    ASSERT_TRUE(narrow.CreateFromText("Grüße 42", &font, white));
    ASSERT_TRUE(wide.CreateFromTextW(L"Grüße 42", &font, white));
    ASSERT_EQ(narrow.GetWidth(), wide.GetWidth());
    ASSERT_EQ(narrow.GetHeight(), wide.GetHeight());
    for (int y = 0; y < narrow.GetHeight(); y++)
        for (int x = 0; x < narrow.GetWidth(); x++)
            ASSERT_EQ(narrow.pixmap.pixels[x + y * narrow.pixmap.stride],
                      wide.pixmap.pixels[x + y * wide.pixmap.stride]);
    int w1, h1, w2, h2;
    ASSERT_TRUE(FXCanvas::GetTextWSize(L"ab", &font, &w1, &h1));
    ASSERT_TRUE(FXCanvas::GetTextSize("abab", &font, &w2, &h2));
    EXPECT_NEAR(2 * w1, w2, 1);
    // Broken UTF-8 is drawn as replacement characters, never read past its end.
    FXCanvas broken;
    EXPECT_TRUE(broken.CreateFromText("a\xC3", &font, white));
    EXPECT_TRUE(broken.CreateFromText("\xF0\x9F", &font, white));
}

TEST_F(CanvasText, EmptyTextAndMissingFonts) {
    FXCanvas c;
    float white[4] = {1, 1, 1, 1};
    EXPECT_FALSE(c.CreateFromText("", &font, white));
    EXPECT_EQ(0, c.GetWidth());
    EXPECT_FALSE(c.CreateFromText(nullptr, &font, white));
    EXPECT_FALSE(c.CreateFromText("x", nullptr, white));
    FXFontGDI none;
    int w = -1, h = -1;
    EXPECT_FALSE(FXCanvas::GetTextSize("x", &none, &w, &h));
    EXPECT_FALSE(none.Create("", 20));
    EXPECT_FALSE(none.Create("DejaVu Sans", 0));
    // An unknown family falls back to fontconfig's best match instead of failing.
    EXPECT_TRUE(none.Create("No Such Family 12345", 20));
    none.Destroy();
    none.Destroy();
}
