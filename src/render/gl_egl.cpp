// Offscreen binding of the device: an EGL pbuffer on Mesa's surfaceless platform, desktop
// OpenGL with the compatibility profile, no window system involved.
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <mutex>

#include "base/trace.h"
#include "render/gl.h"

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

namespace {

// One EGL display serves every offscreen device of the process; it is terminated when the
// last device goes away.
std::mutex localDisplayMutex;
EGLDisplay localDisplay = EGL_NO_DISPLAY;
int localDisplayUsers = 0;

EGLDisplay localAcquireDisplay() {
    std::lock_guard<std::mutex> lock(localDisplayMutex);
    if (localDisplayUsers > 0) {
        localDisplayUsers++;
        return localDisplay;
    }
    // The default display would pick X11 whenever DISPLAY is set: ask for surfaceless.
    auto getPlatformDisplay = (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    EGLDisplay dpy = EGL_NO_DISPLAY;
    if (getPlatformDisplay)
        dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY) {
        err("EGL: no surfaceless display\n");
        return EGL_NO_DISPLAY;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(dpy, &major, &minor)) {
        err("EGL: eglInitialize failed (0x%x)\n", eglGetError());
        return EGL_NO_DISPLAY;
    }
    localDisplay = dpy;
    localDisplayUsers = 1;
    return dpy;
}

void localReleaseDisplay() {
    std::lock_guard<std::mutex> lock(localDisplayMutex);
    if (localDisplayUsers <= 0) return;
    if (--localDisplayUsers == 0) {
        eglTerminate(localDisplay);
        localDisplay = EGL_NO_DISPLAY;
    }
}

class FXGLBindingEGL : public FXGLBinding {
  public:
    EGLDisplay dpy = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext ctx = EGL_NO_CONTEXT;
    int width = 0, height = 0;

    ~FXGLBindingEGL() override {
        if (dpy == EGL_NO_DISPLAY) return;
        if (eglGetCurrentContext() == ctx)
            eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (ctx != EGL_NO_CONTEXT) eglDestroyContext(dpy, ctx);
        if (surface != EGL_NO_SURFACE) eglDestroySurface(dpy, surface);
        localReleaseDisplay();
    }

    bool Create(int w, int h) {
        width = w;
        height = h;
        dpy = localAcquireDisplay();
        if (dpy == EGL_NO_DISPLAY) return false;
        // Without EGL_PBUFFER_BIT the surfaceless platform lists no configs at all.
        const EGLint configAttribs[] = {EGL_SURFACE_TYPE,
                                        EGL_PBUFFER_BIT,
                                        EGL_RENDERABLE_TYPE,
                                        EGL_OPENGL_BIT,
                                        EGL_RED_SIZE,
                                        8,
                                        EGL_GREEN_SIZE,
                                        8,
                                        EGL_BLUE_SIZE,
                                        8,
                                        EGL_ALPHA_SIZE,
                                        8,
                                        EGL_DEPTH_SIZE,
                                        16,
                                        EGL_STENCIL_SIZE,
                                        1,
                                        EGL_NONE};
        EGLConfig config = nullptr;
        EGLint count = 0;
        if (!eglChooseConfig(dpy, configAttribs, &config, 1, &count) || count < 1) {
            err("EGL: no RGBA config with depth and stencil\n");
            return false;
        }
        const EGLint surfaceAttribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        surface = eglCreatePbufferSurface(dpy, config, surfaceAttribs);
        if (surface == EGL_NO_SURFACE) {
            err("EGL: cannot create a %dx%d pbuffer (0x%x)\n", width, height, eglGetError());
            return false;
        }
        // Without this the context would be OpenGL ES.
        if (!eglBindAPI(EGL_OPENGL_API)) {
            err("EGL: desktop OpenGL is not available\n");
            return false;
        }
        const EGLint contextAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                         EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, contextAttribs);
        if (ctx == EGL_NO_CONTEXT) ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, nullptr);
        if (ctx == EGL_NO_CONTEXT) {
            err("EGL: cannot create an OpenGL context (0x%x)\n", eglGetError());
            return false;
        }
        return true;
    }

    // The bound API is per thread, and the loop thread has not bound desktop OpenGL yet.
    bool SetAct(bool on) override {
        eglBindAPI(EGL_OPENGL_API);
        if (on) return eglMakeCurrent(dpy, surface, surface, ctx) == EGL_TRUE;
        if (eglGetCurrentContext() != ctx) return true;
        return eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) == EGL_TRUE;
    }

    bool IsAct() override {
        eglBindAPI(EGL_OPENGL_API);
        return ctx != EGL_NO_CONTEXT && eglGetCurrentContext() == ctx;
    }

    // A pbuffer has a single buffer: finishing the frame is all a swap can mean.
    void Swap() override {
        if (IsAct()) glFinish();
    }

    void* GetProc(const char* name) override { return (void*)eglGetProcAddress(name); }

    void GetSize(int* w, int* h, int* screenWidth, int* screenHeight) override {
        *w = *screenWidth = width;
        *h = *screenHeight = height;
    }
};

} // namespace

FXGLBinding* fxCreateOffscreenBinding(int width, int height) {
    if (width < 1 || height < 1) return nullptr;
    FXGLBindingEGL* b = new FXGLBindingEGL;
    if (!b->Create(width, height)) {
        delete b;
        return nullptr;
    }
    return b;
}
