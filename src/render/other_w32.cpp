#include "render/other.h"

#include <windows.h>

#include <mmsystem.h>

double fxGetTime() {
    // Milliseconds since system start in 32 bits, wrapping after ~49.7 days.
    return static_cast<double>(timeGetTime()) / 1000.0;
}

void fxSleep(double seconds) {
    // Negative and undefined times only yield: they must never turn into a huge sleep.
    if (!(seconds > 0.0)) {
        Sleep(0);
        return;
    }
    if (seconds > 4294967.294) seconds = 4294967.294;
    Sleep(static_cast<DWORD>(seconds * 1000.0 + 0.5));
}

void fxReturnLargeBlocks() {
    // The Windows heap already gives blocks of this size their own pages and returns them
    // to the system when they are freed.
}

void* fxLoadLibrary(const char* name) {
    if (!name || !*name) return nullptr;
    // No "cannot find DLL" dialog for an optional library.
    UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE lib = LoadLibraryA(name);
    SetErrorMode(old);
    return reinterpret_cast<void*>(lib);
}

void* fxGetProc(void* library, const char* name) {
    if (!library || !name) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void fxFreeLibrary(void* library) {
    if (library) FreeLibrary(static_cast<HMODULE>(library));
}
