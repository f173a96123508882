#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <psapi.h>
#else
#include <malloc.h>
#include <unistd.h>
#endif

#include "assets/canvas.h"
#include "assets/material.h"
#include "assets/package.h"
#include "assets/testimages.h"
#include "base/trace.h"
#include "support/pkgbuild.h"
#include "support/testenv.h"

using namespace mhtest;

TEST(Colours, PackingMatchesTheByteOrderOfPixels) {
    float red[4] = {1, 0, 0, 1};
    EXPECT_EQ(0xFF0000FFu, fxColToInt1(red));
    EXPECT_EQ(0xFFFF0000u, fxColToInt(red));
    unsigned v = fxColToInt1(red);
    const unsigned char* bytes = (const unsigned char*)&v;
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0x00, bytes[1]);
    EXPECT_EQ(0x00, bytes[2]);
    EXPECT_EQ(0xFF, bytes[3]);
    float half[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    EXPECT_EQ(0x7F7F7F7Fu, fxColToInt1(half));

    float c[4] = {0.2f, 0.4f, 0.6f, 0.8f}, back[4];
    fxColFromInt1(back, fxColToInt1(c));
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(c[i], back[i], 1.0f / 255.0f);
    fxColFromInt(back, fxColToInt(c));
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(c[i], back[i], 1.0f / 255.0f);
}

TEST(Colours, OutOfRangeAndNaN) {
    float wild[4] = {-3.0f, 7.0f, NAN, 1e30f};
    // Packing holds each channel to a byte instead of wrapping it.
    EXPECT_EQ(0xFF00FF00u, fxColToInt1(wild));
    EXPECT_FALSE(fxColIsZero(wild));
    float nanZero[4] = {0, 0, 0, NAN};
    EXPECT_FALSE(fxColIsZero(nanZero));
    float zero[4] = {0, 0, 0, 0};
    EXPECT_TRUE(fxColIsZero(zero));
    fxColCutRange(wild);
    EXPECT_EQ(0.0f, wild[0]);
    EXPECT_EQ(1.0f, wild[1]);
    EXPECT_EQ(1.0f, wild[3]);
}

TEST(Pixmap, SizesAndReuse) {
    FXPixmap p;
    ASSERT_TRUE(p.Realloc(300, 200));
    EXPECT_EQ(512, p.stride);
    EXPECT_EQ(256, p.rows);
    EXPECT_EQ(512 * 256, p.capacity);
    uint32_t* block = p.pixels;
    ASSERT_TRUE(p.Realloc(260, 130));
    EXPECT_EQ(block, p.pixels) << "a block that is large enough is kept";
    EXPECT_EQ(260, p.width);

    FXPixmap q;
    q.pow2 = false;
    ASSERT_TRUE(q.Realloc(300, 200));
    EXPECT_EQ(300, q.stride);
    EXPECT_EQ(200, q.rows);
    q.Clear(0x11223344);
    EXPECT_EQ(0x11223344u, q.pixels[300 * 200 - 1]);

    EXPECT_FALSE(p.Realloc(-1, 5));
    EXPECT_EQ(nullptr, p.pixels);
    EXPECT_FALSE(p.Realloc(1 << 20, 1 << 20));
    EXPECT_EQ(0, p.width);
    p.Destroy();
    p.Destroy();
    EXPECT_TRUE(p.pow2);
}

