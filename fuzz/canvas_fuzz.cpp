// Pictures decoded through the canvas with the image library: package items, files and
// masks. The first byte picks the item type and the path.
#include "assets/canvas.h"
#include "assets/package.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || !mhfuzz::Devil()) return 0;
    static const int kTypes[] = {FXPCK_TYPE_PNG, FXPCK_TYPE_JPG, FXPCK_TYPE_TGA, FXPCK_TYPE_BMP, FXPCK_TYPE_GIF};
    static const char* const kSuffixes[] = {".png", ".jpg", ".tga", ".bmp", ".gif"};
    int sel = data[0];
    int kind = sel % 5;
    data++;
    size--;
    FXCanvas canvas;
    if ((sel / 5) % 3 == 0) {
        FXPackage pkg;
        mhfuzz::OneItemPackage(&pkg, data, size, kTypes[kind]);
        canvas.CreateFromPictCN(&pkg, 1);
    } else if ((sel / 5) % 3 == 1) {
        canvas.CreateFromPict(mhfuzz::ScratchFile(data, size, kSuffixes[kind]).c_str());
    } else {
        // A mask over a picture of a fixed size.
        canvas.pixmap.Realloc(64, 64);
        canvas.Clear(canvas.clearColor);
        FXPackage pkg;
        mhfuzz::OneItemPackage(&pkg, data, size, kTypes[kind]);
        canvas.LoadMaskCN(&pkg, 1);
    }
    return 0;
}
