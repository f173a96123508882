#include "paint.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace art {

namespace {

const float kPi = 3.14159265358979f;

struct Colour {
    float r, g, b;
};

Colour Mix(Colour a, Colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// A Cairo surface to draw a silhouette on; Finish() turns it into an Image.
class Canvas {
  public:
    Canvas(int w, int h) {
        surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cr = cairo_create(surface);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_BEST);
    }
    ~Canvas() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    void SetColour(Colour c, float a = 1) { cairo_set_source_rgba(cr, c.r, c.g, c.b, a); }
    Image Finish() {
        cairo_surface_flush(surface);
        int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
        int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        Image img(w, h);
        for (int y = 0; y < h; y++) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * stride);
            for (int x = 0; x < w; x++) {
                uint32_t v = row[x];
                float a = float(v >> 24) / 255.0f;
                float* p = img.At(x, y);
                p[3] = a;
                if (a > 0) {
                    p[0] = Clamp01(float((v >> 16) & 255) / 255.0f / a);
                    p[1] = Clamp01(float((v >> 8) & 255) / 255.0f / a);
                    p[2] = Clamp01(float(v & 255) / 255.0f / a);
                }
            }
        }
        return img;
    }

    cairo_surface_t* surface;
    cairo_t* cr;
};

// A spire-shaped conifer for the distant tree line: a jagged triangle.
void SpirePath(cairo_t* cr, Rng& rng, float x, float baseY, float topY, float halfWidth) {
    int tiers = std::max(4, int((baseY - topY) / 7));
    cairo_move_to(cr, x, topY);
    for (int side = 1; side >= -1; side -= 2) {
        for (int k = 1; k <= tiers; k++) {
            int i = side > 0 ? k : tiers + 1 - k;
            float t = float(i) / tiers;
            float y = topY + (baseY - topY) * t;
            float tip = halfWidth * (0.12f + 0.88f * std::pow(t, 0.85f)) * rng.Range(0.75f, 1.1f);
            float notch = tip * rng.Range(0.45f, 0.7f);
            float step = (baseY - topY) / tiers;
            if (side > 0) {
                cairo_line_to(cr, x + notch * side, y - step * 0.55f);
                cairo_line_to(cr, x + tip * side, y + rng.Range(0, step * 0.3f));
            } else {
                cairo_line_to(cr, x + tip * side, y + rng.Range(0, step * 0.3f));
                cairo_line_to(cr, x + notch * side, y - step * 0.55f);
            }
        }
        if (side > 0)
            cairo_line_to(cr, x + halfWidth * 0.2f, baseY + 2);
        else
            cairo_line_to(cr, x, topY);
    }
    cairo_close_path(cr);
}

// One drooping spruce bough from the trunk at (ox, oy) towards dir (+1 right, -1 left):
// a thin upper edge with a few upturned twigs, a ragged lower edge of hanging needles,
// the tip lifting a little. Longer boughs fork once or twice.
void BoughPath(cairo_t* cr, Rng& rng, float ox, float oy, float dir, float length, float droop, float thick,
               int depth = 0) {
    auto centre = [&](float s, float* x, float* y) {
        *x = ox + dir * length * s;
        *y = oy + droop * (2 * s - 1.3f * s * s);
    };
    float x, y;
    centre(0, &x, &y);
    cairo_move_to(cr, x, y - thick * 0.3f);
    int upper = std::max(6, int(length / 6));
    for (int k = 1; k <= upper; k++) {
        float s = float(k) / upper;
        centre(s, &x, &y);
        float h = thick * 0.3f * (1 - 0.8f * s);
        float twig = rng.Uniform() < 0.25f ? rng.Range(2.0f, 5.0f) : 0.0f;
        cairo_line_to(cr, x + dir * twig * 0.6f, y - h - twig);
    }
    centre(1, &x, &y);
    cairo_line_to(cr, x + dir * rng.Range(2.0f, 5.0f), y + rng.Range(-2.0f, 1.0f));
    int lower = std::max(6, int(length / 3.0f));
    float hang = 2;
    for (int k = lower; k >= 0; k--) {
        float s = float(k) / lower;
        centre(s, &x, &y);
        float h = thick * 0.5f * (1 - 0.7f * s);
        // A wandering fringe: runs of longer needles with short gaps between.
        hang = std::max(0.0f, hang + rng.Range(-3.5f, 3.5f));
        hang = std::min(hang, 4 + 12 * std::sin(kPi * std::min(1.0f, s * 1.2f)));
        float tooth = (k % 2) ? rng.Range(1.0f, 3.5f) : 0.0f;
        cairo_line_to(cr, x - dir * rng.Range(0.0f, 1.5f), y + h + hang + tooth);
    }
    cairo_close_path(cr);
    cairo_fill(cr);
    if (depth < 1 && length > 50) {
        int forks = 1 + rng.Int(2);
        for (int f = 0; f < forks; f++) {
            float s = rng.Range(0.35f, 0.75f);
            centre(s, &x, &y);
            float l = length * rng.Range(0.25f, 0.45f);
            BoughPath(cr, rng, x, y + thick * 0.2f, dir, l, l * rng.Range(0.35f, 0.6f), thick * 0.7f,
                      depth + 1);
        }
    }
}

