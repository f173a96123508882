#include "render/scrshot.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdint>

#include "base/trace.h"

// The X connection of the captures; opened by the first capture, closed with the capture object.
static Display* localDisplay = nullptr;

// Errors raised by the server during a capture are noted here instead of ending the process.
static int localXError = 0;
static int localTrapError(Display*, XErrorEvent* e) {
    localXError = e->error_code;
    return 0;
}

FXScrShot::FXScrShot() : window(0), count(0), useShm(true) {}

// A channel of a TrueColor pixel: where it sits and how many bits it has.
struct localChannel {
    int shift;
    int bits;
    unsigned long mask;
};

static localChannel localChannelOf(unsigned long mask) {
    localChannel c = {0, 0, mask};
    if (!mask) return c;
    while (!((mask >> c.shift) & 1))
        c.shift++;
    while ((mask >> (c.shift + c.bits)) & 1)
        c.bits++;
    return c;
}

static inline uint32_t localTo8(unsigned long pixel, const localChannel& c) {
    if (!c.bits) return 0;
    uint32_t v = (uint32_t)((pixel & c.mask) >> c.shift);
    if (c.bits == 8) return v;
    if (c.bits > 8) return v >> (c.bits - 8);
    uint32_t max = (1u << c.bits) - 1;
    return (v * 255 + max / 2) / max;
}

static inline unsigned long localFetch(const unsigned char* p, int bytes, bool msbFirst) {
    unsigned long v = 0;
    if (msbFirst)
        for (int i = 0; i < bytes; i++)
            v = (v << 8) | p[i];
    else
        for (int i = bytes - 1; i >= 0; i--)
            v = (v << 8) | p[i];
    return v;
}

// Converts the image into canvas pixels: bytes red, green, blue, alpha 255.
static void localConvert(XImage* img, Visual* vis, FXPixmap* dst) {
    int w = dst->width, h = dst->height, bytes = img->bits_per_pixel / 8;
    bool msbFirst = img->byte_order == MSBFirst;
    if (bytes == 4 && !msbFirst && vis->red_mask == 0xff0000 && vis->green_mask == 0xff00 &&
        vis->blue_mask == 0xff) {
        // The usual desktop: bytes blue, green, red, unused.
        for (int y = 0; y < h; y++) {
            const uint32_t* s = (const uint32_t*)(img->data + (size_t)y * img->bytes_per_line);
            uint32_t* d = dst->pixels + (size_t)y * dst->stride;
            for (int x = 0; x < w; x++) {
                uint32_t p = s[x];
                d[x] = 0xff000000u | ((p & 0xff) << 16) | (p & 0xff00) | ((p >> 16) & 0xff);
            }
        }
        return;
    }
    localChannel r = localChannelOf(vis->red_mask), g = localChannelOf(vis->green_mask),
                 b = localChannelOf(vis->blue_mask);
    for (int y = 0; y < h; y++) {
        const unsigned char* s = (const unsigned char*)img->data + (size_t)y * img->bytes_per_line;
        uint32_t* d = dst->pixels + (size_t)y * dst->stride;
        for (int x = 0; x < w; x++, s += bytes) {
            unsigned long p = localFetch(s, bytes, msbFirst);
            d[x] = 0xff000000u | (localTo8(p, b) << 16) | (localTo8(p, g) << 8) | localTo8(p, r);
        }
    }
}

// Opaque black beyond the picture: the conversion writes every pixel inside it.
static void localClearPadding(FXPixmap* p) {
    const uint32_t black = 0xff000000u;
    for (int y = 0; y < p->height; y++)
        for (int x = p->width; x < p->stride; x++)
            p->pixels[(size_t)y * p->stride + x] = black;
    for (size_t i = (size_t)p->height * p->stride; i < (size_t)p->rows * p->stride; i++)
        p->pixels[i] = black;
}

// The shared-memory image of the last capture, kept for the next one of the same size.
static XImage* localShmImage = nullptr;
static XShmSegmentInfo localShmInfo;