// Pictures kept as runs: one block shows each in turn, in any order, exactly as it was (its
// padding too); a block of another size is left alone.
TEST(PixmapRuns, OneBlockShowsEachPictureInTurn) {
    const int kPictures = 3;
    FXPixmap pictures[kPictures];
    FXPixmapRuns runs[kPictures];
    for (int k = 0; k < kPictures; k++) {
        ASSERT_TRUE(pictures[k].Realloc(50, 20)); // a 64 x 32 block
        FXPixmap& p = pictures[k];
        for (int i = 0; i < p.stride * p.rows; i++) {
            uint32_t r = (uint32_t)(i + 7919 * k) * 2654435761u;
            // Mostly clear, with runs at both ends of the block and across row ends.
            p.pixels[i] = (r >> 24) < 40 || i == 0 || i == p.stride * p.rows - 1 ? r | 1 : 0;
        }
        ASSERT_TRUE(runs[k].Pack(p));
        EXPECT_TRUE(runs[k].Fits(p));
    }
    FXPixmap shown;
    ASSERT_TRUE(shown.Realloc(50, 20));
    memcpy(shown.pixels, pictures[0].pixels, sizeof(uint32_t) * 64 * 32);
    int now = 0;
    for (int next : {2, 1, 0, 1, 2, 2, 0}) {
        runs[now].Erase(&shown);
        runs[next].Paint(&shown);
        now = next;
        EXPECT_EQ(memcmp(shown.pixels, pictures[next].pixels, sizeof(uint32_t) * 64 * 32), 0) << "picture " << next;
    }

    FXPixmap other;
    ASSERT_TRUE(other.Realloc(64, 64));
    other.Clear(0);
    EXPECT_FALSE(runs[1].Fits(other));
    runs[1].Paint(&other);
    for (int i = 0; i < 64 * 64; i++)
        ASSERT_EQ(other.pixels[i], 0u) << "written into a block of another size";

    FXPixmap empty;
    EXPECT_FALSE(runs[2].Pack(empty));
    EXPECT_FALSE(runs[2].Fits(shown)) << "a failed pack leaves nothing to show";
}

