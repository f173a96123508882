#include "artlib.h"

#include <algorithm>
#include <cmath>

namespace art {

namespace {

const float kPi = 3.14159265358979f;

uint64_t SplitMix(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Wrap(int i, int n) {
    i %= n;
    return i < 0 ? i + n : i;
}

int ClampI(int i, int lo, int hi) {
    return i < lo ? lo : (i > hi ? hi : i);
}

float Fade(float t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

// One box pass of half-width r along a line of n samples spaced by step.
void BoxLine(const float* src, float* dst, int n, int step, int r, bool wrap) {
    float inv = 1.0f / float(2 * r + 1);
    auto at = [&](int i) { return src[size_t(wrap ? Wrap(i, n) : ClampI(i, 0, n - 1)) * step]; };
    float sum = 0;
    for (int i = -r; i <= r; i++)
        sum += at(i);
    for (int i = 0; i < n; i++) {
        dst[size_t(i) * step] = sum * inv;
        sum += at(i + r + 1) - at(i - r);
    }
}

} // namespace

Rng::Rng(uint64_t seed) {
    uint64_t s = seed;
    state = SplitMix(s);
    if (state == 0) state = 0x2545F4914F6CDD1Dull;
}

uint32_t Rng::Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return uint32_t((state * 0x2545F4914F6CDD1Dull) >> 32);
}

float Rng::Uniform() {
    return float(Next() >> 8) * (1.0f / 16777216.0f);
}

float Rng::Range(float lo, float hi) {
    return lo + (hi - lo) * Uniform();
}

int Rng::Int(int n) {
    return n <= 0 ? 0 : int(Next() % uint32_t(n));
}

Image::Image(int w, int h) : width(w), height(h), px(size_t(w) * h * 4, 0.0f) {}

void Image::Fill(float r, float g, float b, float a) {
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = r;
        px[i + 1] = g;
        px[i + 2] = b;
        px[i + 3] = a;
    }
}

void Image::Sample(float x, float y, float out[4]) const {
    float fx = x - 0.5f, fy = y - 0.5f;
    int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    float tx = fx - x0, ty = fy - y0;
    int xa = ClampI(x0, 0, width - 1), xb = ClampI(x0 + 1, 0, width - 1);
    int ya = ClampI(y0, 0, height - 1), yb = ClampI(y0 + 1, 0, height - 1);
    const float *p00 = At(xa, ya), *p10 = At(xb, ya), *p01 = At(xa, yb), *p11 = At(xb, yb);
    // Interpolate premultiplied so transparent neighbours do not bleed their colour.
    float acc[4] = {0, 0, 0, 0};
    const float* ps[4] = {p00, p10, p01, p11};
    float ws[4] = {(1 - tx) * (1 - ty), tx * (1 - ty), (1 - tx) * ty, tx * ty};
    for (int k = 0; k < 4; k++) {
        float a = ps[k][3] * ws[k];
        acc[0] += ps[k][0] * a;
        acc[1] += ps[k][1] * a;
        acc[2] += ps[k][2] * a;
        acc[3] += a;
    }
    if (acc[3] > 1e-6f) {
        out[0] = acc[0] / acc[3];
        out[1] = acc[1] / acc[3];
        out[2] = acc[2] / acc[3];
    } else {
        out[0] = out[1] = out[2] = 0;
    }
    out[3] = acc[3];
}

float Clamp01(float v) {
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

float Smoothstep(float e0, float e1, float v) {
    float t = Clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

PeriodicNoise::PeriodicNoise(int cellCount, uint64_t seed) : cells(std::max(1, cellCount)) {
    Rng rng(seed);
    gx.resize(size_t(cells) * cells);
    gy.resize(gx.size());
    for (size_t i = 0; i < gx.size(); i++) {
        float a = rng.Uniform() * 2 * kPi;
        gx[i] = std::cos(a);
        gy[i] = std::sin(a);
    }
}

float PeriodicNoise::Sample(float x, float y) const {
    float fx = x * cells, fy = y * cells;
    float flx = std::floor(fx), fly = std::floor(fy);
    int ix = int(flx), iy = int(fly);
    float tx = fx - flx, ty = fy - fly;
    auto dot = [&](int cx, int cy, float ox, float oy) {
        size_t k = size_t(Wrap(cy, cells)) * cells + Wrap(cx, cells);
        return gx[k] * ox + gy[k] * oy;
    };
    float n00 = dot(ix, iy, tx, ty), n10 = dot(ix + 1, iy, tx - 1, ty);
    float n01 = dot(ix, iy + 1, tx, ty - 1), n11 = dot(ix + 1, iy + 1, tx - 1, ty - 1);
    float u = Fade(tx), v = Fade(ty);
    float a = n00 + (n10 - n00) * u, b = n01 + (n11 - n01) * u;
    return (a + (b - a) * v) * 1.41421356f;
}

FractalNoise::FractalNoise(int baseCells, int octaves, float gain, uint64_t seed) : norm(0) {
    float w = 1;
    for (int k = 0; k < octaves; k++) {
        layers.emplace_back(baseCells << k, seed * 7919u + uint64_t(k) * 104729u + 1);
        weights.push_back(w);
        norm += w;
        w *= gain;
    }
}

float FractalNoise::Sample(float x, float y) const {
    float s = 0;
    for (size_t k = 0; k < layers.size(); k++)
        s += weights[k] * layers[k].Sample(x, y);
    return Clamp01(0.5f + 0.5f * s / norm * 1.6f);
}

void BlurPlane(std::vector<float>& plane, int w, int h, float radius, bool wrap) {
    int r = std::max(1, int(radius + 0.5f));
    std::vector<float> tmp(plane.size());
    for (int pass = 0; pass < 3; pass++) {
        for (int y = 0; y < h; y++)
            BoxLine(&plane[size_t(y) * w], &tmp[size_t(y) * w], w, 1, r, wrap);
        for (int x = 0; x < w; x++)
            BoxLine(&tmp[x], &plane[x], h, w, r, wrap);
    }
}

void Blur(Image& img, float radius, bool wrap) {
    size_t n = size_t(img.width) * img.height;
    std::vector<float> ch[4];
    for (int c = 0; c < 4; c++)
        ch[c].resize(n);
    for (size_t i = 0; i < n; i++) {
        float a = img.px[i * 4 + 3];
        for (int c = 0; c < 3; c++)
            ch[c][i] = img.px[i * 4 + c] * a;
        ch[3][i] = a;
    }
    for (int c = 0; c < 4; c++)
        BlurPlane(ch[c], img.width, img.height, radius, wrap);
    for (size_t i = 0; i < n; i++) {
        float a = ch[3][i];
        for (int c = 0; c < 3; c++)
            img.px[i * 4 + c] = a > 1e-6f ? Clamp01(ch[c][i] / a) : 0;
        img.px[i * 4 + 3] = Clamp01(a);
    }
}

void RimLight(Image& img, float dx, float dy, float softness, const float rim[3], float strength) {
    int w = img.width, h = img.height;
    std::vector<float> edge(size_t(w) * h);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            int sx = ClampI(int(std::lround(x + dx)), 0, w - 1);
            int sy = ClampI(int(std::lround(y + dy)), 0, h - 1);
            float a = img.At(x, y)[3];
            edge[size_t(y) * w + x] = std::max(0.0f, a - img.At(sx, sy)[3]);
        }
    }
    if (softness > 0) BlurPlane(edge, w, h, softness, false);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            float* p = img.At(x, y);
            float k = Clamp01(edge[size_t(y) * w + x] * strength);
            for (int c = 0; c < 3; c++)
                p[c] += (rim[c] - p[c]) * k;
        }
    }
}

