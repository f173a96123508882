// MTL text as the OBJ importer and the authoring tools read it.
#include "assets/matlib.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = mhfuzz::ScratchFile(data, size, ".mtl");
    FXMatlib lib;
    lib.LoadFromMtl(path.c_str());
    for (int i = 0; i < lib.GetCount(); i++)
        lib.FindMaterial("fuzz");
    return 0;
}
