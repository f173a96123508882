#include "geometry/model_obj.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "assets/matlib.h"
#include "base/paths.h"
#include "base/trace.h"
#include "render/env.h"

namespace {

// Reads a text the way the C library's scanf family reads a stream ("%s", "%d", "%f",
// literal characters, fgets), without a call per token. The scanner views text it does not
// own; "%f" needs the text to end with a NUL.
class ObjScanner {
  public:
    ObjScanner(const char* text, size_t size) : text(text), size(size), p(0) {}

    void Rewind() { p = 0; }

    // "%s": the next white-space-delimited token; false at the end.
    bool Token(std::string* out) {
        size_t start, n;
        if (!TokenAt(&start, &n)) return false;
        out->assign(text + start, n);
        return true;
    }

    // The same token as a scanner of its own, viewing this text.
    bool Token(ObjScanner* out) {
        size_t start, n;
        if (!TokenAt(&start, &n)) return false;
        *out = ObjScanner(text + start, n);
        return true;
    }

    // fgets of 1024 bytes: up to and including the line feed, at most 1023 characters.
    std::string RestOfLine() {
        size_t start = p;
        SkipLine();
        return std::string(text + start, p - start);
    }

    // The same, when the line is not wanted.
    void SkipLine() {
        size_t start = p;
        while (p < size && p - start < 1023) {
            if (text[p++] == '\n') break;
        }
    }

    bool Contains(const char* s) const { return std::string_view(text, size).find(s) != std::string_view::npos; }

    // "%d": leading white space, an optional sign, digits.
    bool Int(int* out) {
        SkipSpace();
        size_t q = p;
        bool neg = false;
        if (q < size && (text[q] == '-' || text[q] == '+')) neg = text[q++] == '-';
        if (q >= size || !Digit(text[q])) {
            p = q; // a lone sign is consumed, as by the C library
            return false;
        }
        long long v = 0;
        while (q < size && Digit(text[q])) {
            if (v < 0x80000000ll) v = v * 10 + (text[q] - '0');
            q++;
        }
        if (neg) v = -v;
        if (v > 0x7FFFFFFFll) v = 0x7FFFFFFFll;
        if (v < -0x80000000ll) v = -0x80000000ll;
        *out = (int)v;
        p = q;
        return true;
    }

    // A literal character of a format: consumed only when it is there.
    bool Literal(char c) {
        if (p < size && text[p] == c) {
            p++;
            return true;
        }
        return false;
    }

