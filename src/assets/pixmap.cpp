#include "assets/pixmap.h"

#include <cstdlib>

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
