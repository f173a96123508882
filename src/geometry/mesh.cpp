#include "geometry/mesh.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assets/canvas.h"
#include "assets/data.h"
#include "assets/material.h"
#include "assets/matlib.h"
#include "assets/package.h"
#include "base/paths.h"
#include "base/trace.h"
#include "render/env.h"

// Payloads are read and written in host order, so the host must be little-endian. GCC and
// Clang say so through a macro; Windows runs little-endian only.
#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "payloads are read and written in host order");
#elif !defined(_WIN32)
#error "cannot tell the byte order of this target"
#endif

// Header-form payloads carry counts with nothing behind them to check against; counts beyond
// these are refused rather than allocated.
static const int kMaxHeaderVertices = 1 << 22;
static const int kMaxHeaderIndices = 3 << 22;

FXMesh::FXMesh()
    : disabled(false), drawPass(0), colorMode(0), flipV(false), secondMesh(nullptr), material(nullptr),
      loadedU(0), loadedV(0), vertexCapacity(0), vertexCount(0), vertices(nullptr), indexCapacity(0),
      indexCount(0), indices(nullptr) {}

FXMesh::~FXMesh() {
    Destroy();
}

void FXMesh::Destroy() {
    if (fxglobalEnv && vertices) fxglobalEnv->UnprepareMesh(this);
    free(vertices);
    free(indices);
    vertices = nullptr;
    indices = nullptr;
    vertexCapacity = vertexCount = 0;
    indexCapacity = indexCount = 0;
}

bool FXMesh::Realloc(int nv, int ni) {
    if (nv < 0 || ni < 0) {
        Destroy();
        return false;
    }
    if (nv > vertexCapacity) {
        free(vertices);
        vertices = (tagFXVertex*)malloc(sizeof(tagFXVertex) * (size_t)nv);
        vertexCapacity = vertices ? nv : 0;
    }
    if (ni > indexCapacity) {
        free(indices);
        indices = (int32_t*)malloc(sizeof(int32_t) * (size_t)ni);
        indexCapacity = indices ? ni : 0;
    }
    if (nv > vertexCapacity || ni > indexCapacity) {
        Destroy();
        return false;
    }
    vertexCount = nv;
    indexCount = ni;
    return true;
}

void FXMesh::CopyMeshI(FXMesh* src) {
    if (src == this) return;
    material = src->material;
    materialName = src->materialName;
    loadedU = src->loadedU;
    loadedV = src->loadedV;
    drawPass = src->drawPass;
    colorMode = src->colorMode;
    Realloc(src->vertexCount, src->indexCount);
}

void FXMesh::Copy(FXMesh* src) {
    if (src == this) return;
    CopyMeshI(src);
    if (vertexCount == src->vertexCount && vertexCount > 0)
        memcpy(vertices, src->vertices, sizeof(tagFXVertex) * (size_t)vertexCount);
    if (indexCount == src->indexCount && indexCount > 0)
        memcpy(indices, src->indices, sizeof(int32_t) * (size_t)indexCount);
}

bool FXMesh::IndicesValid() const {
    if (indexCount > 0 && !indices) return false;
    for (int k = 0; k < indexCount; k++)
        if (indices[k] < 0 || indices[k] >= vertexCount) return false;
    return true;
}

bool FXMesh::Refuse(const char* why) {
    err("mesh \"%s\" refused: %s\n", materialName.text, why);
    Destroy();
    return false;
}

// ---- file streams

static bool localWrite(FILE* f, const void* p, size_t n) {
    return n == 0 || fwrite(p, 1, n, f) == n;
}
static bool localRead(FILE* f, void* p, size_t n) {
    return n == 0 || fread(p, 1, n, f) == n;
}

// Whether `count` records of `size` bytes, followed by `tail` more bytes, can be in the stream.
static bool localFits(FILE* f, int count, int size, int tail, int maxCount) {
    long long left = fxFileBytesLeft(f);
    if (left < 0) return count <= maxCount;
    return (long long)count * size + tail <= left;
}

