#include "render/thread.h"

#include "base/trace.h"
#include "render/other.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct Gate {
    std::atomic<bool> open{false};
    std::atomic<int> runs{0};
};

void WaitForGate(void* p) {
    Gate* g = static_cast<Gate*>(p);
    while (!g->open.load())
        fxSleep(0.001);
    g->runs++;
}

struct Shared {
    void* mutex;
    int counter = 0;
    int depth = 0;
};

// Takes the mutex twice (recursively) and updates plain data under it.
void Worker(void* p) {
    Shared* s = static_cast<Shared*>(p);
    for (int i = 0; i < 20000; i++) {
        fxLock(s->mutex);
        fxLock(s->mutex);
        s->depth++;
        s->counter++;
        s->depth--;
        fxUnlock(s->mutex);
        fxUnlock(s->mutex);
    }
}

void TryFromOtherThread(void* p) {
    auto* args = static_cast<std::pair<void*, std::atomic<int>*>*>(p);
    bool got = fxTryLock(args->first);
    if (got) fxUnlock(args->first);
    args->second->store(got ? 1 : 2);
}

} // namespace

TEST(Mutex, RecursiveLockingFromTwoThreads) {
    Shared s;
    s.mutex = fxCreateMutex();
    ASSERT_NE(s.mutex, nullptr);
    void* a = fxCreateThread(Worker, &s);
    void* b = fxCreateThread(Worker, &s);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(fxWaitThread(a, 100000));
    EXPECT_TRUE(fxWaitThread(b, 100000));
    fxDestroyThread(a);
    fxDestroyThread(b);
    EXPECT_EQ(s.counter, 40000);
    EXPECT_EQ(s.depth, 0);
    fxDestroyMutex(s.mutex);
    fxDestroyMutex(nullptr);
}

TEST(Mutex, TryLockSeesTheOwner) {
    void* m = fxCreateMutex();
    ASSERT_TRUE(fxTryLock(m));
    EXPECT_TRUE(fxTryLock(m)); // the owner may enter again
    std::atomic<int> result{0};
    std::pair<void*, std::atomic<int>*> args(m, &result);
    void* t = fxCreateThread(TryFromOtherThread, &args);
    ASSERT_TRUE(fxWaitThread(t, 100000));
    EXPECT_EQ(result.load(), 2);
    fxDestroyThread(t);
    fxUnlock(m);
    fxUnlock(m);
    t = fxCreateThread(TryFromOtherThread, &args);
    ASSERT_TRUE(fxWaitThread(t, 100000));
    EXPECT_EQ(result.load(), 1);
    fxDestroyThread(t);
    fxDestroyMutex(m);
}

TEST(Threads, WaitWithAndWithoutTimeOut) {
    Gate g;
    void* t = fxCreateThread(WaitForGate, &g);
    ASSERT_NE(t, nullptr);
    double t0 = fxGetTime();
    EXPECT_FALSE(fxWaitThread(t, 0.1));
    EXPECT_GE(fxGetTime() - t0, 0.09);
    EXPECT_FALSE(fxWaitThread(t, 0));
    g.open = true;
    EXPECT_TRUE(fxWaitThread(t, 100000));
    EXPECT_TRUE(fxWaitThread(t, 0)); // a finished thread is waited for at once
    EXPECT_EQ(g.runs.load(), 1);
    fxTerminateThread(t);
    EXPECT_TRUE(fxWaitThread(t, 0));
    fxTerminateThread(t);
    fxDestroyThread(t);
}

TEST(Threads, NullRecordsAreAccepted) {
    EXPECT_TRUE(fxWaitThread(nullptr, 1.0));
    fxTerminateThread(nullptr);
    fxDestroyThread(nullptr);
    fxSetThreadPriority(nullptr, 1);
    void* t = fxCreateThread(nullptr, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(fxWaitThread(t, 100000));
    fxDestroyThread(t);
}

void OpenGateLater(void* p) {
    fxSleep(0.05);
    static_cast<Gate*>(p)->open = true;
}

TEST(Threads, DestroyingARunningThreadWaitsForItAndReportsIt) {
    const char* tmp = getenv("MH_TEST_TMP");
    std::string dir = tmp ? tmp : "/tmp/mh_thread_test";
    ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
    std::string log = dir + "/terminate.log";
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    {
        // The gate is freed right after the destroy: the thread must be done with it by then.
        auto g = std::make_unique<Gate>();
        void* t = fxCreateThread(WaitForGate, g.get());
        ASSERT_NE(t, nullptr);
        fxSetThreadPriority(t, -1);
        fxSetThreadPriority(t, 0);
        void* opener = fxCreateThread(OpenGateLater, g.get());
        ASSERT_NE(opener, nullptr);
        fxDestroyThread(t);
        EXPECT_EQ(g->runs.load(), 1);
        fxDestroyThread(opener);
    }
    fxCloseTraces();

    std::ifstream in(log);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_NE(ss.str().find("#ERROR: "), std::string::npos);
    EXPECT_NE(ss.str().find("still running, waiting for it to end"), std::string::npos);
}

static int NiceOfThisThread() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

struct NiceProbe {
    Gate gate;
    std::atomic<int> nice{-100};
};

void ReportNice(void* p) {
    NiceProbe* probe = static_cast<NiceProbe*>(p);
    WaitForGate(&probe->gate);
    probe->nice = NiceOfThisThread();
}

// Lowered goes below the process's own nice value, raised comes back to it. Runs last: the
// process keeps its lowered priority otherwise.
TEST(Threads, PrioritiesLowerThreadsAndTheProcess) {
    int base = NiceOfThisThread();
    NiceProbe probe;
    void* t = fxCreateThread(ReportNice, &probe);
    ASSERT_NE(t, nullptr);
    fxSetThreadPriority(t, -1);
    probe.gate.open = true;
    ASSERT_TRUE(fxWaitThread(t, 100000));
    fxDestroyThread(t);
    EXPECT_EQ(probe.nice.load(), std::min(base + 5, 19)) << "a lowered thread";

    fxSetAppPriority(-1);
    EXPECT_EQ(NiceOfThisThread(), std::min(base + 10, 19)) << "every thread of a lowered process";
    fxSetAppPriority(1);
    EXPECT_EQ(NiceOfThisThread(), base);
}
