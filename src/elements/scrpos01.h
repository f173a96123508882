#ifndef MH_ELEMENTS_SCRPOS01_H
#define MH_ELEMENTS_SCRPOS01_H

#include "base/other.h"
#include "elements/3dmath.h"
#include "render/env.h"

// Places a layer on screen: maps the desk's square -1..+1 onto the layer's rectangle on a
// reference canvas (pixels, y down) that fills the screen.
class FXScrPos01 : public PRender {
  public:
    FXScrPos01();
    virtual ~FXScrPos01() {}

    // Loads the placement into the environment (on top of the current matrix when relative).
    void OnRender(PEnv* env, double t) override;
    virtual void Destroy() {}

    void SetPos(float x, float y);
    // Shifts by fractions of the canvas size.
    void ShiftPos(float fx, float fy);
    void Update();
    // The scale of Update() alone: the layer stays centred.
    void UpdateSize();
    // Keeps the layer's proportions on a screen wider than the canvas; align -1 left, 0 centre,
    // 1 right. Builds on the matrix of Update().
    void UpdateAspectH1(int align, float screenWidth, float screenHeight);
    // The layer's rectangle in screen pixels.
    void GetPixelRC(FXRect* rc, int screenWidth, int screenHeight);

    float refWidth;
    float refHeight;
    float width;
    float height;
    float posX;
    float posY;
    FXMatrix matrix;
    bool relative;
};

#endif
