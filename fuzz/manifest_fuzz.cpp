// The manifest mhpack builds packages from, and the id header made from it.
#include "mhpack.h"
#include "support.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<mhpack::ManifestEntry> entries;
    std::string error;
    if (mhpack::ParseManifestText(text, "/fuzz/art", &entries, &error)) {
        std::string header;
        mhpack::MakeNamesHeader(entries, mhfuzz::ScratchFile(nullptr, 0, ".h"), &header, &error);
    }
    return 0;
}