TEST(Canvas, PixelOperationsWithoutTheImageLibrary) {
    FXCanvas c;
    ASSERT_TRUE(c.pixmap.Realloc(300, 200));
    float col[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    c.Clear(col);
    float out[4] = {};
    c.GetColor(0.5f, 0.5f, out);
    for (int i = 0; i < 4; i++)
        EXPECT_FLOAT_EQ((float)(int)(col[i] * 255.0f) / 255.0f, out[i]);

    // A marked last column and last row, then the padding filled from them.
    for (int y = 0; y < 200; y++)
        c.pixmap.pixels[299 + y * 512] = 0xFF000000u | y;
    for (int x = 0; x < 300; x++)
        c.pixmap.pixels[x + 199 * 512] = 0xFF00AA00u;
    c.ExtendEdges();
    EXPECT_EQ(c.pixmap.pixels[299 + 17 * 512], c.pixmap.pixels[511 + 17 * 512]);
    EXPECT_EQ(0xFF00AA00u, c.pixmap.pixels[5 + 255 * 512]);
    EXPECT_EQ(c.pixmap.pixels[299 + 199 * 512], c.pixmap.pixels[511 + 255 * 512]);
    // u = 1 reads column 300, which now repeats column 299.
    float edge[4], last[4];
    c.GetColor(1.0f, 17.5f / 200.0f, edge);
    c.GetColor(299.5f / 300.0f, 17.5f / 200.0f, last);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(last[i], edge[i]);
    // Far outside, NaN or infinite coordinates stay inside the block.
    c.GetColor(1e20f, -1e20f, out);
    c.GetColor(NAN, INFINITY, out);
    EXPECT_EQ(c.GetBump(NAN, NAN), c.GetBump(0.0f, 1.0f));

    // Mixing: alpha 0 keeps every pixel, alpha 1 paints the colour and keeps alpha.
    FXCanvas m;
    ASSERT_TRUE(m.pixmap.Realloc(4, 4));
    m.pixmap.Clear(0x80402010);
    float none[4] = {1, 1, 1, 0};
    m.MixColorLayer(none);
    EXPECT_EQ(0x80402010u, m.pixmap.pixels[5]);
    EXPECT_EQ(0.0f, none[0]) << "the caller's colour is premultiplied";
    float full[4] = {0, 1, 0, 1};
    m.MixColorLayer(full);
    EXPECT_EQ(0x8000FF00u, m.pixmap.pixels[5]);

    // Copy follows the source size and lowers opaque for translucent pixels.
    FXCanvas d;
    EXPECT_TRUE(d.Copy(&m));
    EXPECT_EQ(4, d.GetWidth());
    EXPECT_EQ(0x8000FF00u, d.pixmap.pixels[3 * d.pixmap.stride + 3]);
    EXPECT_FALSE(d.opaque);
    // The whole block is uploaded as a texture: its padding is the source's, not stale memory.
    FXCanvas odd;
    ASSERT_TRUE(odd.pixmap.Realloc(3, 3));
    odd.pixmap.Clear(0x11223344);
    FXCanvas reused;
    ASSERT_TRUE(reused.pixmap.Realloc(4, 4));
    reused.pixmap.Clear((int)0xDEADBEEF);
    ASSERT_TRUE(reused.Copy(&odd));
    for (int i = 0; i < reused.pixmap.stride * reused.pixmap.rows; i++)
        ASSERT_EQ(0x11223344u, reused.pixmap.pixels[i]) << "pixel " << i;

    FXCanvas empty;
    EXPECT_EQ(0.0f, empty.GetBump(0.5f, 0.5f));
    empty.MixColorLayer(full);
    empty.ExtendEdges();
}

// Decoding, masks and saving go through the image library, or on Windows without it through
// the system's decoder.
class CanvasDevil : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(fxLoadDevil() || fxSystemImageCodec());
        Picture big = Gradient(300, 200, true);
        Picture solid = Gradient(40, 30, false);
        Picture almost = Gradient(40, 30, false);
        almost.Set(39, 29, 1, 2, 3, 254);
        Picture small = Gradient(13, 7, true);
        std::vector<uint8_t> png = EncodePng(big);
        std::vector<uint8_t> truncated(png.begin(), png.begin() + png.size() / 3);
        pkgPath = TestTmpPath("pictures.dat");
        ASSERT_TRUE(WritePackageItems(pkgPath, {{1, "png", png},
                                                {2, "png", EncodePng(solid)},
                                                {3, "png", EncodePng(almost)},
                                                {4, "bmp", EncodeBmp(small)},
                                                {5, "tga", EncodeTga(small)},
                                                {6, "gif", TopRedGif()},
                                                {7, "jpg", TopRedJpeg()},
                                                {8, "bin", {1, 2, 3, 4}},
                                                {9, "png", {1, 2, 3, 4, 5, 6, 7, 8}},
                                                {10, "png", truncated},
                                                {11, "jpg", png},
                                                {12, "png", {}}}));
    }
    static void TearDownTestSuite() { fxUnloadDevil(); }
    void SetUp() override { pkg.Load(pkgPath.c_str()); }

    static std::string pkgPath;
    FXPackage pkg;
};
std::string CanvasDevil::pkgPath;

// TGA and the image library's own leniency exist only where it is bound.
#define MH_NEEDS_IMAGE_LIBRARY()                                                                   \
    do {                                                                                           \
        if (!fxDevilLoaded())                                                                      \
            GTEST_SKIP() << "needs the image library: Windows has no system decoder for TGA";      \
    } while (0)

static void ExpectPixels(Picture& want, FXCanvas& c, bool alpha = true) {
    ASSERT_EQ(want.w, c.GetWidth());
    ASSERT_EQ(want.h, c.GetHeight());
    int bad = 0;
    for (int y = 0; y < want.h; y++)
        for (int x = 0; x < want.w; x++) {
            uint32_t got = c.pixmap.pixels[x + y * c.pixmap.stride];
            uint32_t exp = want.Packed(x, y);
            if (!alpha) exp |= 0xFF000000u;
            if (got != exp && bad++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << got << " not " << exp;
        }
}

TEST_F(CanvasDevil, DecodesPngIntoAPowerOfTwoBlock) {
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 1));
    EXPECT_EQ(300, c.pixmap.width);
    EXPECT_EQ(200, c.pixmap.height);
    EXPECT_EQ(512, c.pixmap.stride);
    EXPECT_EQ(256, c.pixmap.rows);
    EXPECT_EQ(300.0f, c.GetWidthF());
    EXPECT_FALSE(c.opaque);
    Picture big = Gradient(300, 200, true);
    ExpectPixels(big, c);
    EXPECT_EQ(0u, c.pixmap.pixels[400 + 250 * 512]) << "padding is cleared to the clear colour";

    // Reloading a smaller picture reuses the block.
    uint32_t* block = c.pixmap.pixels;
    ASSERT_TRUE(c.CreateFromPictC(&pkg, "2"));
    EXPECT_EQ(block, c.pixmap.pixels);
    EXPECT_TRUE(c.opaque);
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 3));
    EXPECT_FALSE(c.opaque) << "one alpha of 254 makes the picture translucent";
}

