// Linux has no picture codec of its own: the image library is the only decoder and encoder.
#include "assets/canvas.h"

bool fxSystemImageCodec() {
    return false;
}

bool fxSystemDecodeImage(const void*, int, const char*, int*, int*, std::vector<unsigned char>*) {
    return false;
}

bool fxSystemEncodePng(const char*, int, int, int, const unsigned char*) {
    return false;
}