static void localReleaseShm(Display* dpy) {
    if (!localShmImage) return;
    XShmDetach(dpy, &localShmInfo);
    XSync(dpy, False);
    shmdt(localShmInfo.shmaddr);
    localShmImage->data = nullptr;
    XDestroyImage(localShmImage);
    localShmImage = nullptr;
}

// A shared-memory image attached to the server, or null when the server cannot share one.
static XImage* localShmImageFor(Display* dpy, Visual* vis, int depth, int w, int h) {
    if (localShmImage && localShmImage->width == w && localShmImage->height == h &&
        localShmImage->depth == depth)
        return localShmImage;
    localReleaseShm(dpy);
    if (!XShmQueryExtension(dpy)) return nullptr;
    XShmSegmentInfo shm = {};
    XImage* img =
        XShmCreateImage(dpy, vis, (unsigned)depth, ZPixmap, nullptr, &shm, (unsigned)w, (unsigned)h);
    if (!img) return nullptr;
    shm.shmid = shmget(IPC_PRIVATE, (size_t)img->bytes_per_line * (size_t)img->height, IPC_CREAT | 0600);
    if (shm.shmid < 0) {
        XDestroyImage(img);
        return nullptr;
    }
    shm.shmaddr = img->data = (char*)shmat(shm.shmid, nullptr, 0);
    // Marked for removal at once: the segment goes away when the last user detaches.
    shmctl(shm.shmid, IPC_RMID, nullptr);
    if (shm.shmaddr == (char*)-1) {
        img->data = nullptr;
        XDestroyImage(img);
        return nullptr;
    }
    shm.readOnly = False;
    localXError = 0;
    bool attached = XShmAttach(dpy, &shm);
    XSync(dpy, False);
    if (!attached || localXError) {
        // A server that cannot reach our memory (a remote display) refuses the attachment.
        if (attached) XShmDetach(dpy, &shm);
        XSync(dpy, False);
        shmdt(shm.shmaddr);
        img->data = nullptr;
        XDestroyImage(img);
        return nullptr;
    }
    localShmImage = img;
    localShmInfo = shm;
    // The image refers to its segment record, which must outlive this call: the kept copy.
    img->obdata = (char*)&localShmInfo;
    return img;
}

FXScrShot::~FXScrShot() {
    if (localDisplay) {
        localReleaseShm(localDisplay);
        XCloseDisplay(localDisplay);
        localDisplay = nullptr;
    }
}

// The desktop picture a screen-saver daemon left on `w`: a pixmap of the screen's depth, or 0.
static Pixmap localSavedPicture(Display* dpy, Window w, int depth, int* pw, int* ph) {
    Atom name = XInternAtom(dpy, "_SCREENSAVER_SCREENSHOT", True);
    if (name == None || !w) return 0;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    Pixmap found = 0;
    if (XGetWindowProperty(dpy, w, name, 0, 1, False, XA_PIXMAP, &type, &format, &items, &after, &data) ==
            Success &&
        data && type == XA_PIXMAP && format == 32 && items == 1)
        found = (Pixmap)((unsigned long*)data)[0];
    if (data) XFree(data);
    if (!found) return 0;
    // The property is anyone's to write: the pixmap must exist and match the screen.
    Window root;
    int x, y;
    unsigned width, height, border, pdepth;
    localXError = 0;
    Status ok = XGetGeometry(dpy, found, &root, &x, &y, &width, &height, &border, &pdepth);
    XSync(dpy, False);
    if (!ok || localXError || (int)pdepth != depth || !width || !height) {
        err("screen capture: the saved desktop picture 0x%lx on window 0x%lx is not usable\n", found, w);
        return 0;
    }
    *pw = (int)width;
    *ph = (int)height;
    return found;
}