TEST_F(CanvasDevil, EveryFormatArrivesTopRowFirst) {
    Picture small = Gradient(13, 7, true);
    FXCanvas bmp, gif, jpg;
    ASSERT_TRUE(bmp.CreateFromPictCN(&pkg, 4));
    ExpectPixels(small, bmp, false);
    EXPECT_TRUE(bmp.opaque);

    ASSERT_TRUE(gif.CreateFromPictCN(&pkg, 6));
    EXPECT_EQ(4, gif.GetWidth());
    EXPECT_EQ(2, gif.GetHeight());
    EXPECT_EQ(0xFF0000FFu, gif.pixmap.pixels[0]);
    EXPECT_EQ(0xFFFF0000u, gif.pixmap.pixels[gif.pixmap.stride + 3]);

    ASSERT_TRUE(jpg.CreateFromPictCN(&pkg, 7));
    EXPECT_EQ(16, jpg.GetWidth());
    float top[4], bottom[4];
    jpg.GetColor(0.5f, 0.1f, top);
    jpg.GetColor(0.5f, 0.9f, bottom);
    EXPECT_GT(top[0], 0.9f);
    EXPECT_LT(top[2], 0.1f);
    EXPECT_GT(bottom[2], 0.9f);
    EXPECT_LT(bottom[0], 0.1f);
}

TEST_F(CanvasDevil, TgaArrivesTopRowFirst) {
    MH_NEEDS_IMAGE_LIBRARY();
    Picture small = Gradient(13, 7, true);
    FXCanvas tga;
    ASSERT_TRUE(tga.CreateFromPictCN(&pkg, 5));
    ExpectPixels(small, tga);
}

TEST_F(CanvasDevil, BadItemsFailWithoutTouchingTheCanvas) {
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 2));
    // Missing, raw, undecodable, truncated and empty items.
    for (int id : {99, 8, 9, 10, 12})
        EXPECT_FALSE(c.CreateFromPictCN(&pkg, id)) << "item " << id;
    // A PNG stored as a JPEG item: the image library decodes by the item's type, the system's
    // decoder by the bytes (and then gets the picture right).
    if (fxDevilLoaded()) {
        EXPECT_FALSE(c.CreateFromPictCN(&pkg, 11));
    }
    EXPECT_FALSE(c.CreateFromPictC(&pkg, "no number"));
    EXPECT_FALSE(c.CreateFromPictC(&pkg, nullptr));
    EXPECT_FALSE(c.CreateFromPictCN(nullptr, 1));
    EXPECT_FALSE(c.CreateFromPict(""));
    EXPECT_FALSE(c.CreateFromPict(TestTmpPath("missing.png").c_str()));
    Picture solid = Gradient(40, 30, false);
    ExpectPixels(solid, c);
}

// A 16-bit truecolour TGA whose pixel data stops after `have` bytes: the library accepts it
// with 2 bytes per pixel for a 3-channel format.
static std::vector<uint8_t> ShortTga16(int w, int h, int have) {
    std::vector<uint8_t> b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, (uint8_t)w, (uint8_t)(w >> 8),
                              (uint8_t)h, (uint8_t)(h >> 8), 16, 0};
    b.resize(b.size() + have, 0x41);
    return b;
}

