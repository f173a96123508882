#include "elements/bezier.h"

void FXBezierPhaseH::Prepare(float tv) {
    t = tv;
    t2 = t * t;
    t3 = t * t2;
    u = 1.0f - t;
    tu2 = t * (u * 2.0f);
    u2 = u * u;
}

void FXBezier3::Get(float* out, float t) {
    float u = 1.0f - t;
    float uu = u * u;
    float tt = t * t;
    for (int k = 0; k < 3; k++)
        out[k] = p0[k] * uu + t * (u * (p1[k] * 2.0f)) + p2[k] * tt;
}

void FXBezier3::GetH(float* out, FXBezierPhaseH* h) {
    for (int k = 0; k < 3; k++)
        out[k] = p0[k] * h->u2 + p1[k] * h->tu2 + p2[k] * h->t2;
}

void FXBezier4::Precompute() {
    for (int k = 0; k < 3; k++) {
        float linear = (b[k] - a[k]) * 3.0f;
        float quadratic = (c[k] - b[k]) * 3.0f - linear;
        float cubic = d[k] - a[k] - linear - quadratic;
        coef[3 * k] = cubic;
        coef[3 * k + 1] = quadratic;
        coef[3 * k + 2] = linear;
    }
}

void FXBezier4::Get(float* out, float t) {
    float t2 = t * t;
    float t3 = t * t2;
    for (int k = 0; k < 3; k++)
        out[k] = coef[3 * k] * t3 + coef[3 * k + 1] * t2 + coef[3 * k + 2] * t + a[k];
}

void FXBezier4::GetH(float* out, FXBezierPhaseH* h) {
    for (int k = 0; k < 3; k++)
        out[k] = coef[3 * k] * h->t3 + coef[3 * k + 1] * h->t2 + coef[3 * k + 2] * h->t + a[k];
}
