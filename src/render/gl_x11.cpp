// X11 binding of the device: a GLX context on a child window that fills the saver window and
// follows its size. The GLX visual rarely matches the parent's, so the child gets its own
// visual and colormap.
// The binding talks to the server over a connection of its own, so the render loop never
// shares Xlib state with the thread that runs the event loop.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <GL/glx.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "render/gl_x11.h"

#include "base/trace.h"

namespace {

bool localHasGLXExtension(Display* dpy, int screen, const char* name) {
    const char* list = glXQueryExtensionsString(dpy, screen);
    if (!list) return false;
    size_t n = strlen(name);
    for (const char* p = strstr(list, name); p; p = strstr(p + 1, name))
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == 0)) return true;
    return false;
}

// When MHOLLOW_FIRST_FRAME_FD names a descriptor, the time of the process's first swap
// (CLOCK_MONOTONIC, in nanoseconds) and the processor time the process has used by then (all
// its threads, nanoseconds) are written there once: mhbench measures start-up with them.
void localReportFirstSwap() {
    static bool reported = false;
    const char* fd = getenv("MHOLLOW_FIRST_FRAME_FD");
    if (reported || !fd || !*fd) return;
    reported = true;
    struct timespec ts, cpu;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu) != 0) cpu.tv_sec = cpu.tv_nsec = 0;
    char line[64];
    int n = snprintf(line, sizeof line, "%lld %lld\n", (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec,
                     (long long)cpu.tv_sec * 1000000000LL + cpu.tv_nsec);
    if (write(atoi(fd), line, (size_t)n) != n) err("OpenGL: cannot report the first frame\n");
}

class FXGLBindingX11 : public FXGLBinding {
  public:
    Display* dpy = nullptr;
    int screen = 0;
    Window parent = 0;
    Window child = 0;
    Colormap colormap = 0;
    GLXContext ctx = nullptr;
    int width = 0, height = 0; // the child window's
    bool swapped = false;

    ~FXGLBindingX11() override {
        if (!dpy) return;
        if (ctx) {
            if (glXGetCurrentContext() == ctx) glXMakeCurrent(dpy, None, nullptr);
            glXDestroyContext(dpy, ctx);
        }
        if (child) XDestroyWindow(dpy, child);
        if (colormap) XFreeColormap(dpy, colormap);
        XCloseDisplay(dpy);
    }

    bool Create(Display* display, Window parentWindow) {
        if (!display || !parentWindow) return false;
        const char* name = DisplayString(display);
        dpy = XOpenDisplay(name);
        if (!dpy) {
            err("GLX: cannot open display %s\n", name ? name : "");
            return false;
        }
        parent = parentWindow;
        XWindowAttributes pa;
        if (!XGetWindowAttributes(dpy, parent, &pa)) {
            err("GLX: window 0x%lx is not accessible\n", parent);
            return false;
        }
        screen = XScreenNumberOfScreen(pa.screen);
        int glxError = 0, glxEvent = 0;
        if (!glXQueryExtension(dpy, &glxError, &glxEvent)) {
            err("GLX: the X server has no GLX extension\n");
            return false;
        }
        int attribs[] = {GLX_RGBA,
                         GLX_DOUBLEBUFFER,
                         GLX_RED_SIZE,
                         8,
                         GLX_GREEN_SIZE,
                         8,
                         GLX_BLUE_SIZE,
                         8,
                         GLX_DEPTH_SIZE,
                         16,
                         GLX_STENCIL_SIZE,
                         1,
                         None};
        XVisualInfo* vi = glXChooseVisual(dpy, screen, attribs);
        if (!vi) {
            err("GLX: no double-buffered RGBA visual with depth and stencil\n");
            return false;
        }
        colormap = XCreateColormap(dpy, RootWindow(dpy, screen), vi->visual, AllocNone);
        XSetWindowAttributes wa;
        memset(&wa, 0, sizeof(wa));
        wa.colormap = colormap;
        wa.border_pixel = 0;
        wa.background_pixmap = None; // never erased: the render loop owns every pixel
        wa.event_mask = 0;           // input goes on to the saver window
        int w = pa.width > 0 ? pa.width : 1, h = pa.height > 0 ? pa.height : 1;
        child = XCreateWindow(dpy, parent, 0, 0, w, h, 0, vi->depth, InputOutput, vi->visual,
                              CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &wa);
        ctx = glXCreateContext(dpy, vi, nullptr, True);
        XFree(vi);
        if (!child || !ctx) {
            err("GLX: cannot create the render window or context\n");
            return false;
        }
        // Told when the parent's size changes (its owner may be another client).
        XSelectInput(dpy, parent, StructureNotifyMask);
        XMapWindow(dpy, child);
        XSync(dpy, False);
        if (!glXMakeCurrent(dpy, child, ctx)) {
            err("GLX: cannot make the context current\n");
            return false;
        }
        SetSwapInterval();
        glXMakeCurrent(dpy, None, nullptr);
        width = w;
        height = h;
        return true;
    }

