#include <gtest/gtest.h>

#include "render/scrshot.h"

// After gtest: Xlib's macros would clash with its names.
#include <X11/Xatom.h>
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

namespace {

// The saved-picture colour at (x, y): unlike the screen's.
void SavedColour(int x, int y, int* r, int* g, int* b) {
    Colour(x, y, r, g, b);
    *r = 255 - *r;
    *b = (*b + 77) & 255;
}

// The canvas shows `colour` for the screen rectangle at (x0, y0) of the canvas's size.
int CountWrong(const FXPixmap& p, int x0, int y0, void (*colour)(int, int, int*, int*, int*)) {
    int bad = 0;
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            int r, g, b;
            colour(x + x0, y + y0, &r, &g, &b);
            const unsigned char* px = (const unsigned char*)&p.pixels[x + y * p.stride];
            if (px[0] != r || px[1] != g || px[2] != b || px[3] != 255) bad++;
        }
    return bad;
}

void SetSaved(Display* dpy, Window w, Pixmap p) {
    Atom name = XInternAtom(dpy, "_SCREENSAVER_SCREENSHOT", False);
    if (p)
        XChangeProperty(dpy, w, name, XA_PIXMAP, 32, PropModeReplace, (unsigned char*)&p, 1);
    else
        XDeleteProperty(dpy, w, name);
    XSync(dpy, False);
}

} // namespace

// A display mode's window: the desktop comes from the picture the daemon saved on the window,
// or on the root window, cut to the part under the window; without one, or with one that is
// no pixmap of the screen, from the screen under the window.
TEST(ScrShot, SavedDesktopPictureUnderTheWindow) {
    XServer x;
    ASSERT_TRUE(x.Start(320, 240, 24)) << "Xvfb did not start";
    int depth = 0;
    ASSERT_TRUE(PaintRoot(x.display, &depth));
    setenv("DISPLAY", x.display.c_str(), 1);
    Display* dpy = XOpenDisplay(x.display.c_str());
    ASSERT_NE(dpy, nullptr);
    int scr = DefaultScreen(dpy);
    Window root = RootWindow(dpy, scr);
    Visual* vis = DefaultVisual(dpy, scr);
    Pixmap saved = XCreatePixmap(dpy, root, 320, 240, (unsigned)depth);
    XImage* img = XCreateImage(dpy, vis, (unsigned)depth, ZPixmap, 0, nullptr, 320, 240, 32, 0);
    img->data = (char*)malloc((size_t)img->bytes_per_line * 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            int r, g, b;
            SavedColour(x, y, &r, &g, &b);
            XPutPixel(img, x, y, Pack(vis, r, g, b));
        }
    XPutImage(dpy, saved, DefaultGC(dpy, scr), img, 0, 0, 0, 0, 320, 240);
    XDestroyImage(img);
    // A window inside a window, never mapped so that the screen under it stays as painted.
    Window outer = XCreateSimpleWindow(dpy, root, 20, 10, 200, 150, 0, 0, 0);
    Window w = XCreateSimpleWindow(dpy, outer, 30, 40, 120, 90, 0, 0, 0);
    Pixmap junk = XCreatePixmap(dpy, root, 8, 8, 1); // not of the screen's depth
    XSync(dpy, False);

    struct {
        Window holder;
        Pixmap picture;
        void (*colour)(int, int, int*, int*, int*);
    } cases[] = {{w, saved, SavedColour},  {root, saved, SavedColour}, {w, 0, Colour},
                 {w, junk, Colour},        {w, 0x7ffff0, Colour}};
    for (auto& c : cases) {
        if (c.picture) SetSaved(dpy, c.holder, c.picture);
        FXScrShot shot;
        shot.window = w;
        ASSERT_TRUE(shot.Update());
        EXPECT_EQ(shot.pixmap.width, 120);
        EXPECT_EQ(shot.pixmap.height, 90);
        EXPECT_EQ(CountWrong(shot.pixmap, 50, 50, c.colour), 0)
            << "picture 0x" << std::hex << c.picture << " on 0x" << c.holder;
        if (c.picture) SetSaved(dpy, c.holder, 0);
    }
    // The whole screen takes the root window's picture.
    SetSaved(dpy, root, saved);
    FXScrShot whole;
    ASSERT_TRUE(whole.Update());
    EXPECT_EQ(whole.pixmap.width, 320);
    EXPECT_EQ(CountWrong(whole.pixmap, 0, 0, SavedColour), 0);
    // A window that is gone fails without touching the canvas.
    XDestroyWindow(dpy, outer);
    XSync(dpy, False);
    FXScrShot gone;
    gone.window = w;
    EXPECT_FALSE(gone.Update());
    EXPECT_EQ(gone.pixmap.pixels, nullptr);
    XCloseDisplay(dpy);
}
