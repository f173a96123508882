#pragma once

// A curve parameter with its powers computed once, for evaluating several segments
// at the same parameter.
class FXBezierPhaseH {
  public:
    float t, t2, t3, u, tu2, u2;

    void Prepare(float t);
};

// Quadratic Bezier segment; points are three floats (x, y, z).
class FXBezier3 {
  public:
    float p0[3], p1[3], p2[3];

    void Get(float* out, float t);
    void GetH(float* out, FXBezierPhaseH* h);
};

// Cubic Bezier segment with its power-form coefficients: per axis (cubic, quadratic,
// linear). Precompute after setting the control points.
class FXBezier4 {
  public:
    float a[3], b[3], c[3], d[3];
    float coef[9];

    void Precompute();
    void Get(float* out, float t);
    void GetH(float* out, FXBezierPhaseH* h);
};
