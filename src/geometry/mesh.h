#ifndef MH_GEOMETRY_MESH_H
#define MH_GEOMETRY_MESH_H

#include <cstdint>
#include <cstdio>

#include "base/arrays.h"
#include "base/strings.h"

class FXArray;
class FXCanvas;
class FXMaterial;
class FXMatlib;
class FXNumPool;
class FXVectorMap;
class PMeshSaveClb;
class FXPackage;
class FXPackageData;

// One vertex, 76 bytes, stored byte for byte in mesh payloads and drawn in place.
struct tagFXVertex {
    float pos[3];
    float normal[3];
    float tex[2];
    float color[4];
    // Work fields: they travel with the record but readers ignore them.
    float normalSum[3];
    int32_t mark;
    int32_t srcPos;
    int32_t srcNormal;
    int32_t srcTex;
};
static_assert(sizeof(tagFXVertex) == 76, "the vertex record is part of the file formats");

// An indexed triangle list with its material and drawing flags.
class FXMesh {
  public:
    FXMesh();
    ~FXMesh();

    void Destroy();
    // Sets both counts; a block is replaced (contents not kept) only when it is too small.
    // False, with the mesh emptied, when a count is negative or a block cannot be allocated.
    bool Realloc(int vertexCount, int indexCount);
    void Copy(FXMesh* src);
    void CopyMeshI(FXMesh* src);

    bool SaveMesh(FILE* f);
    // The loaders refuse (false, empty mesh, a trace line) a payload shorter than its counts
    // or an index outside the vertex block.
    bool LoadMesh(FILE* f, FXMatlib* lib);
    bool LoadMeshC(FXPackage* pkg, FXPackageData* d, FXMatlib* lib);
    bool SaveMeshI(FILE* f);
    // The header form sizes the blocks for the vector map to fill; every index starts at 0.
    bool LoadMeshI(FILE* f, FXMatlib* lib);
    bool LoadMeshIC(FXPackage* pkg, FXPackageData* d, FXMatlib* lib);

    void DiscardVertices();
    void ResizeTexCoords();
    void ResizeTexCoords1();
    void SetVerticesCol(float* rgba);

    // True when every index names a vertex in use.
    bool IndicesValid() const;

    // ---- coding against a shared vector map
    // Adds the mesh's vectors to the map and its index records to the pool; redir, when given,
    // is three arrays receiving each index's position, normal and texture numbers. False
    // (nothing written) for a mesh whose indices leave its vertex block.
    bool ToVMap(FXVectorMap* map, FXNumPool* pool, PMeshSaveClb* clb, int meshNo, FXArray** redir);
    // Rebuilds vertices and indices from the stream, within the counts of the header form (a
    // mesh without indices ends with no vertices).
    // False, with the mesh emptied, for a stream that ends early, names a vector the map does
    // not have, or needs more vertices than the header gave.
    bool FromVMap(FXVectorMap* map, FXNumPool* pool);
    void ApplyRedir(FXVectorMap* map, FXArray** redir);

    // ---- shaping
    void ComputeNormals(bool markedOnly);
    void ComputeNormalsZ(bool markedOnly, float zScale);
    void Normalize(bool markedOnly);
    void ComputeFrontTexCoords();
    // Copies as many texture coordinates as both meshes have.
    void CopyTexCoords(FXMesh* src);
    void FindMaxims(float* box);
    void FindMultiMaxims(bool* first, float* box);
    void Unitize();
    // A box without extent on every axis only centres the mesh.
    void UnitizeMaxims(float* box);
    void UnitizeMaximsStretch(float* box);
    void UnitizeMaximsStretch1(float* box);
    void FlipHoriz();
    // Axis numbers outside 0..2 leave the mesh unchanged.
    void Transform(int ix, int iy, int iz, bool negX, bool negY, bool negZ);
    static int TextToIndi(const char* s);
    void ExtendPositions(float d);
    void ApplyBumpMap(FXCanvas* img, float scale);
    void ApplyColorMap(FXCanvas* img, float* mul);
    void ApplyFrontColorMap(FXCanvas* img, float* mul);