TEST_F(CanvasDevil, DamagedPicturesTheLibraryAcceptsAreRefusedOnEveryPath) {
    MH_NEEDS_IMAGE_LIBRARY();
    std::vector<uint8_t> tga = ShortTga16(64, 64, 10);
    std::string path = TestTmpPath("damaged.dat");
    ASSERT_TRUE(WritePackageItems(path, {{1, "tga", tga}, {2, "tga", ShortTga16(4, 4, 32)}}));
    FXPackage damaged;
    ASSERT_TRUE(damaged.Load(path.c_str()));
    std::string file = TestTmpPath("damaged.tga");
    ASSERT_TRUE(WriteFileBytes(file, tga));

    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 2));
    EXPECT_FALSE(c.CreateFromPictCN(&damaged, 1));
    EXPECT_FALSE(c.CreateFromPict(file.c_str()));
    Picture solid = Gradient(40, 30, false);
    ExpectPixels(solid, c);
    EXPECT_FALSE(c.LoadMaskCN(&damaged, 1));
    EXPECT_FALSE(c.LoadMask(file.c_str()));
    ExpectPixels(solid, c);
    // The same header with all its pixel data is a sound picture.
    EXPECT_TRUE(c.CreateFromPictCN(&damaged, 2));
    EXPECT_EQ(4, c.GetWidth());
}

// Pictures the image library mishandles, refused on every path before it sees them: a PNG or a
// JPEG that ends inside a chunk or segment before its pixels (its reader loops for ever; cut inside the pixels, the
// usual damage, it fails by itself), and GIFs whose frame lies outside their screen (it writes the
// frame outside its block), plainly or behind a graphic control block of the wrong size (which it
// reads as 4 bytes, so that it finds the frame where a sound reading finds none).
TEST_F(CanvasDevil, PicturesTheLibraryMishandlesAreRefused) {
    Picture tiny = Gradient(5, 3, false);
    std::vector<uint8_t> png = EncodePng(tiny);
    png.resize(33); // the signature and the header chunk
    const char chunk[] = "\0\0\0\x0ctEXtDeEND";
    png.insert(png.end(), chunk, chunk + sizeof chunk - 1);
    const char frame[] = "GIF89a\2\0\2\0\x80\0\0\0\0\0\xff\xff\xff!\xf9\4\1\0\0\0\0"
                         ",\xff\xff\0\0\2\0\2\0\0\2\2DT\0;";
    std::vector<uint8_t> gif(frame, frame + sizeof frame - 1);
    const char hidden[] = "GIF89a\2C\2\0\x80\0\0\0\0\0\xff\xff\xff!\xf9\0\4\0\0\1\0"
                          ",\0\0\0\2\4\0\2\0\0\2\2DW\0;";
    std::vector<uint8_t> gif2(hidden, hidden + sizeof hidden - 1);
    // A JPEG whose first segment declares 28 bytes, with 16 left: its reader loops for ever too.
    std::vector<uint8_t> jpg = {0xff, 0xd8, 0xff, 0xe0, 0, 0x1c, 0, 0, 0, 0x74, 0, 0x80, 0, 'G', 'I', 'F', '4', 'R', 0xff, 'S'};
    std::string path = TestTmpPath("mishandled.dat");
    ASSERT_TRUE(WritePackageItems(path, {{1, "png", png}, {2, "gif", gif}, {3, "gif", gif2}, {4, "jpg", jpg}}));
    FXPackage bad;
    ASSERT_TRUE(bad.Load(path.c_str()));

    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 2));
    const std::vector<uint8_t>* bytes[] = {&png, &gif, &gif2, &jpg};
    const char* suffix[] = {".png", ".gif", ".gif", ".jpg"};
    for (int id : {1, 2, 3, 4}) {
        std::string file = TestTmpPath("mishandled" + std::to_string(id) + suffix[id - 1]);
        ASSERT_TRUE(WriteFileBytes(file, *bytes[id - 1]));
        EXPECT_FALSE(c.CreateFromPictCN(&bad, id)) << id;
        EXPECT_FALSE(c.CreateFromPict(file.c_str())) << file;
        EXPECT_FALSE(c.LoadMaskCN(&bad, id)) << id;
        EXPECT_FALSE(c.LoadMask(file.c_str())) << file;
    }
    Picture solid = Gradient(40, 30, false);
    ExpectPixels(solid, c);
}

