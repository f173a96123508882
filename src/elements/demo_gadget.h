#pragma once

#include "assets/material.h"
#include "elements/3dmath.h"
#include "elements/bezierspline.h"
#include "elements/desk.h"
#include "elements/phaser.h"
#include "render/env.h"

class FXPackage;

// A small reflective cube that shows up some seconds after its first draw, fades in, then
// tumbles about two axes while it drifts along a closed random loop. Each face is drawn
// twice: sphere-mapped with the environment picture, then with a slightly larger skin.
class FXDemoGadget : public PRender {
  public:
    FXDemoGadget();
    virtual ~FXDemoGadget();

    void OnRender(PEnv* env, double t) override;

    // The environment and skin pictures from package items; loading results are not reported.
    void CreateCN(FXPackage* pck, int reflectItem, int skinItem);
    // The same with the pictures read from files.
    void Create(const char* reflectFile, const char* skinFile);
    void Destroy();

    FXDesk faces[6];
    FXDesk skins[6];
    FXMaterial reflectMat;
    FXMaterial skinMat;
    FXMatrix faceMatrix[6];
    FXPhaser spinX;
    FXPhaser spinY;
    FXBezierSpline path;
    FXPhaser travel;
    bool restartPending;
    bool waiting;
    bool fadingIn;
    FXPhaser delay;
    FXPhaser fade;

  private:
    void BuildPath();
    void BuildFaces();

    FXDemoGadget(const FXDemoGadget&) = delete;
    FXDemoGadget& operator=(const FXDemoGadget&) = delete;
};