void FadeEdges(Image& img, int left, int top, int right, int bottom) {
    auto ramp = [](int d, int n) { return n <= 0 ? 1.0f : Smoothstep(0.0f, float(n), float(d)); };
    for (int y = 0; y < img.height; y++) {
        float fy = ramp(y, top) * ramp(img.height - 1 - y, bottom);
        for (int x = 0; x < img.width; x++)
            img.At(x, y)[3] *= fy * ramp(x, left) * ramp(img.width - 1 - x, right);
    }
}

void Mottle(Image& img, const FractalNoise& noise, float scale, float amount) {
    for (int y = 0; y < img.height; y++) {
        for (int x = 0; x < img.width; x++) {
            float* p = img.At(x, y);
            float m = 1 + amount * (noise.Sample(x / scale, y / scale) - 0.5f) * 2;
            for (int c = 0; c < 3; c++)
                p[c] = Clamp01(p[c] * m);
        }
    }
}

Image FogTile(int tile, uint64_t seed, float coverage) {
    FractalNoise base(3, 6, 0.55f, seed);
    FractalNoise warpX(2, 3, 0.5f, seed + 11);
    FractalNoise warpY(2, 3, 0.5f, seed + 23);
    Image img(tile, tile);
    float lo = 1 - coverage - 0.22f, hi = 1 - coverage + 0.3f;
    for (int y = 0; y < tile; y++) {
        for (int x = 0; x < tile; x++) {
            float u = float(x) / tile, v = float(y) / tile;
            // A periodic warp of periodic noise stays periodic: the tile still wraps.
            float wu = u + 0.22f * (warpX.Sample(u, v) - 0.5f);
            float wv = v + 0.22f * (warpY.Sample(u, v) - 0.5f);
            float d = Smoothstep(lo, hi, base.Sample(wu, wv));
            float* p = img.At(x, y);
            p[0] = p[1] = p[2] = 1.0f;
            p[3] = 0.08f + 0.92f * d;
        }
    }
    return img;
}

