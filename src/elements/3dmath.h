#pragma once

#include <cstdio>

class FXPackage;
class FXPackageData;

// 4x4 float matrix in the element order OpenGL loads: M(i, j) is column i, row j,
// so the translation sits at m[12], m[13], m[14]. Angles are in degrees.
class FXMatrix {
  public:
    float m[16];

    float* M(int i, int j) { return &m[4 * i + j]; }
    void Clear(float v);
    void Copy(FXMatrix* src);
    bool Compare(FXMatrix* other);
    // this := a * b; this must be distinct from both operands.
    void Multiply(FXMatrix* a, FXMatrix* b);
    void SetIdentity();
    void SetFlipX();
    void SetFlipY();
    void SetFlipZ();
    void SetMove(float* v);
    void SetMoveF(float x, float y, float z);
    void SetScale(float* v);
    void SetScaleF(float x, float y, float z);
    void SetRotateX(float angle);
    void SetRotateY(float angle);
    void SetRotateZ(float angle);
    void Save(FILE* f);
    void Load(FILE* f);
    void LoadC(FXPackage* pck, FXPackageData* data);
};

// The x and y extent of the cube -half ... half on every axis, carried through m.
void fxMatrixBoxXY(const FXMatrix* m, float half, float* x0, float* y0, float* x1, float* y1);

void fxVec2fCombine(float* out, float* a, float* b);
void fxVec3fCombine(float* out, float* a, float* b);
void fxVec4fCombine(float* out, float* a, float* b);
float fxVec1fCombineP(float a, float b, float p);
void fxVec2fCombineP(float* out, float* a, float* b, float p);
void fxVec3fCombineP(float* out, float* a, float* b, float p);
void fxVec4fCombineP(float* out, float* a, float* b, float p);
