#include "render/other.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <dlfcn.h>
#include <malloc.h>
#include <sched.h>

double fxGetTime() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    // A 32-bit millisecond count, as the animation timing expects, wrapping after ~49.7 days.
    return static_cast<uint32_t>(ms) / 1000.0;
}

void fxSleep(double seconds) {
    // Zero, tiny, negative and undefined times only yield (a negative time must never
    // turn into a huge sleep); the longest sleep is that of a 32-bit millisecond count.
    if (!(seconds > 0.0)) {
        sched_yield();
        return;
    }
    if (seconds > 4294967.294) seconds = 4294967.294;
    long long ms = static_cast<long long>(seconds * 1000.0 + 0.5);
    if (ms <= 0) {
        sched_yield();
        return;
    }
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ms / 1000);
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void fxReturnLargeBlocks() {
#ifdef __GLIBC__
    // glibc maps blocks from 128 KiB up, but raises that limit to the size of each mapped block
    // freed (up to 32 MiB): after the first picture is freed, the next ones come from the heap
    // and their memory stays with the process. A fixed limit keeps them mapped.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void* fxLoadLibrary(const char* name) {
    if (!name || !*name) return nullptr;
    return dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
}

void* fxGetProc(void* library, const char* name) {
    if (!library || !name) return nullptr;
    return dlsym(library, name);
}

void fxFreeLibrary(void* library) {
    if (library) dlclose(library);
}
