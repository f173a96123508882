#include "render/thread.h"

#include "base/trace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void* fxCreateMutex() {
    pthread_mutex_t* m = static_cast<pthread_mutex_t*>(malloc(sizeof(pthread_mutex_t)));
    if (!m) return nullptr;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(m, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        free(m);
        return nullptr;
    }
    return m;
}

void fxDestroyMutex(void* mutex) {
    if (!mutex) return;
    pthread_mutex_destroy(static_cast<pthread_mutex_t*>(mutex));
    free(mutex);
}

void fxLock(void* mutex) {
    if (mutex) pthread_mutex_lock(static_cast<pthread_mutex_t*>(mutex));
}

void fxUnlock(void* mutex) {
    if (mutex) pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex));
}

bool fxTryLock(void* mutex) {
    return mutex && pthread_mutex_trylock(static_cast<pthread_mutex_t*>(mutex)) == 0;
}

namespace {

// Shared by the record and the running thread, so that a detached thread never
// touches a released record.
struct localThreadState {
    std::mutex m;
    std::condition_variable cv;
    FXThreadFunc function = nullptr;
    void* argument = nullptr;
    pid_t id = 0;
    bool finished = false;
};

struct localThreadRecord {
    std::shared_ptr<localThreadState> state;
    pthread_t handle;
    bool hasHandle = false;
};

void* localThreadProc(void* p) {
    auto* held = static_cast<std::shared_ptr<localThreadState>*>(p);
    std::shared_ptr<localThreadState> st = *held;
    delete held;
    {
        std::lock_guard<std::mutex> lock(st->m);
        st->id = static_cast<pid_t>(syscall(SYS_gettid));
    }
    st->cv.notify_all();
    if (st->function) st->function(st->argument);
    {
        std::lock_guard<std::mutex> lock(st->m);
        st->finished = true;
    }
    st->cv.notify_all();
    return nullptr;
}

// The process's own nice value, read before the first change of ours. A screen saver must
// never take the machine from the user's own processes: requests never go above this level,
// so "raised" keeps it, and "lowered" goes below it.
int localBaseNice() {
    static const int base = [] {
        errno = 0;
        int n = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
        return errno ? 0 : n;
    }();
    return base;
}

void localSetTaskNice(pid_t tid, int level, int lowNice) {
    int base = localBaseNice();
    int nice = level < 0 ? std::min(base + lowNice, 19) : base;
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

} // namespace

void* fxCreateThread(FXThreadFunc function, void* argument) {
    auto* rec = new (std::nothrow) localThreadRecord;
    if (!rec) return nullptr;
    rec->state = std::make_shared<localThreadState>();
    rec->state->function = function;
    rec->state->argument = argument;
    auto* held = new std::shared_ptr<localThreadState>(rec->state);
    if (pthread_create(&rec->handle, nullptr, localThreadProc, held) != 0) {
        delete held;
        delete rec;
        return nullptr;
    }
    rec->hasHandle = true;
    // The kernel id is known once the thread runs; priorities need it.
    std::unique_lock<std::mutex> lock(rec->state->m);
    rec->state->cv.wait(lock, [&] { return rec->state->id != 0; });
    return rec;
}

bool fxWaitThread(void* thread, double seconds) {
    auto* rec = static_cast<localThreadRecord*>(thread);
    if (!rec || !rec->hasHandle) return true;
    localThreadState& st = *rec->state;
    std::unique_lock<std::mutex> lock(st.m);
    if (seconds >= 100000.0) {
        st.cv.wait(lock, [&] { return st.finished; });
        return true;
    }
    long long ms = seconds > 0.0 ? static_cast<long long>(seconds * 1000.0) : 0;
    return st.cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return st.finished; });
}

void fxTerminateThread(void* thread) {
    auto* rec = static_cast<localThreadRecord*>(thread);
    if (!rec || !rec->hasHandle) return;
    bool finished;
    {
        std::lock_guard<std::mutex> lock(rec->state->m);
        finished = rec->state->finished;
    }
    // A thread cannot be stopped safely from outside, and one left running would go on using
    // an argument its caller frees next: a running thread is waited for.
    if (!finished)
        err("fxTerminateThread: thread %08x still running, waiting for it to end\n",
            static_cast<unsigned>(rec->state->id));
    pthread_join(rec->handle, nullptr);
    rec->hasHandle = false;
}

void fxDestroyThread(void* thread) {
    if (!thread) return;
    fxTerminateThread(thread);
    delete static_cast<localThreadRecord*>(thread);
}

void fxSetAppPriority(int level) {
    // Linux keeps a nice value per thread: apply it to every thread of the process.
    DIR* dir = opendir("/proc/self/task");
    if (!dir) {
        localSetTaskNice(0, level, 10);
        return;
    }
    while (dirent* e = readdir(dir)) {
        pid_t tid = static_cast<pid_t>(atoi(e->d_name));
        if (tid > 0) localSetTaskNice(tid, level, 10);
    }
    closedir(dir);
}

void fxSetThreadPriority(void* thread, int level) {
    auto* rec = static_cast<localThreadRecord*>(thread);
    if (!rec || !rec->hasHandle) return;
    // Holding the lock keeps a running thread from finishing (and its id from being reused).
    std::lock_guard<std::mutex> lock(rec->state->m);
    if (!rec->state->finished) localSetTaskNice(rec->state->id, level, 5);
}
