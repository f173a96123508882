#ifndef MH_ASSETS_MATLIB_H
#define MH_ASSETS_MATLIB_H

#include "base/arrays.h"
#include "base/strings.h"

class FXMaterial;
class FXPackage;

// A named list of materials, shared through the render environment by reference count.
class FXMatlib {
  public:
    FXMatlib();
    ~FXMatlib();

    int AddMaterial(FXMaterial* m);
    void RemoveMaterial(FXMaterial* m);
    FXMaterial* FindMaterial(const char* name);
    FXMaterial* GetMaterial(int i) const;
    int GetCount() const;
    void Destroy();
    void Release();
    bool Save(const char* path);
    bool Load(const char* path);
    bool LoadC(FXPackage* pkg, const char* idText);
    bool LoadFromMtl(const char* path);
    void Compile(FXPackage* pkg);

    FXStr name;
    FXMatlib* parent;
    FXArray materials; // FXMaterial*
    bool autoDelete;
    int refCount;

    FXMatlib(const FXMatlib&) = delete;
    FXMatlib& operator=(const FXMatlib&) = delete;
};

#endif
