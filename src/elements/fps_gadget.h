#pragma once

#include "assets/canvas.h"
#include "assets/font.h"
#include "assets/material.h"
#include "render/env.h"

// The frame rate and the mean frame time over the last second, as text in the bottom-left
// corner over everything else. Rendered anew once a second.
class FXFpsGadget : public PRender {
  public:
    FXFpsGadget();
    virtual ~FXFpsGadget();

    void OnRender(PEnv* env, double t) override;

    // Finds the font; false (and nothing is drawn) when there is none.
    bool Create();
    void Destroy();

    char text[64]; // what is shown; empty before the first second is over
    FXFontGDI font;
    FXCanvas canvas;
    FXMaterial material;

  private:
    double since; // start of the second being counted; negative before the first frame
    int frames;

    FXFpsGadget(const FXFpsGadget&) = delete;
    FXFpsGadget& operator=(const FXFpsGadget&) = delete;
};
