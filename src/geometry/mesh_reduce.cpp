// Mesh reduction and transparent-triangle removal: the authoring operations of FXMesh that
// rewrite its triangles in place.
//
// A pass visits the triangle slots in order and every search of a stage looks for "the first
// live triangle, in slot order, that ...". Instead of scanning the whole index list for that,
// the searches walk per-vertex lists of the live triangles that use a vertex, kept in slot
// order, so they meet the same triangles in the same order and the results are the same.

#include "geometry/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <queue>
#include <unordered_map>
#include <vector>

#include "assets/canvas.h"
#include "assets/material.h"
#include "base/trace.h"

namespace {

// Radians to degrees as the reduction has always converted them; a rounder factor would move
// the tolerance boundary and change which vertices go.
const float kReduceDegrees = 57.29747f;

// Rewrites go on along the other sides of their lines, stage calling stage: across a grid the
// chain has one link per row (1,000 on a 1000 x 1000 grid, some 400 bytes of stack each), and
// a crafted mesh can make it as long as it has triangles. Past this many links the chain stops
// (the rest stays as it is) so that the stack cannot run out.
const int kMaxChain = 4000;

// A position as a hash key: -0 and +0 are one key (they compare equal). NaN is never a key.
struct PosKey {
    uint32_t x, y, z;
    bool operator==(const PosKey& o) const { return x == o.x && y == o.y && z == o.z; }
};
struct PosKeyHash {
    size_t operator()(const PosKey& k) const {
        uint64_t h = (uint64_t)k.x * 0x9E3779B97F4A7C15ull;
        h ^= ((uint64_t)k.y + 0x7F4A7C15ull) * 0xC2B2AE3D27D4EB4Full;
        h ^= ((uint64_t)k.z + 0x165667B1ull) * 0x27D4EB2F165667C5ull;
        return (size_t)(h ^ (h >> 29));
    }
};

bool localHasNaN(const float* p) {
    return p[0] != p[0] || p[1] != p[1] || p[2] != p[2];
}

PosKey localKey(const float* p) {
    float c[3] = {p[0] + 0.0f, p[1] + 0.0f, p[2] + 0.0f};
    PosKey k;
    memcpy(&k.x, &c[0], 4);
    memcpy(&k.y, &c[1], 4);
    memcpy(&k.z, &c[2], 4);
    return k;
}

bool localHas(const int32_t* t, int v) {
    return t[0] == v || t[1] == v || t[2] == v;
}

bool localDegenerate(const int32_t* t) {
    return t[0] == t[1] || t[1] == t[2] || t[0] == t[2];
}

// The corner of a triangle that holds p and q which is neither of them, or -1.
int localThird(const int32_t* t, int p, int q) {
    for (int k = 0; k < 3; k++)
        if (t[k] != p && t[k] != q) return t[k];
    return -1;
}

bool localAmong(int v, int n, const int* list) {
    for (int k = 0; k < n; k++)
        if (list[k] == v) return true;
    return false;
}

int localPair(const FXArray& a, int k) {
    return a.GetInt(k);
}
void localSetPair(FXArray& a, int k, int v) {
    a.items[k] = reinterpret_cast<void*>(static_cast<intptr_t>(v));
}

} // namespace

struct FXMesh::ReduceIndex {
    // Per vertex: the slots of the live triangles that use it, ascending.
    std::vector<std::vector<int>> tris;
    // Slots freed during the pass; new triangles take the lowest first.
    std::priority_queue<int, std::vector<int>, std::greater<int>> freeSlots;
    // Vertices at exactly the same position form a ring through `next`; a NaN vertex is alone.
    std::vector<int> next;
    // One vertex of every ring, by position.
    std::unordered_map<PosKey, int, PosKeyHash> byPos;
    // Links of the chain of rewrites in progress.
    int chain = 0;
    // Scratch list of DiscardTrianglesGroup.
    std::vector<int> found;

