#include "text.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "assets/canvas.h"
#include "assets/font.h"

namespace art {

bool RenderTextLine(const char* text, const char* family, int pixelHeight, bool bold, Image* out) {
    FXFontGDI font;
    if (!font.Create(family, pixelHeight, bold)) return false;
    FXCanvas canvas;
    float white[4] = {1, 1, 1, 1};
    if (!canvas.CreateFromText(text, &font, white)) return false;
    const FXPixmap& pm = canvas.pixmap;
    *out = Image(pm.width, pm.height);
    for (int y = 0; y < pm.height; y++)
        for (int x = 0; x < pm.width; x++) {
            uint32_t v = pm.pixels[size_t(y) * pm.stride + x];
            float* p = out->At(x, y);
            p[0] = float(v & 255) / 255.0f;
            p[1] = float((v >> 8) & 255) / 255.0f;
            p[2] = float((v >> 16) & 255) / 255.0f;
            p[3] = float(v >> 24) / 255.0f;
        }
    return true;
}

namespace {

// Horizontal extent of the pixels with any coverage.
void InkColumns(const Image& img, int* first, int* last) {
    *first = img.width;
    *last = -1;
    for (int x = 0; x < img.width; x++)
        for (int y = 0; y < img.height; y++)
            if (img.At(x, y)[3] > 0) {
                *first = std::min(*first, x);
                *last = std::max(*last, x);
            }
}

void InkRows(const Image& img, int* first, int* last) {
    *first = img.height;
    *last = -1;
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < img.width; x++)
            if (img.At(x, y)[3] > 0) {
                *first = std::min(*first, y);
                *last = std::max(*last, y);
            }
}

} // namespace

bool RenderLabel(Image* out) {
    Image text;
    if (!RenderTextLine("Vesk3D", "DejaVu Sans", 50, true, &text)) return false;
    int x0, x1, y0, y1;
    InkColumns(text, &x0, &x1);
    InkRows(text, &y0, &y1);
    if (x1 < x0 || y1 < y0) return false;
    // The label is drawn four times as wide as high: centre the inked text in 256 x 64,
    // scaled to fit with a margin, and give it a faint glow so it reads on dark and light.
    const int W = 256, H = 64;
    float iw = float(x1 - x0 + 1), ih = float(y1 - y0 + 1);
    float k = std::min((W - 24) / iw, (H - 14) / ih);
    k = std::min(k, 1.0f);
    Image ink = Crop(text, x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    Image glyphs(W, H);
    CompositeOver(glyphs, ink, (W - iw * k) * 0.5f, (H - ih * k) * 0.5f, iw * k, ih * k, 1);
    Image glow = glyphs;
    Blur(glow, 3, false);
    Image label(W, H);
    for (size_t i = 0; i < label.px.size(); i += 4) {
        label.px[i] = label.px[i + 1] = label.px[i + 2] = 1;
        float g = glyphs.px[i + 3], h = glow.px[i + 3] * 0.45f;
        label.px[i + 3] = Clamp01(g + h * (1 - g));
    }
    *out = label;
    return true;
}

bool RenderErrorPanel(Image* out) {
    const char* lines[] = {
        "Your Graphics Capabilities seems to be insufficient.",
        "Either you have no Graphics Card, or you have not",
        "installed the drivers for it.",
    };
    const int maxWidth = 512, pad = 16;
    std::vector<Image> rendered;
    int lineHeight = 0;
    // The largest size at which the longest line fits the panel; a substitute font too
    // wide even at the smallest size fails rather than spilling out of the panel.
    bool fits = false;
    for (int height = 20; height >= 10 && !fits; height--) {
        rendered.clear();
        int widest = 0;
        lineHeight = 0;
        for (const char* line : lines) {
            Image img;
            if (!RenderTextLine(line, "DejaVu Sans", height, false, &img)) return false;
            widest = std::max(widest, img.width);
            lineHeight = std::max(lineHeight, img.height);
            rendered.push_back(img);
        }
        fits = widest + 2 * pad <= maxWidth;
    }
    if (!fits) return false;
    int H = pad * 2 + lineHeight * 3 + 4;
    int W = maxWidth;
    Image panel(W, H);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            // Rounded dark panel with a thin warm border.
            float fx = std::min(x + 0.5f, W - x - 0.5f), fy = std::min(y + 0.5f, H - y - 0.5f);
            float r = 8, cx = std::max(0.0f, r - fx), cy = std::max(0.0f, r - fy);
            float d = r - std::sqrt(cx * cx + cy * cy);
            float inside = Clamp01(std::min(std::min(fx, fy), d + 0.5f));
            float border = Clamp01(1.5f - std::fabs(std::min(std::min(fx, fy), d) - 2.5f));
            float* p = panel.At(x, y);
            p[0] = 0.06f + 0.7f * border;
            p[1] = 0.07f + 0.45f * border;
            p[2] = 0.1f + 0.2f * border;
            p[3] = inside * 0.92f;
        }
    for (size_t i = 0; i < rendered.size(); i++) {
        const Image& img = rendered[i];
        float x = pad;
        float y = pad + 2 + float(i) * lineHeight;
        for (int yy = 0; yy < img.height; yy++)
            for (int xx = 0; xx < img.width; xx++) {
                float a = img.At(xx, yy)[3];
                float* p = panel.At(int(x) + xx, int(y) + yy);
                for (int c = 0; c < 3; c++)
                    p[c] += (0.96f - p[c]) * a;
                p[3] = std::max(p[3], a);
            }
    }
    *out = panel;
    return true;
}

} // namespace art
