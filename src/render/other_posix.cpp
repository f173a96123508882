#include "render/other.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <dlfcn.h>
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

double FXTimeDiff::OnTime() {
    double now = fxGetTime();
    double d = now - lastTime;
    lastTime = now;
    return d;
}

namespace {
// One process-wide linear congruential generator, seeded 1 at start.
std::atomic<uint32_t> localRandState{1};
std::atomic<double (*)()> localRandomClock{nullptr};
} // namespace

void fxSetRandomClock(double (*clock)()) {
    localRandomClock.store(clock, std::memory_order_relaxed);
}

void fxSeedRandom(unsigned int seed) {
    localRandState.store(seed, std::memory_order_relaxed);
}

int fxRand() {
    uint32_t s = localRandState.load(std::memory_order_relaxed);
    uint32_t next;
    do {
        next = s * 214013u + 2531011u;
    } while (!localRandState.compare_exchange_weak(s, next, std::memory_order_relaxed));
    return static_cast<int>((next >> 16) & 0x7FFF);
}

void fxResetRandom() {
    double (*clock)() = localRandomClock.load(std::memory_order_relaxed);
    uint32_t ms = static_cast<uint32_t>(static_cast<uint64_t>((clock ? clock() : fxGetTime()) * 1000.0 + 0.5));
    fxSeedRandom(static_cast<uint32_t>(fxRand()) * ms);
}

double fxGetRandom() {
    return fxRand() / 32767.0;
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
