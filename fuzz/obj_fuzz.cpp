// Wavefront OBJ text with its material library, imported as the model tool does: from the
// model's own directory, the library found through the render environment. The input is
// the OBJ text, and after its first zero byte the text of "m.mtl" (which the OBJ may name).
// The imported model must hold only valid meshes and survive saving and reading back.
#include <cstring>
#include <string>
#include <unistd.h>

#include "assets/model.h"
#include "support.h"
#include "support/testenv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* split = static_cast<const uint8_t*>(memchr(data, 0, size));
    size_t objSize = split ? (size_t)(split - data) : size;
    static std::string dir;
    if (dir.empty()) dir = mhfuzz::ScratchDir("obj");
    std::string obj = dir + "/m.obj", mtl = dir + "/m.mtl";
    FILE* f = fopen(obj.c_str(), "wb");
    mhfuzz::Expect(f != nullptr, "no scratch directory");
    fwrite(data, 1, objSize, f);
    fclose(f);
    f = fopen(mtl.c_str(), "wb");
    mhfuzz::Expect(f != nullptr, "no scratch directory");
    if (split) fwrite(split + 1, 1, size - objSize - 1, f);
    fclose(f);

    char previous[4096];
    mhfuzz::Expect(getcwd(previous, sizeof previous) && chdir(dir.c_str()) == 0, "cannot enter the scratch directory");
    {
        mhtest::ScopedTestEnv env;
        FXModel model;
        if (model.ImportObj("m.obj")) mhfuzz::CheckModel(&model, dir + "/copy");
    }
    mhfuzz::Expect(chdir(previous) == 0, "cannot leave the scratch directory");
    return 0;
}
