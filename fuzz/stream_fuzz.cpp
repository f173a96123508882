// The index stream of a coded mesh, rebuilt with FromVMap against a vector map. The first
// five bytes give the map's position, normal and texture counts and the header form's
// vertex and index counts; the rest is the stream. What is rebuilt must be a valid mesh
// whose corners carry the map's vectors, and coding it again and rebuilding must give the
// same corners.
#include <cmath>
#include <cstring>

#include "assets/data.h"
#include "geometry/mesh.h"
#include "support.h"

namespace {

// A map that grows a few vectors at a time (its own steps are millions of floats, which
// would make every run slow).
void SmallSteps(FXVectorMap* map) {
    map->positions.growStep = map->normals.growStep = map->texCoords.growStep = 192;
}

// Distinct values per kind and number, so a corner shows which vectors it got.
void FillMap(FXVectorMap* map, int nPos, int nNorm, int nTex) {
    SmallSteps(map);
    tagFXVertex v;
    memset(&v, 0, sizeof v);
    for (int k = 0; k < nPos; k++) {
        v.pos[0] = (float)k, v.pos[1] = 0.5f * k, v.pos[2] = -1.0f - k;
        map->PushVecPos(&v, nullptr, 0, 0);
    }
    for (int k = 0; k < nNorm; k++) {
        v.normal[0] = 100.0f + k, v.normal[1] = 1.0f, v.normal[2] = 0.25f * k;
        map->PushVecNorm(&v, nullptr, 0, 0);
    }
    for (int k = 0; k < nTex; k++) {
        v.tex[0] = 1000.0f + k, v.tex[1] = -0.125f * k;
        map->PushVecTex(&v, nullptr, 0, 0);
    }
}

bool SameCorners(const FXMesh& a, const FXMesh& b) {
    if (a.indexCount != b.indexCount) return false;
    for (int i = 0; i < a.indexCount; i++) {
        const tagFXVertex& x = a.vertices[a.indices[i]];
        const tagFXVertex& y = b.vertices[b.indices[i]];
        if (memcmp(x.pos, y.pos, 12) || memcmp(x.normal, y.normal, 12) || memcmp(x.tex, y.tex, 8)) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    int nPos = data[0] % 64, nNorm = data[1] % 64, nTex = data[2] % 64;
    int vertexCap = data[3], indexCount = data[4] * 3;
    FXVectorMap map;
    FillMap(&map, nPos, nNorm, nTex);
    FXNumPool pool;
    for (size_t i = 5; i < size; i++)
        pool.PushByte(data[i]);
    FXMesh mesh;
    if (!mesh.Realloc(vertexCap, indexCount)) return 0;
    if (indexCount > 0) memset(mesh.indices, 0, (size_t)indexCount * 4);
    if (!mesh.FromVMap(&map, &pool)) {
        mhfuzz::Expect(mesh.indexCount == 0 && mesh.vertexCount == 0, "a refused stream left a mesh behind");
        return 0;
    }
    if (indexCount == 0) return 0;
    mhfuzz::Expect(mesh.IndicesValid(), "a rebuilt mesh has an index outside its vertices");
    mhfuzz::Expect(mesh.vertexCount <= vertexCap, "a rebuilt mesh has more vertices than its header");
    // Every corner carries vectors the map has, and no two vertices carry the same three.
    for (int i = 0; i < mesh.vertexCount; i++) {
        const tagFXVertex& v = mesh.vertices[i];
        int p = (int)v.pos[0], n = (int)(v.normal[0] - 100.0f), t = (int)(v.tex[0] - 1000.0f);
        mhfuzz::Expect(p >= 0 && p < nPos && n >= 0 && n < nNorm && t >= 0 && t < nTex,
                       "a vertex carries a vector the map does not have");
        mhfuzz::Expect(v.pos[2] == -1.0f - p && v.normal[2] == 0.25f * n && v.tex[1] == -0.125f * t,
                       "a vertex mixes parts of different vectors");
        for (int j = 0; j < i; j++)
            mhfuzz::Expect(memcmp(mesh.vertices[j].pos, v.pos, 12) || memcmp(mesh.vertices[j].normal, v.normal, 12) ||
                               memcmp(mesh.vertices[j].tex, v.tex, 8),
                           "two vertices carry the same vectors");
    }

    // Coded again against a fresh map and rebuilt, the corners are the same.
    FXVectorMap map2;
    SmallSteps(&map2);
    FXNumPool pool2;
    FXMesh coded;
    coded.Copy(&mesh);
    mhfuzz::Expect(coded.ToVMap(&map2, &pool2, nullptr, 0, nullptr), "a rebuilt mesh could not be coded");
    FXMesh again;
    mhfuzz::Expect(again.Realloc(mesh.vertexCount, mesh.indexCount), "no room for the second rebuild");
    mhfuzz::Expect(again.FromVMap(&map2, &pool2), "a coded mesh could not be rebuilt");
    mhfuzz::Expect(SameCorners(mesh, again), "coding and rebuilding changed the corners");
    return 0;
}