// A tall spruce: tapered trunk and boughs from top to a bare lower trunk.
void Spruce(cairo_t* cr, Rng& rng, float x, float baseY, float topY, float trunkBase, float trunkTop,
            float minBough, float maxBough, float boughEnd, float leftLimit, float rightLimit) {
    cairo_move_to(cr, x - trunkTop * 0.5f, topY);
    cairo_line_to(cr, x + trunkTop * 0.5f, topY);
    cairo_curve_to(cr, x + trunkBase * 0.5f, baseY - 60, x + trunkBase * 0.5f, baseY - 20,
                   x + trunkBase * 0.9f, baseY + 4);
    cairo_line_to(cr, x - trunkBase * 0.9f, baseY + 4);
    cairo_curve_to(cr, x - trunkBase * 0.5f, baseY - 20, x - trunkBase * 0.5f, baseY - 60,
                   x - trunkTop * 0.5f, topY);
    cairo_close_path(cr);
    cairo_fill(cr);
    float span = boughEnd - topY;
    float y = topY + rng.Range(0.0f, 8.0f);
    int side = rng.Int(2) ? 1 : -1;
    while (y < boughEnd) {
        float t = (y - topY) / span;
        float len = (minBough + (maxBough - minBough) * std::pow(t, 0.8f)) * rng.Range(0.8f, 1.1f);
        float trunkHalf = (trunkTop + (trunkBase - trunkTop) * (y - topY) / (baseY - topY)) * 0.5f;
        for (int s = -1; s <= 1; s += 2) {
            float limit = s > 0 ? rightLimit - x : x - leftLimit;
            float l = std::min(len * rng.Range(0.85f, 1.1f), std::max(limit, 0.0f));
            if (l < 12) continue;
            float oy = y + (s == side ? 0 : rng.Range(6.0f, 12.0f));
            BoughPath(cr, rng, x + s * trunkHalf * 0.4f, oy, float(s), l, l * rng.Range(0.22f, 0.38f),
                      rng.Range(9.0f, 15.0f));
        }
        side = -side;
        y += rng.Range(11.0f, 20.0f);
    }
    // A few dead stubs on the bare trunk below the boughs.
    for (float sy = boughEnd + 25; sy < baseY - 70; sy += rng.Range(40.0f, 80.0f)) {
        float s = rng.Int(2) ? 1.0f : -1.0f;
        float l = rng.Range(14.0f, 30.0f);
        cairo_set_line_width(cr, 3);
        cairo_move_to(cr, x, sy);
        cairo_line_to(cr, x + s * l, sy + l * 0.4f);
        cairo_stroke(cr);
    }
}

// Gives a painted silhouette its moonlit rim and a faint texture.
void Finish(Image& img, float dx, float dy, float softness, Colour rim, float strength, uint64_t seed,
            float texture) {
    float r[3] = {rim.r, rim.g, rim.b};
    RimLight(img, dx, dy, softness, r, strength);
    if (texture > 0) {
        FractalNoise n(4, 5, 0.6f, seed);
        Mottle(img, n, 180, texture);
    }
}

const Colour kSkyTop = {0.012f, 0.02f, 0.06f};
const Colour kSkyLow = {0.09f, 0.14f, 0.25f};
const Colour kMoonGlow = {0.55f, 0.65f, 0.85f};

} // namespace

bool WritePng(const Image& img, const char* path, bool opaque) {
    cairo_surface_t* s =
        cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, img.width, img.height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return false;
    }
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < img.height; y++) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + size_t(y) * stride);
        for (int x = 0; x < img.width; x++) {
            const float* p = img.At(x, y);
            float a = opaque ? 1.0f : Clamp01(p[3]);
            uint32_t a8 = uint32_t(std::lround(a * 255));
            // Premultiply against the quantised alpha so unpremultiplying restores the colour.
            float qa = a8 / 255.0f;
            uint32_t r8 = uint32_t(std::lround(Clamp01(p[0]) * qa * 255));
            uint32_t g8 = uint32_t(std::lround(Clamp01(p[1]) * qa * 255));
            uint32_t b8 = uint32_t(std::lround(Clamp01(p[2]) * qa * 255));
            row[x] = (a8 << 24) | (r8 << 16) | (g8 << 8) | b8;
        }
    }
    cairo_surface_mark_dirty(s);
    cairo_status_t st = cairo_surface_write_to_png(s, path);
    cairo_surface_destroy(s);
    return st == CAIRO_STATUS_SUCCESS;
}

