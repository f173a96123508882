#include "elements/sdesk.h"

#include <cfloat>
#include <cmath>

#include "assets/material.h"

FXDeskScroll::FXDeskScroll()
    : speedU(1), speedV(1), scaleU(1), scaleV(1), offsetU(0), offsetV(0), periodU(1), periodV(1),
      lastTime(0) {}

void FXDeskScroll::UpdateTex() {
    if (HasGrid()) {
        float mu, mv;
        TexExtents(&mu, &mv);
        float ou = offsetU, ov = offsetV;
        float fc = (float)cols, fr = (float)rows;
        tagFXVertex* v = mesh.vertices;
        // Window scale first, then the picture's extent, each product rounded to float in turn.
        for (int i = 0; i <= rows; i++) {
            float t = (float)i / fr;
            for (int j = 0; j <= cols; j++, v++) {
                v->tex[0] = (ou + (float)j / fc) * scaleU * mu;
                v->tex[1] = (ov + t) * scaleV * mv;
            }
        }
    }
    if (fxglobalEnv) fxglobalEnv->UnprepareMesh(&mesh);
}

// One drift step of one axis. A positive speed moves the offset down and wraps it up into 0..1,
// a negative one moves it up and wraps it down into 0..1 (exactly 1 stays).
static void localDrift(float* offset, float scale, float speed, double dt, double period) {
    float k = -(scale * speed);
    double step = dt / period * k;
    // A step no float can hold (a tiny period) leaves no meaningful offset: start again from 0.
    float off = std::fabs(step) < FLT_MAX ? *offset + (float)step : 0.0f;
    if (!std::isfinite(off)) off = 0;
    if (speed < 0) {
        if (off > 1) off -= std::ceil(off - 1.0f);
    } else if (off < 0) {
        off += std::ceil(-off);
    }
    *offset = off;
}

void FXDeskScroll::Drift(double t) {
    if ((scaleU < 1 || scaleV < 1) && (periodU > 0 || periodV > 0)) {
        // After a pause longer than a period (or a clock that went back) resume without a jump.
        double guard = periodU > 0 ? periodU : periodV;
        if (t - lastTime > guard || t < lastTime) lastTime = t;
        if (periodU > 0 && scaleU < 1) localDrift(&offsetU, scaleU, speedU, t - lastTime, periodU);
        if (periodV > 0 && scaleV < 1) localDrift(&offsetV, scaleV, speedV, t - lastTime, periodV);
        lastTime = t;
    }
}

void FXDeskScroll::OnRender(PEnv* env, double t) {
    float mu, mv;
    TexExtents(&mu, &mv);
    if (mu > 0 && mv > 0 && (scaleU < 1 || scaleV < 1) && (periodU > 0 || periodV > 0)) {
        Drift(t);
        UpdateTex();
    }
    FXDesk::OnRender(env, t);
}
