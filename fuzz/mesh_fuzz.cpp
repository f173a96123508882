// Mesh payloads, full and header forms, from a file and from a package item. The first
// byte picks the form.
#include "assets/matlib.h"
#include "assets/package.h"
#include "geometry/mesh.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int form = data[0] % 4;
    data++;
    size--;
    FXMatlib lib;
    FXMesh mesh;
    bool ok;
    if (form < 2) {
        std::string path = mhfuzz::ScratchFile(data, size, ".msh");
        FILE* f = fopen(path.c_str(), "rb");
        if (!f) return 0;
        ok = form == 0 ? mesh.LoadMesh(f, &lib) : mesh.LoadMeshI(f, &lib);
        fclose(f);
    } else {
        FXPackage pkg;
        mhfuzz::OneItemPackage(&pkg, data, size, FXPCK_TYPE_RAW);
        FXPackageData* d = pkg.GetDataPtr(1);
        ok = form == 2 ? mesh.LoadMeshC(&pkg, d, &lib) : mesh.LoadMeshIC(&pkg, d, &lib);
    }
    // What a loader accepted must be safe to use.
    if (ok && form % 2 == 0 && !mesh.IndicesValid()) __builtin_trap();
    // Header forms may size blocks of hundreds of megabytes; copying those only costs time.
    if (ok && mesh.vertexCount < 65536 && mesh.indexCount < 3 * 65536) {
        FXMesh copy;
        copy.Copy(&mesh);
    }
    return 0;
}
