#include "elements/bezierspline.h"

#include <cmath>

static void localCopyPt(const float* src, float* dst) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
}

static void localDelta(const float* a, const float* b, float* out) {
    out[0] = b[0] - a[0];
    out[1] = b[1] - a[1];
    out[2] = b[2] - a[2];
}

static float localLenght(const float* v) {
    return sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// A zero vector stays zero: it has no direction to scale along (coinciding
// neighbours would otherwise turn the handles into NaN).
static void localNormalizeSize(float* v, float len) {
    float l = localLenght(v);
    if (l == 0.0f) return;
    float f = len / l;
    v[0] = v[0] * f;
    v[1] = v[1] * f;
    v[2] = v[2] * f;
}

static void localPtOnLine(const float* a, const float* b, float f, float* out) {
    out[0] = a[0] + (b[0] - a[0]) * f;
    out[1] = a[1] + (b[1] - a[1]) * f;
    out[2] = a[2] + (b[2] - a[2]) * f;
}

static void localShiftPt(const float* q, float* out, const float* d) {
    out[0] = q[0] + d[0];
    out[1] = q[1] + d[1];
    out[2] = q[2] + d[2];
}

static void localShiftPt1(const float* a, float* out, const float* d, float f) {
    out[0] = a[0] + d[0] * f;
    out[1] = a[1] + d[1] * f;
    out[2] = a[2] + d[2] * f;
}

// Handles of point q with neighbours r and s: on the line through q parallel to
// s - r, each at half the distance to its neighbour times the tension.
static void localComputePt(const float* r, const float* q, const float* s, float* outIn, float* outOut,
                           float tension) {
    float d[3];
    localDelta(q, r, d);
    float lenIn = localLenght(d) * 0.5f * tension;
    localDelta(q, s, d);
    float lenOut = localLenght(d) * 0.5f * tension;
    float m1[3], m2[3], m[3];
    localPtOnLine(q, r, 0.5f, m1);
    localPtOnLine(q, s, 0.5f, m2);
    localPtOnLine(m1, m2, 0.5f, m);
    float dIn[3], dOut[3];
    localDelta(m, m1, dIn);
    localDelta(m, m2, dOut);
    localNormalizeSize(dIn, lenIn);
    localNormalizeSize(dOut, lenOut);
    localShiftPt(q, outIn, dIn);
    localShiftPt(q, outOut, dOut);
}

static bool localDiffers(const float* p, const float* q) {
    return !(p[0] == q[0]) || !(p[1] == q[1]) || !(p[2] == q[2]);
}

// Last control point of a line, of a quadratic and of a cubic segment differs from its first.
static bool localTestPt2(const float* p) {
    return localDiffers(p, p + 3);
}
static bool localTestPt3(const float* p) {
    return localDiffers(p, p + 6);
}
static bool localTestPt4(const float* p) {
    return localDiffers(p, p + 9);
}

int FXBezierSpline::GetCnt() {
    return points.count > 0 ? points.count / 3 : 0;
}

void FXBezierSpline::Precompute() {
    actIndex = 0;
    PrecomputeCtrlPoints();
    DestroyBeziers();
    PrecomputeBeziers();
    SetActPoints(0, 1);
}

void FXBezierSpline::PrecomputeCtrlPoints() {
    segKind = 0;
    int n = GetCnt();
    if (n <= 2) {
        handles.RemoveAll();
        if (n == 2) localDelta(Pt(0), Pt(1), lineDelta);
        return;
    }
    handles.RemoveAll();
    if (handles.Realloc(6 * n) < 6 * n) return;
    handles.count = 6 * n;
    float* h = handles.items;
    localComputePt(Pt(n - 1), Pt(0), Pt(1), h, h + 3, tension);
    localComputePt(Pt(n - 2), Pt(n - 1), Pt(0), h + 6 * (n - 1), h + 6 * (n - 1) + 3, tension);
    for (int i = 1; i < n - 1; i++)
        localComputePt(Pt(i - 1), Pt(i), Pt(i + 1), h + 6 * i, h + 6 * i + 3, tension);
}

void FXBezierSpline::ReallocBeziers(int k) {
    if (k == bezierCount) return;
    DestroyBeziers();
    if (k > 0) {
        beziers = new FXBezier4[k];
        bezierCount = k;
    }
}

void FXBezierSpline::DestroyBeziers() {
    // The current segment must not keep pointing into the freed array.
    if (segKind == 4) {
        segKind = 0;
        fixed = false;
        fixedPoint = nullptr;
    }
    cur4 = nullptr;
    delete[] beziers;
    beziers = nullptr;
    bezierCount = 0;
}

void FXBezierSpline::PrecomputeBeziers() {
    int n = GetCnt();
    if (n <= 2 || handles.count < 6 * n) {
        ReallocBeziers(0);
        return;
    }
    ReallocBeziers(n);
    float* h = handles.items;
    auto in = [h](int i) { return h + 6 * i; };
    auto out = [h](int i) { return h + 6 * i + 3; };
    localCopyPt(Pt(0), ends[0].p0);
    localCopyPt(in(1), ends[0].p1);
    localCopyPt(Pt(1), ends[0].p2);
    localCopyPt(Pt(n - 2), ends[1].p0);
    localCopyPt(out(n - 2), ends[1].p1);
    localCopyPt(Pt(n - 1), ends[1].p2);
    FXBezier4* last = &beziers[n - 1];
    localCopyPt(Pt(n - 1), last->a);
    localCopyPt(out(n - 1), last->b);
    localCopyPt(in(0), last->c);
    localCopyPt(Pt(0), last->d);
    for (int i = 0; i < n - 1; i++) {
        FXBezier4* bz = &beziers[i];
        localCopyPt(Pt(i), bz->a);
        localCopyPt(out(i), bz->b);
        localCopyPt(in(i + 1), bz->c);
        localCopyPt(Pt(i + 1), bz->d);
    }
    for (int i = 0; i < n; i++)
        beziers[i].Precompute();
}

void FXBezierSpline::SetActPoints(int a, int b) {
    fixed = false;
    fixedPoint = nullptr;
    int n = GetCnt();
    if (n <= 1) return;
    if (n == 2) {
        segKind = 2;
        if (!localTestPt2(Pt(0))) {
            fixed = true;
            fixedPoint = Pt(0);
        }
        return;
    }
    if (a == -1) a = n - 1;
    if (b == -1) b = n - 1;
    if (a < 0 || a >= n || bezierCount != n) return;
    actIndex = a;
    cur3 = nullptr;
    cur4 = nullptr;
    if (!closed && a == 0) {
        cur3 = &ends[0];
    } else if (!closed && b == n - 1) {
        cur3 = &ends[1];
    } else {
        cur4 = &beziers[a];
    }
    if (cur3) {
        segKind = 3;
        if (!localTestPt3(cur3->p0)) {
            fixed = true;
            fixedPoint = cur3->p0;
        }
    } else {
        segKind = 4;
        if (!localTestPt4(cur4->a)) {
            fixed = true;
            fixedPoint = cur4->a;
        }
    }
}

// The current segment at parameter t, or with the powers of h when it is given.
void FXBezierSpline::Eval(float* out, float t, FXBezierPhaseH* h) {
    if (fixed && fixedPoint) {
        localCopyPt(fixedPoint, out);
        return;
    }
    int n = GetCnt();
    if (segKind == 2 && n >= 2) {
        localShiftPt1(Pt(0), out, lineDelta, h ? h->t : t);
    } else if (segKind == 3 && cur3) {
        if (h)
            cur3->GetH(out, h);
        else
            cur3->Get(out, t);
    } else if (segKind == 4 && cur4) {
        if (h)
            cur4->GetH(out, h);
        else
            cur4->Get(out, t);
    } else if (n > 0) {
        localCopyPt(Pt(0), out);
    } else {
        out[0] = out[1] = out[2] = 0.0f;
    }
}

void FXBezierSpline::Get(float* out, float t) {
    Eval(out, t, nullptr);
}

void FXBezierSpline::GetH(float* out, FXBezierPhaseH* h) {
    Eval(out, h->t, h);
}

void FXBezierSpline::PrecomputePhasesLenght() {
    int n = GetCnt();
    phases.RemoveAll();
    totalLength = 0.0f;
    meanLength = 0.0f;
    if (n <= 0 || phases.Realloc(n) < n) return;
    phases.count = n;
    float* ph = phases.items;
    float d[3];
    ph[0] = 0.0f;
    for (int i = 1; i < n; i++) {
        localDelta(Pt(i), Pt(i - 1), d);
        totalLength += localLenght(d);
        ph[i] = totalLength;
    }
    if (closed) {
        localDelta(Pt(n - 1), Pt(0), d);
        totalLength += localLenght(d);
    }
    int segments = closed ? n : n - 1;
    if (segments > 0) meanLength = totalLength / (float)segments;
    // A path of coinciding points has no length to divide: all its phases stay 0.
    float rcp = totalLength > 0.0f ? 1.0f / totalLength : 0.0f;
    for (int i = 0; i < n; i++)
        ph[i] = ph[i] * rcp;
}

void FXBezierSpline::PrecomputePhasesLinear() {
    int n = GetCnt();
    phases.RemoveAll();
    if (n <= 0 || phases.Realloc(n) < n) return;
    phases.count = n;
    phases.items[0] = 0.0f;
    for (int i = 1; i < n; i++)
        phases.items[i] = (float)i / (float)(n - 1);
}

int FXBezierSpline::TestPhase(int a, int b, float phase) {
    int last = GetCnt() - 1;
    if (a > last || a < 0) a = 0;
    if (b > last || b < 0) b = 0;
    if (phases.count <= last || last < 0) return 0;
    float* ph = phases.items;
    if (ph[a] > phase) return -1;
    if (b == 0) return 0;
    return phase > ph[b] ? 1 : 0;
}

// Finds the points i and j bracketing the phase, makes their segment current and
// gives the segment's own parameter. An open path ends at its last point: a phase
// beyond it stays there rather than running on along the closing segment.
bool FXBezierSpline::Locate(float phase, int* pi, int* pj, float* plocal) {
    int n = GetCnt();
    if (n < 1 || phases.count < n) return false;
    float* ph = phases.items;
    int i = actIndex;
    if (i < 0 || i >= n) i = 0;
    int r = TestPhase(i, i + 1, phase);
    while (r > 0 && i < n - 1) {
        i++;
        r = TestPhase(i, i + 1, phase);
    }
    while (r < 0 && i > 0) {
        i--;
        r = TestPhase(i, i + 1, phase);
    }
    float local;
    int j;
    if (!closed && n >= 2 && i == n - 1) {
        i = n - 2;
        j = n - 1;
        local = 1.0f;
    } else {
        j = i + 1 > n - 1 ? 0 : i + 1;
        local = phase - ph[i];
        float width = j == 0 ? 1.0f - ph[i] : ph[j] - ph[i];
        // An interval of zero width belongs to points too close to tell apart.
        local = width > 0.0f ? local * (1.0f / width) : 0.0f;
    }
    if (i != actIndex) SetActPoints(i, j);
    *pi = i;
    *pj = j;
    *plocal = local;
    return true;
}

void FXBezierSpline::GetAll(float* out, float phase) {
    int i, j;
    float local;
    if (!Locate(phase, &i, &j, &local)) {
        Get(out, 0.0f);
        return;
    }
    Get(out, local);
}

float FXBezierSpline::GetAllPos(float phase) {
    int i, j;
    float local;
    if (!Locate(phase, &i, &j, &local)) return GetCnt() > 0 ? Pt(0)[0] : 0.0f;
    float xi = Pt(i)[0];
    float xj = Pt(j)[0];
    return xi + (xj - xi) * local;
}

void FXBezierSpline::Destroy() {
    DestroyBeziers();
    points.DestroyBuf();
    handles.DestroyBuf();
    phases.DestroyBuf();
    fixed = false;
    fixedPoint = nullptr;
    cur3 = nullptr;
    cur4 = nullptr;
    segKind = 0;
    actIndex = 0;
    totalLength = 0.0f;
    meanLength = 0.0f;
}