Image PaintBackground(uint64_t seed) {
    const int W = Layout::kWidth, H = Layout::kHeight, hz = Layout::kHorizon;
    const float mx = Layout::kMoonX, my = Layout::kMoonY, mr = Layout::kMoonR;
    Image img(W, H);
    FractalNoise haze(3, 5, 0.55f, seed + 1);
    FractalNoise ripple(8, 4, 0.5f, seed + 2);
    FractalNoise streaks(64, 3, 0.5f, seed + 4);
    FractalNoise ridge(5, 5, 0.5f, seed + 3);
    // Distant hills: two ridges, the far one paler.
    std::vector<float> far(W), near(W);
    for (int x = 0; x < W; x++) {
        float u = float(x) / W;
        far[x] = hz - 26 - 44 * ridge.Sample(u * 0.5f, 0.1f) - 10 * std::sin(u * 5.1f + 0.6f);
        near[x] =
            hz - 8 - 30 * ridge.Sample(u * 0.7f + 0.3f, 0.6f) * Smoothstep(0.0f, 0.5f, std::fabs(u - 0.45f));
    }
    auto sky = [&](float x, float y, float out[3]) {
        float t = Clamp01(y / hz);
        Colour c = Mix(kSkyTop, kSkyLow, std::pow(t, 1.6f));
        float h = haze.Sample(x / W, y / H * 0.5f);
        float dx = x - mx, dy = y - my, d = std::sqrt(dx * dx + dy * dy);
        float glow = 0.16f * std::exp(-d / 110.0f) + 0.07f * std::exp(-d / 380.0f);
        out[0] = c.r * (0.85f + 0.3f * h) + kMoonGlow.r * glow;
        out[1] = c.g * (0.85f + 0.3f * h) + kMoonGlow.g * glow;
        out[2] = c.b * (0.85f + 0.3f * h) + kMoonGlow.b * glow;
        // A crescent moon: the background is stretched on wide screens, where a full disc
        // would turn visibly oval; a crescent keeps reading as the moon. The unlit part
        // shows a faint earthshine.
        float edge = Clamp01(mr + 0.5f - d);
        if (edge > 0) {
            float sx = dx - mr * 0.42f, sy = dy + mr * 0.3f;
            float lit = Clamp01(std::sqrt(sx * sx + sy * sy) - mr * 0.92f + 0.5f);
            float m = 0.86f + 0.14f * haze.Sample(dx / 40.0f + 0.3f, dy / 40.0f + 0.7f);
            float shine[3] = {out[0] + 0.02f, out[1] + 0.025f, out[2] + 0.03f};
            float c[3] = {0.96f * m, 0.95f * m, 0.86f * m};
            for (int k = 0; k < 3; k++) {
                float v = shine[k] + (c[k] - shine[k]) * lit;
                out[k] += (v - out[k]) * edge;
            }
        }
    };
    for (int y = 0; y < H; y++) {
        for (int x = 0; x < W; x++) {
            float* p = img.At(x, y);
            float c[3];
            if (y < hz) {
                sky(float(x), float(y), c);
                float fa = Clamp01(float(y) - far[x] + 0.5f), na = Clamp01(float(y) - near[x] + 0.5f);
                Colour fh = Mix({0.06f, 0.09f, 0.16f}, {0.09f, 0.13f, 0.21f}, Clamp01((y - far[x]) / 40.0f));
                Colour nh = {0.035f, 0.05f, 0.09f};
                for (int k = 0; k < 3; k++) {
                    float fv = k == 0 ? fh.r : (k == 1 ? fh.g : fh.b);
                    float nv = k == 0 ? nh.r : (k == 1 ? nh.g : nh.b);
                    c[k] += (fv - c[k]) * fa;
                    c[k] += (nv - c[k]) * na;
                }
            } else {
                // The still lake mirrors sky and hills, darker, with faint ripples.
                float d = float(y - hz);
                float wob = (ripple.Sample(x / 900.0f, d / 120.0f) - 0.5f) * std::min(6.0f, 1 + d * 0.03f);
                float my2 = hz - d * 0.9f - 1 + wob;
                sky(float(x) + wob, std::max(0.0f, my2), c);
                float fa = Clamp01(far[x] - my2 + 0.5f), na = Clamp01(near[x] - my2 + 0.5f);
                Colour nh = {0.03f, 0.045f, 0.08f};
                c[0] += (0.05f - c[0]) * fa;
                c[1] += (0.075f - c[1]) * fa;
                c[2] += (0.13f - c[2]) * fa;
                c[0] += (nh.r - c[0]) * na;
                c[1] += (nh.g - c[1]) * na;
                c[2] += (nh.b - c[2]) * na;
                float depth = Clamp01(d / (H - hz));
                float dim = 0.62f - 0.25f * depth;
                float line = 0.94f + 0.12f * streaks.Sample(x / 4096.0f, d / 420.0f);
                for (int k = 0; k < 3; k++)
                    c[k] *= dim * line;
                // Moon path: broken glitter below the moon, widening towards the viewer.
                float width = 10 + d * 0.35f;
                float g = std::exp(-std::pow((x - mx) / width, 2.0f));
                float br = Smoothstep(0.5f, 0.8f, streaks.Sample(x / 2048.0f + 0.5f, d / 300.0f));
                float glitter = g * br * (0.55f - 0.3f * depth);
                c[0] += 0.8f * glitter;
                c[1] += 0.82f * glitter;
                c[2] += 0.8f * glitter;
                // A pale mist line along the shore.
                float mist = 0.05f * std::exp(-d / 10.0f);
                c[0] += mist * 0.8f;
                c[1] += mist * 0.9f;
                c[2] += mist;
            }
            p[0] = Clamp01(c[0]);
            p[1] = Clamp01(c[1]);
            p[2] = Clamp01(c[2]);
            p[3] = 1;
        }
    }
    return img;
}

