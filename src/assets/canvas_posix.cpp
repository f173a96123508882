// Linux has no picture codec of its own: the image library is the only decoder.
#include "assets/canvas.h"

bool fxSystemImageCodec() {
    return false;
}

bool fxSystemDecodeImage(const void*, int, const char*, int*, int*, std::vector<unsigned char>*) {
    return false;
}
