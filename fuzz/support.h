#pragma once
// Helpers shared by the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <string>

class FXPackage;

namespace mhfuzz {

// Writes the input to this process's scratch file ending in `suffix` and returns its path
// (loaders that only take a path read it from there).
std::string ScratchFile(const uint8_t* data, size_t size, const char* suffix);

// Makes `pkg` hold the input as its only item, id 1, of the given type code.
void OneItemPackage(FXPackage* pkg, const uint8_t* data, size_t size, int type);

// Binds the image library once per process; false when it is not installed.
bool Devil();

} // namespace mhfuzz
