// One material record, from a file and from a package item, and the binary material
// library. The first byte picks the form.
#include "assets/material.h"
#include "assets/matlib.h"
#include "assets/package.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int form = data[0] % 3;
    data++;
    size--;
    if (form == 0) {
        std::string path = mhfuzz::ScratchFile(data, size, ".mat");
        if (FILE* f = fopen(path.c_str(), "rb")) {
            FXMaterial m;
            m.Load(f);
            fclose(f);
        }
    } else if (form == 1) {
        FXPackage pkg;
        mhfuzz::OneItemPackage(&pkg, data, size, FXPCK_TYPE_RAW);
        FXMaterial m;
        m.LoadC(&pkg, pkg.GetDataPtr(1));
    } else {
        std::string path = mhfuzz::ScratchFile(data, size, ".mlb");
        FXMatlib lib;
        if (lib.Load(path.c_str())) lib.FindMaterial("fuzz");
        FXPackage pkg;
        mhfuzz::OneItemPackage(&pkg, data, size, FXPCK_TYPE_RAW);
        FXMatlib fromItem;
        fromItem.LoadC(&pkg, "1");
    }
    return 0;
}
