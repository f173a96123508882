// The clock's portable part and the process-wide random source: one generator for every
// platform, so that the same seed gives the same frames everywhere.
#include "render/other.h"

#include <atomic>
#include <cstdint>

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