Image PaintFarTrees(uint64_t seed) {
    const int W = 1024, H = 320, shore = 300;
    Rng rng(seed);
    FractalNoise height(4, 4, 0.5f, seed + 5);
    Canvas cv(W, H);
    Colour body = {0.035f, 0.05f, 0.085f};
    cv.SetColour(body);
    // A low band of undergrowth with an uneven top joins the spires into one forest.
    cairo_move_to(cv.cr, -10, shore + 2);
    for (int x = -10; x <= W + 10; x += 8)
        cairo_line_to(cv.cr, x, shore - 26 - 16 * height.Sample(x / 300.0f, 0.3f) - rng.Range(0.0f, 6.0f));
    cairo_line_to(cv.cr, W + 10, shore + 2);
    cairo_close_path(cv.cr);
    cairo_fill(cv.cr);
    for (float x = -12; x < W + 12; x += rng.Range(5.0f, 13.0f)) {
        float u = x / W;
        float top = 70 + 140 * height.Sample(u * 0.8f, 0.5f) + rng.Range(-12.0f, 28.0f);
        float h = shore - top;
        SpirePath(cv.cr, rng, x, shore + 1, top, std::max(6.0f, h * rng.Range(0.13f, 0.2f)));
        cairo_fill(cv.cr);
    }
    Image img = cv.Finish();
    Finish(img, -1.5f, -2.5f, 1.2f, {0.2f, 0.27f, 0.4f}, 1.2f, seed + 6, 0);
    // Mist thickens towards the shore; the bottom rows mirror the trees in the water.
    for (int y = 0; y < shore; y++) {
        float m = Smoothstep(shore - 120.0f, float(shore), float(y)) * 0.6f;
        for (int x = 0; x < W; x++) {
            float* p = img.At(x, y);
            p[0] += (0.09f - p[0]) * m;
            p[1] += (0.12f - p[1]) * m;
            p[2] += (0.19f - p[2]) * m;
        }
    }
    for (int y = shore; y < H; y++) {
        int src = 2 * shore - y - 1;
        float fade = 0.55f * (1 - Smoothstep(float(shore), float(H), float(y)));
        for (int x = 0; x < W; x++) {
            const float* s = img.At(x, src);
            float* p = img.At(x, y);
            float a = s[3] * fade;
            p[0] = s[0] * 0.8f;
            p[1] = s[1] * 0.85f;
            p[2] = s[2] * 0.9f;
            p[3] = std::max(p[3] * (1 - Smoothstep(float(shore), shore + 4.0f, float(y))), a);
        }
    }
    FadeEdges(img, 0, 0, 0, 6);
    return img;
}

