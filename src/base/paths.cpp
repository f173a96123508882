// Path texts: type paths, joining, relative paths, names and extensions. Both separators
// are understood everywhere; the file-system calls live in the platform's paths file.
#include "base/paths.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

char localStartPath[FX_MAX_PATH] = "./";
char localSysFontsPath[FX_MAX_PATH] = "./";
char localGetPath[FX_MAX_PATH];
char localTmpPath[FX_MAX_PATH];

namespace {

inline bool localIsSep(char c) {
    return c == '/' || c == '\\';
}

// Copies src into a buffer of FX_MAX_PATH characters, cutting it so that `reserve`
// characters stay free behind the text.
void localCopy(char* dst, const char* src, size_t reserve) {
    size_t limit = FX_MAX_PATH - 1 - reserve;
    size_t n = src ? strnlen(src, limit) : 0;
    memmove(dst, src ? src : "", n);
    dst[n] = 0;
}

// Appends a separator unless there is one: a backslash for text that uses only
// backslashes, a slash otherwise. An empty text becomes "./".
void localAddPathEnding(char* s) {
    size_t n = strlen(s);
    if (n == 0) {
        strcpy(s, "./");
        return;
    }
    if (localIsSep(s[n - 1]) || n + 1 >= FX_MAX_PATH) return;
    bool backslashOnly = strchr(s, '\\') && !strchr(s, '/');
    s[n] = backslashOnly ? '\\' : '/';
    s[n + 1] = 0;
}

struct localSplit {
    bool absolute = false;
    bool trailingSep = false;
    std::vector<std::string> parts;
};

// Splits on either separator and resolves "." and ".." (a ".." above the root of an
// absolute path is dropped; leading ".." of a relative path are kept).
void localAppendParts(localSplit& sp, const char* s) {
    const char* p = s;
    while (*p) {
        while (localIsSep(*p))
            p++;
        const char* start = p;
        while (*p && !localIsSep(*p))
            p++;
        std::string part(start, p);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!sp.parts.empty() && sp.parts.back() != "..")
                sp.parts.pop_back();
            else if (!sp.absolute)
                sp.parts.push_back(part);
            continue;
        }
        sp.parts.push_back(part);
    }
    size_t n = strlen(s);
    sp.trailingSep = n > 0 && localIsSep(s[n - 1]);
}

std::string localJoin(const localSplit& sp) {
    std::string out = sp.absolute ? "/" : "";
    for (size_t i = 0; i < sp.parts.size(); i++) {
        if (i) out += '/';
        out += sp.parts[i];
    }
    if (sp.trailingSep && !sp.parts.empty()) out += '/';
    if (out.empty()) out = sp.trailingSep ? "./" : ".";
    return out;
}

localSplit localResolve(const char* dir, const char* file) {
    localSplit sp;
    const char* first = (dir && *dir) ? dir : file;
    sp.absolute = first && localIsSep(first[0]);
    if (dir && *dir) localAppendParts(sp, dir);
    if (file && *file) {
        // A file that still starts with a separator is rooted: it replaces dir.
        if (localIsSep(file[0]) && dir && *dir) {
            sp.parts.clear();
            sp.absolute = true;
        }
        localAppendParts(sp, file);
    }
    return sp;
}

bool localStore(const std::string& s) {
    if (s.size() >= FX_MAX_PATH) return false;
    memcpy(localTmpPath, s.c_str(), s.size() + 1);
    return true;
}

} // namespace

void fxInitPaths() {
    char cwd[FX_MAX_PATH];
    if (!fxGetCurrentDir(cwd, sizeof(cwd) - 1)) cwd[0] = 0;
    localCopy(localStartPath, cwd, 1);
    localAddPathEnding(localStartPath);
    localCopy(localSysFontsPath, fxGetSysFontsDir(), 1);
    localAddPathEnding(localSysFontsPath);
}

void fxSetTypePath(int type, const char* path) {
    char* buf = type == 1 ? localStartPath : type == 2 ? localSysFontsPath : nullptr;
    if (!buf) return;
    localCopy(buf, path, 1);
    localAddPathEnding(buf);
}

const char* fxGetTypePath(int type) {
    if (type == 1) return localStartPath;
    if (type == 2) return localSysFontsPath;
    return nullptr;
}

bool fxSetPath(int type) {
    return fxSetActPath(fxGetTypePath(type));
}

bool fxSetSubPath(int type, const char* sub) {
    const char* base = fxGetTypePath(type);
    if (!base) return false;
    return fxSetActPath(fxCombinePaths(base, sub));
}

const char* fxGetActPath() {
    if (!fxGetCurrentDir(localGetPath, sizeof(localGetPath) - 1)) localGetPath[0] = 0;
    localAddPathEnding(localGetPath);
    return localGetPath;
}

const char* fxCombinePaths(const char* dir, const char* file) {
    bool hasDir = dir && *dir, hasFile = file && *file;
    if (!hasDir && !hasFile) return nullptr;
    // The inputs may be localTmpPath itself: resolve into copies first.
    std::string d = hasDir ? dir : "";
    std::string f = hasFile ? file : "";
    if (!f.empty() && localIsSep(f[0])) f.erase(0, 1);
    localSplit sp = localResolve(d.c_str(), f.c_str());
    if (f.empty()) sp.trailingSep = !d.empty() && localIsSep(d.back());
    return localStore(localJoin(sp)) ? localTmpPath : nullptr;
}

