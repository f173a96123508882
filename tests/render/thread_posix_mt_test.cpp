#include "render/thread.h"

#include "base/trace.h"
#include "render/other.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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

TEST(Threads, DestroyingARunningThreadDetachesAndReportsIt) {
    const char* tmp = getenv("MH_TEST_TMP");
    std::string dir = tmp ? tmp : "/tmp/mh_thread_test";
    ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
    std::string log = dir + "/detach.log";
    ASSERT_TRUE(fxOpenTraces(log.c_str()));

    static Gate g; // outlives the detached thread
    void* t = fxCreateThread(WaitForGate, &g);
    ASSERT_NE(t, nullptr);
    fxSetThreadPriority(t, -1);
    fxSetThreadPriority(t, 0);
    fxDestroyThread(t);
    g.open = true;
    while (g.runs.load() == 0)
        fxSleep(0.001);
    fxSleep(0.01);
    fxCloseTraces();

    std::ifstream in(log);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_NE(ss.str().find("#ERROR: "), std::string::npos);
    EXPECT_NE(ss.str().find("still running, detached"), std::string::npos);
}

TEST(Threads, PrioritiesAreBestEffort) {
    fxSetAppPriority(0);
    fxSetAppPriority(1);
    fxSetAppPriority(0);
    SUCCEED();
}
