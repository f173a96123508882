#include "support/pkgbuild.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "assets/package.h"

namespace mhtest {

static void localMakeDirs(const std::string& dir) {
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
}

std::string TestTmpDir() {
    const char* env = getenv("MH_TEST_TMP");
    std::string dir = env && *env ? env : std::string(MH_BINARY_DIR) + "/testtmp/unnamed";
    localMakeDirs(dir);
    return dir;
}

std::string TestTmpPath(const std::string& name) {
    return TestTmpDir() + "/" + name;
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

Bytes ReadFileBytes(const std::string& path) {
    Bytes out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    unsigned char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

bool WritePackageFiles(const std::string& path, const std::vector<std::pair<int, std::string>>& files,
                       int flags) {
    FXPackage pck;
    for (const auto& f : files)
        pck.AddDataFile(f.first, f.second.c_str());
    return pck.Save(path.c_str(), flags) && pck.itemIds.count == (int)files.size();
}

bool WritePackageItems(const std::string& path, const std::vector<PackageItem>& items, int flags) {
    std::vector<std::pair<int, std::string>> files;
    bool ok = true;
    for (size_t k = 0; k < items.size(); k++) {
        std::string ext = items[k].ext.empty() ? "bin" : items[k].ext;
        std::string file = path + ".item" + std::to_string(k) + "." + ext;
        ok = WriteFileBytes(file, items[k].bytes) && ok;
        files.push_back({items[k].id, file});
    }
    ok = ok && WritePackageFiles(path, files, flags);
    for (const auto& f : files)
        remove(f.second.c_str());
    return ok;
}

bool WritePackage(const std::string& path, const std::vector<std::pair<int, Bytes>>& items, int flags) {
    std::vector<PackageItem> list;
    for (const auto& it : items)
        list.push_back({it.first, "bin", it.second});
    return WritePackageItems(path, list, flags);
}

void PutInt(Bytes* b, int v) {
    unsigned char c[4];
    memcpy(c, &v, 4);
    b->insert(b->end(), c, c + 4);
}

void PutFloat(Bytes* b, float v) {
    unsigned char c[4];
    memcpy(c, &v, 4);
    b->insert(b->end(), c, c + 4);
}

void PutDouble(Bytes* b, double v) {
    unsigned char c[8];
    memcpy(c, &v, 8);
    b->insert(b->end(), c, c + 8);
}

void PutString(Bytes* b, const std::string& s) {
    PutInt(b, (int)s.size());
    b->insert(b->end(), s.begin(), s.end());
}

Bytes Transposed(const Bytes& plain) {
    size_t n = 0;
    while ((n + 1) * (n + 1) <= plain.size())
        n++;
    Bytes out(plain);
    for (size_t a = 0; a < n; a++)
        for (size_t b = 0; b < n; b++)
            out[b * n + a] = plain[a * n + b];
    return out;
}

} // namespace mhtest
