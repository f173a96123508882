// Model files ("xm02" and "xm03") from a file and from a package item. The first byte picks
// the form: 0 a file; 1 a package whose item 1 is the model and item 2, made of the input's
// first bytes (their count in the second and third byte), a material library the model may
// name. What loads must hold only valid meshes, and saved and read back it must
// give the same meshes.
#include <cstdlib>
#include <cstring>

#include "assets/model.h"
#include "assets/package.h"
#include "support.h"
#include "support/testenv.h"

namespace {

void TwoItemPackage(FXPackage* pkg, const uint8_t* model, size_t modelSize, const uint8_t* lib, size_t libSize) {
    pkg->Destroy();
    pkg->dataBlock = static_cast<unsigned char*>(malloc(modelSize + libSize + 1));
    if (modelSize) memcpy(pkg->dataBlock, model, modelSize);
    if (libSize) memcpy(pkg->dataBlock + modelSize, lib, libSize);
    pkg->dataSize = static_cast<int>(modelSize + libSize);
    int ids[2] = {1, 2}, offsets[2] = {0, (int)modelSize}, sizes[2] = {(int)modelSize, (int)libSize};
    for (int i = 0; i < 2; i++) {
        pkg->itemIds.PushInt(ids[i]);
        pkg->itemOffsets.PushInt(offsets[i]);
        pkg->itemSizes.PushInt(sizes[i]);
        pkg->itemTypes.PushInt(FXPCK_TYPE_RAW);
    }
    pkg->RecompClasses();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int form = data[0] % 2;
    data++;
    size--;
    if (form == 0) {
        std::string path = mhfuzz::ScratchFile(data, size, ".xm");
        FXModel model;
        if (model.Load(path.c_str())) mhfuzz::CheckModel(&model, path);
        return 0;
    }
    if (size < 2) return 0;
    size_t libSize = data[0] | data[1] << 8;
    data += 2;
    size -= 2;
    if (libSize > size) libSize = size;
    // The library is looked up through the render environment, as the saver does.
    mhtest::ScopedTestEnv env;
    FXPackage pkg;
    TwoItemPackage(&pkg, data + libSize, size - libSize, data, libSize);
    FXModel model;
    if (model.LoadCN(&pkg, 1)) mhfuzz::CheckModel(&model, mhfuzz::ScratchFile(nullptr, 0, ".item"));
    return 0;
}
