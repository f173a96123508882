// Text through GDI: the font is selected into a memory device context and lines are drawn,
// white on black, into a 32-bit device-independent bitmap whose green channel is the coverage.
#include "assets/font.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "base/trace.h"

namespace {

struct localFont {
    HDC dc = nullptr;
    HFONT font = nullptr;
    HGDIOBJ old = nullptr;
};

// UTF-16 for the wide GDI calls; characters beyond the basic plane become surrogate pairs.
std::wstring localWide(const char32_t* text, int count) {
    std::wstring out;
    for (int i = 0; i < count; i++) {
        char32_t c = text[i];
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

} // namespace

FXFontGDI::FXFontGDI() : impl(nullptr), height(0) {}

FXFontGDI::~FXFontGDI() {
    Destroy();
}

void FXFontGDI::Destroy() {
    if (localFont* f = static_cast<localFont*>(impl)) {
        if (f->dc && f->old) SelectObject(f->dc, f->old);
        if (f->font) DeleteObject(f->font);
        if (f->dc) DeleteDC(f->dc);
        delete f;
    }
    impl = nullptr;
    height = 0;
}

bool FXFontGDI::Create(const char* family, int h, bool bold, bool italic) {
    Destroy();
    if (!family || !*family || h <= 0 || h > 4096) return false;
    localFont* f = new localFont;
    // The height is the em size (a negative height), as with other rasterisers; grey
    // antialiasing, never ClearType: the coverage must not depend on a colour channel.
    f->font = CreateFontA(-h, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                          family);
    f->dc = CreateCompatibleDC(nullptr);
    if (!f->font || !f->dc) {
        err("FXFontGDI: cannot create font %s (%d pixels)\n", family, h);
        impl = f;
        Destroy();
        return false;
    }
    f->old = SelectObject(f->dc, f->font);
    impl = f;
    height = h;
    return true;
}

void FXFontGDI::Measure(const char32_t* text, int count, int* w, int* h) {
    *w = 0;
    *h = 0;
    localFont* f = static_cast<localFont*>(impl);
    if (!f || count <= 0) return;
    std::wstring s = localWide(text, count);
    SIZE size;
    TEXTMETRICW tm;
    if (GetTextExtentPoint32W(f->dc, s.c_str(), static_cast<int>(s.size()), &size)) *w = size.cx;
    if (GetTextMetricsW(f->dc, &tm)) *h = tm.tmHeight;
}

void FXFontGDI::Draw(const char32_t* text, int count, unsigned char* coverage, int w, int h) {
    localFont* f = static_cast<localFont*>(impl);
    if (!f || count <= 0 || w <= 0 || h <= 0) return;
    BITMAPINFO bi;
    memset(&bi, 0, sizeof bi);
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(f->dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp || !bits) {
        err("FXFontGDI: no %d x %d bitmap for text\n", w, h);
        if (bmp) DeleteObject(bmp);
        return;
    }
    HGDIOBJ oldBmp = SelectObject(f->dc, bmp);
    memset(bits, 0, static_cast<size_t>(w) * h * 4);
    SetBkMode(f->dc, TRANSPARENT);
    SetTextColor(f->dc, RGB(255, 255, 255));
    SetTextAlign(f->dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
    std::wstring s = localWide(text, count);
    TextOutW(f->dc, 0, 0, s.c_str(), static_cast<int>(s.size()));
    GdiFlush();
    const unsigned char* px = static_cast<const unsigned char*>(bits);
    for (long i = 0; i < static_cast<long>(w) * h; i++) {
        unsigned char g = px[i * 4 + 1];
        if (g > coverage[i]) coverage[i] = g;
    }
    SelectObject(f->dc, oldBmp);
    DeleteObject(bmp);
}