static void localScales(FXMaterial* m, float* u, float* v) {
    *u = m ? m->texScaleU : 0.0f;
    *v = m ? m->texScaleV : 0.0f;
}

static bool localSaveHeader(FILE* f, FXStr& name, float u, float v, int pass, int mode, int n) {
    return name.Save(f) && localWrite(f, &u, 4) && localWrite(f, &v, 4) && localWrite(f, &pass, 4) &&
           localWrite(f, &mode, 4) && localWrite(f, &n, 4);
}

bool FXMesh::SaveMesh(FILE* f) {
    float u, v;
    localScales(material, &u, &v);
    return localSaveHeader(f, materialName, u, v, drawPass, colorMode, vertexCount) &&
           localWrite(f, vertices, sizeof(tagFXVertex) * (size_t)vertexCount) &&
           localWrite(f, &indexCount, 4) && localWrite(f, indices, sizeof(int32_t) * (size_t)indexCount);
}

bool FXMesh::SaveMeshI(FILE* f) {
    float u, v;
    localScales(material, &u, &v);
    if (u == 0) {
        u = loadedU;
        trc("save u from loaded_u (%g)\n", u);
    }
    if (v == 0) v = loadedV;
    return localSaveHeader(f, materialName, u, v, drawPass, colorMode, vertexCount) &&
           localWrite(f, &indexCount, 4);
}

bool FXMesh::LoadHeader(FILE* f, FXMatlib* lib, int* n) {
    Destroy();
    if (!materialName.Load(f)) return Refuse("bad material name");
    material = lib ? lib->FindMaterial(materialName.text) : nullptr;
    if (!localRead(f, &loadedU, 4) || !localRead(f, &loadedV, 4) || !localRead(f, &drawPass, 4) ||
        !localRead(f, &colorMode, 4) || !localRead(f, n, 4))
        return Refuse("payload ends inside the header");
    if (*n < 0) return Refuse("negative vertex count");
    return true;
}

bool FXMesh::LoadMesh(FILE* f, FXMatlib* lib) {
    int n, m;
    if (!LoadHeader(f, lib, &n)) return false;
    if (!localFits(f, n, sizeof(tagFXVertex), 4, kMaxHeaderVertices))
        return Refuse("payload shorter than its vertex count");
    if (!Realloc(n, 0)) return Refuse("vertex block cannot be allocated");
    if (!localRead(f, vertices, sizeof(tagFXVertex) * (size_t)n)) return Refuse("vertex records cut short");
    if (!localRead(f, &m, 4)) return Refuse("payload ends before the index count");
    if (m < 0) return Refuse("negative index count");
    if (!localFits(f, m, 4, 0, kMaxHeaderIndices)) return Refuse("payload shorter than its index count");
    if (!Realloc(n, m)) return Refuse("index block cannot be allocated");
    if (!localRead(f, indices, sizeof(int32_t) * (size_t)m)) return Refuse("indices cut short");
    if (!IndicesValid()) return Refuse("index outside the vertex block");
    return true;
}

bool FXMesh::SizeHeaderForm(int n, int m) {
    if (m < 0) return Refuse("negative index count");
    if (n > kMaxHeaderVertices || m > kMaxHeaderIndices) return Refuse("counts too large");
    // Until the indices are filled from the vector map they all name vertex 0, so a mesh drawn
    // before then (or after a filling that stopped half way) never reads outside its vertices.
    // A new index block comes from calloc, whose fresh pages are zero without being written: a
    // header declaring millions of indices costs nothing until its stream fills them.
    bool zeroed = false;
    if (m > indexCapacity) {
        free(indices);
        indices = (int32_t*)calloc((size_t)m, sizeof(int32_t));
        indexCapacity = indices ? m : 0;
        zeroed = indices != nullptr;
    }
    if (!Realloc(n, m)) return Refuse("blocks cannot be allocated");
    if (m > 0 && !zeroed) memset(indices, 0, sizeof(int32_t) * (size_t)m);
    return true;
}

