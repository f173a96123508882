#pragma once

#include "assets/material.h"
#include "assets/model.h"
#include "elements/desk.h"
#include "elements/phaser.h"
#include "render/env.h"

class FXPackage;

// The maker's logo in the bottom-right corner, over everything else: a medallion model
// spinning about its vertical axis with a flat, semi-transparent label beneath it. Its size
// is a fixed share of the window, corrected for the window's shape so that it stays round.
class FXVeskGadget : public PRender {
  public:
    FXVeskGadget();
    virtual ~FXVeskGadget();

    void OnRender(PEnv* env, double t) override;

    // The label picture and the model from package items; loading results are not reported.
    void CreateCN(FXPackage* pck, int labelItem, int modelItem);
    // The model from "vesk_medallion.xm" and the label from "label.png", tinted alike.
    void Create();
    void Destroy();

    bool restartPending;
    FXModel model;
    FXDesk labelDesk;
    FXMaterial label;
    FXPhaser spin;

  private:
    void BuildLabel();
    void FindReach();

    // The largest distance of the model's points from its origin along any axis.
    float reach = 0;

    FXVeskGadget(const FXVeskGadget&) = delete;
    FXVeskGadget& operator=(const FXVeskGadget&) = delete;
};

// Seconds per turn of the medallion.
extern double rotate_dur;
