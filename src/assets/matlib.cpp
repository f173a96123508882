#include "assets/matlib.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "assets/material.h"
#include "assets/package.h"
#include "base/paths.h"
#include "base/trace.h"
#include "render/env.h"

FXMatlib::FXMatlib() : parent(nullptr), autoDelete(true), refCount(1) {}

FXMatlib::~FXMatlib() {
    Destroy();
}

FXMaterial* FXMatlib::GetMaterial(int i) const {
    return i >= 0 && i < materials.count ? (FXMaterial*)materials.items[i] : nullptr;
}

int FXMatlib::GetCount() const {
    return materials.count;
}

int FXMatlib::AddMaterial(FXMaterial* m) {
    int pos = materials.Findpos(m);
    if (pos >= 0) return pos;
    materials.Push(m);
    return materials.count - 1;
}

void FXMatlib::RemoveMaterial(FXMaterial* m) {
    materials.Remove(m);
}

// Parent chains are short; the depth bound only stops a library made its own ancestor.
static FXMaterial* localFind(FXMatlib* lib, const char* what, int depth) {
    if (!lib || depth > 64) return nullptr;
    if (FXMaterial* hit = localFind(lib->parent, what, depth + 1)) return hit;
    for (int i = 0; i < lib->materials.count; i++) {
        FXMaterial* m = (FXMaterial*)lib->materials.items[i];
        if (m && m->name.Compare(what)) return m;
    }
    return nullptr;
}

FXMaterial* FXMatlib::FindMaterial(const char* what) {
    return localFind(this, what, 0);
}

void FXMatlib::Destroy() {
    for (int i = 0; i < materials.count; i++) {
        FXMaterial* m = (FXMaterial*)materials.items[i];
        if (m && m->libOwned) {
            m->Destroy();
            delete m;
        }
    }
    materials.RemoveAll();
}

void FXMatlib::Release() {
    refCount--;
    if (autoDelete && refCount <= 0) {
        Destroy();
        if (fxglobalEnv) fxglobalEnv->RemoveMatlib(this);
        delete this;
    }
}

bool FXMatlib::Save(const char* path) {
    FILE* f = path ? fopen(path, "wb") : nullptr;
    if (!f) {
        err("FXMatlib::Save -> cannot create %s\n", path ? path : "");
        return false;
    }
    int count = materials.count;
    bool ok = name.Save(f) && fwrite(&count, 4, 1, f) == 1;
    for (int i = 0; ok && i < count; i++)
        ok = ((FXMaterial*)materials.items[i])->Save(f);
    ok = fclose(f) == 0 && ok;
    return ok;
}

bool FXMatlib::Load(const char* path) {
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f) {
        err("FXMatlib::Load -> cannot open %s\n", path ? path : "");
        return false;
    }
    int count = 0;
    bool ok = name.Load(f) && fread(&count, 4, 1, f) == 1 && count >= 0;
    // Records are read one by one, so a huge stored count ends at the end of the file.
    for (int i = 0; ok && i < count; i++) {
        FXMaterial* m = new FXMaterial;
        if (!m->ReadRecord(f)) {
            delete m;
            ok = false;
            break;
        }
        if (!m->texName.IsEmpty()) m->LoadTexture(m->texName.text);
        materials.Push(m);
    }
    fclose(f);
    if (!ok) err("FXMatlib::Load -> damaged library %s\n", path);
    return ok;
}

bool FXMatlib::LoadC(FXPackage* pkg, const char* idText) {
    int id = 0;
    if (!pkg || !idText || sscanf(idText, "%d", &id) != 1) return false;
    FXPackageData* d = pkg->GetDataPtr(id);
    if (!d) return false;
    d->ReadString(&name);
    if (d->left < 4) {
        err("FXMatlib::LoadC -> short library item %d\n", id);
        return false;
    }
    int count = d->ReadInt();
    for (int i = 0; i < count; i++) {
        FXMaterial* m = new FXMaterial;
        if (!m->ReadRecordC(d)) {
            delete m;
            err("FXMatlib::LoadC -> item %d holds %d of %d materials\n", id, i, count);
            return false;
        }
        m->LoadRecordTextureC(pkg, d);
        materials.Push(m);
    }
    return true;
}

void FXMatlib::Compile(FXPackage* pkg) {
    if (!pkg) return;
    for (int i = 0; i < materials.count; i++) {
        FXMaterial* m = (FXMaterial*)materials.items[i];
        if (!m || m->texName.IsEmpty()) continue;
        FXStr file(fxCombinePaths(pkg->basePath.text, m->texName.text));
        pkg->AddDataFile1(&file);
        m->texName = file;
    }
}

// ---------------------------------------------------------------------------------------------
// Wavefront material files