const char* fxBuildRelativePath(const char* base, bool baseIsFile, const char* target, bool targetIsFile) {
    if (!target || !*target) return target;
    if (!base || !*base) return target;
    std::string b = base, t = target;
    // Relative inputs are taken from the current directory.
    char cwd[FX_MAX_PATH * 4];
    bool bAbs = localIsSep(b[0]), tAbs = localIsSep(t[0]);
    if (bAbs != tAbs) {
        if (!fxGetCurrentDir(cwd, sizeof(cwd))) return target;
        if (!bAbs) b = std::string(cwd) + "/" + b;
        if (!tAbs) t = std::string(cwd) + "/" + t;
    }
    localSplit bs = localResolve(b.c_str(), nullptr);
    localSplit ts = localResolve(t.c_str(), nullptr);
    if (baseIsFile && !bs.parts.empty()) bs.parts.pop_back();

    size_t common = 0;
    while (common < bs.parts.size() && common < ts.parts.size() && bs.parts[common] == ts.parts[common] &&
           bs.parts[common] != "..")
        common++;
    // Sharing only the root (or, in paths with drive letters, not even the drive) means
    // there is no relative path: the target stays as it is.
    if (common == 0 && bs.absolute && !bs.parts.empty()) return target;
    auto isDrive = [](const localSplit& sp) {
        return !sp.parts.empty() && sp.parts[0].size() == 2 && sp.parts[0][1] == ':';
    };
    if (common == 0 && (isDrive(bs) || isDrive(ts))) return target;
    if (common == 1 && isDrive(bs) && bs.parts.size() > 1 && ts.parts.size() > 1) return target;
    if (!bs.absolute && common < bs.parts.size() && bs.parts[common] == "..") return target;

    std::string out;
    for (size_t i = common; i < bs.parts.size(); i++)
        out += "../";
    if (out.empty()) out = "./";
    for (size_t i = common; i < ts.parts.size(); i++) {
        out += ts.parts[i];
        if (i + 1 < ts.parts.size()) out += '/';
    }
    if (common == ts.parts.size()) {
        // The target is the base directory or above it.
        if (out == "./")
            out = ".";
        else
            out.pop_back();
    }
    if (!targetIsFile && ts.trailingSep && out.back() != '/') out += '/';
    return localStore(out) ? localTmpPath : target;
}

const char* fxGetFilename(const char* path) {
    if (!path) return nullptr;
    const char* name = path;
    for (const char* p = path; *p; p++)
        if (localIsSep(*p)) name = p + 1;
    return name;
}

namespace {

// Splits path into the directory part (with its separator), the file name and the
// extension (from the last dot of the file name on).
void localSplitName(const char* path, std::string& dir, std::string& name, std::string& ext) {
    std::string s = path ? path : "";
    const char* fname = fxGetFilename(s.c_str());
    size_t at = fname - s.c_str();
    dir = s.substr(0, at);
    std::string rest = s.substr(at);
    size_t dot = rest.rfind('.');
    if (dot == std::string::npos) {
        name = rest;
        ext.clear();
    } else {
        name = rest.substr(0, dot);
        ext = rest.substr(dot);
    }
}

const char* localStoreCut(const std::string& s) {
    localCopy(localTmpPath, s.c_str(), 0);
    return localTmpPath;
}

} // namespace

const char* fxChangeExt(const char* path, const char* ext) {
    std::string dir, name, old;
    localSplitName(path, dir, name, old);
    std::string e = ext ? ext : "";
    if (!e.empty() && e[0] != '.') e.insert(0, ".");
    return localStoreCut(dir + name + e);
}

const char* fxAppenfFname(const char* path, const char* suffix) {
    std::string dir, name, ext;
    localSplitName(path, dir, name, ext);
    return localStoreCut(dir + name + (suffix ? suffix : "") + ext);
}

// The folder of the running program, without a trailing separator; empty when it cannot be told.
static std::string localProgramDir() {
    char exe[4096];
    if (!fxGetProgramFile(exe, sizeof(exe))) return "";
    std::string dir = exe;
    size_t slash = dir.find_last_of("/\\");
    if (slash == std::string::npos) return "";
    // Right after a drive letter the separator stays: "C:" alone is a current directory.
    dir.erase(slash > 0 && dir[slash - 1] == ':' ? slash + 1 : slash);
    return dir;
}

// The installed data directory as the running program finds it: an absolute directory as it
// stands; a relative one below the installation prefix, which is the directory of the program
// or one of its two parents (<prefix>/bin, <prefix>/libexec/xscreensaver). Empty when none
// holds a package.
static std::string localInstalledDataDir(const char* installed) {
    if (installed[0] == '/' || installed[0] == '\\')
        return fxIsReadableFile((std::string(installed) + "/mirehollow.dat").c_str()) ? installed : "";
    std::string dir = localProgramDir();
    for (int up = 0; up < 3 && !dir.empty(); up++) {
        std::string data = dir + "/" + installed;
        if (fxIsReadableFile((data + "/mirehollow.dat").c_str())) return data;
        size_t slash = dir.find_last_of("/\\");
        if (slash == std::string::npos) break;
        dir.erase(slash);
    }
    return "";
}

const char* fxDefaultDataDir() {
    static std::string dir;
    // An empty installed directory is the program's own folder: the Windows module lies beside
    // its package, and Windows starts it in the system folder, which says nothing.
    if (!*MH_DATA_DIR_INSTALLED) {
        dir = localProgramDir();
        return dir.c_str();
    }
    dir = localInstalledDataDir(MH_DATA_DIR_INSTALLED);
    if (dir.empty()) dir = MH_DATA_DIR_DEFAULT;
    return dir.c_str();
}
