// The package file (plain or transposed) and every item read through the cursor helpers.
#include "assets/package.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = mhfuzz::ScratchFile(data, size, ".dat");
    FXPackage pkg;
    pkg.Load(path.c_str());
    for (int i = 0; i < pkg.itemIds.count; i++) {
        int id = pkg.itemIds.GetInt(i);
        pkg.GetDataType(id);
        FXPackageData* d = pkg.GetDataPtr(id);
        if (!d) continue;
        // The item's first byte picks where the reads start in the cycle, so every helper
        // meets every position of the item.
        int op = d->left > 0 ? d->begin[0] : 0;
        for (int steps = 0; d->left > 0 && steps < 4096; steps++, op++) {
            FXStr s;
            FXStrArray sa;
            FXArray a;
            FXFloatArray fa;
            float f4[4];
            unsigned char blc[16];
            switch (op % 11) {
            case 0: d->ReadInt(); break;
            case 1: d->ReadFloat(); break;
            case 2: d->ReadDouble(); break;
            case 3: d->ReadBool(); break;
            case 4: d->ReadFloat4(f4); break;
            case 5: d->ReadString(&s); break;
            case 6: d->ReadStringArray(&sa); break;
            case 7: d->ReadArray(&a); break;
            case 8: d->ReadFloatArray(&fa); break;
            case 9: d->ReadBlc(d->left > 3 ? 3 : d->left); break;
            default: d->ReadCopyBlc(blc, d->left > 16 ? 16 : 1); break;
            }
        }
    }
    return 0;
}