Image PaintLeftTrees(uint64_t seed) {
    const int W = 300, H = 768;
    Rng rng(seed);
    Canvas cv(W, H);
    // The farther spruce first, a little paler, then the big one in front.
    cv.SetColour({0.05f, 0.07f, 0.1f});
    Spruce(cv.cr, rng, 222, 770, 36, 20, 3, 16, 84, 560, -40, W - 24);
    Image back = cv.Finish();
    Finish(back, 2.5f, -0.3f, 1.0f, {0.2f, 0.27f, 0.38f}, 0.6f, seed + 1, 0.2f);
    Canvas front(W, H);
    front.SetColour({0.025f, 0.035f, 0.05f});
    Spruce(front.cr, rng, 62, 772, -20, 44, 20, 70, 190, 600, -200, W - 24);
    Image img = front.Finish();
    Finish(img, 3.0f, -0.3f, 1.0f, {0.26f, 0.33f, 0.46f}, 0.5f, seed + 2, 0.25f);
    Image out(W, H);
    CompositeOver(out, back, 0, 0, W, H, 1);
    CompositeOver(out, img, 0, 0, W, H, 1);
    FadeEdges(out, 0, 0, 10, 0);
    return out;
}

Image PaintRightTree(uint64_t seed) {
    const int W = 396, H = 768;
    Rng rng(seed);
    Canvas cv(W, H);
    cv.SetColour({0.025f, 0.035f, 0.05f});
    Spruce(cv.cr, rng, 318, 772, -30, 54, 26, 110, 300, 560, 24, W + 200);
    Image img = cv.Finish();
    Finish(img, -3.0f, -0.8f, 1.0f, {0.26f, 0.33f, 0.46f}, 0.7f, seed + 1, 0.25f);
    FadeEdges(img, 10, 0, 0, 0);
    return img;
}

Image PaintNeedles(uint64_t seed) {
    const int W = 442, H = 260;
    Rng rng(seed);
    Canvas cv(W, H);
    cairo_t* cr = cv.cr;
    cv.SetColour({0.03f, 0.042f, 0.05f});
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    struct Branch {
        float x0, y0, x1, y1, cx, cy, w;
    };
    // Boughs reach in from beyond the right edge and from above the top edge.
    const Branch branches[] = {
        {W + 30.0f, 40, 70, 118, 260, 30, 9}, {W + 20.0f, 120, 260, 160, 350, 115, 6},
        {300, -20, 170, 70, 260, 20, 5},      {W + 10.0f, 95, 160, 150, 330, 80, 6},
        {420, -20, 330, 110, 400, 40, 5},
    };
    for (const Branch& b : branches) {
        cairo_set_line_width(cr, b.w);
        cairo_move_to(cr, b.x0, b.y0);
        cairo_curve_to(cr, b.cx, b.cy, b.cx, b.cy, b.x1, b.y1);
        cairo_stroke(cr);
        // Twigs with tufts of long needles hanging from them.
        for (float s = 0.06f; s < 1.0f; s += rng.Range(0.025f, 0.05f)) {
            float u = 1 - s;
            float bx = u * u * b.x0 + 2 * u * s * b.cx + s * s * b.x1;
            float by = u * u * b.y0 + 2 * u * s * b.cy + s * s * b.y1;
            if (bx < 24 || bx > W + 10) continue;
            float tl = rng.Range(8.0f, 26.0f) * (0.6f + 0.6f * s);
            float ta = rng.Range(0.3f, 2.8f);
            float tx = bx - std::cos(ta) * tl * 0.6f, ty = by + std::sin(ta) * tl;
            cairo_set_line_width(cr, 2.2f);
            cairo_move_to(cr, bx, by);
            cairo_line_to(cr, tx, ty);
            cairo_stroke(cr);
            int n = 18 + rng.Int(12);
            cairo_set_line_width(cr, 1.1f);
            for (int k = 0; k < n; k++) {
                float a = kPi * 0.5f + rng.Range(-0.75f, 0.75f);
                float l = rng.Range(18.0f, 40.0f) * (0.7f + 0.5f * s);
                float nx = tx + std::cos(a) * l * 0.8f, ny = ty + std::sin(a) * l;
                if (nx < 12) continue;
                cairo_move_to(cr, tx, ty);
                cairo_curve_to(cr, tx + (nx - tx) * 0.3f, ty + (ny - ty) * 0.6f, nx, ny - 4, nx, ny);
                cairo_stroke(cr);
            }
        }
    }
    Image img = cv.Finish();
    Finish(img, -2.0f, -2.0f, 0.8f, {0.32f, 0.4f, 0.52f}, 1.0f, seed + 1, 0);
    FadeEdges(img, 10, 0, 0, 8);
    return img;
}

