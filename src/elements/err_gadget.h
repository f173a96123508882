#pragma once

#include "assets/material.h"
#include "elements/desk.h"
#include "elements/scrpos01.h"
#include "render/env.h"

class FXPackage;

// A fixed error picture drawn unscaled in the top-left corner of the screen, 10 pixels in
// from both edges, over everything else. The picture carries the message.
class FXErrGadget : public PRender {
  public:
    FXErrGadget();
    virtual ~FXErrGadget();

    void OnRender(PEnv* env, double t) override;

    // The picture from a package item; the loading result is not reported.
    void CreateCN(FXPackage* pck, int item);
    // The picture from the file "error_message.png".
    void Create();
    void Destroy();

    bool visible;
    FXDesk desk;
    FXMaterial material;
    FXScrPos01 placement;

  private:
    void Place();

    FXErrGadget(const FXErrGadget&) = delete;
    FXErrGadget& operator=(const FXErrGadget&) = delete;
};
