#ifndef MH_ASSETS_MODEL_H
#define MH_ASSETS_MODEL_H
// A 3D model: meshes sharing one material library, drawn as one renderable, read and written
// in the "xm02" (meshes whole) and "xm03" (meshes coded against a shared vector map) formats.

#include <cstdio>

#include "base/arrays.h"
#include "base/strings.h"
#include "render/env.h"

class FXMatlib;
class FXMesh;
class FXPackage;
class FXPackageData;

class FXModel : public PRender {
  public:
    FXModel();
    virtual ~FXModel();

    // A known format that is damaged or truncated gives false and an empty model; an unknown
    // header gives true and no meshes.
    bool Load(const char* path);
    bool LoadCN(FXPackage* pkg, int id);
    bool Load_v02(FILE* f);
    bool Load_v02CN(FXPackage* pkg, FXPackageData* d);
    bool Load_v03(FILE* f);
    bool Load_v03CN(FXPackage* pkg, FXPackageData* d);
    // Writes "xm03". Each writer writes its own header; only enabled meshes are written.
    bool Save(const char* path);
    bool Save_v02(FILE* f);
    bool Save_v03(FILE* f);
    // Authoring: the library and its textures become package items and matlibRef the
    // library's id. The library file name is resolved against the package's basePath (the
    // working directory while this runs; the previous one comes back afterwards), texture
    // names against the library's directory.
    bool Compile(FXPackage* pkg);

    void UpdateMeshes();
    void Copy(FXModel* src);
    void Destroy();
    FXMesh* EnumMeshes(int i);
    const char* EnumMeshNames(int i);
    FXMesh* FindMesh(const char* n);
    void DisableMesh(int i, bool off);
    void RemoveMesh(FXMesh* m);
    FXMesh* DoubleMesh(const char* newName, const char* srcName);
    int GetTotalVertices();
    void FindMaxims(float* box);
    void Unitize();
    void UnitizeStretch();
    void UnitizeStretch1();
    void UnitizeMaxims(float* box);
    void UnitizeMaximsStretch(float* box);
    void UnitizeMaximsStretch1(float* box);
    void Normalize(bool markedOnly);
    void FlipHoriz();
    void Transform(int ix, int iy, int iz, bool negX, bool negY, bool negZ);
    void ResizeTextCoords();
    void ResizeTextCoords1();
    void ComputeFrontTexCoords(int i);
    void CopyTexCoords(int i, FXModel* src);
    void UpdateColCol(float* colour);
    void PreserveColMat();
    void UpdateColMat(float* m);
    // Builds the loaded meshes from a Wavefront OBJ file, one per material (one mesh without
    // material when the file names none); false when the file cannot be read.
    bool ImportObj(const char* path);
    void OnRender(PEnv* env, double time) override;

    FXStr name;
    FXStr matlibRef;
    FXMatlib* matlib;
    bool flipV;
    FXArray loadedMeshes; // owned FXMesh*
    FXArray meshes;       // owned FXMesh*

    FXModel(const FXModel&) = delete;
    FXModel& operator=(const FXModel&) = delete;

  private:
    bool Refuse(const char* what);
    template <class F>
    void ForEachMesh(F f);
};

#endif
