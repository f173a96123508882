#include "assets/light.h"

static void localSet4(float* d, float a, float b, float c, float e) {
    d[0] = a;
    d[1] = b;
    d[2] = c;
    d[3] = e;
}

FXLight::FXLight() : lightId(0), disabled(false) {
    localSet4(position, 0.0f, 0.0f, -1.0f, 0.0f);
    localSet4(spotDirection, 0.0f, 0.0f, 1.0f, 0.0f);
    SetDefDiffuse(1.0f);
}

// The presets share everything but the colours, the spot exponent, position w and attenuation.
static void localDirectional(FXLight* l) {
    l->position[3] = 0.0f;
    l->spotExponent = 0.0f;
    l->spotCutoff = 180.0f;
    l->constantAttenuation = 0.0f;
    l->linearAttenuation = 0.0f;
    l->quadraticAttenuation = 0.0f;
}

void FXLight::SetDefDiffuse(float a) {
    localDirectional(this);
    localSet4(ambient, 0.2f, 0.2f, 0.2f, a);
    localSet4(diffuse, 1.0f, 1.0f, 1.0f, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXLight::SetDefAmbient(float a) {
    localDirectional(this);
    localSet4(ambient, 1.0f, 1.0f, 1.0f, a);
    localSet4(diffuse, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXLight::SetDiffuseDark(float v, float a) {
    localDirectional(this);
    localSet4(ambient, 0.0f, 0.0f, 0.0f, a);
    localSet4(diffuse, v, v, v, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXLight::SetDefSpecular(float a) {
    position[3] = 1.0f;
    localSet4(ambient, 0.0f, 0.0f, 0.0f, a);
    localSet4(diffuse, 1.0f, 1.0f, 1.0f, a);
    localSet4(specular, 1.0f, 1.0f, 1.0f, a);
    spotExponent = 12.0f;
    spotCutoff = 180.0f;
    constantAttenuation = 0.4f;
    linearAttenuation = 0.4f;
    quadraticAttenuation = 0.0f;
}

void FXLight::MultiColor(const float* m) {
    MultiColorF(m[0], m[1], m[2], m[3]);
}

void FXLight::MultiColorF(float r, float g, float b, float a) {
    float* cols[3] = {ambient, diffuse, specular};
    for (float* c : cols) {
        c[0] *= r;
        c[1] *= g;
        c[2] *= b;
        c[3] *= a;
    }
}
