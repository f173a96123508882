// The Windows binding of the render device.
#ifndef MH_RENDER_GL_W32_H
#define MH_RENDER_GL_W32_H

#include <windows.h>

#include "render/gl.h"

// A WGL context on `window` itself; the window stays the caller's. Null on failure.
FXGLBinding* fxCreateGLBindingW32(HWND window);

#endif
