#pragma once

#include "base/arrays.h"
#include "elements/bezier.h"

// A smooth path through a list of points (three floats each), evaluated by a phase
// 0..1 that advances in proportion to the straight distances between the points.
// Fill `points`, set `closed`, call Precompute and one of the phase operations, then
// GetAll. The spline remembers its current segment, so one spline serves one mover.
class FXBezierSpline {
  public:
    bool closed = false;
    float tension = 1.0f; // handle length factor
    FXFloatArray points;
    FXFloatArray handles;         // per point: in-handle (towards previous), out-handle (towards next)
    FXBezier3 ends[2];            // open paths: first and last segment
    FXBezier4* beziers = nullptr; // segment i runs from point i to point i + 1 (cyclically)
    int bezierCount = 0;
    bool fixed = false; // the current segment starts and ends at one position
    float* fixedPoint = nullptr;
    FXBezier3* cur3 = nullptr;
    FXBezier4* cur4 = nullptr;
    int segKind = 0; // 0 none, 2 straight line, 3 quadratic, 4 cubic
    float lineDelta[3] = {0.0f, 0.0f, 0.0f};
    FXFloatArray phases;
    int actIndex = 0;
    float totalLength = 0.0f;
    float meanLength = 0.0f;

    FXBezierSpline() {}
    FXBezierSpline(const FXBezierSpline&) = delete;
    FXBezierSpline& operator=(const FXBezierSpline&) = delete;
    ~FXBezierSpline() { Destroy(); }

    void Precompute();
    void PrecomputeCtrlPoints();
    void PrecomputeBeziers();
    void ReallocBeziers(int k);
    void DestroyBeziers();
    void PrecomputePhasesLenght();
    void PrecomputePhasesLinear();
    // Makes the segment from point a to point b current; -1 is the last point.
    void SetActPoints(int a, int b);
    // Evaluate the current segment at its own parameter t.
    void Get(float* out, float t);
    void GetH(float* out, FXBezierPhaseH* h);
    // Evaluate the whole path at a phase 0..1.
    void GetAll(float* out, float phase);
    // x of the straight line between the two points bracketing the phase.
    float GetAllPos(float phase);
    // -1 before the segment from point a to point b, 0 inside, 1 after it.
    int TestPhase(int a, int b, float phase);
    int GetCnt();
    void Destroy();

  private:
    float* Pt(int i) { return points.items + 3 * i; }
    void Eval(float* out, float t, FXBezierPhaseH* h);
    bool Locate(float phase, int* pi, int* pj, float* plocal);
};