namespace {
// Whitespace-separated reading over the whole file, in the manner of fscanf("%s") and fgets.
class MtlReader {
  public:
    explicit MtlReader(std::string t) : text(std::move(t)), pos(0) {}

    // Next token, at most 1023 characters (the rest of a longer one is dropped).
    bool Token(std::string* out) {
        SkipSpace();
        if (pos >= text.size()) return false;
        size_t start = pos;
        while (pos < text.size() && !isspace((unsigned char)text[pos]))
            pos++;
        *out = text.substr(start, std::min<size_t>(pos - start, 1023));
        return true;
    }

    // The rest of the current line, without its line feed.
    std::string RestOfLine() {
        size_t start = pos;
        while (pos < text.size() && text[pos] != '\n')
            pos++;
        std::string line = text.substr(start, pos - start);
        if (pos < text.size()) pos++;
        return line;
    }

    // One number as "%f" reads it; false (nothing consumed but blanks) when there is none.
    bool Float(float* v) {
        SkipSpace();
        if (pos >= text.size()) return false;
        const char* s = text.c_str() + pos;
        char* end = nullptr;
        float f = strtof(s, &end);
        if (end == s) return false;
        pos += (size_t)(end - s);
        *v = f;
        return true;
    }

    void Rewind() { pos = 0; }

  private:
    void SkipSpace() {
        while (pos < text.size() && isspace((unsigned char)text[pos]))
            pos++;
    }

    std::string text;
    size_t pos;
};

std::string localTrim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && isspace((unsigned char)s[b]))
        b++;
    while (e > b && isspace((unsigned char)s[e - 1]))
        e--;
    return s.substr(b, e - b);
}

FXMaterial* localNewMtlMaterial(FXArray* materials) {
    FXMaterial* m = new FXMaterial;
    m->libOwned = true;
    m->SetDefSpecular(1.0f);
    materials->Push(m);
    return m;
}
} // namespace

bool FXMatlib::LoadFromMtl(const char* path) {
    Destroy();
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f) return false;
    name.Set(path);
    std::string all;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        all.append(buf, n);
    fclose(f);
    // Text after an embedded zero byte is not text.
    all.resize(strlen(all.c_str()));
    MtlReader in(all);
    std::string dir = path;
    dir.erase(dir.find_last_of("/\\") == std::string::npos ? 0 : dir.find_last_of("/\\") + 1);

    int count = 1;
    std::string tok;
    while (in.Token(&tok)) {
        if (tok[0] == 'n') {
            if (tok.compare(0, 6, "newmtl") == 0 && tok.size() >= 6)
                count++;
            else
                err("FXMatlib::LoadFromMtl -> unknown token(0): %s  in lib:%s\n", tok.c_str(), path);
        }
        in.RestOfLine();
    }
    materials.Realloc(count);
    for (int i = 0; i < count; i++)
        localNewMtlMaterial(&materials);

    in.Rewind();
    int current = 0;
    FXMaterial* m = GetMaterial(0);
    while (in.Token(&tok)) {
        char c0 = tok[0], c1 = tok.size() > 1 ? tok[1] : 0;
        if (c0 == 'n') {
            if (tok.compare(0, 6, "newmtl") == 0 && tok.size() >= 6) {
                // The first pass counted every newmtl that starts a line; one hidden after
                // other statements gets a material of its own.
                current++;
                m = current < materials.count ? GetMaterial(current) : localNewMtlMaterial(&materials);
                std::string rest = localTrim(in.RestOfLine());
                size_t end = 0;
                while (end < rest.size() && !isspace((unsigned char)rest[end]))
                    end++;
                m->name.Set(rest.substr(0, end).c_str());
            } else {
                in.RestOfLine();
            }
        } else if (c0 == 'K') {
            float* target = c1 == 'a'   ? m->ambient
                            : c1 == 'd' ? m->diffuse
                            : c1 == 's' ? m->specular
                                        : nullptr;
            if (target) {
                for (int i = 0; i < 3 && in.Float(&target[i]); i++) {
                }
            } else {
                in.RestOfLine();
            }
        } else if (c0 == 'N') {
            if (c1 == 's') {
                if (in.Float(&m->shininess)) m->shininess *= 1.28f;
            } else if (c1 == 'i') {
                in.RestOfLine();
            }
        } else if (c0 == 'd') {
            in.Float(&m->diffuse[3]);
        } else if (c0 == 'm' && tok.compare(0, 6, "map_Kd") == 0 && tok.size() >= 6) {
            std::string file = localTrim(in.RestOfLine());
            m->texName.Set(file.c_str());
            // A relative texture name is relative to the material file, wherever we run.
            if (!file.empty()) m->LoadTexture(file[0] == '/' || dir.empty() ? file.c_str() : (dir + file).c_str());
        } else {
            in.RestOfLine();
        }
    }
    return true;
}
