// The X11 binding of the render device.
#ifndef MH_RENDER_GL_X11_H
#define MH_RENDER_GL_X11_H

#include "render/gl.h"

struct _XDisplay;

// A GLX context on a child window that fills `parent`, on a connection of its own to the
// display of `display`. Null on failure.
FXGLBinding* fxCreateGLBindingX11(_XDisplay* display, unsigned long parent);

#endif
