#ifndef MH_RENDER_SCRSHOT_H
#define MH_RENDER_SCRSHOT_H

#include "assets/canvas.h"

// A photograph of the screen (the X root window), taken by Update(). The X connection is opened
// by the first capture and closed when a capture object is destroyed.
class FXScrShot : public FXCanvas {
  public:
    FXScrShot();
    ~FXScrShot();

    // Captures the screen now into the canvas; false (canvas unchanged) on failure.
    bool Update();

    // The window whose desktop is wanted; 0, the default, for the whole screen. A screen-saver
    // daemon photographs the desktop before it blanks the screen and hangs the picture on the
    // window it gives a display mode (or on the root window) as the property
    // _SCREENSAVER_SCREENSHOT, a pixmap of the screen: the part under the window is taken from
    // there. Without it, the part of the screen under the window is photographed.
    unsigned long window;
    int count;
    // Read through a shared-memory image when the server offers it; else a plain XGetImage.
    bool useShm;
};

#endif