    bool disabled;
    int drawPass;
    int colorMode;
    bool flipV;
    FXMesh* secondMesh;
    FXMaterial* material;
    FXStr materialName;
    float loadedU;
    float loadedV;
    int vertexCapacity;
    int vertexCount;
    tagFXVertex* vertices;
    int indexCapacity;
    int indexCount;
    int32_t* indices;

    // ---- mesh reduction (authoring)

    // One pass that removes vertices in the middle of straight edges inside flat regions,
    // within `tol` degrees; traces what it removed. Refuses (a trace line, mesh kept) a mesh
    // whose indices are not whole triangles of vertices in use.
    void ReduceVertices(float tol);
    // Drops the triangles none of whose corners is more opaque than `alpha` in the material's
    // texture, then the vertices no longer used. `mode` has no effect. Coordinates are read
    // as the other texture samplers read them (`flipV` counts v from the bottom), unscaled by
    // `loadedU`/`loadedV` when the mesh came from a model file.
    void DiscardTrianglesTransp(int mode, float alpha);
    bool TestTriangleTransp(int mode, int* corners, float alpha);
    // Drops unreferenced vertices and renumbers the indices and the dependency pairs.
    void DiscardReducedVertices();

    // Planes are (nx, ny, nz, d) with a unit normal; all arithmetic is single precision.
    void ComputeFormula(float* plane, int a, int b, int c);
    void ComputeFormula1(float* plane, float* base, int a, int b);
    float MultiVertexFormula(float* plane, int v);
    bool TestVertexOnFormula(float* plane, int from, int v);
    bool TestVerticesDirection(int a, int b, int v);
    bool TestVertexSide(int v);

    float tolerance = 0;
    float trianglePlane[4] = {0, 0, 0, 0};
    float edgePlane[4] = {0, 0, 0, 0};
    float edgePlane2[4] = {0, 0, 0, 0};
    float apexSide = 0;
    float totalMin = 0;
    // Pairs (from, to) of vertex numbers recorded by the rewrites of the last reduction.
    FXArray dependFrom;
    FXArray dependTo;

    FXMesh(const FXMesh&) = delete;
    FXMesh& operator=(const FXMesh&) = delete;

  private:
    bool LoadHeader(FILE* f, FXMatlib* lib, int* n);
    bool LoadHeaderC(FXPackageData* d, FXMatlib* lib, int* n);
    bool SizeHeaderForm(int n, int m);
    bool Refuse(const char* why);
    void ScaleTexCoords(float su, float sv);

    // Reduction internals. During ReduceVertices `reduceIndex` holds the per-vertex triangle
    // lists, the coincident-position groups and the free slots the stages look up.
    struct ReduceIndex;
    ReduceIndex* reduceIndex = nullptr;
    bool ReduceChecked(const char* what);
    bool ReduceStage1(int a, int b, int c);
    bool ReduceStage2(int a, int b, int c, int d, int e);
    bool ReduceStage22(int a, int b, int c, int d, int e);
    bool ReduceStage3(int a, int b, int c, int d);
    bool ReduceStage3a(int a, int b, int c, int d);
    bool ReduceStage4(int a, int b, int c, int d, int e);
    bool ReduceStage4a(int a, int b, int c, int d, int e);
    void ReduceStage4aa(int a, int b, int c, int d, int e, int f);
    void ReduceStage2a(int a, int b, int c, int d, int e);
    void ReduceStage2aa(int a, int b, int c, int x, int y, int z);
    bool FindNextContiguouse(int key, int pivot, int apex, int* resume, int* other, int* out);
    bool FindNextContiguouse1(int key, int pivot, int apex, int* resume, int* out);
    void PlaceVertexFormula(int v, float* plane);
    void PlaceVertexOnLine(int v, int p0, int p1, int p2, int la, int lb);
    void SetVerticesMask(int n, const int* list, int bits);
    bool TestVertices3Mask(int a, int b, int c);
    void DiscardTrianglesGroup(int n, const int* list);
    void CreateTrianglesGroup(int n, const int* list);
    void DiscardProceed();
    void PushReducDepend(int from, int to);
    int FindOtherVertex(int v);
};

#endif
