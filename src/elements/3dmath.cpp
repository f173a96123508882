#include "elements/3dmath.h"

#include <cmath>
#include <cstring>

#include "assets/package.h"

// Degrees to radians uses 3.1415/180 rather than pi/180, stored negated; stored
// matrices and the animation depend on this exact factor.
static const float localDegToRad = -0.017452778f;

void FXMatrix::Clear(float v) {
    for (int i = 0; i < 16; i++)
        m[i] = v;
}

void FXMatrix::Copy(FXMatrix* src) {
    for (int i = 0; i < 16; i++)
        m[i] = src->m[i];
}

bool FXMatrix::Compare(FXMatrix* other) {
    for (int i = 0; i < 16; i++) {
        if (!(m[i] == other->m[i])) return false;
    }
    return true;
}

void FXMatrix::Multiply(FXMatrix* a, FXMatrix* b) {
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++) {
                float prod = *a->M(k, j) * *b->M(i, k);
                sum = sum + prod;
            }
            *M(i, j) = sum;
        }
    }
}

void FXMatrix::SetIdentity() {
    Clear(0.0f);
    *M(0, 0) = 1.0f;
    *M(1, 1) = 1.0f;
    *M(2, 2) = 1.0f;
    *M(3, 3) = 1.0f;
}

void FXMatrix::SetFlipX() {
    SetIdentity();
    *M(0, 0) = -1.0f;
}

void FXMatrix::SetFlipY() {
    SetIdentity();
    *M(1, 1) = -1.0f;
}

void FXMatrix::SetFlipZ() {
    SetIdentity();
    *M(2, 2) = -1.0f;
}

void FXMatrix::SetMove(float* v) {
    SetMoveF(v[0], v[1], v[2]);
}

void FXMatrix::SetMoveF(float x, float y, float z) {
    SetIdentity();
    *M(3, 0) = x;
    *M(3, 1) = y;
    *M(3, 2) = z;
    *M(3, 3) = 1.0f;
}

void FXMatrix::SetScale(float* v) {
    SetScaleF(v[0], v[1], v[2]);
}

void FXMatrix::SetScaleF(float x, float y, float z) {
    Clear(0.0f);
    *M(0, 0) = x;
    *M(1, 1) = y;
    *M(2, 2) = z;
    *M(3, 3) = 1.0f;
}

void FXMatrix::SetRotateX(float angle) {
    float phi = angle * localDegToRad;
    float s = -sinf(phi);
    float c = cosf(phi);
    SetIdentity();
    *M(1, 1) = c;
    *M(2, 2) = c;
    *M(1, 2) = s;
    *M(2, 1) = -s;
}

void FXMatrix::SetRotateY(float angle) {
    float phi = angle * localDegToRad;
    float s = -sinf(phi);
    float c = cosf(phi);
    SetIdentity();
    *M(0, 0) = c;
    *M(2, 2) = c;
    *M(0, 2) = s;
    *M(2, 0) = -s;
}

void FXMatrix::SetRotateZ(float angle) {
    float phi = angle * localDegToRad;
    float s = -sinf(phi);
    float c = cosf(phi);
    SetIdentity();
    *M(0, 0) = c;
    *M(1, 1) = c;
    *M(0, 1) = -s;
    *M(1, 0) = s;
}

void FXMatrix::Save(FILE* f) {
    fwrite(m, 1, sizeof(m), f);
}

// A short read leaves the remaining elements as they were.
void FXMatrix::Load(FILE* f) {
    size_t got = fread(m, 1, sizeof(m), f);
    (void)got;
}

void FXMatrix::LoadC(FXPackage*, FXPackageData* data) {
    const void* blc = data ? data->ReadBlc(64) : nullptr;
    if (blc)
        memcpy(m, blc, 64);
    else
        SetIdentity();
}

void fxVec2fCombine(float* out, float* a, float* b) {
    for (int k = 0; k < 2; k++)
        out[k] = a[k] * b[k];
}

void fxVec3fCombine(float* out, float* a, float* b) {
    for (int k = 0; k < 3; k++)
        out[k] = a[k] * b[k];
}

void fxVec4fCombine(float* out, float* a, float* b) {
    for (int k = 0; k < 4; k++)
        out[k] = a[k] * b[k];
}

float fxVec1fCombineP(float a, float b, float p) {
    if (p == 0.0f) return a;
    if (p == 1.0f) return b;
    return (b - a) * p + a;
}

static void localCombineP(int n, float* out, float* a, float* b, float p) {
    if (p == 0.0f) {
        for (int k = 0; k < n; k++)
            out[k] = a[k];
    } else if (p == 1.0f) {
        for (int k = 0; k < n; k++)
            out[k] = b[k];
    } else {
        for (int k = 0; k < n; k++)
            out[k] = a[k] == b[k] ? a[k] : (b[k] - a[k]) * p + a[k];
    }
}

void fxVec2fCombineP(float* out, float* a, float* b, float p) {
    localCombineP(2, out, a, b, p);
}

void fxVec3fCombineP(float* out, float* a, float* b, float p) {
    localCombineP(3, out, a, b, p);
}

void fxVec4fCombineP(float* out, float* a, float* b, float p) {
    localCombineP(4, out, a, b, p);
}

void fxMatrixBoxXY(const FXMatrix* m, float half, float* x0, float* y0, float* x1, float* y1) {
    const float* a = m->m;
    *x0 = *y0 = INFINITY;
    *x1 = *y1 = -INFINITY;
    for (int k = 0; k < 8; k++) {
        float x = k & 1 ? half : -half, y = k & 2 ? half : -half, z = k & 4 ? half : -half;
        float px = a[0] * x + a[4] * y + a[8] * z + a[12], py = a[1] * x + a[5] * y + a[9] * z + a[13];
        *x0 = fminf(*x0, px);
        *x1 = fmaxf(*x1, px);
        *y0 = fminf(*y0, py);
        *y1 = fmaxf(*y1, py);
    }
}
