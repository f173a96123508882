// The names file the package tools keep next to a package.
#include "assets/package.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = mhfuzz::ScratchFile(data, size, ".names");
    FXPackage pkg;
    if (pkg.LoadNames(path.c_str())) {
        pkg.names.FindId("tree.png");
        pkg.names.BuildId("fuzz-new-name.png");
        std::string out = mhfuzz::ScratchFile(nullptr, 0, ".h");
        pkg.SaveNamesCpp(out.c_str());
    }
    return 0;
}
