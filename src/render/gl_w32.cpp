// WGL binding of the device: a context on the saver window itself, or on a hidden window of
// its own for offscreen drawing (stills, tests). The context may be made current on the
// render loop's thread: a window's device context can be drawn into from any thread.
#include "render/gl_w32.h"

#include <mutex>

#include "base/trace.h"

namespace {

const char kOffscreenClass[] = "MirehollowOffscreen";

bool localRegisterOffscreenClass() {
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        WNDCLASSA wc = {};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kOffscreenClass;
        registered = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    });
    return registered;
}

class FXGLBindingW32 : public FXGLBinding {
  public:
    HWND wnd = nullptr;
    HDC dc = nullptr;
    HGLRC rc = nullptr;
    bool ownsWindow = false; // the hidden window of an offscreen binding
    int width = 0, height = 0;

    ~FXGLBindingW32() override {
        if (rc) {
            if (wglGetCurrentContext() == rc) wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(rc);
        }
        if (dc) ReleaseDC(wnd, dc);
        if (ownsWindow && wnd) DestroyWindow(wnd);
    }

    bool Create(HWND window, bool owns) {
        wnd = window;
        ownsWindow = owns;
        if (!wnd || !IsWindow(wnd)) {
            err("WGL: no window to draw into\n");
            return false;
        }
        ClientSize(&width, &height);
        dc = GetDC(wnd);
        if (!dc) {
            err("WGL: GetDC failed\n");
            return false;
        }
        PIXELFORMATDESCRIPTOR pfd = {};
        pfd.nSize = sizeof(pfd);
        pfd.nVersion = 1;
        pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        pfd.iPixelType = PFD_TYPE_RGBA;
        pfd.cColorBits = 24;
        pfd.cDepthBits = 16;
        pfd.cStencilBits = 16;
        pfd.iLayerType = PFD_MAIN_PLANE;
        int format = ChoosePixelFormat(dc, &pfd);
        if (!format || !SetPixelFormat(dc, format, &pfd)) {
            err("WGL: no double-buffered RGBA pixel format (error %lu)\n", (unsigned long)GetLastError());
            return false;
        }
        rc = wglCreateContext(dc);
        if (!rc) {
            err("WGL: wglCreateContext failed (error %lu)\n", (unsigned long)GetLastError());
            return false;
        }
        return true;
    }

    void ClientSize(int* w, int* h) {
        RECT r = {};
        GetClientRect(wnd, &r);
        *w = r.right - r.left;
        *h = r.bottom - r.top;
    }

    bool SetAct(bool on) override {
        if (on) return wglMakeCurrent(dc, rc) != FALSE;
        if (wglGetCurrentContext() != rc) return true;
        return wglMakeCurrent(nullptr, nullptr) != FALSE;
    }

    bool IsAct() override { return rc && wglGetCurrentContext() == rc; }

    void Swap() override { SwapBuffers(dc); }

    // Extensions come from the context; OpenGL 1.1 functions only from opengl32.dll itself.
    // Some drivers answer a missing name with a small number instead of null.
    void* GetProc(const char* name) override {
        PROC p = wglGetProcAddress(name);
        intptr_t v = reinterpret_cast<intptr_t>(p);
        if (v >= -1 && v <= 3) p = GetProcAddress(GetModuleHandleA("opengl32.dll"), name);
        return reinterpret_cast<void*>(p);
    }

    void GetSize(int* w, int* h, int* screenWidth, int* screenHeight) override {
        ClientSize(w, h);
        if (ownsWindow) {
            *screenWidth = *w;
            *screenHeight = *h;
            return;
        }
        *screenWidth = GetSystemMetrics(SM_CXSCREEN);
        *screenHeight = GetSystemMetrics(SM_CYSCREEN);
    }

    bool Resized(int* w, int* h) override {
        int nw, nh;
        ClientSize(&nw, &nh);
        if (nw == width && nh == height) return false;
        width = *w = nw;
        height = *h = nh;
        return true;
    }
};

} // namespace

FXGLBinding* fxCreateGLBindingW32(HWND window) {
    FXGLBindingW32* b = new FXGLBindingW32;
    if (!b->Create(window, false)) {
        delete b;
        return nullptr;
    }
    return b;
}

// A window that is never shown, of the frame's size: its back buffer is the frame.
FXGLBinding* fxCreateOffscreenBinding(int width, int height) {
    if (width < 1 || height < 1) return nullptr;
    if (!localRegisterOffscreenClass()) {
        err("WGL: cannot register the offscreen window class\n");
        return nullptr;
    }
    HWND wnd = CreateWindowExA(0, kOffscreenClass, "Mirehollow", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    if (!wnd) {
        err("WGL: cannot create a %dx%d offscreen window\n", width, height);
        return nullptr;
    }
    FXGLBindingW32* b = new FXGLBindingW32;
    if (!b->Create(wnd, true)) {
        delete b;
        return nullptr;
    }
    return b;
}
