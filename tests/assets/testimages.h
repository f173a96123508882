#pragma once
// Small pictures in the file formats the image library reads, made byte by byte so that
// the tests know exactly which pixel is where.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace mhtest {

// An RGBA picture, top row first.
struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
    Picture(int width, int height) : w(width), h(height), rgba((size_t)width * height * 4, 0) {}
    uint8_t* At(int x, int y) { return &rgba[((size_t)y * w + x) * 4]; }
    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        uint8_t* p = At(x, y);
        p[0] = r;
        p[1] = g;
        p[2] = b;
        p[3] = a;
    }
    // Pixel as the canvas stores it: bytes red, green, blue, alpha.
    uint32_t Packed(int x, int y) {
        uint8_t* p = At(x, y);
        return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
    }
};

// A picture with a different colour at every position.
inline Picture Gradient(int w, int h, bool withAlpha) {
    Picture p(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p.Set(x, y, (uint8_t)(x * 7 + y), (uint8_t)(y * 5), (uint8_t)(x ^ y),
                  withAlpha ? (uint8_t)(x + y * 3) : 255);
    return p;
}

inline void Put32BE(std::vector<uint8_t>* b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b->push_back((uint8_t)(v >> s));
}
inline void Put16LE(std::vector<uint8_t>* b, uint32_t v) {
    b->push_back((uint8_t)v);
    b->push_back((uint8_t)(v >> 8));
}
inline void Put32LE(std::vector<uint8_t>* b, uint32_t v) {
    Put16LE(b, v & 0xFFFF);
    Put16LE(b, v >> 16);
}

inline uint32_t Crc32(const uint8_t* d, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; i++) {
        c ^= d[i];
        for (int k = 0; k < 8; k++)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return c ^ 0xFFFFFFFFu;
}

inline void PngChunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& data) {
    Put32BE(out, (uint32_t)data.size());
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out->insert(out->end(), body.begin(), body.end());
    Put32BE(out, Crc32(body.data(), body.size()));
}

// PNG, 8-bit RGBA, with uncompressed deflate blocks.
inline std::vector<uint8_t> EncodePng(Picture& p) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < p.h; y++) {
        raw.push_back(0);
        raw.insert(raw.end(), p.At(0, y), p.At(0, y) + (size_t)p.w * 4);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t pos = 0;
    do {
        size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        z.push_back(pos + n == raw.size() ? 1 : 0);
        Put16LE(&z, (uint32_t)n);
        Put16LE(&z, (uint32_t)(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    Put32BE(&z, (b << 16) | a);
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    Put32BE(&ihdr, (uint32_t)p.w);
    Put32BE(&ihdr, (uint32_t)p.h);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    PngChunk(&out, "IHDR", ihdr);
    PngChunk(&out, "IDAT", z);
    PngChunk(&out, "IEND", {});
    return out;
}

// BMP, 24 bits, rows stored bottom first (the format's usual order).
inline std::vector<uint8_t> EncodeBmp(Picture& p) {
    int rowBytes = (p.w * 3 + 3) & ~3;
    std::vector<uint8_t> out = {'B', 'M'};
    Put32LE(&out, 54 + rowBytes * p.h);
    Put32LE(&out, 0);
    Put32LE(&out, 54);
    Put32LE(&out, 40);
    Put32LE(&out, (uint32_t)p.w);
    Put32LE(&out, (uint32_t)p.h);
    Put16LE(&out, 1);
    Put16LE(&out, 24);
    for (int i = 0; i < 6; i++)
        Put32LE(&out, 0);
    for (int y = p.h - 1; y >= 0; y--) {
        for (int x = 0; x < p.w; x++) {
            uint8_t* c = p.At(x, y);
            out.push_back(c[2]);
            out.push_back(c[1]);
            out.push_back(c[0]);
        }
        for (int k = p.w * 3; k < rowBytes; k++)
            out.push_back(0);
    }
    return out;
}

// TGA, 32 bits uncompressed, lower-left origin.
inline std::vector<uint8_t> EncodeTga(Picture& p) {
    std::vector<uint8_t> out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16LE(&out, (uint32_t)p.w);
    Put16LE(&out, (uint32_t)p.h);
    out.push_back(32);
    out.push_back(8);
    for (int y = p.h - 1; y >= 0; y--) {
        for (int x = 0; x < p.w; x++) {
            uint8_t* c = p.At(x, y);
            out.insert(out.end(), {c[2], c[1], c[0], c[3]});
        }
    }
    return out;
}

// GIF, 4 x 2: the top row red, the bottom row blue.
inline std::vector<uint8_t> TopRedGif() {
    return {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x04, 0x00, 0x02, 0x00, 0xf0, 0x00, 0x00, 0xff, 0x00,
            0x00, 0x00, 0x00, 0xff, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
            0x00, 0x00, 0x04, 0x00, 0x02, 0x00, 0x00, 0x02, 0x04, 0x84, 0x11, 0x19, 0x05, 0x00, 0x3b};
}

// JPEG, 16 x 16: the top half red, the bottom half blue.
inline std::vector<uint8_t> TopRedJpeg() {
    return {0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
            0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02,
            0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04,
            0x04, 0x03, 0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x06,
            0x07, 0x09, 0x07, 0x06, 0x06, 0x08, 0x0b, 0x08, 0x09, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x06, 0x08,
            0x0b, 0x0c, 0x0b, 0x0a, 0x0c, 0x09, 0x0a, 0x0a, 0x0a, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x02, 0x02,
            0x02, 0x02, 0x02, 0x02, 0x05, 0x03, 0x03, 0x05, 0x0a, 0x07, 0x06, 0x07, 0x0a, 0x0a, 0x0a, 0x0a,
            0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
            0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
            0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0xff, 0xc0,
            0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
            0x01, 0xff, 0xc4, 0x00, 0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4,
            0x00, 0x17, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x0a, 0x08, 0x09, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00,
            0x0c, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0x8b, 0xd9, 0x4d, 0xdf, 0xc0,
            0x12, 0x1a, 0xaa, 0x13, 0x5e, 0x03, 0xff, 0xd9};
}

} // namespace mhtest
