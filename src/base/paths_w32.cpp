// The file system on Windows: the current directory, file tests and changes, with the
// narrow (ANSI) calls. Paths may use either separator.
#include "base/paths.h"

#include <windows.h>

#include <io.h>
#include <shlobj.h>

#include <cstring>
#include <string>

namespace {

bool localIsDir(const char* path) {
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool fxGetCurrentDir(char* out, int size) {
    if (!out || size < 1) return false;
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), out);
    return n > 0 && n < static_cast<DWORD>(size);
}

const char* fxGetSysFontsDir() {
    static char fonts[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_FONTS, nullptr, SHGFP_TYPE_CURRENT, fonts))) fonts[0] = 0;
    return fonts;
}

bool fxSetActPath(const char* path) {
    if (!path || !*path) return false;
    return SetCurrentDirectoryA(path) != 0;
}

bool fxPathExists(const char* path) {
    if (!path || !*path) return false;
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool fxIsReadableFile(const char* path) {
    if (!path || !*path || localIsDir(path)) return false;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

bool fxIsWritableDir(const char* path) {
    if (!path || !*path || !localIsDir(path)) return false;
    // Read-only attributes say nothing about a folder's rights: try to create a file in it.
    char probe[MAX_PATH];
    if (!GetTempFileNameA(path, "mh", 0, probe)) return false;
    DeleteFileA(probe);
    return true;
}

bool fxRemoveFile(const char* path) {
    if (!path || !*path) return false;
    return DeleteFileA(path) != 0;
}

bool fxMakeDirs(const char* path) {
    if (!path || !*path) return false;
    std::string buf = path;
    for (size_t i = 1; i < buf.size(); i++) {
        if (buf[i] != '/' && buf[i] != '\\') continue;
        // "C:" and "\\server" are not directories to create.
        if (buf[i - 1] == ':' || buf[i - 1] == '\\' || buf[i - 1] == '/') continue;
        std::string part = buf.substr(0, i);
        if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return CreateDirectoryA(buf.c_str(), nullptr) || localIsDir(buf.c_str());
}

bool fxGetFullPath(const char* path, char* out, int size) {
    if (!path || !*path || !out || size < 1 || !fxPathExists(path)) return false;
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH || n >= static_cast<DWORD>(size)) return false;
    memcpy(out, full, n + 1);
    return true;
}

long long fxFileBytesLeft(FILE* f) {
    int fd = f ? _fileno(f) : -1;
    if (fd < 0) return -1;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    LARGE_INTEGER size;
    if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) return -1;
    long long pos = _ftelli64(f);
    if (pos < 0) return -1;
    return size.QuadPart - pos;
}

bool fxGetProgramFile(char* out, int size) {
    if (!out || size < 1) return false;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || n >= static_cast<DWORD>(size)) return false;
    memcpy(out, path, n + 1);
    return true;
}
