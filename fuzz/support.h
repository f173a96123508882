#pragma once
// Helpers shared by the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <string>

class FXModel;
class FXPackage;

namespace mhfuzz {

// Writes the input to this process's scratch file ending in `suffix` and returns its path
// (loaders that only take a path read it from there).
std::string ScratchFile(const uint8_t* data, size_t size, const char* suffix);

// Makes (once) and returns this process's scratch subdirectory `name`.
std::string ScratchDir(const char* name);

// Makes `pkg` hold the input as its only item, id 1, of the given type code.
void OneItemPackage(FXPackage* pkg, const uint8_t* data, size_t size, int type);

// Binds the image library once per process; false when it is not installed.
bool Devil();

// Stops the run with `what` on the error stream when `ok` is false: a property the target
// checks after the loader accepted the input did not hold.
void Expect(bool ok, const char* what);

// Checks a model a loader accepted: its meshes' indices are inside their vertices, and
// saved ("xm02", next to `scratch`) and read back it gives the same meshes.
void CheckModel(FXModel* model, const std::string& scratch);

// The bytes the file at `path` holds (empty when it cannot be read).
std::string ReadFile(const std::string& path);

} // namespace mhfuzz