    void BuildPositions(const FXMesh* m) {
        next.resize((size_t)m->vertexCount);
        byPos.reserve((size_t)m->vertexCount);
        for (int i = 0; i < m->vertexCount; i++) {
            next[i] = i;
            const float* p = m->vertices[i].pos;
            if (localHasNaN(p)) continue;
            auto ins = byPos.emplace(localKey(p), i);
            if (!ins.second) std::swap(next[i], next[ins.first->second]);
        }
    }

    void BuildTriangles(const FXMesh* m) {
        std::vector<int> degree((size_t)m->vertexCount, 0);
        int nt = m->indexCount / 3;
        for (int t = 0; t < nt; t++)
            ForCorners(m->indices + 3 * t, [&](int v) { degree[v]++; });
        tris.resize((size_t)m->vertexCount);
        for (int i = 0; i < m->vertexCount; i++)
            tris[i].reserve((size_t)degree[i]);
        for (int t = 0; t < nt; t++)
            ForCorners(m->indices + 3 * t, [&](int v) { tris[v].push_back(t); });
    }

    template <typename F> static void ForCorners(const int32_t* c, F f) {
        f(c[0]);
        if (c[1] != c[0]) f(c[1]);
        if (c[2] != c[0] && c[2] != c[1]) f(c[2]);
    }

    void Add(const int32_t* c, int slot) {
        ForCorners(c, [&](int v) {
            std::vector<int>& l = tris[v];
            l.insert(std::lower_bound(l.begin(), l.end(), slot), slot);
        });
    }

    void Remove(const int32_t* c, int slot) {
        ForCorners(c, [&](int v) {
            std::vector<int>& l = tris[v];
            auto it = std::lower_bound(l.begin(), l.end(), slot);
            if (it != l.end() && *it == slot) l.erase(it);
        });
    }

    // The live triangles of v from slot `from` on.
    std::vector<int>::const_iterator From(int v, int from) const {
        return std::lower_bound(tris[v].begin(), tris[v].end(), from);
    }
};

bool FXMesh::ReduceChecked(const char* what) {
    if (indexCount % 3 == 0 && IndicesValid()) return true;
    err("%s: mesh \"%s\" has indices that are not whole triangles of its vertices; kept as it is\n", what,
        materialName.text);
    return false;
}

// ---- plane primitives

void FXMesh::ComputeFormula(float* plane, int a, int b, int c) {
    const float* A = vertices[a].pos;
    const float* B = vertices[b].pos;
    const float* C = vertices[c].pos;
    float e1[3] = {A[0] - B[0], A[1] - B[1], A[2] - B[2]};
    float e2[3] = {A[0] - C[0], A[1] - C[1], A[2] - C[2]};
    float n[3] = {e2[1] * e1[2] - e2[2] * e1[1], e2[2] * e1[0] - e2[0] * e1[2], e2[0] * e1[1] - e2[1] * e1[0]};
    float r = 1.0f / sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    plane[0] = n[0] * r;
    plane[1] = n[1] * r;
    plane[2] = n[2] * r;
    plane[3] = -(plane[0] * A[0] + plane[1] * A[1] + plane[2] * A[2]);
}

void FXMesh::ComputeFormula1(float* plane, float* base, int a, int b) {
    const float* A = vertices[a].pos;
    const float* B = vertices[b].pos;
    float t[3] = {A[0] - B[0], A[1] - B[1], A[2] - B[2]};
    float n[3] = {base[1] * t[2] - base[2] * t[1], base[2] * t[0] - base[0] * t[2], base[0] * t[1] - base[1] * t[0]};
    float r = 1.0f / sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    plane[0] = n[0] * r;
    plane[1] = n[1] * r;
    plane[2] = n[2] * r;
    plane[3] = -(plane[0] * A[0] + plane[1] * A[1] + plane[2] * A[2]);
}

float FXMesh::MultiVertexFormula(float* plane, int v) {
    const float* p = vertices[v].pos;
    return plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3];
}

