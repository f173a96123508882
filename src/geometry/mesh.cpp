#include "geometry/mesh.h"

#include <cstdlib>
#include <cstring>

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
    if (!Realloc(n, m)) return Refuse("blocks cannot be allocated");
    // Until the indices are filled from the vector map they all name vertex 0, so a mesh drawn
    // before then (or after a filling that stopped half way) never reads outside its vertices.
    if (m > 0) memset(indices, 0, sizeof(int32_t) * (size_t)m);
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