// The most memory the process ever had mapped for large blocks, from the allocator's own
// statistics (on Windows the peak working set); -1 under a sanitizer, whose allocator keeps none.
static long long PeakMappedBytes() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return -1;
#elif defined(_WIN32)
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    return GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc)) ? (long long)pmc.PeakWorkingSetSize : -1;
#else
    fflush(stderr);
    FILE* out = tmpfile();
    int saved = dup(2);
    dup2(fileno(out), 2);
    malloc_stats();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    rewind(out);
    char line[256];
    long long peak = -1;
    while (fgets(line, sizeof line, out))
        if (sscanf(line, "max mmap bytes = %lld", &peak) == 1) break;
    fclose(out);
    return peak;
#endif
}

// Headers declaring pictures far larger than their few bytes can hold: either decoder would
// allocate for the declared size (1 GB for the PNG, which the canvas could take, more for the
// others) before finding the data missing; on the BMP the image library's size arithmetic
// overflows and it frees a pointer it never allocated.
TEST_F(CanvasDevil, HugeDeclaredSizesAreRefusedBeforeDecoding) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                0, 0, 0x40, 0, 0, 0, 0x40, 0, 8, 6, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 0xff, 0xff, 0xff, 0xff, 0x80, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff};
    std::vector<uint8_t> bmp(54, 0);
    bmp[0] = 'B', bmp[1] = 'M', bmp[14] = 40, bmp[20] = 1, bmp[24] = 1, bmp[26] = 1, bmp[28] = 32;
    std::vector<uint8_t> jpg = {0xff, 0xd8, 0xff, 0xe0, 0, 4, 0, 0, 0xff, 0xc0, 0, 11, 8, 0xff, 0xdc, 0xff, 0xdc, 1, 1, 0x11, 0};
    std::vector<uint8_t> tga = ShortTga16(0xffff, 0xffff, 64);
    std::string path = TestTmpPath("huge.dat");
    ASSERT_TRUE(WritePackageItems(path, {{1, "png", png}, {2, "gif", gif}, {3, "bmp", bmp}, {4, "jpg", jpg}, {5, "tga", tga}}));
    FXPackage huge;
    ASSERT_TRUE(huge.Load(path.c_str()));
    std::string file = TestTmpPath("huge.png");
    ASSERT_TRUE(WriteFileBytes(file, png));

    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 2));
    std::string log = TestTmpPath("huge.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    for (int id = 1; id <= 5; id++) {
        EXPECT_FALSE(c.CreateFromPictCN(&huge, id)) << "item " << id;
        EXPECT_FALSE(c.LoadMaskCN(&huge, id)) << "item " << id;
    }
    EXPECT_FALSE(c.CreateFromPict(file.c_str()));
    EXPECT_FALSE(c.LoadMask(file.c_str()));
    fxCloseTraces();
    Picture solid = Gradient(40, 30, false);
    ExpectPixels(solid, c);
    // Each of the twelve was refused on its header, whichever decoder would have followed.
    Bytes text = ReadFileBytes(log);
    std::string lines(text.begin(), text.end());
    int refused = 0;
    for (size_t at = 0; (at = lines.find("; refused", at)) != std::string::npos; at++)
        refused++;
    EXPECT_EQ(12, refused) << lines;
    long long peak = PeakMappedBytes();
    if (peak >= 0) {
        EXPECT_LT(peak, 1LL << 30) << "the library was handed a picture it allocated a gigabyte for";
    }
}