    // "%f". Plain decimals whose digits fit a float exactly take a quick path that rounds
    // as strtof does (one correctly rounded double division, then a rounding that double
    // precision makes exact); anything else goes to strtof.
    bool Float(float* out) {
        SkipSpace();
        if (p >= size) return false;
        size_t q = p;
        bool neg = false;
        if (text[q] == '-' || text[q] == '+') neg = text[q++] == '-';
        uint32_t m = 0;
        int digits = 0, frac = 0;
        bool quick = true;
        while (q < size && Digit(text[q])) {
            m = m * 10 + (uint32_t)(text[q++] - '0');
            digits++;
            if (m >= (1u << 24)) quick = false;
            if (!quick) break;
        }
        if (quick && q < size && text[q] == '.') {
            q++;
            while (q < size && Digit(text[q])) {
                m = m * 10 + (uint32_t)(text[q++] - '0');
                digits++, frac++;
                if (m >= (1u << 24) || frac > 10) {
                    quick = false;
                    break;
                }
            }
        }
        if (quick && q < size && strchr("eEpPxXiInN", text[q])) quick = false;
        if (quick && digits > 0) {
            static const double tens[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
            float v = (float)((double)m / tens[frac]);
            *out = neg ? -v : v;
            p = q;
            return true;
        }
        const char* s = text + p;
        char* end = nullptr;
        float v = strtof(s, &end);
        if (end == s) return false;
        p += (size_t)(end - s);
        *out = v;
        return true;
    }

    bool AtEnd() const { return p >= size; }

  private:
    static bool Space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
    static bool Digit(char c) { return c >= '0' && c <= '9'; }
    void SkipSpace() {
        while (p < size && Space(text[p]))
            p++;
    }
    bool TokenAt(size_t* start, size_t* n) {
        SkipSpace();
        if (p >= size) return false;
        *start = p;
        while (p < size && !Space(text[p]))
            p++;
        *n = p - *start;
        return true;
    }

    const char* text;
    size_t size;
    size_t p;
};

// The four corner formats of faces and polylines.
enum CornerFormat { kPosNorm, kPosTexNorm, kPosTex, kPos };

struct Corner {
    int pos = 0, tex = 0, normal = 0;
};

int FormatFields(CornerFormat f) {
    return f == kPosTexNorm ? 3 : f == kPos ? 1 : 2;
}

// One corner in the format, as the C library's scanf would read it; the number of fields read.
int ScanCorner(ObjScanner* in, CornerFormat f, Corner* c) {
    if (!in->Int(&c->pos)) return 0;
    switch (f) {
    case kPosNorm:
        if (!in->Literal('/') || !in->Literal('/')) return 1;
        return in->Int(&c->normal) ? 2 : 1;
    case kPosTexNorm:
        if (!in->Literal('/') || !in->Int(&c->tex)) return 1;
        if (!in->Literal('/')) return 2;
        return in->Int(&c->normal) ? 3 : 2;
    case kPosTex:
        if (!in->Literal('/')) return 1;
        return in->Int(&c->tex) ? 2 : 1;
    case kPos:
        return 1;
    }
    return 0;
}

// The format is chosen by the first corner token; the token itself is read in it.
bool FirstCorner(const ObjScanner& tok, CornerFormat* f, Corner* c) {
    ObjScanner t = tok;
    if (tok.Contains("//")) {
        *f = kPosNorm;
        return ScanCorner(&t, kPosNorm, c) == 2;
    }
    if (ScanCorner(&t, kPosTexNorm, c) == 3) {
        *f = kPosTexNorm;
        return true;
    }
    ObjScanner t2 = tok;
    if (ScanCorner(&t2, kPosTex, c) == 2) {
        *f = kPosTex;
        return true;
    }
    ObjScanner t3 = tok;
    *f = kPos;
    return ScanCorner(&t3, kPos, c) == 1;
}

// The corners of a face (at least three, or none when fewer parse) or of a polyline.
void ReadCorners(ObjScanner* in, bool face, std::vector<Corner>* out) {
    out->clear();
    CornerFormat f;
    Corner c;
    ObjScanner tok(nullptr, 0);
    if (!in->Token(&tok)) return;
    bool firstOk = FirstCorner(tok, &f, &c);
    if (firstOk) out->push_back(c);
    int fields = FormatFields(f);
    if (face) {
        for (int k = 0; k < 2; k++) {
            c = Corner();
            if (ScanCorner(in, f, &c) != fields) {
                out->clear();
                return;
            }
            out->push_back(c);
        }
    }
    for (;;) {
        c = Corner();
        if (ScanCorner(in, f, &c) != fields) break;
        out->push_back(c);
    }
    if (!firstOk) out->clear();
}

// A 1-based file number as a 0-based pool number; negative numbers count back from the
// records read so far; 0 names nothing (-1).
int Resolve(int n, int soFar) {
    if (n > 0) return n - 1;
    if (n < 0 && (long long)soFar + n >= 0) return soFar + n;
    return -1;
}

std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && isspace((unsigned char)s[b]))
        b++;
    while (e > b && isspace((unsigned char)s[e - 1]))
        e--;
    return s.substr(b, e - b);
}

std::string FirstWord(const std::string& s) {
    std::string t = Trimmed(s);
    size_t e = 0;
    while (e < t.size() && !isspace((unsigned char)t[e]))
        e++;
    return t.substr(0, e);
}

// The name of a "g" line: the rest of the line without its line feed, trimmed.
std::string GroupName(ObjScanner* in) {
    std::string rest = in->RestOfLine();
    if (!rest.empty() && rest.back() == '\n') rest.pop_back();
    FXStr s(rest.c_str());
    s.TrimSpaces();
    return s.text;
}

std::string ForMessage(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s.size() > 1000 ? s.substr(0, 1000) : s;
}

// The m/u keywords are checked in both passes; false for an unknown one (reported).
bool KnownKeyword(const std::string& tok) {
    if (tok[0] == 'm') {
        if (tok.compare(0, 6, "mtllib") == 0) return true;
        err("localPrepareModel -> unknown token(1): %s\n", ForMessage(tok).c_str());
        return false;
    }
    if (tok.compare(0, 6, "usemtl") == 0) return true;
    err("localPrepareModel -> unknown token(2): %s\n", ForMessage(tok).c_str());
    return false;
}

} // namespace

