#include "assets/pixmap.h"

#include <cstdlib>
#include <cstring>

#include "base/arrays.h"

namespace {
// Largest image side and block the pixmap accepts; larger sizes come only from broken files.
const int kMaxSide = 1 << 15;
const long long kMaxPixels = 1LL << 28;
} // namespace

FXPixmap::FXPixmap() : pixels(nullptr), capacity(0), stride(0), rows(0), width(0), height(0), pow2(true) {}

FXPixmap::~FXPixmap() {
    Destroy();
}

bool FXPixmap::Realloc(int w, int h) {
    if (w < 0 || h < 0 || w > kMaxSide || h > kMaxSide) {
        Destroy();
        return false;
    }
    int s = pow2 ? fxPower2(w) : w;
    int r = pow2 ? fxPower2(h) : h;
    long long need = (long long)s * r;
    if (need > kMaxPixels) {
        Destroy();
        return false;
    }
    if (!pixels || capacity < need) {
        free(pixels);
        pixels = nullptr;
        capacity = 0;
        if (need > 0) {
            pixels = (uint32_t*)malloc((size_t)need * sizeof(uint32_t));
            if (!pixels) {
                Destroy();
                return false;
            }
            capacity = (int)need;
        }
    }
    width = w;
    height = h;
    stride = s;
    rows = r;
    return true;
}

void FXPixmap::Clear(int value) {
    if (!pixels) return;
    long long n = (long long)stride * rows;
    for (long long i = 0; i < n; i++)
        pixels[i] = (uint32_t)value;
}

void FXPixmap::ClearPadding(uint32_t value) {
    if (!pixels) return;
    for (int y = 0; y < height; y++)
        for (int x = width; x < stride; x++)
            pixels[(size_t)y * stride + x] = value;
    for (size_t i = (size_t)height * stride; i < (size_t)rows * stride; i++)
        pixels[i] = value;
}

void FXPixmap::ReleasePixels() {
    free(pixels);
    pixels = nullptr;
    capacity = 0;
}

void FXPixmap::Take(FXPixmap* src) {
    if (!src || src == this) return;
    Destroy();
    pixels = src->pixels;
    capacity = src->capacity;
    stride = src->stride;
    rows = src->rows;
    width = src->width;
    height = src->height;
    pow2 = src->pow2;
    src->pixels = nullptr;
    src->Destroy();
}

void FXPixmap::Destroy() {
    free(pixels);
    pixels = nullptr;
    capacity = 0;
    stride = 0;
    rows = 0;
    width = 0;
    height = 0;
}

FXPixmapRuns::~FXPixmapRuns() {
    Destroy();
}

bool FXPixmapRuns::Pack(const FXPixmap& p) {
    Destroy();
    if (!p.pixels || p.stride < 1 || p.rows < 1) return false;
    size_t n = (size_t)p.stride * p.rows;
    size_t used = 0, count = 0;
    for (size_t i = 0; i < n; i++)
        if (p.pixels[i]) {
            used++;
            if (i == 0 || !p.pixels[i - 1]) count++;
        }
    data = (uint32_t*)malloc((count * 2 + used + 1) * sizeof(uint32_t));
    if (!data) return false;
    uint32_t* run = data;
    uint32_t* out = data + count * 2;
    for (size_t i = 0; i < n;) {
        if (!p.pixels[i]) {
            i++;
            continue;
        }
        size_t start = i;
        while (i < n && p.pixels[i])
            *out++ = p.pixels[i++];
        *run++ = (uint32_t)start;
        *run++ = (uint32_t)(i - start);
    }
    runCount = count;
    stride = p.stride;
    rows = p.rows;
    return true;
}

bool FXPixmapRuns::Fits(const FXPixmap& p) const {
    return p.pixels && data && p.stride == stride && p.rows == rows;
}

void FXPixmapRuns::Paint(FXPixmap* p) const {
    if (!p || !Fits(*p)) return;
    const uint32_t* src = data + runCount * 2;
    for (size_t r = 0; r < runCount; r++) {
        memcpy(p->pixels + data[2 * r], src, data[2 * r + 1] * sizeof(uint32_t));
        src += data[2 * r + 1];
    }
}

void FXPixmapRuns::Erase(FXPixmap* p) const {
    if (!p || !Fits(*p)) return;
    for (size_t r = 0; r < runCount; r++)
        memset(p->pixels + data[2 * r], 0, data[2 * r + 1] * sizeof(uint32_t));
}

void FXPixmapRuns::Destroy() {
    free(data);
    data = nullptr;
    runCount = 0;
    stride = 0;
    rows = 0;
}
