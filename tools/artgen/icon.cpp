#include "icon.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace art {

namespace {

void Put16(std::string& out, unsigned v) {
    out += char(v & 0xff);
    out += char((v >> 8) & 0xff);
}

void Put32(std::string& out, unsigned v) {
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

uint8_t Byte(float v) {
    return (uint8_t)(Clamp01(v) * 255.0f + 0.5f);
}

// One image as an icon stores it: a bitmap header of twice the height (colour rows, then the
// mask), blue-green-red-alpha rows from the bottom up, and an all-clear 1-bit mask.
std::string IconImage(const Image& img) {
    std::string out;
    int maskRow = ((img.width + 31) / 32) * 4;
    Put32(out, 40);
    Put32(out, img.width);
    Put32(out, img.height * 2);
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);
    Put32(out, img.width * img.height * 4 + maskRow * img.height);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = img.height - 1; y >= 0; y--)
        for (int x = 0; x < img.width; x++) {
            const float* p = img.At(x, y);
            out += char(Byte(p[2]));
            out += char(Byte(p[1]));
            out += char(Byte(p[0]));
            out += char(Byte(p[3]));
        }
    out.append((size_t)maskRow * img.height, '\0');
    return out;
}

} // namespace

bool WriteIco(const std::vector<Image>& sizes, const char* path) {
    std::string head, body;
    Put16(head, 0);
    Put16(head, 1); // an icon, not a cursor
    Put16(head, (unsigned)sizes.size());
    size_t offset = 6 + 16 * sizes.size();
    for (const Image& img : sizes) {
        if (img.width < 1 || img.width > 256 || img.height != img.width) return false;
        std::string data = IconImage(img);
        head += char(img.width & 0xff); // 256 is written as 0
        head += char(img.height & 0xff);
        head += char(0); // no palette
        head += char(0);
        Put16(head, 1);
        Put16(head, 32);
        Put32(head, (unsigned)data.size());
        Put32(head, (unsigned)(offset + body.size()));
        body += data;
    }
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    bool ok = fwrite(head.data(), 1, head.size(), f) == head.size() &&
              fwrite(body.data(), 1, body.size(), f) == body.size();
    return fclose(f) == 0 && ok;
}

} // namespace art
