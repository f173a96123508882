#pragma once
// The Windows icon file: several sizes of one picture, 32 bits per pixel with alpha.

#include <vector>

#include "artlib.h"

namespace art {

// Writes the square pictures (at most 256 pixels a side) as one icon file.
bool WriteIco(const std::vector<Image>& sizes, const char* path);

} // namespace art