static int localMaterialID(FXObjModel* obj, const char* name) {
    if (!name || !*name) return -1;
    int k = obj->materials.Findpos(name);
    if (k >= 0) return k;
    obj->materials.Push(name);
    return obj->materials.count - 1;
}

static MObjGroup* localFindGroup1(FXObjModel* obj, const char* name) {
    if (!name || !*name) return (MObjGroup*)obj->groups.First();
    for (int i = 0; i < obj->groups.count; i++) {
        MObjGroup* g = (MObjGroup*)obj->groups.items[i];
        if (g->name.Compare(name)) return g;
    }
    return nullptr;
}

static MObjGroup* localFindGroup(FXObjModel* obj, const char* name) {
    MObjGroup* g = localFindGroup1(obj, name);
    return g ? g : (MObjGroup*)obj->groups.Last();
}

// The counting pass: pool sizes, triangles per group, and the groups themselves.
static void localPrepareModel(FXObjModel* obj, ObjScanner* in) {
    obj->groups.Push(new MObjGroup);
    MObjGroup* current = (MObjGroup*)obj->groups.First();
    std::vector<int> counts(1, 0);
    long long nPos = 0, nNorm = 0, nTex = 0, nTri = 0;
    std::string tok;
    std::vector<Corner> corners;
    while (in->Token(&tok)) {
        char c0 = tok[0];
        if (c0 == 'v') {
            if (tok == "v" || tok == "vn" || tok == "vt") {
                (tok == "v" ? nPos : tok == "vn" ? nNorm : nTex)++;
                in->SkipLine();
            } else {
                err("localPrepareModel -> unknown token(0): %s\n", ForMessage(tok).c_str());
            }
        } else if (c0 == 'm' || c0 == 'u') {
            if (KnownKeyword(tok)) in->SkipLine();
        } else if (c0 == 'f' || c0 == 'l') {
            ReadCorners(in, c0 == 'f', &corners);
            int n = (int)corners.size() - (c0 == 'f' ? 2 : 1);
            if (n > 0) {
                nTri += n;
                counts[obj->groups.Findpos(current)] += n;
            }
        } else if (c0 == 'g') {
            std::string name = GroupName(in);
            MObjGroup* g = localFindGroup1(obj, name.c_str());
            if (!g) {
                g = new MObjGroup;
                g->name.Set(name.c_str());
                obj->groups.Push(g);
                counts.push_back(0);
            }
            current = g;
        } else if (c0 == '#') {
            in->SkipLine();
        } else {
            std::string rest = in->RestOfLine();
            err("localPrepareModel -> unknown token(3): %s%s\n", ForMessage(tok).c_str(), ForMessage(rest).c_str());
        }
    }
    if (nTex == 0) nTex = nPos;
    const long long limit = 0x7FFFFFFF / 48;
    if (nPos > limit || nNorm > limit || nTex > limit || nTri > limit) {
        err("localPrepareModel -> model too large\n");
        nPos = nNorm = nTex = nTri = 0;
        for (int& c : counts)
            c = 0;
    }
    struct {
        FXMemory* pool;
        long long n;
    } pools[] = {{&obj->positions, nPos}, {&obj->normals, nNorm}, {&obj->texCoords, nTex}, {&obj->triangles, nTri}};
    for (auto& q : pools) {
        q.pool->Realloc((int)q.n);
        q.pool->count = q.pool->capacity >= q.n ? (int)q.n : 0;
    }
    for (int i = 0; i < obj->groups.count; i++) {
        MObjGroup* g = (MObjGroup*)obj->groups.items[i];
        g->triangleList.Realloc(counts[i]);
        g->triangleList.count = g->triangleList.capacity >= counts[i] ? counts[i] : 0;
        g->cursor = 0;
    }
}