    // One frame per refresh where the driver allows it, so a fast GPU is not spun needlessly.
    void SetSwapInterval() {
        if (localHasGLXExtension(dpy, screen, "GLX_EXT_swap_control")) {
            auto f = (PFNGLXSWAPINTERVALEXTPROC)glXGetProcAddress((const GLubyte*)"glXSwapIntervalEXT");
            if (f) {
                f(dpy, child, 1);
                return;
            }
        }
        if (localHasGLXExtension(dpy, screen, "GLX_MESA_swap_control")) {
            auto f = (PFNGLXSWAPINTERVALMESAPROC)glXGetProcAddress((const GLubyte*)"glXSwapIntervalMESA");
            if (f) {
                f(1);
                return;
            }
        }
        if (localHasGLXExtension(dpy, screen, "GLX_SGI_swap_control")) {
            auto f = (PFNGLXSWAPINTERVALSGIPROC)glXGetProcAddress((const GLubyte*)"glXSwapIntervalSGI");
            if (f) f(1);
        }
    }

    bool SetAct(bool on) override {
        if (on) return glXMakeCurrent(dpy, child, ctx) == True;
        if (glXGetCurrentContext() != ctx) return true;
        return glXMakeCurrent(dpy, None, nullptr) == True;
    }

    bool IsAct() override { return ctx && glXGetCurrentContext() == ctx; }

    bool Resized(int* newWidth, int* newHeight) override {
        int w = width, h = height;
        while (XPending(dpy) > 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == ConfigureNotify && ev.xconfigure.window == parent) {
                w = ev.xconfigure.width > 0 ? ev.xconfigure.width : 1;
                h = ev.xconfigure.height > 0 ? ev.xconfigure.height : 1;
            }
        }
        if (w == width && h == height) return false;
        XResizeWindow(dpy, child, (unsigned)w, (unsigned)h);
        XSync(dpy, False);
        *newWidth = width = w;
        *newHeight = height = h;
        return true;
    }

    void Swap() override {
        glXSwapBuffers(dpy, child);
        if (!swapped) localReportFirstSwap();
        swapped = true;
    }

    void* GetProc(const char* name) override { return (void*)glXGetProcAddress((const GLubyte*)name); }

    void GetSize(int* w, int* h, int* screenWidth, int* screenHeight) override {
        *w = width;
        *h = height;
        *screenWidth = DisplayWidth(dpy, screen);
        *screenHeight = DisplayHeight(dpy, screen);
    }

    bool Enlarge(bool on, FXWinRect* saved, int* newWidth, int* newHeight) override {
        Window root = RootWindow(dpy, screen);
        if (on) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(dpy, child, &a)) return false;
            saved->x = a.x;
            saved->y = a.y;
            saved->width = a.width;
            saved->height = a.height;
            XReparentWindow(dpy, child, root, 0, 0);
            XMoveResizeWindow(dpy, child, 0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen));
            XRaiseWindow(dpy, child);
        } else {
            XReparentWindow(dpy, child, parent, saved->x, saved->y);
            XMoveResizeWindow(dpy, child, saved->x, saved->y, saved->width > 0 ? saved->width : 1,
                              saved->height > 0 ? saved->height : 1);
        }
        XSync(dpy, False);
        XWindowAttributes a;
        if (!XGetWindowAttributes(dpy, child, &a)) return false;
        width = *newWidth = a.width;
        height = *newHeight = a.height;
        return true;
    }
};

} // namespace

FXGLBinding* fxCreateGLBindingX11(_XDisplay* display, unsigned long parent) {
    FXGLBindingX11* b = new FXGLBindingX11;
    if (!b->Create(display, parent)) {
        delete b;
        return nullptr;
    }
    return b;
}
