#ifndef MH_ASSETS_MATERIAL_H
#define MH_ASSETS_MATERIAL_H

#include <cstdint>
#include <cstdio>

#include "assets/canvas.h"
#include "base/strings.h"

class FXPackage;
class FXPackageData;

// Surface colours and an optional texture, applied by the device before drawing.
class FXMaterial {
  public:
    FXMaterial();
    ~FXMaterial();

    void SetDefDiffuse(float a);
    void SetDefault(float a) { SetDefDiffuse(a); }
    void SetDefSpecular(float a);
    void SetDefSpecular1(float a);
    void SetDefEmission(float a);
    void SetBlack(float a);
    void PrepareDarkDiffuse(float a);
    void ChangeDarkDiffuse(float v);
    void PreserveCols();
    void MultiCols(const float* m);
    bool IsSolid() const;

    bool LoadTextureCN(FXPackage* pkg, int id);
    bool LoadTextureC(FXPackage* pkg, const char* idText);
    bool LoadTexture(const char* path);
    bool SetTexture(FXCanvas* c);
    // Uses the texture of `owner` (name, extents, picture size) without owning it: the texture
    // stays owner's, which must outlive this material's use of it. False when owner has none.
    bool ShareTexture(const FXMaterial* owner);
    int GetWidth() const;
    int GetHeight() const;
    float GetWidthF() const;
    float GetHeightF() const;

    bool Save(FILE* f);
    bool Load(FILE* f);
    bool LoadC(FXPackage* pkg, FXPackageData* d);
    void Destroy();

    FXStr name;
    bool libOwned;
    // ambient..shininess are one block of 17 floats in the binary forms.
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float emission[4];
    float shininess;
    float savedAmbient[4];
    float savedDiffuse[4];
    float savedSpecular[4];
    float savedEmission[4];
    bool textured;
    int32_t texId;
    float texScaleU;
    float texScaleV;
    bool texOpaque;
    bool mipmaps;
    bool textureShared; // texId belongs to another material
    FXCanvas* texture;
    FXCanvas canvas;
    FXStr texName;

    // The record alone, without its texture: false for a short or damaged record.
    bool ReadRecord(FILE* f);
    bool ReadRecordC(FXPackageData* d);
    // The texture a record read through d names; d goes on after the record even when the
    // picture is the item being read.
    bool LoadRecordTextureC(FXPackage* pkg, FXPackageData* d);

  private:
    bool TextureLoaded(bool decoded);
    void ReleaseTexture();

    FXMaterial(const FXMaterial&) = delete;
    FXMaterial& operator=(const FXMaterial&) = delete;
};

#endif
