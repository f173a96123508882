#include "render/thread.h"

#include "base/trace.h"

#include <windows.h>

#include <cstdlib>
#include <new>

void* fxCreateMutex() {
    CRITICAL_SECTION* cs = static_cast<CRITICAL_SECTION*>(malloc(sizeof(CRITICAL_SECTION)));
    if (!cs) return nullptr;
    InitializeCriticalSection(cs);
    return cs;
}

void fxDestroyMutex(void* mutex) {
    if (!mutex) return;
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(mutex));
    free(mutex);
}

void fxLock(void* mutex) {
    if (mutex) EnterCriticalSection(static_cast<CRITICAL_SECTION*>(mutex));
}

void fxUnlock(void* mutex) {
    if (mutex) LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(mutex));
}

bool fxTryLock(void* mutex) {
    return mutex && TryEnterCriticalSection(static_cast<CRITICAL_SECTION*>(mutex)) == 1;
}

namespace {

struct localThreadRecord {
    HANDLE handle;
    DWORD id;
};

// What the new thread runs, owned by that thread, which may start after its creator returns.
struct localThreadStart {
    FXThreadFunc function;
    void* argument;
};

DWORD WINAPI localThreadProc(LPVOID p) {
    localThreadStart start = *static_cast<localThreadStart*>(p);
    delete static_cast<localThreadStart*>(p);
    if (start.function) start.function(start.argument);
    return 0;
}

bool localRunning(localThreadRecord* rec) {
    return WaitForSingleObject(rec->handle, 0) == WAIT_TIMEOUT;
}

} // namespace

void* fxCreateThread(FXThreadFunc function, void* argument) {
    auto* rec = new (std::nothrow) localThreadRecord{nullptr, 0};
    auto* start = new (std::nothrow) localThreadStart{function, argument};
    if (rec && start) rec->handle = CreateThread(nullptr, 0, localThreadProc, start, 0, &rec->id);
    if (!rec || !rec->handle) {
        delete start;
        delete rec;
        return nullptr;
    }
    return rec;
}

bool fxWaitThread(void* thread, double seconds) {
    auto* rec = static_cast<localThreadRecord*>(thread);
    if (!rec || !rec->handle || !rec->id) return true;
    DWORD ms = INFINITE;
    if (seconds < 100000.0) ms = seconds > 0.0 ? static_cast<DWORD>(seconds * 1000.0) : 0;
    return WaitForSingleObject(rec->handle, ms) != WAIT_TIMEOUT;
}

void fxTerminateThread(void* thread) {
    auto* rec = static_cast<localThreadRecord*>(thread);
    if (!rec || !rec->handle || !rec->id) return;
    // A thread cannot be stopped safely from outside (killing one can leave the heap or a lock
    // held forever), and one left running would go on using an argument its caller frees next:
    // a running thread is waited for.
    if (localRunning(rec)) {
        err("fxTerminateThread: thread %08x still running, waiting for it to end\n",
            static_cast<unsigned>(rec->id));
        WaitForSingleObject(rec->handle, INFINITE);
    }
    CloseHandle(rec->handle);
    rec->handle = nullptr;
    rec->id = 0;
}

void fxDestroyThread(void* thread) {
    if (!thread) return;
    fxTerminateThread(thread);
    delete static_cast<localThreadRecord*>(thread);
}

void fxSetAppPriority(int level) {
    DWORD cls = level == 0 ? NORMAL_PRIORITY_CLASS : level > 0 ? REALTIME_PRIORITY_CLASS : BELOW_NORMAL_PRIORITY_CLASS;
    SetPriorityClass(GetCurrentProcess(), cls);
}

void fxSetThreadPriority(void* thread, int level) {
    auto* rec = static_cast<localThreadRecord*>(thread);
    if (!rec || !rec->handle) return;
    int prio = level == 0 ? THREAD_PRIORITY_NORMAL : level > 0 ? THREAD_PRIORITY_TIME_CRITICAL : THREAD_PRIORITY_LOWEST;
    SetThreadPriority(rec->handle, prio);
}
