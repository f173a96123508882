// The file system on POSIX: the current directory, file tests and changes. Paths may use
// either separator; backslashes become slashes before the system sees them.
#include "base/paths.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file-system form of a path: backslashes become slashes.
std::string localNative(const char* path) {
    std::string s(path ? path : "");
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

} // namespace

bool fxGetCurrentDir(char* out, int size) {
    if (!out || size < 1) return false;
    return getcwd(out, (size_t)size) != nullptr;
}

const char* fxGetSysFontsDir() {
    static const char* const kFontDirs[] = {"/usr/share/fonts", "/usr/local/share/fonts",
                                            "/usr/X11R6/lib/X11/fonts"};
    for (const char* d : kFontDirs) {
        struct stat st;
        if (stat(d, &st) == 0 && S_ISDIR(st.st_mode)) return d;
    }
    return "";
}

bool fxSetActPath(const char* path) {
    if (!path || !*path) return false;
    return chdir(localNative(path).c_str()) == 0;
}

bool fxPathExists(const char* path) {
    if (!path || !*path) return false;
    struct stat st;
    return stat(localNative(path).c_str(), &st) == 0;
}

bool fxIsReadableFile(const char* path) {
    if (!path || !*path) return false;
    return access(localNative(path).c_str(), R_OK) == 0;
}

bool fxIsWritableDir(const char* path) {
    if (!path || !*path) return false;
    std::string p = localNative(path);
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(p.c_str(), W_OK) == 0;
}

bool fxRemoveFile(const char* path) {
    if (!path || !*path) return false;
    return unlink(localNative(path).c_str()) == 0;
}

bool fxMakeDirs(const char* path) {
    if (!path || !*path) return false;
    std::string buf = localNative(path);
    for (size_t i = 1; i < buf.size(); i++) {
        if (buf[i] != '/') continue;
        buf[i] = 0;
        if (mkdir(buf.c_str(), 0755) != 0 && errno != EEXIST) return false;
        buf[i] = '/';
    }
    return mkdir(buf.c_str(), 0755) == 0 || errno == EEXIST;
}

bool fxGetFullPath(const char* path, char* out, int size) {
    if (!path || !*path || !out || size < 1) return false;
    char full[PATH_MAX];
    if (!realpath(localNative(path).c_str(), full)) return false;
    if (strlen(full) >= (size_t)size) return false;
    strcpy(out, full);
    return true;
}

bool fxGetProgramFile(char* out, int size) {
    if (!out || size < 2) return false;
    ssize_t n = readlink("/proc/self/exe", out, (size_t)size - 1);
    if (n <= 0 || n >= size - 1) return false;
    out[n] = 0;
    return true;
}

long long fxFileBytesLeft(FILE* f) {
    int fd = f ? fileno(f) : -1;
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    long pos = ftell(f);
    if (pos < 0) return -1;
    return (long long)st.st_size - pos;
}
