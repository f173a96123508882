#include "elements/desk.h"

#include <climits>
#include <cstring>

#include "assets/material.h"
#include "elements/3dmath.h"

FXDesk::FXDesk() : cols(0), rows(0) {}

FXDesk::~FXDesk() {
    Destroy();
}

void FXDesk::OnRender(PEnv* env, double) {
    env->RenderMesh(&mesh);
}

void FXDesk::Destroy() {
    cols = 0;
    rows = 0;
    mesh.Destroy();
}

bool FXDesk::HasGrid() const {
    return cols >= 1 && rows >= 1 && mesh.vertices && mesh.vertexCount == (cols + 1) * (rows + 1);
}

void FXDesk::TexExtents(float* mu, float* mv) const {
    *mu = mesh.material ? mesh.material->texScaleU : 0.0f;
    *mv = mesh.material ? mesh.material->texScaleV : 0.0f;
}

// Calls fn(vertex, s, t) for every vertex of the grid, row by row from the top.
template <class F> static void localEachVertex(FXDesk* d, F fn) {
    float fc = (float)d->cols, fr = (float)d->rows;
    tagFXVertex* v = d->mesh.vertices;
    for (int i = 0; i <= d->rows; i++) {
        float t = (float)i / fr;
        for (int j = 0; j <= d->cols; j++)
            fn(*v++, (float)j / fc, t);
    }
}

void FXDesk::Create(int c, int r) {
    if (c == cols && r == rows) return;
    long long nv = (long long)(c + 1LL) * (r + 1LL), ni = (long long)c * r * 6;
    if (c < 1 || r < 1 || nv > INT_MAX || ni > INT_MAX || !mesh.Realloc((int)nv, (int)ni)) {
        Destroy();
        return;
    }
    cols = c;
    rows = r;
    memset(mesh.vertices, 0, sizeof(tagFXVertex) * (size_t)nv);
    int32_t* k = mesh.indices;
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) {
            int tl = j + i * (cols + 1), tr = tl + 1;
            int bl = j + (i + 1) * (cols + 1), br = bl + 1;
            *k++ = tl;
            *k++ = bl;
            *k++ = tr;
            *k++ = bl;
            *k++ = br;
            *k++ = tr;
        }
    }
    UpdatePos(true, true);
    UpdateCol();
    UpdateTex();
}

static void localSetNormal(tagFXVertex& v) {
    v.normal[0] = 0;
    v.normal[1] = 0;
    v.normal[2] = -1;
}

void FXDesk::UpdatePos(bool setPos, bool setNormal) {
    FXDesk::UpdatePosSkew(setPos, setNormal, 0, 0);
}

void FXDesk::UpdatePosSkew(bool setPos, bool setNormal, float dx, float dy) {
    if (!HasGrid() || !(setPos || setNormal)) return;
    localEachVertex(this, [&](tagFXVertex& v, float s, float t) {
        if (setPos) {
            v.pos[0] = 2.0f * s - 1.0f + (1.0f - t) * dx;
            v.pos[1] = -2.0f * t + 1.0f + (1.0f - s) * dy;
            v.pos[2] = 0;
        }
        if (setNormal) localSetNormal(v);
    });
}

void FXDesk::UpdatePosSkew1(bool setPos, bool setNormal, float dx, float dy) {
    if (!HasGrid() || !(setPos || setNormal)) return;
    localEachVertex(this, [&](tagFXVertex& v, float s, float t) {
        if (setPos) {
            v.pos[0] = 2.0f * s - 1.0f + t * dx;
            v.pos[1] = -2.0f * t + 1.0f + s * dy;
            v.pos[2] = 0;
        }
        if (setNormal) localSetNormal(v);
    });
}

void FXDesk::UpdatePosPerspective(float spread) {
    if (!HasGrid()) return;
    localEachVertex(this, [&](tagFXVertex& v, float s, float t) {
        v.pos[0] = (2.0f * s - 1.0f) * (t * spread + 1.0f);
        v.pos[1] = -2.0f * t + 1.0f;
        v.pos[2] = 0;
    });
}

void FXDesk::UpdateCol() {
    float white[4] = {1, 1, 1, 1};
    UpdateColCol(white);
}

void FXDesk::UpdateColCol(float* rgba) {
    if (!HasGrid()) return;
    mesh.SetVerticesCol(rgba);
}

void FXDesk::UpdateCol_LT_RB(float* lt, float* rb) {
    if (!HasGrid()) return;
    localEachVertex(this, [&](tagFXVertex& v, float s, float t) { fxVec4fCombineP(v.color, lt, rb, s * t); });
}

void FXDesk::UpdateTex() {
    if (!HasGrid()) return;
    float mu, mv;
    TexExtents(&mu, &mv);
    bool flip = mesh.flipV;
    localEachVertex(this, [&](tagFXVertex& v, float s, float t) {
        v.tex[0] = s * mu;
        v.tex[1] = mv * (flip ? 1.0f - t : t);
    });
}

void FXDesk::UpdateTex1() {
    if (!HasGrid()) return;
    bool flip = mesh.flipV;
    localEachVertex(this, [&](tagFXVertex& v, float s, float t) {
        v.tex[0] = s;
        v.tex[1] = flip ? 1.0f - t : t;
    });
}

void FXDesk::UpdateTexRc(float uLeft, float vTop, float uRight, float vBottom) {
    if (!HasGrid()) return;
    float mu, mv;
    TexExtents(&mu, &mv);
    bool flip = mesh.flipV;
    localEachVertex(this, [&](tagFXVertex& v, float s, float t) {
        float w = vTop + t * (vBottom - vTop);
        v.tex[0] = (uLeft + s * (uRight - uLeft)) * mu;
        v.tex[1] = mv * (flip ? 1.0f - w : w);
    });
}

void FXDesk::SetMaterial(FXMaterial* m) {
    mesh.material = m;
    UpdateTex();
}

void FXDesk::SetMaterial1(FXMaterial* m) {
    mesh.material = m;
    mesh.ResizeTexCoords();
}

tagFXVertex* FXDesk::Corner(int corner) {
    static const int vertexOf[4] = {0, 1, 3, 2};
    if (corner < 1 || corner > 4 || !mesh.vertices || mesh.vertexCount < 4) return nullptr;
    return &mesh.vertices[vertexOf[corner - 1]];
}

void FXDesk::SetVertexPos(int corner, float x, float y) {
    if (tagFXVertex* v = Corner(corner)) {
        v->pos[0] = x;
        v->pos[1] = y;
    }
}

void FXDesk::SetTexelPos(int corner, float u, float v) {
    if (tagFXVertex* p = Corner(corner)) {
        p->tex[0] = u;
        p->tex[1] = v;
    }
}

void FXDesk::SetVertexPos1(int corner, int px, int py, int width, int height) {
    if (width <= 0 || height <= 0) return;
    SetVertexPos(corner, (float)px * 2.0f / (float)width - 1.0f, (float)py * -2.0f / (float)height + 1.0f);
}

void FXDesk::SetTexelPos1(int corner, int px, int py, int width, int height) {
    if (width <= 0 || height <= 0) return;
    SetTexelPos(corner, (float)px / (float)width, (float)py / (float)height);
}
