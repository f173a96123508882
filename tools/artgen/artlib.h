#pragma once
// Pixel-level building blocks of the artwork generator: a seeded random source,
// float images, periodic noise, blurs, rim lighting and the procedural pictures
// that need no vector drawing (fog, stars, firefly glow). Nothing here depends on
// a drawing library, so the tests compile this file on its own.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace art {

// Deterministic random source (SplitMix64 seeding, xorshift64* steps): the same seed
// yields the same pictures on every machine.
class Rng {
  public:
    explicit Rng(uint64_t seed);
    uint32_t Next();
    float Uniform();                 // [0, 1)
    float Range(float lo, float hi); // [lo, hi)
    int Int(int n);                  // [0, n)

  private:
    uint64_t state;
};

// Straight (not premultiplied) RGBA, four floats 0..1 per pixel, row 0 at the top.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<float> px;

    Image() = default;
    Image(int w, int h);
    float* At(int x, int y) { return &px[(size_t(y) * width + x) * 4]; }
    const float* At(int x, int y) const { return &px[(size_t(y) * width + x) * 4]; }
    void Fill(float r, float g, float b, float a);
    // Bilinear sample in pixel coordinates (pixel centres at +0.5), clamped to the edges.
    void Sample(float x, float y, float out[4]) const;
};

float Clamp01(float v);
float Smoothstep(float e0, float e1, float v);

// Gradient noise on a lattice of cells × cells that wraps, so the noise is periodic over
// the unit square: Sample(x, y) == Sample(x + 1, y) == Sample(x, y + 1). Range about -1..1.
class PeriodicNoise {
  public:
    PeriodicNoise(int cells, uint64_t seed);
    float Sample(float x, float y) const;

  private:
    int cells;
    std::vector<float> gx, gy;
};

// Sum of octaves of periodic noise (cells doubling each octave, weight × gain), scaled to
// about 0..1. Periodic over the unit square.
class FractalNoise {
  public:
    FractalNoise(int baseCells, int octaves, float gain, uint64_t seed);
    float Sample(float x, float y) const;

  private:
    std::vector<PeriodicNoise> layers;
    std::vector<float> weights;
    float norm;
};

// Gaussian-like blur (three box passes) of all four channels; wrap selects periodic edges,
// otherwise edges are clamped.
void Blur(Image& img, float radius, bool wrap);
// Blur of one float plane.
void BlurPlane(std::vector<float>& plane, int w, int h, float radius, bool wrap);

// Lightens the silhouette edges that face a light: where the alpha drops towards
// (dx, dy), colour moves towards rim × strength. Outside the picture counts as the edge
// pixel, so layers cut by the picture border get no false rim there.
void RimLight(Image& img, float dx, float dy, float softness, const float rim[3], float strength);

// Fades the alpha to nothing over the given number of pixels at each edge (0 leaves
// that edge alone), so a layer never ends in a hard line inside the screen.
void FadeEdges(Image& img, int left, int top, int right, int bottom);

// Multiplies the colour by 1 + amount × noise so flat silhouettes get a faint texture.
void Mottle(Image& img, const FractalNoise& noise, float scale, float amount);

// Seamless fog: a tile × tile fog texture (white, alpha from fractal noise), periodic
// in both directions.
Image FogTile(int tile, uint64_t seed, float coverage);
// The picture made of 2 × 2 copies of a tile.
Image Repeat2x2(const Image& tile);

// Soft band where the fog may show: white, alpha shaped.
Image FogMask(int w, int h, float bandTop, float bandBottom);

// Star field frames: count frames of a one-second loop; each star's twinkle runs a whole
// number of cycles per loop so the last frame flows into the first. bottomFade gives the
// rows over which stars fade out towards the horizon.
std::vector<Image> StarFrames(int w, int h, int count, int frames, uint64_t seed, float avoidX, float avoidY,
                              float avoidR, int bottomFade);

// Firefly glow frames: a bright core in a halo whose size and strength rise from the
// first frame to the last (the sprite plays forwards and backwards).
std::vector<Image> FireflyFrames(int size, int frames);

// Draws src over dst: src scaled to w × h with its top-left at (x, y), times opacity.
void CompositeOver(Image& dst, const Image& src, float x, float y, float w, float h, float opacity);
// Box-filtered reduction to w × h.
Image Downscale(const Image& src, int w, int h);

// Sub-image copy.
Image Crop(const Image& img, int x, int y, int w, int h);

} // namespace art
