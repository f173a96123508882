// Pictures on Windows without the image library: the system's codec decodes the formats it
// knows into the same pixels as the image library.
#include "assets/canvas.h"

#include <gtest/gtest.h>

#include "assets/package.h"
#include "assets/testimages.h"
#include "support/pkgbuild.h"

using namespace mhtest;

namespace {

void ExpectPixels(Picture& want, FXCanvas& c, bool alpha) {
    ASSERT_EQ(want.w, c.GetWidth());
    ASSERT_EQ(want.h, c.GetHeight());
    int bad = 0;
    for (int y = 0; y < want.h; y++)
        for (int x = 0; x < want.w; x++) {
            uint32_t got = c.pixmap.pixels[x + y * c.pixmap.stride];
            uint32_t exp = want.Packed(x, y) | (alpha ? 0 : 0xFF000000u);
            if (got != exp && bad++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << got << " not " << exp;
        }
}

} // namespace

TEST(CanvasW32, SystemCodecDecodesWhatTheImageLibraryWould) {
    fxSetDevilLibraryNames("no-such-devil.dll", "no-such-ilu.dll");
    ASSERT_FALSE(fxLoadDevil());
    ASSERT_TRUE(fxSystemImageCodec());
    Picture big = Gradient(300, 200, true);
    Picture small = Gradient(13, 7, true);
    std::vector<uint8_t> png = EncodePng(big);
    std::string path = TestTmpPath("pictures.dat");
    ASSERT_TRUE(WritePackageItems(path, {{1, "png", png},
                                         {2, "bmp", EncodeBmp(small)},
                                         {3, "gif", TopRedGif()},
                                         {4, "jpg", TopRedJpeg()},
                                         {5, "tga", EncodeTga(small)},
                                         {6, "png", std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 3)}}));
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(path.c_str()));

    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 1));
    EXPECT_EQ(512, c.pixmap.stride);
    EXPECT_FALSE(c.opaque);
    ExpectPixels(big, c, true);

    FXCanvas bmp;
    ASSERT_TRUE(bmp.CreateFromPictCN(&pkg, 2));
    ExpectPixels(small, bmp, false);
    EXPECT_TRUE(bmp.opaque);

    FXCanvas gif;
    ASSERT_TRUE(gif.CreateFromPictCN(&pkg, 3));
    EXPECT_EQ(0xFF0000FFu, gif.pixmap.pixels[0]);
    EXPECT_EQ(0xFFFF0000u, gif.pixmap.pixels[gif.pixmap.stride + 3]);

    FXCanvas jpg;
    ASSERT_TRUE(jpg.CreateFromPictCN(&pkg, 4));
    float top[4], bottom[4];
    jpg.GetColor(0.5f, 0.1f, top);
    jpg.GetColor(0.5f, 0.9f, bottom);
    EXPECT_GT(top[0], 0.9f);
    EXPECT_GT(bottom[2], 0.9f);

    // Windows has no TGA decoder (Wine has one): either the right pixels or a clean failure.
    FXCanvas tga;
    if (tga.CreateFromPictCN(&pkg, 5)) ExpectPixels(small, tga, true);

    // A cut picture fails and leaves the canvas alone.
    uint32_t before = c.pixmap.pixels[0];
    EXPECT_FALSE(c.CreateFromPictCN(&pkg, 6));
    EXPECT_EQ(before, c.pixmap.pixels[0]);
    fxSetDevilLibraryNames(nullptr, nullptr);
}

TEST(CanvasW32, SystemCodecWritesPngThatReadsBackToTheSamePixels) {
    fxSetDevilLibraryNames("no-such-devil.dll", "no-such-ilu.dll");
    ASSERT_FALSE(fxLoadDevil());
    Picture pic = Gradient(37, 21, true);
    FXCanvas src;
    ASSERT_TRUE(src.pixmap.Realloc(pic.w, pic.h));
    for (int y = 0; y < pic.h; y++)
        for (int x = 0; x < pic.w; x++)
            src.pixmap.pixels[x + y * src.pixmap.stride] = pic.Packed(x, y);

    // A rectangle off the corner, with alpha: rows keep their order and colours their channels.
    std::string rgba = TestTmpPath("rect.png"), rgb = TestTmpPath("whole.PNG"), mask = TestTmpPath("mask.png");
    ASSERT_TRUE(src.SaveToPict2(rgba.c_str(), 3, 2, 20, 19));
    ASSERT_TRUE(src.SaveToPict(rgb.c_str()));
    ASSERT_TRUE(src.SaveToMask(mask.c_str()));
    FXCanvas a, b, m;
    ASSERT_TRUE(a.CreateFromPict(rgba.c_str()));
    ASSERT_TRUE(b.CreateFromPict(rgb.c_str()));
    ASSERT_TRUE(m.CreateFromPict(mask.c_str()));
    ASSERT_EQ(17, a.GetWidth());
    ASSERT_EQ(17, a.GetHeight());
    ASSERT_EQ(pic.w, b.GetWidth());
    ASSERT_EQ(pic.h, m.GetHeight());
    int bad = 0;
    for (int y = 0; y < pic.h; y++)
        for (int x = 0; x < pic.w; x++) {
            uint8_t* p = pic.At(x, y);
            // Fully transparent pixels are written black without alpha.
            uint32_t opaque = p[3] ? (pic.Packed(x, y) | 0xFF000000u) : 0xFF000000u;
            uint32_t grey = p[3] * 0x010101u | 0xFF000000u;
            bad += b.pixmap.pixels[x + y * b.pixmap.stride] != opaque;
            bad += m.pixmap.pixels[x + y * m.pixmap.stride] != grey;
            if (x >= 3 && x < 20 && y >= 2 && y < 19)
                bad += a.pixmap.pixels[(x - 3) + (y - 2) * a.pixmap.stride] != pic.Packed(x, y);
        }
    EXPECT_EQ(0, bad);

    // Only PNG can be written without the image library; nothing is left behind.
    std::string jpg = TestTmpPath("whole.jpg");
    EXPECT_FALSE(src.SaveToPict(jpg.c_str()));
    EXPECT_EQ(nullptr, fopen(jpg.c_str(), "rb"));
    EXPECT_FALSE(src.SaveToPict(TestTmpPath("no-such-dir/x.png").c_str()));
    fxSetDevilLibraryNames(nullptr, nullptr);
}
