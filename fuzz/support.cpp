#include "support.h"

#include "assets/canvas.h"
#include "assets/package.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace mhfuzz {

std::string ScratchFile(const uint8_t* data, size_t size, const char* suffix) {
    static std::string dir;
    if (dir.empty()) {
        const char* tmp = getenv("TMPDIR");
        dir = (tmp && *tmp) ? tmp : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    }
    std::string path = dir + "/mhfuzz-" + std::to_string(getpid()) + suffix;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort(); // a fuzz run without scratch space would test nothing
    if (size) fwrite(data, 1, size, f);
    fclose(f);
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

bool Devil() {
    static bool loaded = fxLoadDevil();
    return loaded;
}

} // namespace mhfuzz