bool FXScrShot::Update() {
    if (!localDisplay) {
        localDisplay = XOpenDisplay(nullptr);
        if (!localDisplay) {
            err("XOpenDisplay (screen capture)\n");
            return false;
        }
    }
    Display* dpy = localDisplay;
    int scr = DefaultScreen(dpy);
    Window root = RootWindow(dpy, scr);
    int sw = DisplayWidth(dpy, scr), sh = DisplayHeight(dpy, scr);
    if (sw <= 0 || sh <= 0) return false;

    XWindowAttributes attr;
    if (!XGetWindowAttributes(dpy, root, &attr) || !attr.visual) {
        err("XGetWindowAttributes (root window)\n");
        return false;
    }
    Visual* vis = attr.visual;
    if (vis->c_class != TrueColor && vis->c_class != DirectColor) {
        err("screen capture: visual class %d of depth %d is not supported\n", vis->c_class, attr.depth);
        return false;
    }

    XErrorHandler oldHandler = XSetErrorHandler(localTrapError);
    // The rectangle wanted, in screen pixels: the window's, or the whole screen.
    int x = 0, y = 0, w = sw, h = sh;
    if (window) {
        XWindowAttributes wa;
        Window child;
        localXError = 0;
        bool ok = XGetWindowAttributes(dpy, window, &wa) &&
                  XTranslateCoordinates(dpy, window, root, 0, 0, &x, &y, &child);
        XSync(dpy, False);
        if (!ok || localXError) {
            XSetErrorHandler(oldHandler);
            err("screen capture: window 0x%lx is not accessible\n", window);
            return false;
        }
        w = wa.width;
        h = wa.height;
    }
    // The saved picture of the desktop, on the window first, then on the root window.
    int limitW = sw, limitH = sh;
    Drawable source = root;
    const char* how = nullptr;
    if (Pixmap saved = localSavedPicture(dpy, window, attr.depth, &limitW, &limitH)) {
        source = saved;
        how = "saved picture";
    } else if (Pixmap saved = localSavedPicture(dpy, root, attr.depth, &limitW, &limitH)) {
        source = saved;
        how = "saved picture";
    } else {
        limitW = sw;
        limitH = sh;
    }
    // Only what lies on the screen (or on the saved picture) can be read.
    int x1 = x + w < limitW ? x + w : limitW, y1 = y + h < limitH ? y + h : limitH;
    x = x > 0 ? x : 0;
    y = y > 0 ? y : 0;
    w = x1 - x;
    h = y1 - y;
    if (w <= 0 || h <= 0) {
        XSetErrorHandler(oldHandler);
        err("screen capture: window 0x%lx lies off the screen\n", window);
        return false;
    }

    XImage* img = useShm && !how ? localShmImageFor(dpy, vis, attr.depth, w, h) : nullptr;
    bool shared = false;
    if (img) {
        localXError = 0;
        Status got = XShmGetImage(dpy, root, img, x, y, AllPlanes);
        XSync(dpy, False);
        shared = got && !localXError;
        if (!shared) {
            localReleaseShm(dpy);
            img = nullptr;
        }
    }
    if (!img) {
        localXError = 0;
        img = XGetImage(dpy, source, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        XSync(dpy, False);
        if (img && localXError) {
            XDestroyImage(img);
            img = nullptr;
        }
    }
    XSetErrorHandler(oldHandler);
    if (!img) {
        err("XGetImage (%s)\n", how ? how : "root window");
        return false;
    }

    bool ok = false;
    int bpp = img->bits_per_pixel;
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        err("screen capture: %d bits per pixel are not supported\n", bpp);
    } else if (!pixmap.Realloc(w, h)) {
        err("screen capture: no memory for %d x %d pixels\n", w, h);
    } else {
        localConvert(img, vis, &pixmap);
        localClearPadding(&pixmap);
        opaque = true;
        count++;
        ok = true;
        trc("desktop captured: %d x %d, %d bits per pixel, %s\n", w, h, bpp,
            how ? how : shared ? "shared memory" : "XGetImage");
    }

    if (!shared) XDestroyImage(img);
    return ok;
}
