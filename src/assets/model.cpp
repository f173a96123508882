#include "assets/model.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/data.h"
#include "assets/material.h"
#include "assets/matlib.h"
#include "assets/package.h"
#include "base/paths.h"
#include "base/trace.h"
#include "geometry/mesh.h"
#include "geometry/model_obj.h"

// The smallest mesh payload: an empty name and six 32-bit fields (full and header form alike).
static const int kMinMeshPayload = 28;

// ---------------------------------------------------------------------------------------------
// Mesh groups

static void localDeleteMeshGroup(FXArray* g) {
    if (!g) return;
    for (int i = 0; i < g->count; i++)
        delete (FXMesh*)g->items[i];
    g->RemoveAll();
}

static void localCopyMeshGroup(FXArray* dst, FXArray* src) {
    if (!dst || !src) return;
    localDeleteMeshGroup(dst);
    if (src->IsEmpty()) return;
    dst->Realloc(src->count);
    for (int i = 0; i < src->count; i++) {
        FXMesh* s = (FXMesh*)src->items[i];
        FXMesh* m = nullptr;
        if (s) {
            m = new FXMesh;
            m->Copy(s);
        }
        dst->Push(m);
    }
}

static bool localSaveArray(FILE* f, FXArray* g) {
    int32_t n = 0;
    for (int i = 0; g && i < g->count; i++) {
        FXMesh* m = (FXMesh*)g->items[i];
        if (m && !m->disabled) n++;
    }
    if (fwrite(&n, 4, 1, f) != 1) return false;
    for (int i = 0; g && i < g->count; i++) {
        FXMesh* m = (FXMesh*)g->items[i];
        if (m && !m->disabled && !m->SaveMesh(f)) return false;
    }
    return true;
}

// A mesh count the rest of the input cannot hold is refused before anything is allocated.
static bool localReadMeshCount(FILE* f, int perMesh, int* n) {
    if (fread(n, 4, 1, f) != 1 || *n < 0) return false;
    long long left = fxFileBytesLeft(f);
    return left < 0 || (long long)*n * perMesh <= left;
}

static bool localReadMeshCountC(FXPackageData* d, int perMesh, int* n) {
    if (d->left < 4) return false;
    *n = d->ReadInt();
    return *n >= 0 && (long long)*n * perMesh <= d->left;
}

static bool localLoadArray(FILE* f, FXArray* g, FXMatlib* lib) {
    int n;
    if (!localReadMeshCount(f, kMinMeshPayload, &n)) return false;
    g->Realloc(n);
    for (int i = 0; i < n; i++) {
        FXMesh* m = new FXMesh;
        g->Push(m);
        if (!m->LoadMesh(f, lib)) return false;
    }
    return true;
}