Image Repeat2x2(const Image& tile) {
    Image img(tile.width * 2, tile.height * 2);
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < img.width; x++) {
            const float* s = tile.At(x % tile.width, y % tile.height);
            std::copy(s, s + 4, img.At(x, y));
        }
    return img;
}

Image FogMask(int w, int h, float bandTop, float bandBottom) {
    Image img(w, h);
    // The band's edges wander a little so the fog has no ruler-straight border.
    FractalNoise wander(3, 3, 0.5f, 77);
    for (int x = 0; x < w; x++) {
        float u = (x + 0.5f) / w;
        float top = bandTop + 0.16f * (wander.Sample(u, 0.2f) - 0.5f);
        float bottom = bandBottom + 0.16f * (wander.Sample(u, 0.7f) - 0.5f);
        float ax = Smoothstep(0.0f, 0.3f, u) * (1 - Smoothstep(0.88f, 1.0f, u));
        for (int y = 0; y < h; y++) {
            float v = (y + 0.5f) / h;
            float ay = Smoothstep(0.0f, top, v) * (1 - Smoothstep(bottom, 1.0f, v));
            float* p = img.At(x, y);
            p[0] = p[1] = p[2] = 1.0f;
            p[3] = ax * ay;
        }
    }
    return img;
}

std::vector<Image> StarFrames(int w, int h, int count, int frames, uint64_t seed, float avoidX, float avoidY,
                              float avoidR, int bottomFade) {
    struct Star {
        float x, y, size, base, depth, phase, r, g, b;
        int cycles;
        bool glint;
    };
    Rng rng(seed);
    std::vector<Star> stars;
    while (int(stars.size()) < count) {
        Star s;
        s.x = rng.Range(2, w - 2.0f);
        // More stars high up, fewer towards the horizon.
        s.y = (1 - std::sqrt(rng.Uniform())) * (h - 2);
        float ddx = s.x - avoidX, ddy = s.y - avoidY;
        if (ddx * ddx + ddy * ddy < avoidR * avoidR) continue;
        float m = rng.Uniform();
        s.base = 0.25f + 0.75f * m * m * m;
        s.size = 0.5f + 0.45f * s.base + rng.Range(0, 0.15f);
        s.depth = rng.Range(0.25f, 0.85f);
        s.phase = rng.Uniform();
        s.cycles = 1 + rng.Int(2);
        float tint = rng.Uniform();
        s.r = tint < 0.3f ? 0.8f : 1.0f;
        s.g = tint < 0.3f ? 0.88f : (tint > 0.85f ? 0.9f : 1.0f);
        s.b = tint > 0.85f ? 0.78f : 1.0f;
        s.glint = s.base > 0.8f;
        stars.push_back(s);
    }
    std::vector<Image> out;
    for (int f = 0; f < frames; f++) {
        Image img(w, h);
        for (const Star& s : stars) {
            float tw =
                1 - s.depth * 0.5f * (1 - std::cos(2 * kPi * (float(s.cycles) * f / frames + s.phase)));
            float fade = bottomFade > 0 ? Smoothstep(float(h), float(h - bottomFade), s.y) : 1.0f;
            float peak = s.base * tw * fade;
            int rad = s.glint ? 5 : 2;
            for (int y = int(s.y) - rad; y <= int(s.y) + rad; y++) {
                for (int x = int(s.x) - rad; x <= int(s.x) + rad; x++) {
                    if (x < 0 || y < 0 || x >= w || y >= h) continue;
                    float ox = x + 0.5f - s.x, oy = y + 0.5f - s.y;
                    float v = peak * std::exp(-(ox * ox + oy * oy) / (2 * s.size * s.size));
                    if (s.glint) {
                        // Faint four-pointed glint on the brightest stars.
                        float ax = std::fabs(ox), ay = std::fabs(oy);
                        float spike = std::max(std::exp(-ay * ay * 4) * std::exp(-ax / 1.6f),
                                               std::exp(-ax * ax * 4) * std::exp(-ay / 1.6f));
                        v = std::max(v, peak * 0.5f * spike);
                    }
                    float* p = img.At(x, y);
                    float a = p[3] + v * (1 - p[3]);
                    if (a > 1e-6f) {
                        p[0] = (p[0] * p[3] + s.r * v * (1 - p[3])) / a;
                        p[1] = (p[1] * p[3] + s.g * v * (1 - p[3])) / a;
                        p[2] = (p[2] * p[3] + s.b * v * (1 - p[3])) / a;
                    }
                    p[3] = Clamp01(a);
                }
            }
        }
        out.push_back(std::move(img));
    }
    return out;
}

