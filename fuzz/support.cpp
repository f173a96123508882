#include "support.h"

#include "assets/canvas.h"
#include "assets/model.h"
#include "assets/package.h"
#include "geometry/mesh.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mhfuzz {

namespace {

std::string localScratch;

int localRemove(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

void localRemoveScratch() {
    nftw(localScratch.c_str(), localRemove, 16, FTW_DEPTH | FTW_PHYS);
}

// A private directory per process, removed at exit: fixed names under a shared directory
// collide with what an earlier run left behind when process ids repeat (fresh machines).
const std::string& localScratchDir() {
    if (localScratch.empty()) {
        const char* tmp = getenv("TMPDIR");
        std::string base = (tmp && *tmp) ? tmp : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        std::string pattern = base + "/mhfuzz-XXXXXX";
        Expect(mkdtemp(&pattern[0]) != nullptr, "cannot make a scratch directory");
        localScratch = pattern;
        atexit(localRemoveScratch);
    }
    return localScratch;
}

} // namespace

std::string ScratchFile(const uint8_t* data, size_t size, const char* suffix) {
    std::string path = localScratchDir() + "/input" + suffix;
    FILE* f = fopen(path.c_str(), "wb");
    Expect(f != nullptr, "cannot write a scratch file"); // a run without one would test nothing
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    return path;
}

std::string ScratchDir(const char* name) {
    std::string path = localScratchDir() + "/" + name;
    Expect(mkdir(path.c_str(), 0700) == 0 || errno == EEXIST, "cannot make a scratch directory");
    return path;
}

void OneItemPackage(FXPackage* pkg, const uint8_t* data, size_t size, int type) {
    pkg->Destroy();
    pkg->dataBlock = static_cast<unsigned char*>(malloc(size ? size : 1));
    if (size) memcpy(pkg->dataBlock, data, size);
    pkg->dataSize = static_cast<int>(size);
    pkg->itemIds.PushInt(1);
    pkg->itemOffsets.PushInt(0);
    pkg->itemSizes.PushInt(static_cast<int>(size));
    pkg->itemTypes.PushInt(type);
    pkg->RecompClasses();
}

void Expect(bool ok, const char* what) {
    if (ok) return;
    fprintf(stderr, "fuzz: %s\n", what);
    abort();
}

std::string ReadFile(const std::string& path) {
    std::string all;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            all.append(buf, n);
        fclose(f);
    }
    return all;
}

namespace {

bool SameMesh(FXMesh* a, FXMesh* b) {
    if (a->indexCount != b->indexCount || !a->materialName.Compare(b->materialName.text)) return false;
    for (int i = 0; i < a->indexCount; i++) {
        const tagFXVertex& x = a->vertices[a->indices[i]];
        const tagFXVertex& y = b->vertices[b->indices[i]];
        if (memcmp(x.pos, y.pos, 12) || memcmp(x.normal, y.normal, 12) || memcmp(x.tex, y.tex, 8)) return false;
    }
    return true;
}

} // namespace

void CheckModel(FXModel* model, const std::string& scratch) {
    for (int i = 0; i < model->loadedMeshes.count; i++) {
        FXMesh* m = (FXMesh*)model->loadedMeshes.items[i];
        Expect(m && m->IndicesValid(), "a loaded mesh has an index outside its vertices");
    }
    model->UpdateMeshes();
    float box[6];
    model->FindMaxims(box);
    // Meshes that only size blocks for a vector map make the round trip slow, not stronger.
    if (model->GetTotalVertices() > 65536) return;
    // Through "xm02": the "xm03" writer sizes its vector map in steps of millions of floats,
    // which would make every run slow; the index stream has a target of its own.
    std::string copy = scratch + ".xm02";
    FILE* f = fopen(copy.c_str(), "wb");
    Expect(f && model->Save_v02(f), "a loaded model could not be saved");
    fclose(f);
    FXModel again;
    Expect(again.Load(copy.c_str()), "a saved model could not be read back");
    remove(copy.c_str());
    int kept = 0;
    for (int i = 0; model->EnumMeshes(i); i++) {
        FXMesh* m = model->EnumMeshes(i);
        if (m->disabled) continue;
        Expect(kept < again.loadedMeshes.count, "a saved model lost a mesh");
        Expect(SameMesh(m, (FXMesh*)again.loadedMeshes.items[kept]), "a mesh read back differs from the one saved");
        kept++;
    }
    Expect(kept == again.loadedMeshes.count, "a saved model gained a mesh");
}

bool Devil() {
    static bool loaded = fxLoadDevil();
    return loaded;
}

} // namespace mhfuzz
