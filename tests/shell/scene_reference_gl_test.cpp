// What the saver shows, compared with reference stills: 5, 20 and 45 seconds in, at 1024x768
// and 1920x1080, over the generated test card with fixed firefly paths.
//
// Rendering work (texture filtering, mipmaps, draw calls, decoding order) must not change the
// picture: every channel within 2 levels of the reference and the mean difference below 0.1
// level. When what the saver shows is meant to change, redraw the references with
//   MH_WRITE_REFERENCE_STILLS=1 build/tests/test_shell_scene_reference_gl
// and look at them before committing.

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "assets/canvas.h"
#include "shell/stills.h"

namespace {

struct Frame {
    double t;
    std::vector<unsigned char> rgba;
};

void Keep(void* user, double t, const unsigned char* rgba, int width, int height) {
    static_cast<std::vector<Frame>*>(user)->push_back({t, std::vector<unsigned char>(rgba, rgba + (size_t)width * height * 4)});
}

std::string ReferencePath(int w, int h, double t) {
    return std::string(MH_SOURCE_DIR) + "/tests/shell/stills/still_" + std::to_string(w) + "x" + std::to_string(h) +
           "_" + std::to_string((int)t) + ".png";
}

bool WriteReference(const Frame& f, int w, int h, const std::string& path) {
    FXCanvas c;
    if (!c.pixmap.Realloc(w, h)) return false;
    for (int y = 0; y < h; y++)
        memcpy(c.pixmap.pixels + (size_t)y * c.pixmap.stride, f.rgba.data() + (size_t)y * w * 4, (size_t)w * 4);
    return c.SaveToPict(path.c_str());
}

void CompareStills(int w, int h) {
    FXStillsJob job;
    job.times = {5, 20, 45};
    job.width = w;
    job.height = h;
    job.seeded = true;
    job.seed = 7;
    job.dataDir = std::string(MH_BINARY_DIR) + "/data";
    std::vector<Frame> frames;
    ASSERT_EQ(fxRenderStills(job, Keep, &frames), 0);
    ASSERT_EQ(frames.size(), 3u);
    ASSERT_TRUE(fxLoadDevil());
    bool write = getenv("MH_WRITE_REFERENCE_STILLS") != nullptr;
    for (const Frame& f : frames) {
        std::string path = ReferencePath(w, h, f.t);
        if (write) {
            EXPECT_TRUE(WriteReference(f, w, h, path)) << path;
            continue;
        }
        FXCanvas ref;
        ASSERT_TRUE(ref.CreateFromPict(path.c_str())) << path;
        ASSERT_EQ(ref.GetWidth(), w);
        ASSERT_EQ(ref.GetHeight(), h);
        int worst = 0, worstX = 0, worstY = 0;
        double sum = 0;
        for (int y = 0; y < h; y++) {
            const uint32_t* row = ref.pixmap.pixels + (size_t)y * ref.pixmap.stride;
            const unsigned char* got = f.rgba.data() + (size_t)y * w * 4;
            for (int x = 0; x < w; x++)
                for (int k = 0; k < 3; k++) {
                    int d = abs((int)((row[x] >> (8 * k)) & 0xFF) - (int)got[x * 4 + k]);
                    sum += d;
                    if (d > worst) {
                        worst = d;
                        worstX = x;
                        worstY = y;
                    }
                }
        }
        double mean = sum / ((double)w * h * 3);
        printf("%s: largest difference %d, mean %.4f\n", path.c_str(), worst, mean);
        EXPECT_LE(worst, 2) << path << ": largest difference at " << worstX << "," << worstY;
        EXPECT_LT(mean, 0.1) << path;
    }
    fxUnloadDevil();
}

TEST(ReferenceStills, At1024x768) {
    CompareStills(1024, 768);
}

TEST(ReferenceStills, At1920x1080) {
    CompareStills(1920, 1080);
}

} // namespace
