// The woodland's pictures are decoded on a worker while the first seconds play. However slow
// the decoding, the first frame does not wait for it, and every later frame shows what it shows
// when the pictures come quickly: a layer whose time has come waits for its picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/paths.h"
#include "render/gl.h"
#include "shell/scene.h"
#include "shell/stills.h"

namespace {

struct Frame {
    double t;
    std::vector<unsigned char> rgba;
};

std::mutex gateLock;
std::condition_variable gateCv;
bool gateOpen = false;
std::atomic<int> decodes{0};
int decodesAtFirstFrame = -1;

// Holds every picture back until the first frame is out, then takes its time over each.
void SlowDecode(int) {
    {
        std::unique_lock<std::mutex> lock(gateLock);
        // A first frame that waited for a picture would never come: give up after a minute.
        gateCv.wait_for(lock, std::chrono::seconds(60), [] { return gateOpen; });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    decodes++;
}

void Keep(void* user, double t, const unsigned char* rgba, int width, int height) {
    auto* frames = static_cast<std::vector<Frame>*>(user);
    if (frames->empty()) {
        decodesAtFirstFrame = decodes;
        std::lock_guard<std::mutex> lock(gateLock);
        gateOpen = true;
        gateCv.notify_all();
    }
    frames->push_back({t, std::vector<unsigned char>(rgba, rgba + (size_t)width * height * 4)});
}

// Where two frames of 320x200 differ, for the failure message.
std::string Difference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    int count = 0, most = 0, x0 = 320, y0 = 200, x1 = -1, y1 = -1;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) {
        int d = std::abs(a[i] - b[i]);
        if (!d) continue;
        int x = (int)(i / 4 % 320), y = (int)(i / 4 / 320);
        count++;
        most = std::max(most, d);
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
    return std::to_string(count) + " channels, by up to " + std::to_string(most) + ", within x " +
           std::to_string(x0) + "..." + std::to_string(x1) + ", y " + std::to_string(y0) + "..." + std::to_string(y1);
}

std::vector<Frame> Render(void (*hook)(int)) {
    FXStillsJob job;
    // The start, then just after each group of layers begins to show: stars, far trees and
    // grass, fog, background and left trees and rock, tree and needles and fern, the cube,
    // the fireflies.
    job.times = {0, 0.5, 4, 5, 9.5, 12.5, 16, 20};
    job.width = 320;
    job.height = 200;
    job.seeded = true;
    job.seed = 7;
    job.dataDir = std::string(MH_BINARY_DIR) + "/data";
    gateOpen = false;
    decodes = 0;
    sceneDecodeHook = hook;
    std::vector<Frame> frames;
    EXPECT_EQ(fxRenderStills(job, Keep, &frames), 0);
    sceneDecodeHook = nullptr;
    return frames;
}

} // namespace

TEST(ScenePicturesLater, SlowDecodingChangesNoFrame) {
    std::vector<Frame> quick = Render(nullptr);
    std::vector<Frame> slow = Render(SlowDecode);
    EXPECT_EQ(decodesAtFirstFrame, 0) << "the first frame waited for the woodland's pictures";
    ASSERT_EQ(quick.size(), 8u);
    ASSERT_EQ(slow.size(), quick.size());
    for (size_t i = 0; i < quick.size(); i++)
        EXPECT_TRUE(quick[i].rgba == slow[i].rgba)
            << "the frame at " << quick[i].t << " s differs: " << Difference(quick[i].rgba, slow[i].rgba);
    // The frames are not all the same picture: the layers do show up.
    EXPECT_FALSE(quick.front().rgba == quick.back().rgba);
}

namespace {

bool heldUntilTimeout = false;

// Holds every picture back until the test opens the gate (or a minute has passed).
void HeldDecode(int) {
    std::unique_lock<std::mutex> lock(gateLock);
    if (!gateCv.wait_for(lock, std::chrono::seconds(60), [] { return gateOpen; })) heldUntilTimeout = true;
}

struct CountingRender : PRender {
    std::atomic<int> frames{0};
    void OnRender(PEnv* env, double t) override {
        frames++;
        sc.OnRender(env, t);
    }
};

} // namespace

// A saver asked to end while a frame waits for a picture ends at once: the stop does not wait
// for the decoding.
TEST(ScenePicturesLater, StoppingTheLoopDoesNotWaitForPictures) {
    std::string package = std::string(MH_BINARY_DIR) + "/data/mirehollow.dat";
    ASSERT_TRUE(fxIsReadableFile(package.c_str())) << package << " is not built";
    ASSERT_TRUE(fxLoadDevil());
    FXCanvas desktop;
    ASSERT_TRUE(fxMakeTestCard(&desktop, 160, 100));
    ASSERT_TRUE(gr.Create(fxCreateOffscreenBinding(160, 100)));
    gateOpen = false;
    heldUntilTimeout = false;
    sceneDecodeHook = HeldDecode;
    InitSceneFrames(&desktop, package.c_str());
    gr.SetAct(false);
    CountingRender counting;
    ASSERT_TRUE(gr.StartLoop(&counting));
    // The second frame shows the first stars, whose pictures are held back: it waits.
    for (int i = 0; i < 6000 && counting.frames < 2; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(counting.frames, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    gr.StopLoop(100000);
    {
        std::lock_guard<std::mutex> lock(gateLock);
        EXPECT_FALSE(heldUntilTimeout) << "the loop stopped only once the pictures came";
        gateOpen = true;
        gateCv.notify_all();
    }
    EXPECT_EQ(counting.frames, 2) << "a frame waiting for a picture was not the last one";
    DestroySceneFrames();
    sceneDecodeHook = nullptr;
    fxUnloadDevil();
}
