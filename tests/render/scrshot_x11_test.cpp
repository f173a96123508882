#include <gtest/gtest.h>

#include "render/scrshot.h"

// After gtest: Xlib's macros would clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/trace.h"
#include "support/xserver.h"

namespace {

// The test picture's colour at (x, y), 8 bits per channel.
void Colour(int x, int y, int* r, int* g, int* b) {
    *r = (x * 7 + y) & 255;
    *g = (y * 3 + x / 2) & 255;
    *b = (x ^ (y * 5)) & 255;
}

unsigned long Pack(const Visual* v, int r, int g, int b) {
    auto put = [](unsigned long mask, int c) {
        int shift = 0, bits = 0;
        while (!((mask >> shift) & 1))
            shift++;
        while ((mask >> (shift + bits)) & 1)
            bits++;
        return ((unsigned long)c >> (8 - bits)) << shift;
    };
    return put(v->red_mask, r) | put(v->green_mask, g) | put(v->blue_mask, b);
}

// Paints the test picture on the root window of `display`.
bool PaintRoot(const std::string& display, int* depth) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return false;
    int scr = DefaultScreen(dpy);
    int w = DisplayWidth(dpy, scr), h = DisplayHeight(dpy, scr);
    Visual* vis = DefaultVisual(dpy, scr);
    *depth = DefaultDepth(dpy, scr);
    XImage* img =
        XCreateImage(dpy, vis, (unsigned)*depth, ZPixmap, 0, nullptr, (unsigned)w, (unsigned)h, 32, 0);
    img->data = (char*)malloc((size_t)img->bytes_per_line * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int r, g, b;
            Colour(x, y, &r, &g, &b);
            XPutPixel(img, x, y, Pack(vis, r, g, b));
        }
    XPutImage(dpy, RootWindow(dpy, scr), DefaultGC(dpy, scr), img, 0, 0, 0, 0, (unsigned)w, (unsigned)h);
    XSync(dpy, False);
    XDestroyImage(img);
    XCloseDisplay(dpy);
    return true;
}

// What a channel of `bits` bits carrying the top bits of c reads back as, in 8 bits.
int Widen(int c, int bits) {
    int v = c >> (8 - bits), max = (1 << bits) - 1;
    return (v * 255 + max / 2) / max;
}

std::string LogText(const std::string& path) {
    std::string s;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return s;
    int c;
    while ((c = fgetc(f)) != EOF)
        s.push_back((char)c);
    fclose(f);
    return s;
}

std::string TmpPath(const char* name) {
    const char* dir = getenv("MH_TEST_TMP");
    std::string d = dir ? dir : "/tmp";
    std::string cmd = "mkdir -p '" + d + "'";
    if (system(cmd.c_str()) != 0) return "/tmp/" + std::string(name);
    return d + "/" + name;
}

// Overwrites the stack below the caller's frame, where a finished call's locals lay.
__attribute__((noinline)) void ScribbleStack() {
    volatile unsigned char junk[65536];
    for (size_t i = 0; i < sizeof(junk); i++)
        junk[i] = 0xA5;
}

// Captures the painted screen and checks every pixel; rgb bits per channel as the visual has them.
void CaptureAndCompare(const std::string& display, int w, int h, int rbits, int gbits, int bbits, bool shm) {
    setenv("DISPLAY", display.c_str(), 1);
    FXScrShot shot;
    shot.useShm = shm;
    ASSERT_TRUE(shot.Update());
    EXPECT_EQ(shot.count, 1);
    FXPixmap& p = shot.pixmap;
    ASSERT_EQ(p.width, w);
    ASSERT_EQ(p.height, h);
    EXPECT_EQ(p.stride, 512);
    EXPECT_EQ(p.rows, 256);
    EXPECT_TRUE(shot.opaque);
    int bad = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int r, g, b;
            Colour(x, y, &r, &g, &b);
            const unsigned char* px = (const unsigned char*)&p.pixels[x + y * p.stride];
            if (px[0] != Widen(r, rbits) || px[1] != Widen(g, gbits) || px[2] != Widen(b, bbits) ||
                px[3] != 255) {
                if (bad++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << (int)px[0] << " " << (int)px[1]
                                  << " " << (int)px[2] << " " << (int)px[3];
            }
        }
    EXPECT_EQ(bad, 0);
    // The padding of the power-of-two block is opaque black.
    EXPECT_EQ(p.pixels[w + 5], 0xff000000u);
    EXPECT_EQ(p.pixels[(h + 3) * p.stride], 0xff000000u);

    // A second capture reuses the connection (and the shared segment) and counts; nothing the
    // first one left on the stack may be needed by then.
    ScribbleStack();
    ASSERT_TRUE(shot.Update());
    EXPECT_EQ(shot.count, 2);
}

} // namespace

TEST(ScrShot, TrueColor24EveryPixelBothPaths) {
    XServer x;
    ASSERT_TRUE(x.Start(300, 200, 24)) << "Xvfb did not start";
    int depth = 0;
    ASSERT_TRUE(PaintRoot(x.display, &depth));
    ASSERT_EQ(depth, 24);

    std::string log = TmpPath("capture24.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    CaptureAndCompare(x.display, 300, 200, 8, 8, 8, true);
    CaptureAndCompare(x.display, 300, 200, 8, 8, 8, false);
    fxCloseTraces();
    std::string text = LogText(log);
    // Both shared-memory captures read through a segment: the second one through the kept one.
    std::string shared = "desktop captured: 300 x 200, 32 bits per pixel, shared memory";
    size_t first = text.find(shared);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find(shared, first + 1), std::string::npos) << text;
    EXPECT_NE(text.find("desktop captured: 300 x 200, 32 bits per pixel, XGetImage"), std::string::npos);
}

TEST(ScrShot, TrueColor16UsesTheVisualMasks) {
    XServer x;
    ASSERT_TRUE(x.Start(260, 130, 16)) << "Xvfb did not start";
    int depth = 0;
    ASSERT_TRUE(PaintRoot(x.display, &depth));
    ASSERT_EQ(depth, 16);
    CaptureAndCompare(x.display, 260, 130, 5, 6, 5, true);
    CaptureAndCompare(x.display, 260, 130, 5, 6, 5, false);
    // Full channels widen to full bytes.
    EXPECT_EQ(Widen(255, 5), 255);
    EXPECT_EQ(Widen(255, 6), 255);
}

TEST(ScrShot, NoDisplayFailsAndLeavesTheCanvas) {
    std::string log = TmpPath("capturefail.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    setenv("DISPLAY", ":4097", 1);
    FXScrShot shot;
    EXPECT_FALSE(shot.Update());
    EXPECT_EQ(shot.count, 0);
    EXPECT_EQ(shot.pixmap.pixels, nullptr);
    fxCloseTraces();
    EXPECT_NE(LogText(log).find("#ERROR: "), std::string::npos);
    EXPECT_NE(LogText(log).find("XOpenDisplay"), std::string::npos);
}
