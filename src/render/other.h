#pragma once
// Clock, sleeping, frame-time differences, the process-wide random source and shared
// libraries loaded at run time.

#include "render/thread.h"

// Seconds from a monotonic millisecond clock that wraps like a 32-bit counter.
double fxGetTime();
// 0 yields; otherwise sleeps seconds rounded to the nearest millisecond.
void fxSleep(double seconds);

class FXTimeDiff {
  public:
    double lastTime;

    FXTimeDiff() : lastTime(0.0) {}
    // Time since the previous call; the first call returns the clock value itself.
    double OnTime();
};

// Reseeds the generator from its own next value and the clock.
void fxResetRandom();
// The clock fxResetRandom reads: fxGetTime while null (the default). Stills draw on a
// virtual clock and hand it over here, so that the same stills give the same pictures.
void fxSetRandomClock(double (*clock)());
// Uniform in [0, 1], both ends included.
double fxGetRandom();

// The process-wide generator behind fxGetRandom: values 0 ... 32767.
enum { FX_RAND_MAX = 32767 };
void fxSeedRandom(unsigned int seed);
int fxRand();

// Large blocks (decoded pictures live only until their upload) are given back to the system
// as soon as they are freed, instead of staying in the allocator's pool. Process-wide.
void fxReturnLargeBlocks();

// Loads a shared library by the file name the platform's loader knows it by; null when it
// cannot be loaded. On Linux the library stays mapped after fxFreeLibrary, so that it can be
// bound again and leak reports inside it stay attributable.
void* fxLoadLibrary(const char* name);
// An exported function or object of a loaded library; null when it has none of that name.
void* fxGetProc(void* library, const char* name);
// Nothing for null.
void fxFreeLibrary(void* library);