bool FXMesh::TestVertexOnFormula(float* plane, int from, int v) {
    float s = MultiVertexFormula(plane, v);
    if (s == 0) return true;
    const float* p = vertices[v].pos;
    const float* q = vertices[from].pos;
    float d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
    float dist = sqrtf(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    float as = fabsf(s);
    if (dist == 0 || as > dist) return false;
    float angle = fabsf(asinf(as / dist) * -kReduceDegrees);
    return tolerance >= angle;
}

bool FXMesh::TestVerticesDirection(int a, int b, int v) {
    const float* A = vertices[a].pos;
    const float* B = vertices[b].pos;
    const float* V = vertices[v].pos;
    float t[3] = {B[0] - A[0], B[1] - A[1], B[2] - A[2]};
    float w[3] = {V[0] - B[0], V[1] - B[1], V[2] - B[2]};
    float ax = fabsf(t[0]), ay = fabsf(t[1]), az = fabsf(t[2]);
    int k = (ay > ax && ay >= az) ? 1 : (ax >= ay && ax >= az) ? 0 : 2;
    return (t[k] < 0 && w[k] < 0) || (t[k] > 0 && w[k] > 0);
}

bool FXMesh::TestVertexSide(int v) {
    float s = MultiVertexFormula(edgePlane, v);
    return (apexSide < 0 && s < 0) || (apexSide > 0 && s > 0);
}

// Moves v and every vertex at exactly its position onto the plane; the moved ring joins the
// ring already at the new position, or falls apart when the new position is NaN.
void FXMesh::PlaceVertexFormula(int v, float* plane) {
    float s = MultiVertexFormula(plane, v);
    // A plane through three corners on one line (or a vertex off in infinity) gives no
    // distance: the vertex stays where it is rather than becoming NaN.
    if (s == 0 || !std::isfinite(s)) return;
    ReduceIndex& x = *reduceIndex;
    x.byPos.erase(localKey(vertices[v].pos));
    int i = v;
    do {
        float* p = vertices[i].pos;
        p[0] = p[0] - s * plane[0];
        p[1] = p[1] - s * plane[1];
        p[2] = p[2] - s * plane[2];
        i = x.next[i];
    } while (i != v);
    auto ins = x.byPos.emplace(localKey(vertices[v].pos), v);
    if (!ins.second) std::swap(x.next[v], x.next[ins.first->second]);
}

// Moves v onto the line la-lb inside the plane (p0, p1, p2).
void FXMesh::PlaceVertexOnLine(int v, int p0, int p1, int p2, int la, int lb) {
    float plane[4], line[4];
    ComputeFormula(plane, p0, p1, p2);
    ComputeFormula1(line, plane, la, lb);
    PlaceVertexFormula(v, plane);
    PlaceVertexFormula(v, line);
}

void FXMesh::SetVerticesMask(int n, const int* list, int bits) {
    for (int k = 0; k < n; k++) {
        int i = list[k];
        do {
            vertices[i].mark |= bits;
            i = reduceIndex->next[i];
        } while (i != list[k]);
    }
}

bool FXMesh::TestVertices3Mask(int a, int b, int c) {
    return vertices[a].mark == 0 && vertices[b].mark == 0 && vertices[c].mark == 0;
}

void FXMesh::DiscardTrianglesGroup(int n, const int* list) {
    ReduceIndex& x = *reduceIndex;
    std::vector<int>& found = x.found;
    found.clear();
    for (int k = 0; k < n; k++)
        if (!localAmong(list[k], k, list)) found.insert(found.end(), x.tris[list[k]].begin(), x.tris[list[k]].end());
    for (int t : found) {
        int32_t* c = indices + 3 * t;
        if (c[0] == -1 || !localAmong(c[0], n, list) || !localAmong(c[1], n, list) || !localAmong(c[2], n, list))
            continue;
        x.Remove(c, t);
        c[0] = c[1] = c[2] = -1;
        x.freeSlots.push(t);
    }
}

void FXMesh::CreateTrianglesGroup(int n, const int* list) {
    ReduceIndex& x = *reduceIndex;
    for (int k = 0; k + 3 <= n && !x.freeSlots.empty(); k += 3) {
        int t = x.freeSlots.top();
        x.freeSlots.pop();
        int32_t* c = indices + 3 * t;
        c[0] = list[k];
        c[1] = list[k + 1];
        c[2] = list[k + 2];
        x.Add(c, t);
    }
}

void FXMesh::DiscardProceed() {
    int w = 0;
    for (int k = 0; k + 2 < indexCount; k += 3) {
        if (indices[k] == -1) continue;
        indices[w] = indices[k];
        indices[w + 1] = indices[k + 1];
        indices[w + 2] = indices[k + 2];
        w += 3;
    }
    indexCount = w;
}

void FXMesh::PushReducDepend(int from, int to) {
    dependFrom.PushInt(from);
    dependTo.PushInt(to);
}

// ---- candidate searches

// `resume` counts offered candidates: 2 per triangle slot, so a restart at -1 begins with the
// first candidate of the first triangle and each candidate comes at most once.
bool FXMesh::FindNextContiguouse(int key, int pivot, int, int* resume, int* other, int* out) {
    int start = *resume < 0 ? 0 : *resume;
    const std::vector<int>& l = reduceIndex->tris[pivot];
    for (auto it = reduceIndex->From(pivot, start / 2); it != l.end(); ++it) {
        int t = *it;
        const int32_t* c = indices + 3 * t;
        if (localDegenerate(c) || localHas(c, key)) continue;
        int g = c[0] == pivot ? c[1] : c[0];
        int h = c[2] == pivot ? c[1] : c[2];
        if (!TestVertexOnFormula(trianglePlane, pivot, g) || !TestVertexOnFormula(trianglePlane, pivot, h)) continue;
        for (int k = t == start / 2 ? start % 2 : 0; k < 2; k++) {
            int cont = k ? h : g, apex = k ? g : h;
            if (TestVertexOnFormula(edgePlane, pivot, cont) && TestVerticesDirection(key, pivot, cont) &&
                TestVertexSide(apex)) {
                *other = cont;
                *out = apex;
                *resume = 2 * t + k + 1;
                return true;
            }
        }
    }
    *resume = 2 * (indexCount / 3);
    return false;
}

bool FXMesh::FindNextContiguouse1(int key, int pivot, int apex, int* resume, int* out) {
    const std::vector<int>& l = reduceIndex->tris[pivot];
    for (auto it = reduceIndex->From(pivot, *resume < 0 ? 0 : *resume); it != l.end(); ++it) {
        const int32_t* c = indices + 3 * *it;
        if (localDegenerate(c) || !localHas(c, apex) || localHas(c, key)) continue;
        int f = localThird(c, pivot, apex);
        if (!TestVertexOnFormula(trianglePlane, pivot, f)) continue;
        *resume = *it;
        if (TestVertexOnFormula(edgePlane2, pivot, f) && TestVerticesDirection(key, pivot, f)) {
            *out = f;
            return true;
        }
    }
    return false;
}

// ---- stages: (a, b, c) is a straight line with b in the middle; d and e are the apexes of
// the triangles (a, b, d) and (b, c, e) on one side of it.

bool FXMesh::ReduceStage1(int a, int b, int c) {
    ComputeFormula1(edgePlane, trianglePlane, a, b);
    apexSide = MultiVertexFormula(edgePlane, c);
    int resume = -1, g, h;
    while (FindNextContiguouse(a, b, c, &resume, &g, &h))
        if (ReduceStage2(a, b, g, c, h)) return true;
    resume = -1;
    while (FindNextContiguouse(b, a, c, &resume, &g, &h))
        if (ReduceStage2(b, a, g, c, h)) return true;
    return false;
}

bool FXMesh::ReduceStage2(int a, int b, int c, int d, int e) {
    return TestVertices3Mask(b, d, e) && ReduceStage22(a, b, c, d, e);
}

bool FXMesh::ReduceStage22(int a, int b, int c, int d, int e) {
    ReduceIndex& x = *reduceIndex;
    if (x.chain >= kMaxChain) return false;
    x.chain++;
    bool done = d == e ? ReduceStage3(a, b, c, d) || ReduceStage3a(a, b, c, d) : ReduceStage4(a, b, c, d, e);
    x.chain--;
    return done;
}

bool FXMesh::ReduceStage3a(int a, int b, int c, int d) {
    PlaceVertexOnLine(b, a, c, d, a, c);
    int line[3] = {a, b, c};
    SetVerticesMask(3, line, 1);
    PushReducDepend(a, b);
    PushReducDepend(b, b);
    PushReducDepend(c, b);
    int group[4] = {a, b, c, d};
    DiscardTrianglesGroup(4, group);
    int created[3] = {a, c, d};
    CreateTrianglesGroup(3, created);
    ReduceStage2a(a, b, c, d, d);
    return true;
}

bool FXMesh::ReduceStage3(int a, int b, int c, int d) {
    const ReduceIndex& x = *reduceIndex;
    int r = -1, rSlot = -1;
    for (int t : x.tris[a]) {
        const int32_t* q = indices + 3 * t;
        if (!localHas(q, d)) continue;
        int f = localThird(q, a, d);
        if (f < 0 || f == b || f == c || !TestVertexOnFormula(trianglePlane, d, f)) continue;
        r = f;
        rSlot = t;
        break;
    }
    if (r < 0) return false;
    float rd[4];
    ComputeFormula1(rd, trianglePlane, r, d);
    int s = -1;
    for (auto it = x.From(c, rSlot + 1); it != x.tris[c].end(); ++it) {
        const int32_t* q = indices + 3 * *it;
        if (!localHas(q, d)) continue;
        int f = localThird(q, c, d);
        if (f < 0 || f == a || f == b || f == r || !TestVertexOnFormula(trianglePlane, d, f) ||
            !TestVertexOnFormula(rd, d, f) || !TestVerticesDirection(r, d, f))
            continue;
        s = f;
        break;
    }
    if (s < 0) return false;

    PlaceVertexOnLine(b, a, c, r, a, c);
    PlaceVertexOnLine(d, r, c, s, r, s);
    int masked[7] = {a, b, c, r, d, d, s};
    SetVerticesMask(7, masked, 1);
    const int pairs[11][2] = {{a, b}, {b, b}, {c, b}, {d, d}, {d, d}, {d, d}, {d, d}, {r, d}, {s, d}, {r, d}, {s, d}};
    for (const auto& p : pairs)
        PushReducDepend(p[0], p[1]);
    int group[6] = {a, b, c, r, d, s};
    DiscardTrianglesGroup(6, group);
    int created[6] = {a, c, r, r, c, s};
    CreateTrianglesGroup(6, created);
    ReduceStage2a(a, b, c, d, d);
    return true;
}

bool FXMesh::ReduceStage4(int a, int b, int c, int d, int e) {
    bool middle = false;
    for (int t : reduceIndex->tris[b]) {
        const int32_t* q = indices + 3 * t;
        if (localHas(q, d) && localHas(q, e)) {
            middle = true;
            break;
        }
    }
    if (!middle) return false;
    if (ReduceStage4a(a, b, c, d, e)) return true;
    PlaceVertexOnLine(b, a, c, d, a, c);
    int line[3] = {a, b, c};
    SetVerticesMask(3, line, 1);
    PushReducDepend(a, b);
    PushReducDepend(b, b);
    PushReducDepend(c, b);
    int group[5] = {a, b, c, d, e};
    DiscardTrianglesGroup(5, group);
    int created[6] = {a, c, d, d, c, e};
    CreateTrianglesGroup(6, created);
    ReduceStage2a(a, b, c, d, e);
    return true;
}

bool FXMesh::ReduceStage4a(int a, int b, int c, int d, int e) {
    ComputeFormula1(edgePlane2, trianglePlane, d, e);
    int resume = -1, f;
    if (vertices[e].mark == 0 && FindNextContiguouse1(d, e, c, &resume, &f)) {
        ReduceStage4aa(a, b, c, d, e, f);
        return true;
    }
    resume = -1;
    if (vertices[d].mark == 0 && FindNextContiguouse1(e, d, a, &resume, &f)) {
        ReduceStage4aa(a, b, c, f, d, e);
        return true;
    }
    return false;
}

void FXMesh::ReduceStage4aa(int a, int b, int c, int d, int e, int f) {
    PlaceVertexOnLine(b, a, c, f, a, c);
    PlaceVertexOnLine(e, d, c, f, d, f);
    int masked[6] = {a, b, c, d, e, f};
    SetVerticesMask(6, masked, 1);
    PushReducDepend(a, b);
    PushReducDepend(b, b);
    PushReducDepend(c, b);
    PushReducDepend(d, e);
    PushReducDepend(e, e);
    PushReducDepend(f, e);
    DiscardTrianglesGroup(6, masked);
    int created[6] = {a, c, f, d, a, f};
    CreateTrianglesGroup(6, created);
    ReduceStage2aa(a, b, c, d, e, f);
    ReduceStage2aa(d, e, f, a, b, c);
}

// The first live triangle holding p and q, none of the n excluded vertices, and a third
// corner; that corner, or -1.
static int localApexBeside(const FXMesh* m, const std::vector<int>& trisOfP, int p, int q, int n, const int* excl) {
    for (int t : trisOfP) {
        const int32_t* c = m->indices + 3 * t;
        if (!localHas(c, q)) continue;
        bool excluded = false;
        for (int k = 0; k < n; k++)
            excluded = excluded || localHas(c, excl[k]);
        int f = localThird(c, p, q);
        if (!excluded && f >= 0) return f;
    }
    return -1;
}

void FXMesh::ReduceStage2a(int a, int b, int c, int d, int e) {
    int d1 = localApexBeside(this, reduceIndex->tris[a], a, b, 1, &d);
    int e1 = localApexBeside(this, reduceIndex->tris[b], b, c, 1, &e);
    if (d1 >= 0 && e1 >= 0 && vertices[d1].mark == 0 && vertices[e1].mark == 0) ReduceStage22(a, b, c, d1, e1);
}

void FXMesh::ReduceStage2aa(int a, int b, int c, int x, int y, int z) {
    int excl[3] = {x, y, z};
    int d1 = localApexBeside(this, reduceIndex->tris[a], a, b, 3, excl);
    int e1 = localApexBeside(this, reduceIndex->tris[b], b, c, 3, excl);
    if (d1 >= 0 && e1 >= 0) ReduceStage22(a, b, c, d1, e1);
}

// ---- the reduction

void FXMesh::ReduceVertices(float tol) {
    if (indexCount < 1 || !indices) return;
    if (!ReduceChecked("ReduceVertices")) return;
    for (int i = 0; i < vertexCount; i++)
        vertices[i].mark = 0;
    dependFrom.RemoveAll();
    dependTo.RemoveAll();
    // Up to eleven pairs per rewrite: grow in big steps, not one slot at a time.
    dependFrom.growStep = dependTo.growStep = indexCount + 64;
    tolerance = tol;
    trc("ReduceVertices (indices:%d vertices:%d)\n", indexCount, vertexCount);
    totalMin = 10;
    int indices0 = indexCount, vertices0 = vertexCount;

    ReduceIndex index;
    index.BuildPositions(this);
    index.BuildTriangles(this);
    reduceIndex = &index;
    bool changed = false;
    int nt = indexCount / 3;
    for (int t = 0; t < nt; t++) {
        const int32_t* c = indices + 3 * t;
        if (c[0] == -1) continue;
        int p0 = c[0], p1 = c[1], p2 = c[2];
        ComputeFormula(trianglePlane, p0, p1, p2);
        if (ReduceStage1(p0, p1, p2) || ReduceStage1(p1, p2, p0) || ReduceStage1(p2, p0, p1)) changed = true;
    }
    if (changed) {
        DiscardProceed();
        DiscardReducedVertices();
    }
    reduceIndex = nullptr;
    trc("reduced (indices:%d vertices:%d)\n", indices0 - indexCount, vertices0 - vertexCount);
    trc("trc_totalmin: %g\n", (double)totalMin);
}

int FXMesh::FindOtherVertex(int v) {
    int found = -1;
    for (int i = reduceIndex->next[v]; i != v; i = reduceIndex->next[i])
        if (vertices[i].mark != -1 && (found < 0 || i < found)) found = i;
    return found;
}

void FXMesh::DiscardReducedVertices() {
    if (vertexCount <= 0 || !vertices) return;
    if (!ReduceChecked("DiscardReducedVertices")) return;
    ReduceIndex positions;
    ReduceIndex* active = reduceIndex;
    if (!active) {
        positions.BuildPositions(this);
        reduceIndex = &positions;
    }
    for (int i = 0; i < vertexCount; i++)
        vertices[i].mark = -1;
    for (int k = 0; k < indexCount; k++)
        vertices[indices[k]].mark = 0;
    int pairs = dependFrom.count < dependTo.count ? dependFrom.count : dependTo.count;
    for (int k = 0; k < pairs; k++) {
        int from = localPair(dependFrom, k), to = localPair(dependTo, k);
        if (from == -1 || to < 0 || to >= vertexCount || vertices[to].mark != -1) continue;
        int other = FindOtherVertex(to);
        localSetPair(dependTo, k, other);
        if (other == -1) localSetPair(dependFrom, k, -1);
    }
    reduceIndex = active;

    int used = 0;
    for (int i = 0; i < vertexCount; i++)
        if (vertices[i].mark >= 0) vertices[i].mark = used++;
    for (int k = 0; k < pairs; k++) {
        int from = localPair(dependFrom, k), to = localPair(dependTo, k);
        localSetPair(dependFrom, k, from >= 0 && from < vertexCount ? vertices[from].mark : -1);
        localSetPair(dependTo, k, to >= 0 && to < vertexCount ? vertices[to].mark : -1);
    }
    for (int k = 0; k < indexCount; k++)
        indices[k] = vertices[indices[k]].mark;

    tagFXVertex* block = used > 0 ? (tagFXVertex*)malloc(sizeof(tagFXVertex) * (size_t)used) : nullptr;
    if (used > 0 && !block) {
        // Keep the old block: the rewritten indices still name records within it.
        for (int i = 0; i < vertexCount; i++)
            if (vertices[i].mark >= 0) vertices[vertices[i].mark] = vertices[i];
    } else {
        for (int i = 0; i < vertexCount; i++)
            if (vertices[i].mark >= 0) block[vertices[i].mark] = vertices[i];
        free(vertices);
        vertices = block;
        vertexCapacity = used;
    }
    vertexCount = used;

    for (int i = 0; i < vertexCount; i++)
        vertices[i].mark = 0;
    for (int k = 0; k < pairs; k++) {
        int from = localPair(dependFrom, k);
        if (from >= 0) vertices[from].mark = 1;
    }
}

// ---- transparent triangles

bool FXMesh::TestTriangleTransp(int, int* corners, float alpha) {
    FXCanvas* tex = material ? material->texture : nullptr;
    if (!tex || !tex->pixmap.pixels) return true;
    for (int k = 0; k < 3; k++) {
        if (corners[k] < 0 || corners[k] >= vertexCount) return true;
        // Read in picture units: a mesh read from a model file holds its coordinates scaled
        // for the padded texture it was saved with.
        const float* t = vertices[corners[k]].tex;
        float u = loadedU > 0 ? t[0] / loadedU : t[0];
        float v = flipV ? 1.0f - t[1] : t[1];
        if (loadedV > 0) v /= loadedV;
        float col[4] = {0, 0, 0, 0};
        tex->GetColor(u, v, col);
        if (col[3] > alpha) return true;
    }
    return false;
}

void FXMesh::DiscardTrianglesTransp(int mode, float alpha) {
    if (indexCount <= 0 || !indices || !material || !material->textured || !material->texture ||
        !material->texture->pixmap.pixels)
        return;
    if (!ReduceChecked("DiscardTriangles")) return;
    int w = 0;
    for (int k = 0; k < indexCount; k += 3)
        if (TestTriangleTransp(mode, indices + k, alpha)) {
            memmove(indices + w, indices + k, 3 * sizeof(int32_t));
            w += 3;
        }
    if (w == indexCount) {
        trc("DiscardTriangles (no effect) cnt:%d\n", indexCount);
        return;
    }
    trc("DiscardTriangles from:%d  to:%d\n", indexCount, w);
    indexCount = w;
    DiscardVertices();
}
