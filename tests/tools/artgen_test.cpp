// The artwork generator's pixel procedures: seamless fog, looping stars, firefly glow.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "../../tools/artgen/artlib.cpp"

using namespace art;

namespace {

// Largest absolute channel difference between column a and column b (rows likewise).
float ColumnDiff(const Image& img, int a, int b) {
    float m = 0;
    for (int y = 0; y < img.height; y++)
        for (int c = 0; c < 4; c++)
            m = std::max(m, std::fabs(img.At(a, y)[c] - img.At(b, y)[c]));
    return m;
}

float RowDiff(const Image& img, int a, int b) {
    float m = 0;
    for (int x = 0; x < img.width; x++)
        for (int c = 0; c < 4; c++)
            m = std::max(m, std::fabs(img.At(x, a)[c] - img.At(x, b)[c]));
    return m;
}

// Largest absolute channel difference between two same-sized images.
float MaxDiff(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) return 1e9f;
    float m = 0;
    for (size_t i = 0; i < a.px.size(); i++)
        m = std::max(m, std::fabs(a.px[i] - b.px[i]));
    return m;
}

// Largest difference between neighbouring columns (rows) inside the picture.
float LargestInnerColumnStep(const Image& img) {
    float m = 0;
    for (int x = 0; x + 1 < img.width; x++)
        m = std::max(m, ColumnDiff(img, x, x + 1));
    return m;
}

float LargestInnerRowStep(const Image& img) {
    float m = 0;
    for (int y = 0; y + 1 < img.height; y++)
        m = std::max(m, RowDiff(img, y, y + 1));
    return m;
}

float AlphaSum(const Image& img) {
    float s = 0;
    for (size_t i = 3; i < img.px.size(); i += 4)
        s += img.px[i];
    return s;
}

} // namespace

TEST(ArtgenNoise, PeriodicOverTheUnitSquare) {
    PeriodicNoise n(5, 3);
    FractalNoise f(3, 5, 0.55f, 9);
    for (float x : {0.0f, 0.13f, 0.5f, 0.77f}) {
        for (float y : {0.0f, 0.31f, 0.9f}) {
            EXPECT_NEAR(n.Sample(x, y), n.Sample(x + 1, y), 1e-4f);
            EXPECT_NEAR(n.Sample(x, y), n.Sample(x, y + 1), 1e-4f);
            EXPECT_NEAR(f.Sample(x, y), f.Sample(x + 1, y + 1), 1e-4f);
        }
    }
}

TEST(ArtgenFog, PictureIsTwoByTwoCopiesOfASeamlessTile) {
    for (uint64_t seed : {900u, 901u}) {
        Image tile = FogTile(256, seed, 0.5f);
        Image fog = Repeat2x2(tile);
        ASSERT_EQ(fog.width, 512);
        ASSERT_EQ(fog.height, 512);
        // The scrolling window jumps by half the picture: the halves must be identical.
        EXPECT_EQ(MaxDiff(Crop(fog, 0, 0, 256, 512), Crop(fog, 256, 0, 256, 512)), 0.0f);
        EXPECT_EQ(MaxDiff(Crop(fog, 0, 0, 512, 256), Crop(fog, 0, 256, 512, 256)), 0.0f);
        // Across the tile's own edges the fog changes no more than between any two
        // neighbouring columns or rows inside it.
        EXPECT_LE(ColumnDiff(tile, 255, 0), LargestInnerColumnStep(tile) * 1.05f);
        EXPECT_LE(RowDiff(tile, 255, 0), LargestInnerRowStep(tile) * 1.05f);
        // And it is fog, not a flat veil.
        float lo = 1, hi = 0;
        for (size_t i = 3; i < tile.px.size(); i += 4) {
            lo = std::min(lo, tile.px[i]);
            hi = std::max(hi, tile.px[i]);
        }
        EXPECT_GT(hi - lo, 0.5f);
    }
}

TEST(ArtgenFog, WrappedBlurKeepsATileSeamless) {
    Image tile = FogTile(64, 5, 0.5f);
    Blur(tile, 3, true);
    EXPECT_LE(ColumnDiff(tile, 63, 0), LargestInnerColumnStep(tile) * 1.05f);
    EXPECT_LE(RowDiff(tile, 63, 0), LargestInnerRowStep(tile) * 1.05f);
}

