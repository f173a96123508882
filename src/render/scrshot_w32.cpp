// The desktop capture on Windows: a DirectDraw 7 blit from the primary surface into a surface
// in system memory. Where DirectDraw cannot (no DirectDraw, a primary surface that cannot be
// read, a desktop of other than 32 bits per pixel) the screen is copied with GDI instead,
// which gives the same pixels.
#include "render/scrshot.h"

#include <windows.h>

#include <ddraw.h>

#include "base/trace.h"

namespace {

IDirectDraw7* localDD7 = nullptr;
IDirectDrawSurface7* localPrim = nullptr;

void localReleasePrim() {
    if (localPrim) localPrim->Release();
    localPrim = nullptr;
}

// Rows of 32-bit pixels, bytes blue, green, red, unused, into canvas pixels: bytes red,
// green, blue, 255.
void localConvert(const unsigned char* src, long pitch, FXPixmap* dst) {
    for (int y = 0; y < dst->height; y++) {
        const uint32_t* s = reinterpret_cast<const uint32_t*>(src + (size_t)y * pitch);
        uint32_t* d = dst->pixels + (size_t)y * dst->stride;
        for (int x = 0; x < dst->width; x++) {
            uint32_t p = s[x];
            d[x] = 0xff000000u | ((p & 0xff) << 16) | (p & 0xff00) | ((p >> 16) & 0xff);
        }
    }
}

bool localPrepare(FXPixmap* pixmap, int w, int h) {
    if (!pixmap->Realloc(w, h)) {
        err("screen capture: no memory for %d x %d pixels\n", w, h);
        return false;
    }
    // Opaque black beyond the picture: the conversion writes every pixel inside it.
    pixmap->ClearPadding(0xff000000u);
    return true;
}

// The steps of a DirectDraw capture. A failing step is traced and gives false; the caller
// then copies the screen with GDI, so these are not errors of the saver.
bool localDirectDraw(FXPixmap* pixmap, int w, int h) {
    if (!localDD7 && FAILED(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&localDD7), IID_IDirectDraw7, nullptr))) {
        localDD7 = nullptr;
        trc("DirectDrawCreateEx\n");
        return false;
    }
    if (FAILED(localDD7->SetCooperativeLevel(nullptr, DDSCL_NORMAL))) {
        trc("SetCooperativeLevel (dd7)\n");
        return false;
    }
    localReleasePrim();
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (FAILED(localDD7->CreateSurface(&desc, &localPrim, nullptr))) {
        localPrim = nullptr;
        trc("CreateSurface (dd7 primary surface)\n");
        return false;
    }
    DDSURFACEDESC2 back = {};
    back.dwSize = sizeof(back);
    back.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    back.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    back.dwWidth = w;
    back.dwHeight = h;
    IDirectDrawSurface7* surface = nullptr;
    if (FAILED(localDD7->CreateSurface(&back, &surface, nullptr))) {
        trc("CreateSurface (dd7 back surface)\n");
        return false;
    }
    bool ok = false;
    DDSURFACEDESC2 locked = {};
    locked.dwSize = sizeof(locked);
    if (FAILED(surface->Blt(nullptr, localPrim, nullptr, DDBLT_WAIT, nullptr))) {
        trc("Blt (dd7 - from primary to back)\n");
    } else if (FAILED(surface->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) {
        trc("Lock (dd7 - back)\n");
    } else {
        const DDPIXELFORMAT& pf = locked.ddpfPixelFormat;
        // Only the usual desktop converts byte by byte; any other goes through GDI.
        if (pf.dwRGBBitCount != 32 || pf.dwRBitMask != 0xff0000 || pf.dwGBitMask != 0xff00 ||
            pf.dwBBitMask != 0xff || !locked.lpSurface) {
            trc("dd7: a desktop of %lu bits per pixel\n", (unsigned long)pf.dwRGBBitCount);
        } else if (localPrepare(pixmap, w, h)) {
            localConvert(static_cast<const unsigned char*>(locked.lpSurface), locked.lPitch, pixmap);
            ok = true;
        }
        surface->Unlock(nullptr);
    }
    surface->Release();
    return ok;
}

// The screen through GDI: a copy into a top-down 32-bit section.
bool localGdi(FXPixmap* pixmap, int w, int h) {
    HDC screen = GetDC(nullptr);
    if (!screen) {
        err("screen capture: GetDC of the screen failed\n");
        return false;
    }
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = mem ? CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    bool ok = false;
    if (!section || !bits) {
        err("screen capture: no %d x %d section\n", w, h);
    } else {
        HGDIOBJ old = SelectObject(mem, section);
        if (!BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY | CAPTUREBLT)) {
            err("screen capture: BitBlt from the screen failed\n");
        } else if (localPrepare(pixmap, w, h)) {
            GdiFlush();
            localConvert(static_cast<const unsigned char*>(bits), (long)w * 4, pixmap);
            ok = true;
        }
        SelectObject(mem, old);
    }
    if (section) DeleteObject(section);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

} // namespace

FXScrShot::FXScrShot() : window(0), count(0), useShm(false) {}

FXScrShot::~FXScrShot() {
    localReleasePrim();
    if (localDD7) localDD7->Release();
    localDD7 = nullptr;
}

bool FXScrShot::Update() {
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    if (w <= 0 || h <= 0) return false;
    const char* how = "DirectDraw";
    if (!localDirectDraw(&pixmap, w, h)) {
        how = "GDI";
        if (!localGdi(&pixmap, w, h)) return false;
    }
    opaque = true;
    count++;
    trc("desktop captured: %d x %d through %s\n", w, h, how);
    return true;
}