bool FXMesh::LoadMeshI(FILE* f, FXMatlib* lib) {
    int n, m;
    if (!LoadHeader(f, lib, &n)) return false;
    if (!localRead(f, &m, 4)) return Refuse("payload ends before the index count");
    return SizeHeaderForm(n, m);
}

// ---- package items

static bool localReadC(FXPackageData* d, void* p, int n) {
    return n == 0 || (d->left >= n && d->ReadCopyBlc(p, n) != nullptr);
}

bool FXMesh::LoadHeaderC(FXPackageData* d, FXMatlib* lib, int* n) {
    Destroy();
    materialName.Clear();
    if (!d) return Refuse("no item");
    int len;
    if (d->left < 4) return Refuse("payload ends inside the header");
    memcpy(&len, d->cur, 4);
    if (len < 0 || len > FXStr::MaxLength || len > d->left - 4) return Refuse("bad material name");
    d->ReadString(&materialName);
    material = lib ? lib->FindMaterial(materialName.text) : nullptr;
    if (!localReadC(d, &loadedU, 4) || !localReadC(d, &loadedV, 4) || !localReadC(d, &drawPass, 4) ||
        !localReadC(d, &colorMode, 4) || !localReadC(d, n, 4))
        return Refuse("payload ends inside the header");
    if (*n < 0) return Refuse("negative vertex count");
    return true;
}

bool FXMesh::LoadMeshC(FXPackage*, FXPackageData* d, FXMatlib* lib) {
    int n, m;
    if (!LoadHeaderC(d, lib, &n)) return false;
    if ((long long)n * (long long)sizeof(tagFXVertex) + 4 > d->left)
        return Refuse("payload shorter than its vertex count");
    if (!Realloc(n, 0)) return Refuse("vertex block cannot be allocated");
    if (!localReadC(d, vertices, n * (int)sizeof(tagFXVertex))) return Refuse("vertex records cut short");
    if (!localReadC(d, &m, 4)) return Refuse("payload ends before the index count");
    if (m < 0) return Refuse("negative index count");
    if ((long long)m * 4 > d->left) return Refuse("payload shorter than its index count");
    if (!Realloc(n, m)) return Refuse("index block cannot be allocated");
    if (!localReadC(d, indices, m * 4)) return Refuse("indices cut short");
    if (!IndicesValid()) return Refuse("index outside the vertex block");
    return true;
}

bool FXMesh::LoadMeshIC(FXPackage*, FXPackageData* d, FXMatlib* lib) {
    int n, m;
    if (!LoadHeaderC(d, lib, &n)) return false;
    if (!localReadC(d, &m, 4)) return Refuse("payload ends before the index count");
    return SizeHeaderForm(n, m);
}

// ---- vertex housekeeping

void FXMesh::DiscardVertices() {
    if (vertexCount <= 0 || !vertices) return;
    if (!IndicesValid()) {
        err("mesh \"%s\": index outside the vertex block, vertices kept\n", materialName.text);
        return;
    }
    for (int i = 0; i < vertexCount; i++)
        vertices[i].mark = -1;
    for (int k = 0; k < indexCount; k++)
        vertices[indices[k]].mark = 0;
    int used = 0;
    for (int i = 0; i < vertexCount; i++)
        if (vertices[i].mark >= 0) vertices[i].mark = used++;
    for (int k = 0; k < indexCount; k++)
        indices[k] = vertices[indices[k]].mark;

    tagFXVertex* block = used > 0 ? (tagFXVertex*)malloc(sizeof(tagFXVertex) * (size_t)used) : nullptr;
    if (used > 0 && !block) {
        // Keep the old block: the rewritten indices still name records within it.
        for (int i = 0; i < vertexCount; i++)
            if (vertices[i].mark >= 0) vertices[vertices[i].mark] = vertices[i];
        vertexCount = used;
        return;
    }
    for (int i = 0; i < vertexCount; i++)
        if (vertices[i].mark >= 0) block[vertices[i].mark] = vertices[i];
    free(vertices);
    vertices = block;
    vertexCapacity = vertexCount = used;
}

