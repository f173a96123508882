#pragma once
// Remembered base directories, the current directory and small path helpers.
// Results in the shared buffers stay valid until the next call that writes the
// same buffer: copy them before making another path call.

enum { FX_MAX_PATH = 260 };

extern char localStartPath[FX_MAX_PATH];    // type 1: start/data directory
extern char localSysFontsPath[FX_MAX_PATH]; // type 2: system fonts directory
extern char localGetPath[FX_MAX_PATH];      // result of fxGetActPath
extern char localTmpPath[FX_MAX_PATH];      // shared result of the path builders

void fxInitPaths();
void fxSetTypePath(int type, const char* path);
const char* fxGetTypePath(int type);
bool fxSetActPath(const char* path);
bool fxSetPath(int type);
bool fxSetSubPath(int type, const char* sub);
const char* fxGetActPath();
const char* fxCombinePaths(const char* dir, const char* file);
const char* fxBuildRelativePath(const char* base, bool baseIsFile, const char* target, bool targetIsFile);
const char* fxGetFilename(const char* path);
bool fxPathExists(const char* path);
const char* fxChangeExt(const char* path, const char* ext);
const char* fxAppenfFname(const char* path, const char* suffix);
// The directory the saver reads its package from when none is configured: the
// build tree's data directory while it holds a package, else the installed one.
const char* fxDefaultDataDir();
