#include "assets/material.h"

#include <cstring>

#include "assets/package.h"
#include "base/trace.h"
#include "render/env.h"

static void localSet4(float* d, float a, float b, float c, float e) {
    d[0] = a;
    d[1] = b;
    d[2] = c;
    d[3] = e;
}

FXMaterial::FXMaterial()
    : libOwned(false), shininess(0.0f), textured(false), texId(0), texScaleU(0.0f), texScaleV(0.0f),
      texOpaque(true), mipmaps(true), textureShared(false), texture(nullptr) {
    SetDefDiffuse(1.0f);
    PreserveCols();
}

FXMaterial::~FXMaterial() {
    Destroy();
}

void FXMaterial::SetDefDiffuse(float a) {
    localSet4(ambient, 0.2f, 0.2f, 0.2f, 0.0f);
    localSet4(diffuse, 1.0f, 1.0f, 1.0f, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXMaterial::SetDefSpecular(float a) {
    localSet4(ambient, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(diffuse, 0.2f, 0.2f, 0.2f, a);
    localSet4(specular, 1.0f, 1.0f, 1.0f, a);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
    shininess = 128.0f;
}

void FXMaterial::SetDefSpecular1(float a) {
    localSet4(ambient, 0.2f, 0.2f, 0.2f, a);
    localSet4(diffuse, 1.0f, 1.0f, 1.0f, a);
    localSet4(specular, 1.0f, 1.0f, 1.0f, a);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXMaterial::SetDefEmission(float a) {
    localSet4(ambient, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(diffuse, 0.0f, 0.0f, 0.0f, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(emission, 1.0f, 1.0f, 1.0f, a);
}

void FXMaterial::SetBlack(float a) {
    localSet4(ambient, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(diffuse, 0.0f, 0.0f, 0.0f, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXMaterial::PrepareDarkDiffuse(float a) {
    localSet4(ambient, 0.0f, 0.0f, 0.0f, a);
    localSet4(diffuse, 1.0f, 1.0f, 1.0f, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXMaterial::ChangeDarkDiffuse(float v) {
    diffuse[0] = diffuse[1] = diffuse[2] = v;
}

void FXMaterial::PreserveCols() {
    memcpy(savedAmbient, ambient, sizeof ambient);
    memcpy(savedDiffuse, diffuse, sizeof diffuse);
    memcpy(savedSpecular, specular, sizeof specular);
    memcpy(savedEmission, emission, sizeof emission);
}

void FXMaterial::MultiCols(const float* m) {
    for (int i = 0; i < 4; i++) {
        ambient[i] = savedAmbient[i] * m[i];
        diffuse[i] = savedDiffuse[i] * m[i];
        specular[i] = savedSpecular[i] * m[i];
        emission[i] = savedEmission[i] * m[i];
    }
}

bool FXMaterial::IsSolid() const {
    if (textured && !texOpaque) return false;
    return diffuse[3] == 1.0f;
}

void FXMaterial::ReleaseTexture() {
    if (texId != 0 && !textureShared && fxglobalEnv) fxglobalEnv->UnprepareTexture(this);
    texId = 0;
    textured = false;
    textureShared = false;
}

bool FXMaterial::ShareTexture(const FXMaterial* owner) {
    ReleaseTexture();
    texture = nullptr;
    if (!owner || owner == this || !owner->textured || owner->texId == 0) return false;
    texId = owner->texId;
    textureShared = true;
    textured = true;
    texScaleU = owner->texScaleU;
    texScaleV = owner->texScaleV;
    texOpaque = owner->texOpaque;
    mipmaps = owner->mipmaps;
    texture = owner->texture;
    return true;
}

bool FXMaterial::TextureLoaded(bool decoded) {
    if (decoded) return SetTexture(&canvas);
    ReleaseTexture();
    return false;
}

bool FXMaterial::LoadTextureCN(FXPackage* pkg, int id) {
    texture = nullptr;
    return TextureLoaded(canvas.CreateFromPictCN(pkg, id));
}

bool FXMaterial::LoadTextureC(FXPackage* pkg, const char* idText) {
    texture = nullptr;
    return TextureLoaded(canvas.CreateFromPictC(pkg, idText));
}

bool FXMaterial::LoadTexture(const char* path) {
    texture = nullptr;
    return TextureLoaded(canvas.CreateFromPict(path));
}

bool FXMaterial::SetTexture(FXCanvas* c) {
    // Never upload into a texture name another material owns.
    if (textureShared) ReleaseTexture();
    // An empty canvas has no extent to scale texture coordinates by.
    if (!c || !c->pixmap.pixels || c->pixmap.width <= 0 || c->pixmap.height <= 0 || c->pixmap.stride <= 0 ||
        c->pixmap.rows <= 0) {
        ReleaseTexture();
        texture = nullptr;
        return false;
    }
    texScaleU = (float)c->pixmap.width / (float)c->pixmap.stride;
    texScaleV = (float)c->pixmap.height / (float)c->pixmap.rows;
    texOpaque = c->opaque;
    textured = true;
    texture = c;
    if (!fxglobalEnv || !fxglobalEnv->PrepareTexture(this)) {
        ReleaseTexture();
        return false;
    }
    return true;
}

int FXMaterial::GetWidth() const {
    return texture ? texture->GetWidth() : 0;
}
int FXMaterial::GetHeight() const {
    return texture ? texture->GetHeight() : 0;
}
float FXMaterial::GetWidthF() const {
    return texture ? texture->GetWidthF() : 0.0f;
}
float FXMaterial::GetHeightF() const {
    return texture ? texture->GetHeightF() : 0.0f;
}

bool FXMaterial::Save(FILE* f) {
    if (!f) return false;
    float block[17];
    memcpy(block, ambient, sizeof ambient);
    memcpy(block + 4, diffuse, sizeof diffuse);
    memcpy(block + 8, specular, sizeof specular);
    memcpy(block + 12, emission, sizeof emission);
    block[16] = shininess;
    return name.Save(f) && texName.Save(f) && fwrite(block, sizeof(float), 17, f) == 17;
}

bool FXMaterial::ReadRecord(FILE* f) {
    SetDefSpecular(1.0f);
    libOwned = true;
    float block[17];
    if (!f || !name.Load(f) || !texName.Load(f) || fread(block, sizeof(float), 17, f) != 17) {
        err("FXMaterial: short or damaged material record\n");
        return false;
    }
    memcpy(ambient, block, sizeof ambient);
    memcpy(diffuse, block + 4, sizeof diffuse);
    memcpy(specular, block + 8, sizeof specular);
    memcpy(emission, block + 12, sizeof emission);
    shininess = block[16];
    return true;
}

bool FXMaterial::Load(FILE* f) {
    if (!ReadRecord(f)) return false;
    return texName.IsEmpty() ? true : LoadTexture(texName.text);
}

bool FXMaterial::ReadRecordC(FXPackageData* d) {
    SetDefSpecular(1.0f);
    libOwned = true;
    // A record is two string lengths and 17 floats at the least.
    if (!d || d->left < 4) {
        err("FXMaterial: short material record\n");
        return false;
    }
    d->ReadString(&name);
    if (d->left < 4) {
        err("FXMaterial: short material record\n");
        return false;
    }
    d->ReadString(&texName);
    if (d->left < 17 * 4) {
        err("FXMaterial: short material record\n");
        return false;
    }
    d->ReadFloat4(ambient);
    d->ReadFloat4(diffuse);
    d->ReadFloat4(specular);
    d->ReadFloat4(emission);
    shininess = d->ReadFloat();
    return true;
}

bool FXMaterial::LoadRecordTextureC(FXPackage* pkg, FXPackageData* d) {
    if (texName.IsEmpty()) return true;
    // Fetching a package item rewinds its cursor.
    unsigned char* cur = d->cur;
    int left = d->left;
    bool ok = LoadTextureC(pkg, texName.text);
    d->cur = cur;
    d->left = left;
    return ok;
}

bool FXMaterial::LoadC(FXPackage* pkg, FXPackageData* d) {
    if (!ReadRecordC(d)) return false;
    return LoadRecordTextureC(pkg, d);
}

void FXMaterial::Destroy() {
    ReleaseTexture();
    canvas.Destroy();
    texture = nullptr;
}
