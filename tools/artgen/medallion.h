#pragma once
// The logo medallion as an OBJ model with its MTL library and face picture.

#include <string>

namespace art {

// Writes medallion.obj, medallion.mtl and medallion.png into dir (about 4,200 triangles).
bool WriteMedallion(const std::string& dir);

} // namespace art
