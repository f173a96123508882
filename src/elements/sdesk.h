#ifndef MH_ELEMENTS_SDESK_H
#define MH_ELEMENTS_SDESK_H

#include "elements/desk.h"

// A desk whose texture window drifts through its picture and wraps around.
class FXDeskScroll : public FXDesk {
  public:
    FXDeskScroll();

    // Advances the drift to time t, then draws.
    void OnRender(PEnv* env, double t) override;
    // Advances the drift to time t alone, whether or not there is a picture yet: a layer whose
    // picture is still on its way keeps the drift it would have had.
    void Drift(double t);
    void UpdateTex() override;

    float speedU;
    float speedV;
    // Size of the visible window as a fraction of the picture; the drift runs only below 1.
    float scaleU;
    float scaleV;
    float offsetU;
    float offsetV;
    // Seconds per drift of scale x speed of the picture; 0 or less switches the axis off.
    double periodU;
    double periodV;
    double lastTime;
};

#endif