Image PaintRock(uint64_t seed) {
    const int W = 360, H = 301;
    Rng rng(seed);
    Canvas cv(W, H);
    cairo_t* cr = cv.cr;
    // A boulder running off the left and bottom edges, and a small stone beside it.
    auto blob = [&](float cx, float cy, float rx, float ry, int n) {
        std::vector<float> px, py;
        for (int i = 0; i < n; i++) {
            float a = 2 * kPi * i / n;
            float r = rng.Range(0.88f, 1.06f);
            px.push_back(cx + std::cos(a) * rx * r);
            py.push_back(cy + std::sin(a) * ry * r * (std::sin(a) < 0 ? 1.0f : 1.3f));
        }
        cairo_move_to(cr, (px[0] + px[n - 1]) * 0.5f, (py[0] + py[n - 1]) * 0.5f);
        for (int i = 0; i < n; i++) {
            int j = (i + 1) % n;
            cairo_curve_to(cr, px[i], py[i], px[i], py[i], (px[i] + px[j]) * 0.5f, (py[i] + py[j]) * 0.5f);
        }
        cairo_close_path(cr);
    };
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 40, 0, H);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.2, 0.21, 0.24);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.06, 0.065, 0.075);
    cairo_set_source(cr, g);
    blob(285, 268, 58, 34, 9);
    cairo_fill(cr);
    blob(95, 230, 225, 175, 11);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    Image img = cv.Finish();
    // Stone texture: an embossed grain lit from the upper left, darker towards the
    // silhouette's edges, thin cracks and a little moss low down.
    FractalNoise grain(6, 6, 0.6f, seed + 1);
    FractalNoise moss(3, 4, 0.5f, seed + 2);
    FractalNoise cracks(2, 4, 0.5f, seed + 4);
    std::vector<float> body(size_t(W) * H);
    for (size_t i = 0; i < body.size(); i++)
        body[i] = img.px[i * 4 + 3];
    BlurPlane(body, W, H, 14, false);
    auto height = [&](float x, float y) { return grain.Sample(x / 300.0f, y / 300.0f); };
    for (int y = 0; y < H; y++) {
        for (int x = 0; x < W; x++) {
            float* p = img.At(x, y);
            if (p[3] <= 0) continue;
            float n = height(float(x), float(y));
            float emboss = (height(x - 1.5f, y - 1.5f) - height(x + 1.5f, y + 1.5f)) * 6;
            float c = cracks.Sample(x / 500.0f, y / 500.0f);
            float crack = 1 - 0.55f * Smoothstep(0.01f, 0.0f, std::fabs(c - 0.5f));
            float m = Smoothstep(0.55f, 0.75f, moss.Sample(x / 300.0f, y / 300.0f)) * Smoothstep(120, 260, y);
            float k = (0.65f + 0.7f * n + emboss) * crack * (0.55f + 0.45f * body[size_t(y) * W + x]);
            p[0] = Clamp01(p[0] * k * (1 - 0.45f * m));
            p[1] = Clamp01(p[1] * k * (1 + 0.05f * m));
            p[2] = Clamp01(p[2] * k * (1 - 0.35f * m));
        }
    }
    Finish(img, 2.0f, -3.0f, 2.0f, {0.42f, 0.47f, 0.56f}, 0.7f, seed + 3, 0);
    FadeEdges(img, 0, 6, 6, 0);
    return img;
}

