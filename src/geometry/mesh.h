#ifndef MH_GEOMETRY_MESH_H
#define MH_GEOMETRY_MESH_H

#include <cstdint>
#include <cstdio>

#include "base/strings.h"

class FXMaterial;
class FXMatlib;
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

    FXMesh(const FXMesh&) = delete;
    FXMesh& operator=(const FXMesh&) = delete;

  private:
    bool LoadHeader(FILE* f, FXMatlib* lib, int* n);
    bool LoadHeaderC(FXPackageData* d, FXMatlib* lib, int* n);
    bool SizeHeaderForm(int n, int m);
    bool Refuse(const char* why);
    void ScaleTexCoords(float su, float sv);
};

#endif
