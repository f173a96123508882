// The vector map, read from a file and from a package item. Both readers must agree; what
// they accepted is then searched and grown, and written and read back unchanged.
#include <cmath>
#include <cstring>

#include "assets/data.h"
#include "assets/package.h"
#include "geometry/mesh.h"
#include "support.h"

namespace {

// The vectors (a stored float count need not be a multiple of the width; the rest is not a
// vector and is not written back).
bool SameVectors(const FXFloatArray& a, const FXFloatArray& b, int floats) {
    return floats == 0 || memcmp(a.items, b.items, (size_t)floats * 4) == 0;
}

bool SameMap(const FXVectorMap& a, const FXVectorMap& b) {
    return a.posCount == b.posCount && a.normCount == b.normCount && a.texCount == b.texCount &&
           SameVectors(a.positions, b.positions, a.posCount * 3) &&
           SameVectors(a.normals, b.normals, a.normCount * 3) &&
           SameVectors(a.texCoords, b.texCoords, a.texCount * 2);
}

bool HasNaN(const float* v, int dims) {
    for (int i = 0; i < dims; i++)
        if (std::isnan(v[i])) return true;
    return false;
}

// The first stored vector equal (==) to v, by a plain scan.
int FirstEqual(const float* values, int count, int dims, const float* v) {
    for (int k = 0; k < count; k++) {
        bool same = true;
        for (int i = 0; i < dims && same; i++)
            same = values[k * dims + i] == v[i];
        if (same) return k;
    }
    return -1;
}

// The index's answers against a plain scan, for the first stored vectors and for each of
// them pushed again (which must share the stored one rather than add a copy). New vectors
// are not pushed: the map grows in steps of millions of floats, which would make every run
// slow.
void CheckSearch(FXVectorMap* map) {
    const int kChecked = 48;
    for (int kind = 0; kind < 3; kind++) {
        int dims = kind == 2 ? 2 : 3;
        FXFloatArray* values = kind == 0 ? &map->positions : kind == 1 ? &map->normals : &map->texCoords;
        for (int k = 0; k < kChecked; k++) {
            int count = kind == 0 ? map->posCount : kind == 1 ? map->normCount : map->texCount;
            if (k >= count) break;
            tagFXVertex v;
            memset(&v, 0, sizeof v);
            float* dst = kind == 0 ? v.pos : kind == 1 ? v.normal : v.tex;
            memcpy(dst, values->items + k * dims, (size_t)dims * 4);
            if (HasNaN(dst, dims)) continue;
            int want = FirstEqual(values->items, count, dims, dst);
            int found = kind == 0 ? map->FindVecPos(0, 0, &v, nullptr)
                        : kind == 1 ? map->FindVecNorm(0, 0, &v, nullptr)
                                    : map->FindVecTex(0, 0, &v, nullptr);
            mhfuzz::Expect(found == want, "the search did not find the first equal stored vector");
            int pushed = kind == 0 ? map->PushVecPos(&v, nullptr, 0, 0)
                         : kind == 1 ? map->PushVecNorm(&v, nullptr, 0, 0)
                                     : map->PushVecTex(&v, nullptr, 0, 0);
            mhfuzz::Expect(pushed == want, "pushing a stored vector did not share it");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = mhfuzz::ScratchFile(data, size, ".vmap");
    FXVectorMap fromFile;
    bool fileOk = false;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        fileOk = fromFile.Load(f);
        fclose(f);
    }
    FXPackage pkg;
    mhfuzz::OneItemPackage(&pkg, data, size, FXPCK_TYPE_RAW);
    FXVectorMap fromItem;
    bool itemOk = fromItem.LoadC(&pkg, pkg.GetDataPtr(1));
    mhfuzz::Expect(fileOk == itemOk, "the file and item readers disagree on the input");
    if (!fileOk) return 0;
    mhfuzz::Expect(SameMap(fromFile, fromItem), "the file and item readers read different maps");

    // Written and read back, the map is the same.
    std::string copy = path + ".copy";
    FILE* f = fopen(copy.c_str(), "wb");
    mhfuzz::Expect(f && fromFile.Save(f), "a loaded map could not be written");
    fclose(f);
    FXVectorMap again;
    f = fopen(copy.c_str(), "rb");
    mhfuzz::Expect(again.Load(f), "a written map could not be read back");
    fclose(f);
    remove(copy.c_str());
    mhfuzz::Expect(SameMap(fromFile, again), "a map read back differs from the one written");

    CheckSearch(&fromItem);
    return 0;
}