// ---- texture coordinates and colours

void FXMesh::ScaleTexCoords(float su, float sv) {
    for (int i = 0; i < vertexCount; i++) {
        float* t = vertices[i].tex;
        t[0] = t[0] * su;
        t[1] = flipV ? (1.0f - t[1]) * sv : t[1] * sv;
    }
}

void FXMesh::ResizeTexCoords() {
    float u, v;
    localScales(material, &u, &v);
    if (u <= 0 || v <= 0) return;
    ScaleTexCoords(loadedU > 0 ? u / loadedU : u, loadedV > 0 ? v / loadedV : v);
}

void FXMesh::ResizeTexCoords1() {
    float u, v;
    localScales(material, &u, &v);
    if (u <= 0 || v <= 0) return;
    ScaleTexCoords(u, v);
}

void FXMesh::SetVerticesCol(float* rgba) {
    for (int i = 0; i < vertexCount; i++)
        memcpy(vertices[i].color, rgba, sizeof(float) * 4);
}

// ---- coding against a shared vector map

// The index stream codes each number as 0: last + 1 (nothing stored), 1: a byte, 2: a word,
// 3: an integer; the flag byte holds the codes of position, normal and texture number.
static int localCodeOf(int n, int last) {
    if (n == last + 1) return 0;
    if (n < 256) return 1;
    if (n > 65535) return 3;
    return 2;
}

static void localPushNumber(FXNumPool* pool, int code, int n) {
    if (code == 1)
        pool->PushByte((unsigned char)n);
    else if (code == 2)
        pool->PushWord((unsigned short)n);
    else if (code == 3)
        pool->PushInt(n);
}

static bool localReadNumber(FXNumPool* pool, int code, int* last) {
    if (code == 0) {
        if (*last == INT32_MAX) return false;
        (*last)++;
        return true;
    }
    if (code == 1) {
        unsigned char b;
        if (!pool->GetNextByte(&b)) return false;
        *last = b;
    } else if (code == 2) {
        unsigned short w;
        if (!pool->GetNextWord(&w)) return false;
        *last = w;
    } else {
        if (!pool->GetNextInt(last)) return false;
    }
    return true;
}

static bool localHasNaN(const float* v, int n) {
    for (int i = 0; i < n; i++)
        if (std::isnan(v[i])) return true;
    return false;
}

bool FXMesh::ToVMap(FXVectorMap* map, FXNumPool* pool, PMeshSaveClb* clb, int meshNo, FXArray** redir) {
    if (indexCount <= 0 || vertexCount <= 0) return true;
    if (!IndicesValid()) {
        err("mesh \"%s\": index outside the vertex block, not coded\n", materialName.text);
        return false;
    }
    DiscardVertices();
    // Without a callback, pushing a vertex's vectors again gives the numbers they got the first
    // time (the map only grows meanwhile), so each vertex is looked up once. A vector holding a
    // NaN equals nothing and is stored anew at every push, as before.
    std::vector<int32_t> known(clb ? 0 : (size_t)vertexCount * 3, -1);
    int last[3] = {-1, -1, -1};
    for (int i = 0; i < indexCount; i++) {
        tagFXVertex* v = &vertices[indices[i]];
        int32_t* memo = clb ? nullptr : &known[(size_t)indices[i] * 3];
        int n[3];
        if (memo && memo[0] >= 0) {
            n[0] = memo[0], n[1] = memo[1], n[2] = memo[2];
        } else {
            n[0] = map->PushVecPos(v, clb, meshNo, indices[i]);
            n[1] = map->PushVecNorm(v, clb, meshNo, indices[i]);
            n[2] = map->PushVecTex(v, clb, meshNo, indices[i]);
            if (memo && !localHasNaN(v->pos, 3) && !localHasNaN(v->normal, 3) && !localHasNaN(v->tex, 2))
                memo[0] = n[0], memo[1] = n[1], memo[2] = n[2];
        }
        if (n[0] < 0 || n[1] < 0 || n[2] < 0) {
            err("mesh \"%s\": vector map cannot grow\n", materialName.text);
            return false;
        }
        if (redir)
            for (int k = 0; k < 3; k++)
                redir[k]->PushInt(n[k]);
        int code[3];
        for (int k = 0; k < 3; k++)
            code[k] = localCodeOf(n[k], last[k]);
        pool->PushByte((unsigned char)(code[0] | code[1] << 2 | code[2] << 4));
        for (int k = 0; k < 3; k++) {
            localPushNumber(pool, code[k], n[k]);
            last[k] = n[k];
        }
    }
    return true;
}