TEST_F(CanvasDevil, FileNamesWithTranSelectLuminanceToAlpha) {
    Picture p = Gradient(8, 8, false);
    std::string path = TestTmpPath("Leaves_TRANS.png");
    ASSERT_TRUE(WriteFileBytes(path, EncodePng(p)));
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPict(path.c_str()));
    EXPECT_TRUE(c.transMode);
    EXPECT_FALSE(c.opaque);
    EXPECT_EQ(0x00FFFFFFu | ((uint32_t)p.At(3, 5)[0] << 24), c.pixmap.pixels[3 + 5 * c.pixmap.stride]);

    FXCanvas plain;
    plain.detectTrans = false;
    ASSERT_TRUE(plain.CreateFromPict(path.c_str()));
    EXPECT_FALSE(plain.transMode);
    ExpectPixels(p, plain);
}

TEST_F(CanvasDevil, SavedPicturesReadBackTheSame) {
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 1));
    std::string rgba = TestTmpPath("saved_rgba.png");
    ASSERT_TRUE(c.SaveToPict2(rgba.c_str(), 0, 0, c.GetWidth(), c.GetHeight()));
    FXCanvas back;
    back.detectTrans = false;
    ASSERT_TRUE(back.CreateFromPict(rgba.c_str()));
    Picture big = Gradient(300, 200, true);
    ExpectPixels(big, back);

    // RGB: a pixel with alpha 0 is written black; the rectangle variant crops.
    std::string rgb = TestTmpPath("saved_rgb.png");
    ASSERT_TRUE(c.SaveToPict1(rgb.c_str(), 10, 20, 30, 25));
    ASSERT_TRUE(back.CreateFromPict(rgb.c_str()));
    EXPECT_EQ(20, back.GetWidth());
    EXPECT_EQ(5, back.GetHeight());
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 20; x++) {
            uint32_t src = c.pixmap.pixels[(10 + x) + (20 + y) * 512];
            uint32_t want = (src >> 24) ? (src | 0xFF000000u) : 0xFF000000u;
            EXPECT_EQ(want, back.pixmap.pixels[x + y * back.pixmap.stride]);
        }

    std::string mask = TestTmpPath("saved_mask.png");
    ASSERT_TRUE(c.SaveToMask(mask.c_str()));
    ASSERT_TRUE(back.CreateFromPict(mask.c_str()));
    EXPECT_EQ(c.pixmap.pixels[7 + 9 * 512] >> 24, back.pixmap.pixels[7 + 9 * back.pixmap.stride] & 255);

    // Empty or outside rectangles write nothing.
    std::string none = TestTmpPath("not_written.png");
    remove(none.c_str());
    EXPECT_FALSE(c.SaveToPict1(none.c_str(), 30, 0, 30, 10));
    EXPECT_FALSE(c.SaveToPict1(none.c_str(), 40, 0, 30, 10));
    EXPECT_FALSE(c.SaveToMask1(none.c_str(), 0, 0, 301, 10));
    EXPECT_FALSE(c.SaveToPict2(none.c_str(), -1, 0, 10, 10));
    EXPECT_EQ(nullptr, fopen(none.c_str(), "rb"));
    // A directory that does not exist cannot be written, and says so.
    EXPECT_FALSE(c.SaveToPict(TestTmpPath("no/such/dir/x.png").c_str()));
}

TEST_F(CanvasDevil, MasksReplaceAlphaFromBlue) {
    Picture maskPic(6, 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++)
            maskPic.Set(x, y, 9, 9, (uint8_t)(x * 40 + y), 255);
    std::string maskPath = TestTmpPath("mask.png");
    ASSERT_TRUE(WriteFileBytes(maskPath, EncodePng(maskPic)));

    FXCanvas c;
    ASSERT_TRUE(c.pixmap.Realloc(8, 5));
    c.pixmap.Clear((int)0xFF332211);
    c.opaque = false;
    ASSERT_TRUE(c.LoadMask(maskPath.c_str()));
    EXPECT_TRUE(c.opaque);
    EXPECT_EQ(0x00332211u | ((uint32_t)(3 * 40 + 2) << 24), c.pixmap.pixels[3 + 2 * 8]);
    EXPECT_EQ(0x00332211u, c.pixmap.pixels[7 + 1 * 8]) << "columns past the mask get alpha 0";
    EXPECT_EQ(0x00332211u, c.pixmap.pixels[2 + 4 * 8]) << "rows past the mask get alpha 0";

    FXCanvas tiny;
    ASSERT_TRUE(tiny.pixmap.Realloc(5, 5));
    tiny.pixmap.Clear(0x12345678);
    EXPECT_FALSE(tiny.LoadMask(maskPath.c_str())) << "a mask wider than the picture";
    EXPECT_EQ(0x12345678u, tiny.pixmap.pixels[0]);
    EXPECT_FALSE(tiny.LoadMaskCN(&pkg, 8));
    EXPECT_FALSE(tiny.LoadMaskC(&pkg, "x"));
    EXPECT_FALSE(tiny.LoadMask(""));
}

