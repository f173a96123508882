// The gadgets over the built-in woodland, measured against the same stills of a package
// that lacks the gadgets' items: whatever differs between the two is the gadgets' doing.
#include <gtest/gtest.h>
#include <math.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <sstream>

#include "assets/canvas.h"
#include "shell/scene.h"
#include "shell/stills.h"
#include "support/pkgbuild.h"

namespace {

const int kW = 320, kH = 180;
const int kGadgetItems[] = {23, 73, 75, 76};

std::string BuiltInDir() {
    return std::string(MH_BINARY_DIR) + "/data";
}

// The built-in package's manifest without the gadgets' lines, packed into `dir`.
bool WriteWithoutGadgets(const std::string& dir) {
    std::string art = std::string(MH_BINARY_DIR) + "/art";
    std::ifstream manifest(art + "/mirehollow.manifest");
    if (!manifest) return false;
    std::vector<std::pair<int, std::string>> files;
    std::string line;
    while (std::getline(manifest, line)) {
        std::istringstream in(line);
        int id;
        std::string path;
        if (line.empty() || line[0] == '#' || !(in >> id >> path)) continue;
        bool gadget = false;
        for (int g : kGadgetItems)
            gadget |= g == id;
        if (!gadget) files.push_back({id, art + "/" + path});
    }
    mkdir(dir.c_str(), 0755);
    return !files.empty() && mhtest::WritePackageFiles(dir + "/mirehollow.dat", files);
}

struct Shot {
    std::vector<uint8_t> rgba;
    float cube[3];      // where the cube's centre is
    float cubeAlpha;    // its materials' alpha
    bool cubeShown;
};

void Keep(void* user, double t, const unsigned char* rgba, int w, int h) {
    Shot& s = (*(std::map<double, Shot>*)user)[t];
    s.rgba.assign(rgba, rgba + (size_t)w * h * 4);
    demo.path.GetAll(s.cube, demo.travel.phase);
    s.cubeAlpha = demo.skinMat.diffuse[3];
    s.cubeShown = !demo.waiting;
}

FXStillsJob Job(const std::string& dataDir) {
    FXStillsJob job;
    job.width = kW;
    job.height = kH;
    job.dataDir = dataDir;
    job.step = 0.1;
    job.seeded = true;
    job.seed = 4;
    job.times = {14, 16, 45};
    return job;
}

// Where the pixels that differ between the two frames lie: within `radius` (normalised units)
// of the cube's centre, in the medallion's corner (model and label), or elsewhere.
struct Spread {
    int cube = 0, corner = 0, elsewhere = 0;
};

Spread Differences(const Shot& a, const Shot& b, float radius) {
    // The medallion is 0.18 of the half-height across, right edge at 0.9, bottom at -0.85;
    // its label reaches 0.25 below its centre.
    float sx = 0.18f * kH / kW;
    Spread s;
    for (int py = 0; py < kH; py++)
        for (int px = 0; px < kW; px++) {
            size_t i = ((size_t)py * kW + px) * 4;
            if (!memcmp(&a.rgba[i], &b.rgba[i], 3)) continue;
            float nx = (px + 0.5f) / kW * 2 - 1, ny = 1 - (py + 0.5f) / kH * 2;
            if (nx > 0.9f - 2 * sx * 1.34f - 0.02f && nx < 0.96f && ny < -0.47f)
                s.corner++;
            else if (hypotf(nx - a.cube[0], ny - a.cube[1]) <= radius)
                s.cube++;
            else
                s.elsewhere++;
        }
    return s;
}

TEST(SceneGadgets, TheMedallionFromTheStartAndTheCubeAfterFifteenSeconds) {
    struct stat st;
    if (stat((BuiltInDir() + "/mirehollow.dat").c_str(), &st) != 0)
        GTEST_SKIP() << "the built-in package is not built (target mirehollow_data)";
    std::string bare = mhtest::TestTmpDir() + "/bare";
    ASSERT_TRUE(WriteWithoutGadgets(bare));

    std::map<double, Shot> with, without;
    ASSERT_EQ(fxRenderStills(Job(BuiltInDir()), Keep, &with), 0);
    ASSERT_EQ(fxRenderStills(Job(bare), Keep, &without), 0);
    ASSERT_EQ(with.size(), 3u);
    ASSERT_EQ(without.size(), 3u);

    // Half the diagonal of the 0.3 x 0.366 x 0.3 box, with its skin.
    const float reach = 0.6f;
    EXPECT_FALSE(with[14].cubeShown);
    Spread d = Differences(with[14], without[14], 0);
    EXPECT_GT(d.corner, 100) << "the medallion (edge on) and its label at 14 s";
    EXPECT_EQ(d.cube + d.elsewhere, 0) << "nothing of the cube at 14 s";

    EXPECT_TRUE(with[16].cubeShown);
    EXPECT_NEAR(with[16].cubeAlpha, 0.5f, 0.06f);
    d = Differences(with[16], without[16], reach);
    EXPECT_GT(d.cube, 400) << "the cube fading in at 16 s";
    EXPECT_EQ(d.elsewhere, 0);

    EXPECT_EQ(with[45].cubeAlpha, 1.0f);
    d = Differences(with[45], without[45], reach);
    EXPECT_GT(d.cube, 800) << "the cube at 45 s";
    EXPECT_GT(d.corner, 400) << "the medallion and its label at 45 s";
    EXPECT_EQ(d.elsewhere, 0);
}

TEST(SceneGadgets, TheSameStillsCommandGivesTheSamePictures) {
    struct stat st;
    if (stat((BuiltInDir() + "/mirehollow.dat").c_str(), &st) != 0)
        GTEST_SKIP() << "the built-in package is not built (target mirehollow_data)";
    std::string data = BuiltInDir();
    for (const char* seed : {(const char*)nullptr, "12"}) {
        std::string out[2];
        for (int run = 0; run < 2; run++) {
            out[run] = mhtest::TestTmpPath("same_" + std::to_string(run) + "_%d.png");
            FXStillsArgs a;
            a.renderAt = "20";
            a.size = "200x150";
            a.data = data.c_str();
            a.step = "0.25";
            a.seed = seed;
            a.output = out[run].c_str();
            ASSERT_EQ(fxStillsMain(a), 0);
        }
        mhtest::Bytes first = mhtest::ReadFileBytes(fxStillName(out[0], 20));
        ASSERT_FALSE(first.empty());
        EXPECT_TRUE(first == mhtest::ReadFileBytes(fxStillName(out[1], 20))) << (seed ? "seeded" : "unseeded");
    }
}

} // namespace
