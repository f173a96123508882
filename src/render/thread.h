#pragma once
// Recursive mutexes and threads behind opaque handles, and process/thread priorities.

// Mutex handle: recursive; null when creation failed.
void* fxCreateMutex();
void fxDestroyMutex(void* mutex);
void fxLock(void* mutex);
void fxUnlock(void* mutex);
bool fxTryLock(void* mutex);

typedef void (*FXThreadFunc)(void*);

// Thread record: null when the thread could not be started.
void* fxCreateThread(FXThreadFunc function, void* argument);
// Waits for the thread to end; without limit for 100000 s or more. False on time-out.
bool fxWaitThread(void* thread, double seconds);
// A still running thread cannot be stopped safely here: it is waited for (a trace line
// says so), since its caller frees what the thread works on next.
void fxTerminateThread(void* thread);
void fxDestroyThread(void* thread);

// 0 normal, > 0 raised (best effort), < 0 lowered. Failures are ignored. On Linux nothing
// goes above the process's own nice value: raised is normal there.
void fxSetAppPriority(int level);
void fxSetThreadPriority(void* thread, int level);