bool FXMesh::FromVMap(FXVectorMap* map, FXNumPool* pool) {
    // Vertices come only from the stream: without indices the header's vertex slots stay
    // unfilled, so the mesh keeps none of them.
    if (indexCount <= 0) {
        Destroy();
        return true;
    }
    if (vertexCount <= 0 || !vertices || !indices) return Refuse("indices without vertices");
    int capacity = vertexCount;
    map->ClearUsed();
    vertexCount = 0;
    int last[3] = {-1, -1, -1};
    pool->Reseek();
    for (int i = 0; i < indexCount; i++) {
        unsigned char flag;
        if (!pool->GetNextByte(&flag)) return Refuse("index stream cut short");
        for (int k = 0; k < 3; k++)
            if (!localReadNumber(pool, (flag >> (2 * k)) & 3, &last[k])) return Refuse("index stream cut short");
        int p = last[0], n = last[1], t = last[2];
        if (p < 0 || p >= map->posCount || n < 0 || n >= map->normCount || t < 0 || t >= map->texCount)
            return Refuse("index stream names a vector the map does not have");
        int v = map->GetUsed(p, n, t);
        if (v == -1) {
            if (vertexCount >= capacity) return Refuse("more vertices than the header gave");
            v = vertexCount++;
            map->PushUsed(p, n, t, v);
            tagFXVertex* x = &vertices[v];
            map->GetVecPos(p, x->pos);
            map->GetVecNorm(n, x->normal);
            map->GetVecTex(t, x->tex);
            // Colours are not in the map: white until the owner sets them.
            for (float& c : x->color)
                c = 1.0f;
            x->normalSum[0] = x->normalSum[1] = x->normalSum[2] = 0.0f;
            x->mark = 0;
            x->srcPos = x->srcNormal = x->srcTex = -1;
        }
        indices[i] = v;
    }
    return true;
}

void FXMesh::ApplyRedir(FXVectorMap* map, FXArray** redir) {
    if (!redir || !redir[0] || !redir[1] || !redir[2]) return;
    for (int i = 0; i < indexCount; i++) {
        if (i >= redir[0]->count || i >= redir[1]->count || i >= redir[2]->count) return;
        if (indices[i] < 0 || indices[i] >= vertexCount) continue;
        tagFXVertex* v = &vertices[indices[i]];
        map->GetVecPos(redir[0]->GetInt(i), v->pos);
        map->GetVecNorm(redir[1]->GetInt(i), v->normal);
        map->GetVecTex(redir[2]->GetInt(i), v->tex);
    }
}

// ---- shaping

void FXMesh::ComputeNormals(bool markedOnly) {
    ComputeNormalsZ(markedOnly, 1.0f);
}