TEST(ArtgenStars, SixteenFramesLoopWithoutAJump) {
    std::vector<Image> f = StarFrames(256, 128, 120, 16, 42, 200, 30, 20, 30);
    ASSERT_EQ(f.size(), 16u);
    float largestStep = 0;
    for (int i = 0; i + 1 < 16; i++)
        largestStep = std::max(largestStep, MaxDiff(f[i], f[i + 1]));
    // Frame 15 flows into frame 0 like any other step, and the stars do twinkle.
    float wrap = MaxDiff(f[15], f[0]);
    EXPECT_GT(wrap, 0.0f);
    EXPECT_LE(wrap, largestStep * 1.05f);
    EXPECT_GT(MaxDiff(f[0], f[8]), 0.2f);
    // The overall brightness stays steady through the loop: stars twinkle out of step.
    float lo = 1e9f, hi = 0;
    for (const Image& img : f) {
        lo = std::min(lo, AlphaSum(img));
        hi = std::max(hi, AlphaSum(img));
    }
    EXPECT_LT(hi / lo, 1.25f);
}

TEST(ArtgenStars, TransparentAroundTheMoonAndAtTheHorizon) {
    std::vector<Image> f = StarFrames(256, 128, 300, 16, 7, 200, 40, 24, 20);
    for (const Image& img : f) {
        for (int y = 0; y < img.height; y++) {
            for (int x = 0; x < img.width; x++) {
                float dx = x + 0.5f - 200, dy = y + 0.5f - 40;
                if (dx * dx + dy * dy < 16 * 16) {
                    ASSERT_EQ(img.At(x, y)[3], 0.0f) << x << "," << y;
                }
            }
        }
        for (int x = 0; x < img.width; x++)
            EXPECT_LT(img.At(x, img.height - 1)[3], 0.02f);
    }
}

TEST(ArtgenStars, SameSeedSamePicturesOtherSeedOthers) {
    std::vector<Image> a = StarFrames(64, 64, 40, 2, 1, -100, -100, 1, 0);
    std::vector<Image> b = StarFrames(64, 64, 40, 2, 1, -100, -100, 1, 0);
    std::vector<Image> c = StarFrames(64, 64, 40, 2, 2, -100, -100, 1, 0);
    EXPECT_EQ(MaxDiff(a[0], b[0]), 0.0f);
    EXPECT_GT(MaxDiff(a[0], c[0]), 0.1f);
    EXPECT_EQ(MaxDiff(FogTile(32, 3, 0.5f), FogTile(32, 3, 0.5f)), 0.0f);
}

TEST(ArtgenFirefly, GlowPulsesAndFadesOutBeforeTheBorder) {
    std::vector<Image> f = FireflyFrames(32, 7);
    ASSERT_EQ(f.size(), 7u);
    for (int i = 0; i < 7; i++) {
        const Image& img = f[i];
        for (int k = 0; k < 32; k++) {
            EXPECT_EQ(img.At(k, 0)[3], 0.0f);
            EXPECT_EQ(img.At(k, 31)[3], 0.0f);
            EXPECT_EQ(img.At(0, k)[3], 0.0f);
            EXPECT_EQ(img.At(31, k)[3], 0.0f);
        }
        EXPECT_GT(img.At(16, 16)[3], 0.9f);
        if (i > 0) {
            EXPECT_GT(AlphaSum(img), AlphaSum(f[i - 1]) * 1.05f);
        }
    }
}

TEST(ArtgenCompose, OverAndDownscaleKeepColoursAndCoverage) {
    Image dst(8, 8);
    dst.Fill(0, 0, 1, 1);
    Image src(4, 4);
    src.Fill(1, 0, 0, 0.5f);
    CompositeOver(dst, src, 2, 2, 4, 4, 1);
    EXPECT_NEAR(dst.At(3, 3)[0], 0.5f, 1e-5f);
    EXPECT_NEAR(dst.At(3, 3)[2], 0.5f, 1e-5f);
    EXPECT_NEAR(dst.At(3, 3)[3], 1.0f, 1e-5f);
    EXPECT_EQ(dst.At(0, 0)[0], 0.0f);
    // A transparent pixel's colour must not bleed into its neighbours when reduced.
    Image half(2, 1);
    half.At(0, 0)[0] = 1;
    half.At(0, 0)[3] = 0;
    half.At(1, 0)[1] = 1;
    half.At(1, 0)[3] = 1;
    Image one = Downscale(half, 1, 1);
    EXPECT_EQ(one.At(0, 0)[0], 0.0f);
    EXPECT_EQ(one.At(0, 0)[1], 1.0f);
    EXPECT_EQ(one.At(0, 0)[3], 0.5f);
}
