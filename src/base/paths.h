#pragma once
// Remembered base directories, the current directory, small path helpers and the few
// file-system calls the rest of the code needs.
// Results in the shared buffers stay valid until the next call that writes the
// same buffer: copy them before making another path call.

#include <cstdio>

enum { FX_MAX_PATH = 260 };

extern char localStartPath[FX_MAX_PATH];    // type 1: start/data directory
extern char localSysFontsPath[FX_MAX_PATH]; // type 2: system fonts directory
extern char localGetPath[FX_MAX_PATH];      // result of fxGetActPath
extern char localTmpPath[FX_MAX_PATH];      // shared result of the path builders

void fxInitPaths();
void fxSetTypePath(int type, const char* path);
const char* fxGetTypePath(int type);
// The current directory.
bool fxSetActPath(const char* path);
bool fxSetPath(int type);
bool fxSetSubPath(int type, const char* sub);
const char* fxGetActPath();
const char* fxCombinePaths(const char* dir, const char* file);
const char* fxBuildRelativePath(const char* base, bool baseIsFile, const char* target, bool targetIsFile);
const char* fxGetFilename(const char* path);
bool fxPathExists(const char* path);
bool fxIsReadableFile(const char* path);
// An existing directory this process may create files in.
bool fxIsWritableDir(const char* path);
bool fxRemoveFile(const char* path);
// Creates the directory and any missing parents; true when it exists afterwards.
bool fxMakeDirs(const char* path);
// The absolute path of an existing file or directory, links resolved; false (out
// unchanged) when it does not exist or does not fit.
bool fxGetFullPath(const char* path, char* out, int size);
// The running program's own file as an absolute path; false when it cannot be told.
bool fxGetProgramFile(char* out, int size);
// Bytes between the stream's position and the end of its file; -1 when the stream is
// not a regular file or cannot tell.
long long fxFileBytesLeft(FILE* f);
// The current directory, without a trailing separator; false when it cannot be read.
bool fxGetCurrentDir(char* out, int size);
// The system's fonts directory; empty when there is none.
const char* fxGetSysFontsDir();
const char* fxChangeExt(const char* path, const char* ext);
const char* fxAppenfFname(const char* path, const char* suffix);
// The directory the saver reads its package from when none is configured: the installed one,
// found relative to the running program, when it holds a package; else the build tree's.
const char* fxDefaultDataDir();