void FXMesh::ComputeNormalsZ(bool markedOnly, float zScale) {
    if (indexCount / 3 < 1 || vertexCount <= 0 || !vertices) return;
    for (int i = 0; i < vertexCount; i++)
        vertices[i].normalSum[0] = vertices[i].normalSum[1] = vertices[i].normalSum[2] = 0.0f;
    for (int t = 0; t + 2 < indexCount; t += 3) {
        int ia = indices[t], ib = indices[t + 1], ic = indices[t + 2];
        if (ia < 0 || ia >= vertexCount || ib < 0 || ib >= vertexCount || ic < 0 || ic >= vertexCount) continue;
        tagFXVertex *a = &vertices[ia], *b = &vertices[ib], *c = &vertices[ic];
        if (markedOnly && a->mark == 0 && b->mark == 0 && c->mark == 0) continue;
        float e1[3], e2[3];
        for (int k = 0; k < 3; k++) {
            e1[k] = a->pos[k] - b->pos[k];
            e2[k] = a->pos[k] - c->pos[k];
        }
        e1[2] *= zScale;
        e2[2] *= zScale;
        float n[3] = {e2[1] * e1[2] - e2[2] * e1[1], e2[2] * e1[0] - e2[0] * e1[2], e2[0] * e1[1] - e2[1] * e1[0]};
        float len = sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len == 0.0f) continue;
        float r = 1.0f / len;
        for (int k = 0; k < 3; k++)
            n[k] *= r;
        for (tagFXVertex* x : {a, b, c}) {
            x->mark = 1;
            for (int k = 0; k < 3; k++)
                x->normalSum[k] += n[k];
        }
    }
    Normalize(markedOnly);
}

