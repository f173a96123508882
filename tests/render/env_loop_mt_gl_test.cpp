// The render loop thread driving a real (offscreen) device: frames run with the environment
// mutex held and the context current only inside them; renderables swap; stopping waits.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "render/gl.h"
#include "render/other.h"

// Mesa's software rasteriser synchronises its worker threads in ways ThreadSanitizer cannot
// see (it is not instrumented); what it reports from inside the driver is not ours to fix.
extern "C" const char* __tsan_default_suppressions() {
    return "race:swrast_dri.so\n";
}

namespace {

// Counts its frames and checks, inside each one, what a frame may rely on.
class Probe : public PRender {
  public:
    std::atomic<int> frames{0};
    std::atomic<int> withoutContext{0};
    std::atomic<int> whileHeldElsewhere{0};
    std::atomic<bool>* heldElsewhere = nullptr;
    std::atomic<double> lastTime{0};
    std::atomic<int> timeWentBack{0};
    float color[4] = {0, 0, 0, 1};

    void OnRender(PEnv* env, double t) override {
        FXGL* gl = static_cast<FXGL*>(env);
        if (!gl->IsAct()) withoutContext++;
        if (heldElsewhere && *heldElsewhere) whileHeldElsewhere++;
        if (t < lastTime) timeWentBack++;
        lastTime = t;
        env->SetClrColor(color);
        env->Clrscr(true, true, false);
        env->RenderEnd();
        frames++;
    }
};

bool WaitFor(const std::function<bool()>& done, double seconds = 10) {
    double end = fxGetTime() + seconds;
    while (!done()) {
        if (fxGetTime() > end) return false;
        fxSleep(0.002);
    }
    return true;
}

class LoopTest : public testing::Test {
  protected:
    FXGL gl;
    void SetUp() override { ASSERT_TRUE(gl.Create(fxCreateOffscreenBinding(32, 16))); }
};

// Where the display does not pace the swaps, the loop sleeps out each frame's share of the
// cap. (Only an upper bound: a busy machine can only make frames slower.)
TEST_F(LoopTest, FramesAreHeldToTheCapWhereSwapsAreNotPaced) {
    Probe probe;
    gl.maxFps = 20;
    gl.swapPaced = false;
    ASSERT_TRUE(gl.StartLoop(&probe));
    ASSERT_TRUE(WaitFor([&] { return probe.frames >= 1; }));
    int before = probe.frames;
    double t0 = fxGetTime();
    fxSleep(1.0);
    int drawn = probe.frames - before;
    double elapsed = fxGetTime() - t0;
    gl.StopLoop(10);
    EXPECT_GE(drawn, 1);
    EXPECT_LE(drawn, elapsed * 20 + 2) << drawn << " frames in " << elapsed << " s";
}

TEST_F(LoopTest, FramesHoldTheMutexAndTheContext) {
    Probe probe;
    std::atomic<bool> held{false};
    probe.heldElsewhere = &held;
    ASSERT_TRUE(gl.StartLoop(&probe));
    ASSERT_TRUE(WaitFor([&] { return probe.frames >= 3; }));
    EXPECT_TRUE(gl.loopRunning);
    EXPECT_FALSE(gl.IsAct()) << "the context is not current on the window thread";

    // Another thread that holds the mutex keeps frames out.
    for (int i = 0; i < 5; i++) {
        gl.Lock(true);
        held = true;
        int before = probe.frames;
        fxSleep(0.02);
        EXPECT_EQ(probe.frames, before);
        held = false;
        gl.Lock(false);
        fxSleep(0.005);
    }
    // Borrowing the device from outside the loop: mutex, then context.
    {
        FXGRAutoAct act(&gl);
        EXPECT_TRUE(gl.IsAct());
        held = true;
        float red[4] = {1, 0, 0, 1};
        gl.SetClrColor(red);
        gl.Clrscr(true, false, false);
        held = false;
    }
    EXPECT_FALSE(gl.IsAct());
    int before = probe.frames;
    ASSERT_TRUE(WaitFor([&] { return probe.frames > before + 2; })) << "the loop goes on after the borrow";

    gl.StopLoop(100000);
    EXPECT_EQ(probe.withoutContext, 0);
    EXPECT_EQ(probe.whileHeldElsewhere, 0);
    EXPECT_EQ(probe.timeWentBack, 0);
}

TEST_F(LoopTest, StopWaitsAndReleasesTheContext) {
    Probe probe;
    probe.color[1] = 1; // green frames
    ASSERT_TRUE(gl.StartLoop(&probe));
    ASSERT_TRUE(WaitFor([&] { return probe.frames >= 2; }));
    gl.StopLoop(100000);
    EXPECT_FALSE(gl.loopRunning);
    EXPECT_EQ(gl.thread, nullptr);
    EXPECT_EQ(gl.render.load(), nullptr);
    int after = probe.frames;
    fxSleep(0.05);
    EXPECT_EQ(probe.frames, after) << "no frame after StopLoop returned";

    // The loop thread let go of the context, so this thread can take it and see the frame.
    gl.SetAct(true);
    ASSERT_TRUE(gl.IsAct());
    std::vector<unsigned char> rgba(32 * 16 * 4);
    ASSERT_TRUE(gl.ReadFrame(rgba.data()));
    EXPECT_EQ(rgba[0], 0);
    EXPECT_EQ(rgba[1], 255);
    EXPECT_EQ(rgba[2], 0);
    gl.SetAct(false);
}

TEST_F(LoopTest, StartingAgainSwapsTheRenderable) {
    Probe a, b;
    ASSERT_TRUE(gl.StartLoop(&a));
    ASSERT_TRUE(WaitFor([&] { return a.frames >= 2; }));
    void* thread = gl.thread;
    ASSERT_TRUE(gl.StartLoop(&b));
    EXPECT_EQ(gl.thread, thread) << "no second thread";
    ASSERT_TRUE(WaitFor([&] { return b.frames >= 2; }));
    int aFrames = a.frames;
    ASSERT_TRUE(WaitFor([&] { return b.frames >= 5; }));
    EXPECT_LE(a.frames, aFrames + 1) << "at most the frame in flight still draws the old one";
    gl.StopLoop(100000);

    // Stopped and started again: a fresh thread draws.
    Probe c;
    ASSERT_TRUE(gl.StartLoop(&c));
    ASSERT_TRUE(WaitFor([&] { return c.frames >= 2; }));
    gl.StopLoop(100000);
}

TEST_F(LoopTest, StopAndDestroyAreHarmlessWhenIdle) {
    Probe probe;
    gl.render = &probe;
    gl.StopLoop(0.5);
    EXPECT_EQ(gl.render.load(), nullptr) << "a loop that never started still forgets its renderable";
    EXPECT_EQ(probe.frames, 0);

    ASSERT_TRUE(gl.StartLoop(&probe));
    ASSERT_TRUE(WaitFor([&] { return probe.frames >= 1; }));
    gl.Destroy(); // stops the running loop itself
    EXPECT_FALSE(gl.loopRunning);
    EXPECT_EQ(gl.thread, nullptr);
    gl.Destroy();
    EXPECT_EQ(gl.mutex, nullptr);
    gl.Lock(true); // without a mutex: nothing
    gl.Lock(false);

    // The device can be created again after a destroy.
    ASSERT_TRUE(gl.Create(fxCreateOffscreenBinding(8, 8)));
    Probe again;
    ASSERT_TRUE(gl.StartLoop(&again));
    ASSERT_TRUE(WaitFor([&] { return again.frames >= 1; }));
    gl.Destroy();
}

// Two devices, each with its own loop, in one process.
TEST(LoopTwoDevices, RunSideBySide) {
    FXGL a, b;
    ASSERT_TRUE(a.Create(fxCreateOffscreenBinding(16, 16)));
    ASSERT_TRUE(b.Create(fxCreateOffscreenBinding(24, 8)));
    Probe pa, pb;
    ASSERT_TRUE(a.StartLoop(&pa));
    ASSERT_TRUE(b.StartLoop(&pb));
    ASSERT_TRUE(WaitFor([&] { return pa.frames >= 3 && pb.frames >= 3; }));
    a.Destroy();
    ASSERT_TRUE(WaitFor([&] { return pb.frames >= 6; })) << "the other device keeps drawing";
    b.Destroy();
    EXPECT_EQ(pa.withoutContext + pb.withoutContext, 0);
}

} // namespace