static bool localLoadArrayC(FXPackage* pkg, FXPackageData* d, FXArray* g, FXMatlib* lib) {
    int n;
    if (!localReadMeshCountC(d, kMinMeshPayload, &n)) return false;
    g->Realloc(n);
    for (int i = 0; i < n; i++) {
        FXMesh* m = new FXMesh;
        g->Push(m);
        if (!m->LoadMeshC(pkg, d, lib)) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Construction and loading

FXModel::FXModel() : matlib(nullptr), flipV(false) {}

FXModel::~FXModel() {
    Destroy();
}

void FXModel::Destroy() {
    name.Clear();
    matlibRef.Clear();
    flipV = false;
    if (matlib) matlib->Release();
    matlib = nullptr;
    localDeleteMeshGroup(&loadedMeshes);
    localDeleteMeshGroup(&meshes);
}

bool FXModel::Refuse(const char* what) {
    err("FXModel: damaged model %s\n", what);
    Destroy();
    return false;
}

static FXMatlib* localLoadLib(const char* ref) {
    return fxglobalEnv ? fxglobalEnv->LoadMatlib(ref) : nullptr;
}

static FXMatlib* localLoadLibC(FXPackage* pkg, const char* ref) {
    return fxglobalEnv ? fxglobalEnv->LoadMatlibC(pkg, ref) : nullptr;
}

bool FXModel::Load(const char* path) {
    Destroy();
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f) {
        err("FXModel::Load -> cannot open %s\n", path ? path : "");
        return false;
    }
    FXStr header;
    bool ok = true;
    if (!header.Load(f))
        trc("FXModel::Load -> %s has no model header\n", path);
    else if (header.Compare("xm02"))
        ok = Load_v02(f);
    else if (header.Compare("xm03"))
        ok = Load_v03(f);
    else
        trc("FXModel::Load -> %s: unknown format \"%s\"\n", path, header.text);
    fclose(f);
    if (!ok) return Refuse(path);
    return true;
}

bool FXModel::LoadCN(FXPackage* pkg, int id) {
    Destroy();
    FXPackageData* d = pkg ? pkg->GetDataPtr(id) : nullptr;
    if (!d) {
        err("FXModel::LoadCN -> no item %d\n", id);
        return false;
    }
    FXStr header;
    d->ReadString(&header);
    bool ok = true;
    if (header.Compare("xm02"))
        ok = Load_v02CN(pkg, d);
    else if (header.Compare("xm03"))
        ok = Load_v03CN(pkg, d);
    else
        trc("FXModel::LoadCN -> item %d: unknown format \"%s\"\n", id, header.text);
    if (!ok) {
        char what[32];
        snprintf(what, sizeof what, "item %d", id);
        return Refuse(what);
    }
    return true;
}

bool FXModel::Load_v02(FILE* f) {
    if (!name.Load(f) || !matlibRef.Load(f)) return false;
    matlib = localLoadLib(matlibRef.text);
    return localLoadArray(f, &loadedMeshes, matlib);
}

bool FXModel::Load_v02CN(FXPackage* pkg, FXPackageData* d) {
    if (d->left < 8) return false;
    d->ReadString(&name);
    d->ReadString(&matlibRef);
    matlib = localLoadLibC(pkg, matlibRef.text);
    return localLoadArrayC(pkg, d, &loadedMeshes, matlib);
}

// Per mesh of an "xm03" model: the header form and an index stream of at least its length.
static const int kMinMeshRecord = kMinMeshPayload + 4;

bool FXModel::Load_v03(FILE* f) {
    if (!name.Load(f) || !matlibRef.Load(f)) return false;
    matlib = localLoadLib(matlibRef.text);
    int n;
    if (!localReadMeshCount(f, kMinMeshRecord, &n)) return false;
    FXVectorMap map;
    if (!map.Load(f)) return false;
    FXNumPool pool;
    loadedMeshes.Realloc(n);
    for (int i = 0; i < n; i++) {
        FXMesh* m = new FXMesh;
        loadedMeshes.Push(m);
        if (!m->LoadMeshI(f, matlib) || !pool.Load(f) || !m->FromVMap(&map, &pool)) return false;
    }
    return true;
}

bool FXModel::Load_v03CN(FXPackage* pkg, FXPackageData* d) {
    if (d->left < 8) return false;
    d->ReadString(&name);
    d->ReadString(&matlibRef);
    matlib = localLoadLibC(pkg, matlibRef.text);
    int n;
    if (!localReadMeshCountC(d, kMinMeshRecord, &n)) return false;
    FXVectorMap map;
    if (!map.LoadC(pkg, d)) return false;
    FXNumPool pool;
    loadedMeshes.Realloc(n);
    for (int i = 0; i < n; i++) {
        FXMesh* m = new FXMesh;
        loadedMeshes.Push(m);
        if (!m->LoadMeshIC(pkg, d, matlib) || !pool.LoadC(pkg, d) || !m->FromVMap(&map, &pool)) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Saving and compiling

bool FXModel::Save(const char* path) {
    FILE* f = path ? fopen(path, "wb") : nullptr;
    if (!f) {
        err("FXModel::Save -> cannot create %s\n", path ? path : "");
        return false;
    }
    bool ok = Save_v03(f);
    ok = fclose(f) == 0 && ok;
    if (!ok) err("FXModel::Save -> cannot write %s\n", path);
    return ok;
}

bool FXModel::Save_v02(FILE* f) {
    FXStr header("xm02");
    return header.Save(f) && name.Save(f) && matlibRef.Save(f) && localSaveArray(f, &meshes);
}

bool FXModel::Save_v03(FILE* f) {
    FXStr header("xm03");
    if (!header.Save(f) || !name.Save(f) || !matlibRef.Save(f)) return false;
    FXArray kept;
    for (int i = 0; i < meshes.count; i++) {
        FXMesh* m = (FXMesh*)meshes.items[i];
        if (m && !m->disabled) kept.Push(m);
    }
    int32_t n = kept.count;
    if (fwrite(&n, 4, 1, f) != 1) return false;
    FXVectorMap map;
    FXArray pools;
    bool ok = true;
    for (int i = 0; i < kept.count; i++) {
        FXNumPool* pool = new FXNumPool(800000);
        pools.Push(pool);
        ok = ok && ((FXMesh*)kept.items[i])->ToVMap(&map, pool, nullptr, 0, nullptr);
    }
    ok = ok && map.Save(f);
    for (int i = 0; i < kept.count; i++) {
        FXNumPool* pool = (FXNumPool*)pools.items[i];
        ok = ok && ((FXMesh*)kept.items[i])->SaveMeshI(f) && pool->Save(f);
        delete pool;
    }
    return ok;
}

// A fresh file name in the system's temporary directory.
static std::string localTempName(const char* stem) {
    static unsigned counter = 0;
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = ".";
    unsigned seed = (unsigned)std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        char leaf[64];
        snprintf(leaf, sizeof leaf, "%s-%08x-%u.tmp", stem, seed, counter++);
        std::filesystem::path p = dir / leaf;
        if (!std::filesystem::exists(p, ec)) return p.string();
    }
}

bool FXModel::Compile(FXPackage* pkg) {
    if (!matlib || !pkg) return false;
    std::string previous = fxGetActPath();
    if (!pkg->basePath.IsEmpty() && !fxSetActPath(pkg->basePath.text)) {
        err("FXModel::Compile -> cannot enter %s\n", pkg->basePath.text);
        return false;
    }
    // Texture names in a library file are relative to the library's own directory.
    FXStr base = pkg->basePath;
    std::filesystem::path libDir = (std::filesystem::path(base.text) / matlibRef.text).parent_path();
    pkg->basePath.Set(libDir.string().c_str());
    matlib->Compile(pkg);
    pkg->basePath = base;
    std::string tmp = localTempName("mhlib");
    bool ok = matlib->Save(tmp.c_str());
    if (ok) {
        pkg->AddTmpFile(tmp.c_str());
        FXStr ref(tmp.c_str());
        pkg->AddDataFile1(&ref);
        matlibRef = ref;
    }
    fxSetActPath(previous.c_str());
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Mesh groups and editing

template <class F>
void FXModel::ForEachMesh(F f) {
    for (int i = 0; i < meshes.count; i++)
        if (FXMesh* m = (FXMesh*)meshes.items[i]) f(m);
}

void FXModel::UpdateMeshes() {
    localCopyMeshGroup(&meshes, &loadedMeshes);
}

void FXModel::Copy(FXModel* src) {
    if (!src || src == this) return;
    Destroy();
    flipV = src->flipV;
    matlibRef = src->matlibRef;
    matlib = src->matlib;
    if (matlib) matlib->refCount++;
    localCopyMeshGroup(&meshes, &src->meshes);
}

FXMesh* FXModel::EnumMeshes(int i) {
    return i >= 0 && i < meshes.count ? (FXMesh*)meshes.items[i] : nullptr;
}

const char* FXModel::EnumMeshNames(int i) {
    FXMesh* m = EnumMeshes(i);
    return m && m->material ? m->material->name.text : nullptr;
}

FXMesh* FXModel::FindMesh(const char* n) {
    if (!n) return nullptr;
    for (int i = 0;; i++) {
        const char* s = EnumMeshNames(i);
        if (!s) return nullptr;
        if (strcmp(s, n) == 0) return EnumMeshes(i);
    }
}

void FXModel::DisableMesh(int i, bool off) {
    if (FXMesh* m = EnumMeshes(i)) m->disabled = off;
}

void FXModel::RemoveMesh(FXMesh* m) {
    if (meshes.Remove(m) < 0) loadedMeshes.Remove(m);
}

FXMesh* FXModel::DoubleMesh(const char* newName, const char* srcName) {
    FXMesh* src = FindMesh(srcName);
    if (!src || !newName) return nullptr;
    FXMesh* target = FindMesh(newName);
    if (target == src) return nullptr;
    if (target)
        RemoveMesh(target);
    else
        target = new FXMesh;
    FXMaterial* mat = matlib ? matlib->FindMaterial(newName) : nullptr;
    if (!mat) {
        delete target;
        return nullptr;
    }
    meshes.Push(target);
    target->Copy(src);
    target->material = mat;
    target->materialName.Set(newName);
    return target;
}

int FXModel::GetTotalVertices() {
    int n = 0;
    ForEachMesh([&](FXMesh* m) { n += m->vertexCount; });
    return n;
}

void FXModel::FindMaxims(float* box) {
    for (int k = 0; k < 6; k++)
        box[k] = 0.0f;
    bool first = true;
    ForEachMesh([&](FXMesh* m) { m->FindMultiMaxims(&first, box); });
}

void FXModel::Unitize() {
    float box[6];
    FindMaxims(box);
    UnitizeMaxims(box);
}

void FXModel::UnitizeStretch() {
    float box[6];
    FindMaxims(box);
    UnitizeMaximsStretch(box);
}

void FXModel::UnitizeStretch1() {
    float box[6];
    FindMaxims(box);
    UnitizeMaximsStretch1(box);
}

void FXModel::UnitizeMaxims(float* box) {
    ForEachMesh([&](FXMesh* m) { m->UnitizeMaxims(box); });
}

void FXModel::UnitizeMaximsStretch(float* box) {
    ForEachMesh([&](FXMesh* m) { m->UnitizeMaximsStretch(box); });
}

void FXModel::UnitizeMaximsStretch1(float* box) {
    ForEachMesh([&](FXMesh* m) { m->UnitizeMaximsStretch1(box); });
}

void FXModel::Normalize(bool markedOnly) {
    ForEachMesh([&](FXMesh* m) { m->Normalize(markedOnly); });
}

void FXModel::FlipHoriz() {
    ForEachMesh([&](FXMesh* m) { m->FlipHoriz(); });
}

void FXModel::Transform(int ix, int iy, int iz, bool negX, bool negY, bool negZ) {
    ForEachMesh([&](FXMesh* m) { m->Transform(ix, iy, iz, negX, negY, negZ); });
}

void FXModel::ResizeTextCoords() {
    ForEachMesh([&](FXMesh* m) {
        m->flipV = flipV;
        m->ResizeTexCoords();
    });
}

void FXModel::ResizeTextCoords1() {
    ForEachMesh([&](FXMesh* m) {
        m->flipV = flipV;
        m->ResizeTexCoords1();
    });
}

void FXModel::ComputeFrontTexCoords(int i) {
    if (i == -1)
        ForEachMesh([&](FXMesh* m) { m->ComputeFrontTexCoords(); });
    else if (FXMesh* m = EnumMeshes(i))
        m->ComputeFrontTexCoords();
}

void FXModel::CopyTexCoords(int i, FXModel* src) {
    if (!src || src->meshes.count != meshes.count) return;
    for (int k = 0; k < meshes.count; k++) {
        if (i != -1 && k != i) continue;
        FXMesh *m = EnumMeshes(k), *s = src->EnumMeshes(k);
        if (m && s) m->CopyTexCoords(s);
    }
}

void FXModel::UpdateColCol(float* colour) {
    ForEachMesh([&](FXMesh* m) {
        m->SetVerticesCol(colour);
        m->colorMode = 1;
    });
}

void FXModel::PreserveColMat() {
    ForEachMesh([&](FXMesh* m) {
        if (m->material) m->material->PreserveCols();
    });
}

void FXModel::UpdateColMat(float* c) {
    ForEachMesh([&](FXMesh* m) {
        if (m->material) m->material->MultiCols(c);
    });
}

// ---------------------------------------------------------------------------------------------
// Drawing

void FXModel::OnRender(PEnv* env, double) {
    if (!env) return;
    auto pass = [&](int p, bool reverse) {
        for (int k = 0; k < meshes.count; k++) {
            FXMesh* m = (FXMesh*)meshes.items[reverse ? meshes.count - 1 - k : k];
            if (m && m->drawPass == p) env->RenderMesh(m);
        }
    };
    pass(0, false);
    // See-through meshes: inner faces first, then the outer ones.
    env->EnableCullface(true, false);
    pass(1, true);
    env->EnableCullface(false, true);
    pass(1, false);
    env->EnableCullface(false, false);
    // Blended meshes: colour without depth first, then the depth so later layers sort.
    env->EnableDepthWrite(false);
    pass(2, false);
    env->EnableDepthWrite(true);
    pass(2, false);
}

// ---------------------------------------------------------------------------------------------
// OBJ import

namespace {
// The vertices of every mesh by their position, normal and texture numbers, the key under
// which a mesh shares vertices. The vertices made for one position are chained in the order
// they were made and told apart by the numbers each keeps (srcNormal, srcTex): few, and near
// in memory to the last ones read. A position with many vertices (or a number past the
// position pool) is looked up in its mesh's triple table instead.
class ObjVertexIndex {
  public:
    ObjVertexIndex(int positions, int meshes)
        : first((size_t)positions + 1, -1), length((size_t)positions + 1, 0), crowded((size_t)meshes) {}

    int Find(FXArray* meshes, int mesh, int pos, int normal, int tex) const {
        size_t slot = (size_t)pos + 1;
        if (pos < -1 || slot >= first.size() || length[slot] > kShortChain) return crowded[mesh].Find(pos, normal, tex);
        for (int e = first[slot]; e >= 0; e = entries[e].next) {
            if (entries[e].mesh != mesh) continue;
            const tagFXVertex* v = &((FXMesh*)meshes->items[mesh])->vertices[entries[e].vertex];
            if (v->srcNormal == normal && v->srcTex == tex) return entries[e].vertex;
        }
        return -1;
    }

    void Insert(FXArray* meshes, int mesh, int pos, int normal, int tex, int vertex) {
        size_t slot = (size_t)pos + 1;
        if (pos < -1 || slot >= first.size()) {
            crowded[mesh].Insert(pos, normal, tex, vertex);
            return;
        }
        if (length[slot] > kShortChain) {
            crowded[mesh].Insert(pos, normal, tex, vertex);
            return;
        }
        entries.push_back(Entry{mesh, vertex, -1});
        int e = (int)entries.size() - 1;
        if (first[slot] < 0) {
            first[slot] = e;
        } else {
            int last = first[slot];
            while (entries[last].next >= 0)
                last = entries[last].next;
            entries[last].next = e;
        }
        if (++length[slot] > kShortChain) {
            // The chain has grown long: its vertices move to their meshes' tables.
            for (int k = first[slot]; k >= 0; k = entries[k].next) {
                const tagFXVertex* v = &((FXMesh*)meshes->items[entries[k].mesh])->vertices[entries[k].vertex];
                crowded[entries[k].mesh].Insert(pos, v->srcNormal, v->srcTex, entries[k].vertex);
            }
        }
    }

  private:
    static const int kShortChain = 8;
    struct Entry {
        int32_t mesh, vertex, next;
    };
    std::vector<int32_t> first;  // per position number + 1: the first entry, -1 for none
    std::vector<uint8_t> length; // entries chained for that position, up to kShortChain + 1
    std::vector<Entry> entries;
    std::vector<FXTripleIndex> crowded;
};
} // namespace

// Grows a block geometrically from 500 records, keeping the records in use.
template <class T>
static bool localGrowBlock(T** block, int* capacity, int used) {
    if (used < *capacity) return true;
    long long want = *capacity < 500 ? 500 : (long long)*capacity * 2;
    if (want > 0x7FFFFFFF / (long long)sizeof(T)) want = 0x7FFFFFFF / (long long)sizeof(T);
    if (want <= used) return false;
    T* grown = (T*)realloc(*block, sizeof(T) * (size_t)want);
    if (!grown) return false;
    memset(grown + used, 0, sizeof(T) * (size_t)(want - used));
    *block = grown;
    *capacity = (int)want;
    return true;
}

// Copies a pool record, or zeros for a number the pool does not have.
static void localPoolValue(FXMemory* pool, int k, float* out, int n) {
    const float* src = (const float*)pool->GetItemPtr(k);
    for (int i = 0; i < n; i++)
        out[i] = src ? src[i] : 0.0f;
}

// The mesh vertex of a corner: the one made for the same three numbers, else a new one.
static int localFindCreateObjVertex(FXObjModel* obj, int current, ObjVertexIndex* index, int pos, int normal,
                                    int tex) {
    int hit = index->Find(&obj->meshes, current, pos, normal, tex);
    if (hit >= 0) return hit;
    FXMesh* mesh = (FXMesh*)obj->meshes.items[current];
    if (!localGrowBlock(&mesh->vertices, &mesh->vertexCapacity, mesh->vertexCount)) return -1;
    int k = mesh->vertexCount++;
    tagFXVertex* v = &mesh->vertices[k];
    memset(v, 0, sizeof *v);
    v->srcPos = pos;
    v->srcNormal = normal;
    v->srcTex = tex;
    localPoolValue(&obj->positions, pos, v->pos, 3);
    localPoolValue(&obj->normals, normal, v->normal, 3);
    localPoolValue(&obj->texCoords, tex, v->tex, 2);
    v->color[0] = v->color[1] = v->color[2] = v->color[3] = 1.0f;
    index->Insert(&obj->meshes, current, pos, normal, tex, k);
    return k;
}

static bool localPushIndice(FXMesh* mesh, int v) {
    if (v < 0 || !localGrowBlock(&mesh->indices, &mesh->indexCapacity, mesh->indexCount)) return false;
    mesh->indices[mesh->indexCount++] = v;
    return true;
}

static bool localImportObj(FXModel* model, FXObjModel* obj) {
    model->matlibRef.Set(obj->mtllibName ? obj->mtllibName : "");
    model->matlib = obj->matlib;
    if (model->matlib) model->matlib->refCount++;
    // A file without materials still gives one mesh, drawn with the default material.
    int n = obj->materials.count > 0 ? obj->materials.count : 1;
    model->loadedMeshes.Realloc(n);
    obj->meshes.RemoveAll();
    for (int i = 0; i < n; i++) {
        FXMesh* m = new FXMesh;
        const char* want = i < obj->materials.count ? obj->materials.items[i] : nullptr;
        m->material = model->matlib && want ? model->matlib->FindMaterial(want) : nullptr;
        if (m->material) {
            m->materialName = m->material->name;
            m->drawPass = m->material->IsSolid() ? 0 : 1;
        }
        model->loadedMeshes.Push(m);
        obj->meshes.Push(m);
    }
    ObjVertexIndex index(obj->positions.count, n);
    int current = 0;
    for (int g = 0; g < obj->groups.count; g++) {
        MObjGroup* group = (MObjGroup*)obj->groups.items[g];
        for (int i = 0; i < group->triangleList.count; i++) {
            const MObjTriangle* t = (const MObjTriangle*)obj->triangles.GetItemPtr(
                *(const int32_t*)group->triangleList.GetItemPtr(i));
            if (!t || t->isLine) continue;
            // Faces after an empty material name go to the first mesh.
            current = t->material >= 0 && t->material < n ? t->material : 0;
            FXMesh* mesh = (FXMesh*)obj->meshes.items[current];
            for (int k = 0; k < 3; k++) {
                int v = localFindCreateObjVertex(obj, current, &index, t->pos[k], t->normal[k], t->tex[k]);
                if (!localPushIndice(mesh, v)) {
                    err("FXModel::ImportObj -> out of memory\n");
                    return false;
                }
            }
        }
    }
    return true;
}

bool FXModel::ImportObj(const char* path) {
    localDeleteMeshGroup(&loadedMeshes);
    if (matlib) matlib->Release();
    matlib = nullptr;
    FXObjModel obj;
    if (!obj.Load(path)) return false;
    if (!localImportObj(this, &obj)) {
        localDeleteMeshGroup(&loadedMeshes);
        return false;
    }
    return true;
}
