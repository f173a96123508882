#pragma once

#include "assets/light.h"
#include "assets/material.h"
#include "base/arrays.h"
#include "elements/3dmath.h"
#include "elements/bezierspline.h"
#include "elements/desk.h"
#include "elements/phaser.h"
#include "render/env.h"

class FXPackage;

// One glowing firefly: an animated sprite that flies once along a random smooth path inside
// a box, fading in and out, and carries a positional light with it.
class FXFireFly : public PRender {
  public:
    FXFireFly();
    virtual ~FXFireFly();

    void OnRender(PEnv* env, double t) override;

    // One picture from a file; the desk and the light are set up whether or not it loads.
    bool Create(const char* path);
    // Animation frames from the package items firstItem + (i - from) for i = from ... to.
    // True when every frame loaded; the frames that loaded are used either way.
    bool CreateManyCN(FXPackage* pck, int firstItem, int from, int to);
    // The same with picture files named by the printf format fmt and i.
    bool CreateMany(const char* fmt, int from, int to);
    // The animation frames of `source`, sharing its textures (each frame keeps its own
    // colours); source must outlive this firefly's drawing. True when it had frames.
    bool ShareFrames(const FXFireFly* source);
    void EnableLight();
    void PreparoNoPos();
    // Draws a new path inside centre +- extent and sizes the sprite.
    void Prepare(float* centre, float* extent);
    void Start(double t);
    bool IsPlaying() const { return flight.running; }
    // Advances flight, fade, animation and light to time t; call before the lights are uploaded.
    void PreRender(PEnv* env, double t);
    void Destroy();

    // The material on show: the current frame, or the single picture.
    FXMaterial* ShownMaterial();

    bool noPos;
    int pointCount;
    float maxStep;
    double secondsPerUnit;
    double flightDuration;
    FXBezierSpline path;
    FXMaterial material;
    FXDesk desk;
    int frameCount;
    int curFrame;
    FXArray frames; // FXMaterial*, owned
    double frameInterval;
    double lastFrameTime;
    bool frameBackward;
    FXLight light;
    FXPhaser flight;
    float curPos[3];
    float fadeIn;
    float fadeOut;
    float brightness;
    FXMatrix scale;
    bool lightAimsAtOrigin;
    bool lightOn;
    float sizeFactor;

  private:
    void SetUpDesk();
    bool AddFrame(FXMaterial* m, bool loaded);

    FXFireFly(const FXFireFly&) = delete;
    FXFireFly& operator=(const FXFireFly&) = delete;
};
