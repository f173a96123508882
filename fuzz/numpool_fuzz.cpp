// The number pool (the index stream's container), read from a file and from a package
// item. Both readers must agree; reading it back in mixed widths must give its bytes in
// order and stop exactly at its end; written and read back it is unchanged.
#include <cstring>
#include <string>

#include "assets/data.h"
#include "assets/package.h"
#include "support.h"

namespace {

bool Same(const FXNumPool& a, const FXNumPool& b) {
    return a.used == b.used && (a.used == 0 || memcmp(a.data, b.data, (size_t)a.used) == 0);
}

// Reads the pool through in widths 1, 2, 4, 1, 2, 4, ... and then byte by byte.
void ReadThrough(FXNumPool* pool) {
    std::string raw = pool->used > 0 ? std::string(reinterpret_cast<const char*>(pool->data), (size_t)pool->used) : std::string();
    pool->Reseek();
    size_t at = 0;
    for (int step = 0;; step++) {
        int width = 1 << (step % 3);
        unsigned char got[4];
        bool ok = width == 1   ? pool->GetNextByte(got)
                  : width == 2 ? pool->GetNextWord(reinterpret_cast<unsigned short*>(got))
                               : pool->GetNextInt(reinterpret_cast<int*>(got));
        if (!ok) {
            mhfuzz::Expect(at + width > raw.size(), "a read failed with enough bytes left");
            if (width == 1) break;
            continue;
        }
        mhfuzz::Expect(at + width <= raw.size(), "a read went past the end of the pool");
        mhfuzz::Expect(memcmp(got, raw.data() + at, (size_t)width) == 0, "a read gave other bytes than stored");
        at += width;
    }
    mhfuzz::Expect(at == raw.size(), "reading did not reach the end of the pool");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = mhfuzz::ScratchFile(data, size, ".pool");
    FXNumPool fromFile;
    bool fileOk = false;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        fileOk = fromFile.Load(f);
        fclose(f);
    }
    FXPackage pkg;
    mhfuzz::OneItemPackage(&pkg, data, size, FXPCK_TYPE_RAW);
    FXNumPool fromItem;
    bool itemOk = fromItem.LoadC(&pkg, pkg.GetDataPtr(1));
    mhfuzz::Expect(fileOk == itemOk, "the file and item readers disagree on the input");
    if (!fileOk) return 0;
    mhfuzz::Expect(Same(fromFile, fromItem), "the file and item readers read different pools");

    std::string copy = path + ".copy";
    FILE* f = fopen(copy.c_str(), "wb");
    mhfuzz::Expect(f && fromFile.Save(f), "a loaded pool could not be written");
    fclose(f);
    FXNumPool again;
    f = fopen(copy.c_str(), "rb");
    mhfuzz::Expect(again.Load(f), "a written pool could not be read back");
    fclose(f);
    remove(copy.c_str());
    mhfuzz::Expect(Same(fromFile, again), "a pool read back differs from the one written");

    ReadThrough(&fromItem);
    // Numbers added after loading are read after the loaded ones.
    int used = fromItem.used;
    fromItem.PushByte(7);
    fromItem.PushWord(0x1234);
    fromItem.PushInt(-5);
    mhfuzz::Expect(fromItem.used == used + 7, "numbers added after loading were not all kept");
    ReadThrough(&fromItem);
    return 0;
}