Image PaintFern(uint64_t seed) {
    const int W = 340, H = 137;
    Rng rng(seed);
    Canvas cv(W, H);
    cairo_t* cr = cv.cr;
    cv.SetColour({0.035f, 0.075f, 0.055f});
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    const float bx = W * 0.5f, by = H + 14;
    const int fronds = 11;
    for (int f = 0; f < fronds; f++) {
        float a = -kPi * (0.1f + 0.8f * (f + rng.Range(0.1f, 0.9f)) / fronds);
        float up = std::fabs(std::sin(a));
        float len = (120 + 60 * (1 - up)) * rng.Range(0.85f, 1.05f);
        // Outer fronds arch further down at their tips.
        float sag = (0.6f - up * 0.4f) * len * rng.Range(0.8f, 1.1f);
        float x1 = bx + std::cos(a) * len, y1 = by + std::sin(a) * len + sag;
        float cx = bx + std::cos(a) * len * 0.6f, cy = by + std::sin(a) * len * 0.75f;
        x1 = std::min(std::max(x1, 14.0f), W - 14.0f);
        auto at = [&](float s, float* x, float* y) {
            float u = 1 - s;
            *x = u * u * bx + 2 * u * s * cx + s * s * x1;
            *y = u * u * by + 2 * u * s * cy + s * s * y1;
        };
        cairo_set_line_width(cr, 2.2f);
        cairo_move_to(cr, bx, by);
        cairo_curve_to(cr, cx, cy, cx, cy, x1, y1);
        cairo_stroke(cr);
        for (float s = 0.12f; s < 0.98f; s += 0.045f) {
            float x, y, x2, y2;
            at(s, &x, &y);
            at(std::min(1.0f, s + 0.01f), &x2, &y2);
            float dir = std::atan2(y2 - y, x2 - x);
            float pl = 26 * std::pow(std::sin(kPi * std::min(1.0f, s * 1.1f)), 0.7f) * (1 - 0.3f * s);
            for (int side = -1; side <= 1; side += 2) {
                float pa = dir + side * 1.05f + 0.25f;
                float ex = x + std::cos(pa) * pl, ey = y + std::sin(pa) * pl;
                if (ey < 3) continue;
                float nx = -std::sin(pa) * pl * 0.16f, ny = std::cos(pa) * pl * 0.16f;
                cairo_move_to(cr, x, y);
                cairo_curve_to(cr, x + (ex - x) * 0.3f + nx, y + (ey - y) * 0.3f + ny,
                               x + (ex - x) * 0.7f + nx, y + (ey - y) * 0.7f + ny, ex, ey);
                cairo_curve_to(cr, x + (ex - x) * 0.7f - nx, y + (ey - y) * 0.7f - ny,
                               x + (ex - x) * 0.3f - nx, y + (ey - y) * 0.3f - ny, x, y);
                cairo_fill(cr);
            }
        }
    }
    Image img = cv.Finish();
    Finish(img, 0.0f, -2.0f, 0.8f, {0.2f, 0.34f, 0.3f}, 1.0f, seed + 1, 0);
    FadeEdges(img, 6, 6, 6, 0);
    return img;
}

Image PaintLakeGrass(uint64_t seed) {
    const int W = 1024, H = 266;
    Rng rng(seed);
    Canvas cv(W, H);
    cairo_t* cr = cv.cr;
    cv.SetColour({0.03f, 0.048f, 0.05f});
    auto density = [](float u) {
        return 0.06f + 0.94f * std::max(Smoothstep(0.4f, 0.05f, u), Smoothstep(0.68f, 0.95f, u));
    };
    for (float x = -10; x < W + 10; x += rng.Range(1.5f, 4.5f)) {
        float d = density(x / W);
        if (rng.Uniform() > d) continue;
        float h = rng.Range(40.0f, 90.0f) + 150 * d * rng.Uniform();
        float lean = rng.Range(-0.35f, 0.35f) * h;
        float w = rng.Range(2.0f, 4.5f);
        float tx = x + lean, ty = H - h;
        // A tapered blade: up one side, down the other, meeting at a point.
        cairo_move_to(cr, x - w, H + 2);
        cairo_curve_to(cr, x - w * 0.6f, H - h * 0.5f, x + lean * 0.5f, ty + h * 0.2f, tx, ty);
        cairo_curve_to(cr, x + lean * 0.5f + w * 0.5f, ty + h * 0.2f, x + w * 0.4f, H - h * 0.5f, x + w,
                       H + 2);
        cairo_close_path(cr);
        cairo_fill(cr);
        if (d > 0.5f && rng.Uniform() < 0.05f) {
            // A bulrush: a stiff stem with a seed head.
            float sh = h * 1.1f, sx = x + lean * 0.2f;
            cairo_set_line_width(cr, 2);
            cairo_move_to(cr, x, H + 2);
            cairo_line_to(cr, sx, H - sh);
            cairo_stroke(cr);
            cairo_save(cr);
            cairo_translate(cr, sx + (sx - x) * 0.02f, H - sh + 22);
            cairo_scale(cr, 4.0, 14.0);
            cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
            cairo_restore(cr);
            cairo_fill(cr);
        }
    }
    Image img = cv.Finish();
    Finish(img, -1.0f, -2.0f, 0.6f, {0.22f, 0.3f, 0.36f}, 0.8f, seed + 1, 0);
    FadeEdges(img, 0, 6, 0, 0);
    return img;
}