// Without the image library only the system's decoder is left: Linux has none, so nothing
// decodes and materials stay untextured, with an error; Windows decodes and writes PNG itself,
// so the missing library is only traced.
TEST(CanvasMissingLibrary, OnlyTheSystemDecoderIsLeft) {
    bool system = fxSystemImageCodec();
    ScopedTestEnv scoped;
    fxUnloadDevil();
    std::string log = TestTmpPath("devil.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    fxSetDevilLibraryNames("libIL-not-installed.so.1", nullptr);
    EXPECT_FALSE(fxLoadDevil());
    EXPECT_FALSE(fxDevilLoaded());
    fxSetDevilLibraryNames(nullptr, "libILU-not-installed.so.1");
    EXPECT_FALSE(fxLoadDevil());
    EXPECT_FALSE(fxDevilLoaded()) << "the first library is released again";
    // Libraries that lack the entry points.
    fxSetDevilLibraryNames("libm.so.6", "libm.so.6");
    EXPECT_FALSE(fxLoadDevil());
    EXPECT_FALSE(fxDevilLoaded());
    fxSetDevilLibraryNames(nullptr, nullptr);
    fxCloseTraces();
    Bytes text = ReadFileBytes(log);
    std::string lines(text.begin(), text.end());
    // The log keeps the platform's line ends.
    lines.erase(std::remove(lines.begin(), lines.end(), '\r'), lines.end());
    const char* tail = system ? " (the system's picture decoder stands in)\n" : "\n";
    EXPECT_NE(std::string::npos, lines.find("] loading devil\n"));
    EXPECT_EQ(!system, lines.find("#ERROR: ") != std::string::npos);
    EXPECT_NE(std::string::npos, lines.find(std::string("] failed to load devil.dll") + tail));
    if (!system) {
        EXPECT_NE(std::string::npos, lines.find("] failed to load ilu.dll\n"));
    }
    EXPECT_NE(std::string::npos, lines.find(std::string("] failed to load devil libraries") + tail));
    EXPECT_NE(std::string::npos, lines.find("] unload devil\n"));
    EXPECT_EQ(std::string::npos, lines.find("loading ok"));

    Picture p = Gradient(8, 8, false);
    std::string pkgPath = TestTmpPath("nolib.dat");
    ASSERT_TRUE(WritePackageItems(pkgPath, {{1, "png", EncodePng(p)}}));
    FXPackage pkg;
    pkg.Load(pkgPath.c_str());
    FXCanvas c;
    EXPECT_EQ(system, c.CreateFromPictCN(&pkg, 1));
    EXPECT_EQ(system, c.SaveToPict(TestTmpPath("nolib.png").c_str()));
    FXCanvas::SetJpegQuality(90);

    FXMaterial m;
    m.diffuse[0] = 0.3f;
    EXPECT_EQ(system, m.LoadTextureCN(&pkg, 1));
    EXPECT_EQ(system, m.textured);
    EXPECT_EQ(0.3f, m.diffuse[0]);
    EXPECT_EQ(system ? 1 : 0, scoped.env.Count("PrepareTexture"));

    ASSERT_TRUE(fxLoadDevil() || system);
    EXPECT_TRUE(c.CreateFromPictCN(&pkg, 1));
    fxUnloadDevil();
}