std::vector<Image> FireflyFrames(int size, int frames) {
    std::vector<Image> out;
    float c = size * 0.5f;
    for (int f = 0; f < frames; f++) {
        float p = frames > 1 ? float(f) / (frames - 1) : 1.0f;
        float sigma = size * (0.1f + 0.07f * p);
        float halo = 0.35f + 0.5f * p;
        Image img(size, size);
        for (int y = 0; y < size; y++) {
            for (int x = 0; x < size; x++) {
                float ox = x + 0.5f - c, oy = y + 0.5f - c;
                float r2 = ox * ox + oy * oy, r = std::sqrt(r2);
                float cs = std::max(1.3f, size * 0.035f);
                float core = std::exp(-r2 / (2 * cs * cs));
                float glow = halo * std::exp(-r2 / (2 * sigma * sigma));
                // Fade to nothing before the sprite's border so no square edge shows.
                float window = 1 - Smoothstep(c - 4, c - 0.5f, r);
                float a = Clamp01((core + glow * (1 - core)) * window);
                float* px = img.At(x, y);
                float wc = core / (core + glow + 1e-6f);
                px[0] = 0.72f + 0.28f * wc;
                px[1] = 1.0f;
                px[2] = 0.32f + 0.6f * wc;
                px[3] = a;
            }
        }
        out.push_back(std::move(img));
    }
    return out;
}

void CompositeOver(Image& dst, const Image& src, float x, float y, float w, float h, float opacity) {
    int x0 = std::max(0, int(std::floor(x))), y0 = std::max(0, int(std::floor(y)));
    int x1 = std::min(dst.width, int(std::ceil(x + w))), y1 = std::min(dst.height, int(std::ceil(y + h)));
    float kx = src.width / w, ky = src.height / h;
    for (int dy = y0; dy < y1; dy++) {
        for (int dx = x0; dx < x1; dx++) {
            float sx = (dx + 0.5f - x) * kx, sy = (dy + 0.5f - y) * ky;
            if (sx < 0 || sy < 0 || sx > src.width || sy > src.height) continue;
            float s[4];
            src.Sample(sx, sy, s);
            float sa = s[3] * opacity;
            float* d = dst.At(dx, dy);
            float a = sa + d[3] * (1 - sa);
            if (a > 1e-6f)
                for (int c = 0; c < 3; c++)
                    d[c] = (s[c] * sa + d[c] * d[3] * (1 - sa)) / a;
            d[3] = a;
        }
    }
}

Image Downscale(const Image& src, int w, int h) {
    Image img(w, h);
    for (int y = 0; y < h; y++) {
        int sy0 = y * src.height / h, sy1 = std::max(sy0 + 1, (y + 1) * src.height / h);
        for (int x = 0; x < w; x++) {
            int sx0 = x * src.width / w, sx1 = std::max(sx0 + 1, (x + 1) * src.width / w);
            float acc[4] = {0, 0, 0, 0};
            int n = 0;
            for (int sy = sy0; sy < sy1; sy++)
                for (int sx = sx0; sx < sx1; sx++, n++) {
                    const float* p = src.At(sx, sy);
                    for (int c = 0; c < 3; c++)
                        acc[c] += p[c] * p[3];
                    acc[3] += p[3];
                }
            float* d = img.At(x, y);
            for (int c = 0; c < 3; c++)
                d[c] = acc[3] > 1e-6f ? acc[c] / acc[3] : 0;
            d[3] = acc[3] / n;
        }
    }
    return img;
}

Image Crop(const Image& img, int x, int y, int w, int h) {
    Image out(w, h);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            const float* s = img.At(x + i, y + j);
            std::copy(s, s + 4, out.At(i, j));
        }
    return out;
}

} // namespace art