// The filling pass.
static void localLoadModel(FXObjModel* obj, ObjScanner* in) {
    int material = 0, nPos = 0, nNorm = 0, nTex = 0, nTri = 0;
    MObjGroup* group = (MObjGroup*)obj->groups.First();
    std::string tok;
    std::vector<Corner> corners;
    auto addRecord = [&](bool line, const Corner* a, const Corner* b, const Corner* c) {
        MObjTriangle* t = (MObjTriangle*)obj->triangles.GetItemPtr(nTri);
        if (!t || !group || group->cursor >= group->triangleList.count) return;
        const Corner* cs[3] = {a, b, c};
        t->isLine = line;
        for (int k = 0; k < 3; k++) {
            t->pos[k] = cs[k] ? Resolve(cs[k]->pos, nPos) : -1;
            t->tex[k] = cs[k] ? Resolve(cs[k]->tex, nTex) : -1;
            t->normal[k] = cs[k] ? Resolve(cs[k]->normal, nNorm) : -1;
        }
        t->material = material;
        *(int32_t*)group->triangleList.GetItemPtr(group->cursor++) = nTri++;
    };
    while (in->Token(&tok)) {
        char c0 = tok[0];
        if (c0 == 'v') {
            float v[3] = {0, 0, 0};
            FXMemory* pool = tok == "v" ? &obj->positions : tok == "vn" ? &obj->normals : tok == "vt" ? &obj->texCoords : nullptr;
            if (!pool) continue;
            int* n = pool == &obj->positions ? &nPos : pool == &obj->normals ? &nNorm : &nTex;
            int want = pool == &obj->texCoords ? 2 : 3;
            for (int k = 0; k < want && in->Float(&v[k]); k++) {
            }
            float* dst = (float*)pool->GetItemPtr(*n);
            if (!dst) continue;
            if (want == 3) {
                dst[0] = v[0], dst[1] = v[1], dst[2] = -v[2];
            } else {
                dst[0] = v[0], dst[1] = v[1];
            }
            (*n)++;
        } else if (c0 == 'm' || c0 == 'u') {
            if (!KnownKeyword(tok)) continue;
            std::string word = FirstWord(in->RestOfLine());
            if (c0 == 'u') {
                material = localMaterialID(obj, word.c_str());
            } else {
                free(obj->mtllibName);
                obj->mtllibName = word.empty() ? nullptr : strdup(word.c_str());
            }
        } else if (c0 == 'f') {
            ReadCorners(in, true, &corners);
            for (size_t k = 2; k < corners.size(); k++)
                addRecord(false, &corners[0], &corners[k - 1], &corners[k]);
        } else if (c0 == 'l') {
            ReadCorners(in, false, &corners);
            for (size_t k = 1; k < corners.size(); k++)
                addRecord(true, &corners[k - 1], &corners[k], nullptr);
        } else if (c0 == 'g') {
            std::string name = GroupName(in);
            group = localFindGroup(obj, name.c_str());
        } else if (c0 == '#') {
            in->SkipLine();
        }
    }
}

FXObjModel::FXObjModel()
    : path(nullptr), mtllibName(nullptr), matlib(nullptr), positions(12), normals(12), texCoords(8),
      triangles(sizeof(MObjTriangle)) {}

FXObjModel::~FXObjModel() {
    free(path);
    free(mtllibName);
    if (matlib) matlib->Release();
    for (int i = 0; i < groups.count; i++)
        delete (MObjGroup*)groups.items[i];
}

bool FXObjModel::Load(const char* file) {
    FILE* f = file ? fopen(file, "rt") : nullptr;
    if (!f) {
        err("FXObjModel::Load -> cannot open %s\n", file ? file : "");
        return false;
    }
    free(path);
    path = strdup(file);
    // The text is read in place: a block the file's size, then more while it grows (a stream
    // that cannot tell its size, or a text mode that changes it). A NUL ends it.
    std::unique_ptr<char, decltype(&free)> text(nullptr, &free);
    long long size = fxFileBytesLeft(f);
    size_t used = 0, capacity = size > 0 && (unsigned long long)size < SIZE_MAX / 8 ? (size_t)size + 1 : 1 << 16;
    for (;;) {
        char* grown = capacity <= SIZE_MAX / 4 ? (char*)realloc(text.get(), capacity + 1) : nullptr;
        if (!grown) {
            fclose(f);
            err("FXObjModel::Load -> %s does not fit in memory\n", file);
            return false;
        }
        text.release();
        text.reset(grown);
        size_t n = fread(grown + used, 1, capacity - used, f);
        used += n;
        if (used < capacity) break;
        capacity *= 2;
    }
    fclose(f);
    text.get()[used] = 0;
    ObjScanner in(text.get(), used);
    localPrepareModel(this, &in);
    in.Rewind();
    localLoadModel(this, &in);
    if (mtllibName && fxglobalEnv) matlib = fxglobalEnv->LoadMatlib(mtllibName);
    meshes.RemoveAll();
    for (int i = 0; i < materials.count; i++)
        meshes.Push(nullptr);
    return true;
}
