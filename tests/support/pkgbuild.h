#pragma once
// Builds package files inside tests, through the package's own writer.

#include <string>
#include <utility>
#include <vector>

namespace mhtest {

using Bytes = std::vector<unsigned char>;

// An item with the file extension it is stored under ("png", "jpg", ... give image
// items; "" or "bin" a raw data item).
struct PackageItem {
    int id;
    std::string ext;
    Bytes bytes;
};

// The scratch directory of this test (created on first use).
std::string TestTmpDir();
// TestTmpDir() + "/" + name.
std::string TestTmpPath(const std::string& name);

// Writes a package of raw items; flags 1 selects the transposed layout.
bool WritePackage(const std::string& path, const std::vector<std::pair<int, Bytes>>& items, int flags = 0);
// Writes a package of items with their extensions (so image items get their type).
bool WritePackageItems(const std::string& path, const std::vector<PackageItem>& items, int flags = 0);
// Writes a package of existing files: (id, file path) pairs; the type comes from the
// file's extension.
bool WritePackageFiles(const std::string& path, const std::vector<std::pair<int, std::string>>& files,
                       int flags = 0);

bool WriteFileBytes(const std::string& path, const Bytes& bytes);
Bytes ReadFileBytes(const std::string& path);

// Little-endian builders for hand-made item payloads.
void PutInt(Bytes* b, int v);
void PutFloat(Bytes* b, float v);
void PutDouble(Bytes* b, double v);
void PutString(Bytes* b, const std::string& s);

// The transposed layout of a payload, written out by its definition: the largest
// square block of the bytes is swapped as an n-by-n matrix, the rest kept.
Bytes Transposed(const Bytes& plain);

} // namespace mhtest