Image PaintCubeSkin(int size) {
    Image img(size, size);
    float s = float(size);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            float fx = x + 0.5f, fy = y + 0.5f;
            float d = std::min(std::min(fx, fy), std::min(s - fx, s - fy));
            // Corner brackets are brighter.
            float cd = std::max(std::min(fx, s - fx), std::min(fy, s - fy));
            float corner = Smoothstep(s * 0.22f, s * 0.16f, cd);
            float rim = Smoothstep(7.5f, 5.5f, d);
            float line = std::exp(-std::pow((d - 12) / 1.6f, 2.0f));
            float glow = 0.45f * std::exp(-std::max(0.0f, d - 12) / 10.0f) * Smoothstep(5.0f, 12.0f, d);
            float a = Clamp01(rim * 0.85f + line * (0.8f + 0.2f * corner) + glow * (0.6f + 0.6f * corner));
            float* p = img.At(x, y);
            float hot = Clamp01(line + corner * 0.5f);
            p[0] = 0.45f + 0.5f * hot;
            p[1] = 0.75f + 0.25f * hot;
            p[2] = 1.0f;
            if (rim > 0.5f && line < 0.1f) {
                p[0] = 0.16f + 0.3f * corner;
                p[1] = 0.26f + 0.3f * corner;
                p[2] = 0.36f + 0.3f * corner;
            }
            p[3] = a;
        }
    }
    return img;
}

Image PaintEnvironment(int size, uint64_t seed) {
    Image img(size, size);
    FractalNoise treeLine(6, 4, 0.55f, seed);
    FractalNoise clouds(3, 5, 0.55f, seed + 1);
    Rng rng(seed + 2);
    std::vector<float> sx, sy, sz, sb;
    for (int i = 0; i < 200; i++) {
        float z = rng.Range(0.05f, 1.0f), a = rng.Range(0, 2 * kPi), r = std::sqrt(1 - z * z);
        sx.push_back(r * std::cos(a));
        sy.push_back(z);
        sz.push_back(r * std::sin(a));
        sb.push_back(0.3f + 0.7f * std::pow(rng.Uniform(), 3.0f));
    }
    const float moon[3] = {0.45f, 0.55f, 0.7f};
    float ml = std::sqrt(moon[0] * moon[0] + moon[1] * moon[1] + moon[2] * moon[2]);
    auto sky = [&](float rx, float ry, float rz) {
        float az = std::atan2(rx, rz) / (2 * kPi) + 0.5f;
        float t = Clamp01(ry);
        Colour c = Mix(kSkyLow, kSkyTop, std::sqrt(t));
        float cl = Smoothstep(0.5f, 0.8f, clouds.Sample(az, t * 0.5f));
        c = Mix(c, {0.18f, 0.22f, 0.32f}, cl * 0.5f);
        float md = (rx * moon[0] + ry * moon[1] + rz * moon[2]) / ml;
        float glow = std::pow(Clamp01(md), 60.0f) * 0.6f + Smoothstep(0.9985f, 0.9992f, md);
        c = Mix(c, {0.95f, 0.95f, 0.88f}, Clamp01(glow));
        for (size_t i = 0; i < sx.size(); i++) {
            float sd = rx * sx[i] + ry * sy[i] + rz * sz[i];
            if (sd > 0.9997f) c = Mix(c, {1, 1, 1}, sb[i] * Smoothstep(0.9997f, 0.99995f, sd));
        }
        return c;
    };
    const Colour outside = {0.02f, 0.03f, 0.045f};
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            float u = (x + 0.5f) / size * 2 - 1, v = 1 - (y + 0.5f) / size * 2;
            float r2 = u * u + v * v;
            // Beyond the disc the sphere map is never looked up; a dark fill, softened at
            // the rim, keeps filtering from finding stray colours there.
            float inside = Clamp01((1 - std::sqrt(r2)) * size * 0.5f + 0.5f);
            float k = r2 > 1 ? 0.999f / std::sqrt(r2) : 1.0f;
            u *= k;
            v *= k;
            float nz = std::sqrt(std::max(0.0f, 1 - u * u - v * v));
            // Reflection of the view direction (0, 0, -1) about the normal (u, v, nz).
            float rx = 2 * nz * u, ry = 2 * nz * v, rz = 2 * nz * nz - 1;
            float az = std::atan2(rx, rz) / (2 * kPi) + 0.5f;
            float horizon = -0.05f + 0.22f * treeLine.Sample(az, 0.5f);
            Colour c;
            if (ry > horizon) {
                c = sky(rx, ry, rz);
            } else if (ry > -0.08f) {
                c = {0.02f, 0.03f, 0.045f}; // the tree line
            } else {
                // The lake mirrors the sky, dimmed.
                Colour m = sky(rx, -ry, rz);
                c = Mix({0.01f, 0.015f, 0.03f}, m, 0.4f);
            }
            c = Mix(outside, c, inside);
            float* p = img.At(x, y);
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = 1;
        }
    }
    return img;
}

} // namespace art