void FXMesh::Normalize(bool markedOnly) {
    for (int i = 0; i < vertexCount; i++) {
        tagFXVertex* v = &vertices[i];
        if (markedOnly && v->mark == 0) continue;
        float* s = v->normalSum;
        float len = sqrtf(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        if (len == 0.0f) continue;
        float r = 1.0f / len;
        for (int k = 0; k < 3; k++)
            v->normal[k] = s[k] * r;
    }
}

void FXMesh::ComputeFrontTexCoords() {
    for (int i = 0; i < vertexCount; i++) {
        vertices[i].tex[0] = (vertices[i].pos[0] + 1.0f) * 0.5f;
        vertices[i].tex[1] = (1.0f - vertices[i].pos[1]) * 0.5f;
    }
}

void FXMesh::CopyTexCoords(FXMesh* src) {
    if (!src || src == this) return;
    int n = vertexCount < src->vertexCount ? vertexCount : src->vertexCount;
    for (int i = 0; i < n; i++)
        memcpy(vertices[i].tex, src->vertices[i].tex, 8);
}

void FXMesh::FindMaxims(float* box) {
    for (int k = 0; k < 6; k++)
        box[k] = 0.0f;
    bool first = true;
    FindMultiMaxims(&first, box);
}

void FXMesh::FindMultiMaxims(bool* first, float* box) {
    for (int i = 0; i < vertexCount; i++) {
        const float* p = vertices[i].pos;
        if (*first) {
            for (int k = 0; k < 3; k++)
                box[2 * k] = box[2 * k + 1] = p[k];
            *first = false;
            continue;
        }
        for (int k = 0; k < 3; k++) {
            if (p[k] < box[2 * k]) box[2 * k] = p[k];
            if (p[k] > box[2 * k + 1]) box[2 * k + 1] = p[k];
        }
    }
}

void FXMesh::Unitize() {
    float box[6];
    FindMaxims(box);
    UnitizeMaxims(box);
}

// Every position becomes (pos - centre) * scale, per axis.
static void localFit(FXMesh* m, const float* box, const float* scale) {
    float c[3];
    for (int k = 0; k < 3; k++)
        c[k] = (box[2 * k] + box[2 * k + 1]) / 2.0f;
    for (int i = 0; i < m->vertexCount; i++)
        for (int k = 0; k < 3; k++)
            m->vertices[i].pos[k] = (m->vertices[i].pos[k] - c[k]) * scale[k];
}

void FXMesh::UnitizeMaxims(float* box) {
    float dx = box[1] - box[0], dy = box[3] - box[2], dz = box[5] - box[4];
    float m = dy > dx ? dy : dx;
    if (dz > m) m = dz;
    float s = m > 0.0f ? 2.0f / m : 1.0f;
    float scale[3] = {s, s, s};
    localFit(this, box, scale);
}

static float localStretch(float extent) {
    return 2.0f / (extent == 0.0f ? 2.0f : extent);
}

void FXMesh::UnitizeMaximsStretch(float* box) {
    float scale[3] = {localStretch(box[1] - box[0]), localStretch(box[3] - box[2]), localStretch(box[5] - box[4])};
    localFit(this, box, scale);
}

void FXMesh::UnitizeMaximsStretch1(float* box) {
    float scale[3] = {localStretch(box[1] - box[0]), localStretch(box[3] - box[2]), 1.0f};
    localFit(this, box, scale);
}

void FXMesh::FlipHoriz() {
    for (int i = 0; i < vertexCount; i++) {
        uint32_t b;
        memcpy(&b, &vertices[i].pos[0], 4);
        b ^= 0x80000000u;
        memcpy(&vertices[i].pos[0], &b, 4);
    }
}

void FXMesh::Transform(int ix, int iy, int iz, bool negX, bool negY, bool negZ) {
    if (ix < 0 || ix > 2 || iy < 0 || iy > 2 || iz < 0 || iz > 2) return;
    float sign[3] = {negX ? -1.0f : 1.0f, negY ? -1.0f : 1.0f, negZ ? -1.0f : 1.0f};
    for (int i = 0; i < vertexCount; i++) {
        for (float* v : {vertices[i].pos, vertices[i].normal}) {
            float old[3] = {v[0], v[1], v[2]};
            v[0] = old[ix] * sign[0];
            v[1] = old[iy] * sign[1];
            v[2] = old[iz] * sign[2];
        }
    }
}

int FXMesh::TextToIndi(const char* s) {
    if (!s) return -1;
    if (s[0] == 'x') return 0;
    if (s[0] == 'y') return 1;
    if (s[0] == 'z') return 2;
    return -1;
}

void FXMesh::ExtendPositions(float d) {
    for (int i = 0; i < vertexCount; i++) {
        for (int k = 0; k < 3; k++)
            vertices[i].pos[k] += vertices[i].normal[k] * d;
        vertices[i].mark = 1;
    }
}

void FXMesh::ApplyBumpMap(FXCanvas* img, float scale) {
    if (!img) return;
    float rgba[4] = {0, 0, 0, 0};
    for (int i = 0; i < vertexCount; i++) {
        tagFXVertex* v = &vertices[i];
        img->GetColor(v->tex[0], flipV ? 1.0f - v->tex[1] : v->tex[1], rgba);
        float b = scale * rgba[2];
        if (b > 0.0f) {
            for (int k = 0; k < 3; k++)
                v->pos[k] += v->normal[k] * b;
            v->mark = 1;
        } else {
            v->mark = 0;
        }
    }
}

static void localColorAt(FXCanvas* img, float u, float v, const float* mul, float* rgba, float* out) {
    img->GetColor(u, v, rgba);
    for (int k = 0; k < 4; k++)
        out[k] = rgba[k] * mul[k];
}

void FXMesh::ApplyColorMap(FXCanvas* img, float* mul) {
    if (!img || !mul) return;
    float rgba[4] = {0, 0, 0, 0};
    for (int i = 0; i < vertexCount; i++) {
        tagFXVertex* v = &vertices[i];
        localColorAt(img, v->tex[0], flipV ? 1.0f - v->tex[1] : v->tex[1], mul, rgba, v->color);
    }
}

void FXMesh::ApplyFrontColorMap(FXCanvas* img, float* mul) {
    if (!img || !mul) return;
    float rgba[4] = {0, 0, 0, 0};
    for (int i = 0; i < vertexCount; i++) {
        tagFXVertex* v = &vertices[i];
        localColorAt(img, (v->pos[0] + 1.0f) * 0.5f, (1.0f - v->pos[1]) * 0.5f, mul, rgba, v->color);
    }
}
