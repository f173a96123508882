#ifndef MH_RENDER_SCRSHOT_H
#define MH_RENDER_SCRSHOT_H

#include "assets/canvas.h"

// A photograph of the whole screen (the X root window), taken by Update(). The X connection
// is opened by the first capture and closed when a capture object is destroyed.
class FXScrShot : public FXCanvas {
  public:
    FXScrShot();
    ~FXScrShot();

    // Captures the screen now into the canvas; false (canvas unchanged) on failure.
    bool Update();

    int count;
    // Read through a shared-memory image when the server offers it; else a plain XGetImage.
    bool useShm;
};

#endif
