#pragma once
// Vector-drawn pictures of the woodland (Cairo), and the PNG writer.

#include <cstdint>

#include "artlib.h"

namespace art {

// Where the pictures sit on the 1024 x 768 reference canvas of the background.
struct Layout {
    static const int kWidth = 1024;
    static const int kHeight = 768;
    static const int kHorizon = 440; // lake shore on the background
    static constexpr float kMoonX = 440, kMoonY = 112, kMoonR = 30;
};

bool WritePng(const Image& img, const char* path, bool opaque);

Image PaintBackground(uint64_t seed);
Image PaintFarTrees(uint64_t seed);
Image PaintLeftTrees(uint64_t seed);
Image PaintRightTree(uint64_t seed);
Image PaintNeedles(uint64_t seed);
Image PaintRock(uint64_t seed);
Image PaintFern(uint64_t seed);
Image PaintLakeGrass(uint64_t seed);
Image PaintCubeSkin(int size);
Image PaintEnvironment(int size, uint64_t seed);

} // namespace art
