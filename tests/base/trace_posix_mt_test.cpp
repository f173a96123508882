#include "base/trace.h"
#include "render/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace {

const int kThreads = 4;
const int kLines = 300;

void Writer(void* p) {
    int id = static_cast<int>(reinterpret_cast<intptr_t>(p));
    for (int i = 0; i < kLines; i++) {
        if (i % 3 == 0)
            err("writer %d line %d\n", id, i);
        else
            trc("writer %d line %d with some padding to make the line longer\n", id, i);
    }
}

} // namespace

TEST(Traces, LinesFromSeveralThreadsNeverInterleave) {
    const char* tmp = getenv("MH_TEST_TMP");
    std::string dir = tmp ? tmp : "/tmp/mh_trace_mt_test";
    ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
    std::string path = dir + "/threads.log";
    ASSERT_TRUE(fxOpenTraces(path.c_str()));

    void* threads[kThreads];
    for (int i = 0; i < kThreads; i++) {
        threads[i] = fxCreateThread(Writer, reinterpret_cast<void*>(static_cast<intptr_t>(i)));
        ASSERT_NE(threads[i], nullptr);
    }
    for (void* t : threads) {
        EXPECT_TRUE(fxWaitThread(t, 100000));
        fxDestroyThread(t);
    }
    fxCloseTraces();

    std::ifstream in(path);
    std::string line;
    std::map<int, int> nextLine;
    int total = 0;
    while (std::getline(in, line)) {
        size_t w = line.find("writer ");
        if (w == std::string::npos) continue;
        std::string prefix = line.substr(0, w);
        if (prefix.rfind("#ERROR: ", 0) == 0) prefix = prefix.substr(8);
        // "xxxxxxxx: [s.mmm] " and then exactly one message.
        ASSERT_GE(prefix.size(), 10u + 6u) << line;
        EXPECT_EQ(prefix[8], ':') << line;
        EXPECT_EQ(prefix[10], '[') << line;
        EXPECT_EQ(line.find("writer ", w + 1), std::string::npos) << line;
        int id = -1, n = -1;
        ASSERT_EQ(sscanf(line.c_str() + w, "writer %d line %d", &id, &n), 2) << line;
        EXPECT_EQ(nextLine[id], n) << line; // each writer's lines in its own order
        EXPECT_EQ(line.rfind("#ERROR: ", 0) == 0, n % 3 == 0) << line;
        nextLine[id] = n + 1;
        total++;
    }
    EXPECT_EQ(total, kThreads * kLines);
}

namespace {

struct Churn {
    std::atomic<bool> stop{false};
};

void ErrorWriter(void* p) {
    Churn* c = static_cast<Churn*>(p);
    for (int i = 0; !c->stop.load(); i++) {
        trc("churn %d\n", i);
        if (i % 2000 == 0) errmsg("churn error %d (expected)", i);
    }
}

} // namespace

// Lines and error reports written while another thread opens and closes the log: every
// reader of the shared state must hold a lock that outlives the log (ThreadSanitizer and
// AddressSanitizer see the difference).
TEST(Traces, WritersSurviveTheLogOpeningAndClosing) {
    const char* tmp = getenv("MH_TEST_TMP");
    std::string dir = tmp ? tmp : "/tmp/mh_trace_mt_test";
    ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
    std::string path = dir + "/churn.log";
    Churn c;
    void* threads[2];
    for (void*& t : threads) {
        t = fxCreateThread(ErrorWriter, &c);
        ASSERT_NE(t, nullptr);
    }
    for (int i = 0; i < 200; i++) {
        ASSERT_TRUE(fxOpenTraces(path.c_str()));
        if (i % 50 == 0) errmsg("main %d (expected)", i);
        fxCloseTraces();
    }
    c.stop = true;
    for (void* t : threads) {
        EXPECT_TRUE(fxWaitThread(t, 100000));
        fxDestroyThread(t);
    }
    EXPECT_FALSE(fxTracesOpened());
}
