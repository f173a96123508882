#ifndef MH_GEOMETRY_MODEL_OBJ_H
#define MH_GEOMETRY_MODEL_OBJ_H
// The Wavefront OBJ reader: one pass counts, a second fills pools of positions, normals and
// texture coordinates, triangle records and groups, from which FXModel::ImportObj builds
// one mesh per material.

#include <cstdint>

#include "base/arrays.h"
#include "base/strings.h"

class FXMatlib;

// One face triangle or polyline segment; numbers are 0-based, -1 where the file gives none.
struct MObjTriangle {
    int32_t isLine; // a polyline segment (two corners), not a triangle
    int32_t pos[3];
    int32_t normal[3];
    int32_t tex[3];
    int32_t material;
};

class MObjGroup {
  public:
    MObjGroup() : triangleList(4), cursor(0) {}
    FXStr name;
    FXMemory triangleList; // triangle numbers, 4 bytes each, sized by the counting pass
    int cursor;            // next free entry while filling
};

class FXObjModel {
  public:
    FXObjModel();
    ~FXObjModel();

    // False when the file cannot be read. Face numbers are 1-based in the file, negative
    // ones count back from the end of the pool as it stands at the face.
    bool Load(const char* path);

    char* path;
    char* mtllibName; // the first word after the last mtllib, or null
    FXMatlib* matlib; // one reference held
    FXStrArray materials;
    FXArray meshes; // one FXMesh* per material, owned by the model that imports
    FXMemory positions;
    FXMemory normals;
    FXMemory texCoords;
    FXMemory triangles; // MObjTriangle records, in file order
    FXArray groups;     // owned MObjGroup*; group 0 is the unnamed default group

    FXObjModel(const FXObjModel&) = delete;
    FXObjModel& operator=(const FXObjModel&) = delete;
};

#endif
