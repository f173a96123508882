// The whole scene on the offscreen device, with a package of plain-coloured pictures at the
// scene's item numbers, checked in pixels against the values its stages and phasers give.
#include <gtest/gtest.h>

#include "support/skip.h"
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <algorithm>
#include <map>
#include <set>

#include "assets/matlib.h"
#include "assets/model.h"
#include "assets/testimages.h"
#include "geometry/mesh.h"
#include "render/other.h"
#include "shell/scene.h"
#include "shell/stills.h"
#include "support/glcontext.h"
#include "support/pkgbuild.h"
#include "support/xserver.h"

namespace {

struct Rgb {
    double r, g, b;
};

const int kW = 256, kH = 192; // a quarter of the 1024 x 768 background in each direction
const Rgb kDesk = {200, 150, 100};
const Rgb kBack = {20, 60, 200};

mhtest::Bytes SolidPng(int w, int h, Rgb c) {
    mhtest::Picture p(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p.Set(x, y, (uint8_t)c.r, (uint8_t)c.g, (uint8_t)c.b, 255);
    return mhtest::EncodePng(p);
}

mhtest::Bytes ClearPng(int w, int h) {
    mhtest::Picture p(w, h);
    return mhtest::EncodePng(p);
}

// A material library of one material, and a model file of one triangle folded into a
// point that uses it through library item 90.
mhtest::Bytes PointLibrary() {
    FXMatlib lib;
    FXMaterial* mat = new FXMaterial;
    mat->libOwned = true;
    mat->name.Set("point");
    lib.AddMaterial(mat);
    std::string path = mhtest::TestTmpPath("point.lib");
    EXPECT_TRUE(lib.Save(path.c_str()));
    return mhtest::ReadFileBytes(path);
}

mhtest::Bytes PointModel() {
    FXModel model;
    model.matlibRef.Set("90");
    FXMesh* m = new FXMesh;
    m->materialName.Set("point");
    m->Realloc(3, 3);
    memset(m->vertices, 0, sizeof(tagFXVertex) * 3);
    for (int i = 0; i < 3; i++)
        m->indices[i] = i;
    model.meshes.Push(m);
    std::string path = mhtest::TestTmpPath("point.xm");
    EXPECT_TRUE(model.Save(path.c_str()));
    return mhtest::ReadFileBytes(path);
}

// Star frame i is red 16 i + 8, so the frame on show can be read off a pixel.
Rgb StarColour(int i) {
    return {16.0 * i + 8, 255, 0};
}

std::string g_dataDir;
std::string g_desktop;

std::vector<mhtest::PackageItem> ScenePackageItems() {
    std::vector<mhtest::PackageItem> items = {
        {12, "png", SolidPng(1024, 768, kBack)},
        {10, "png", SolidPng(200, 60, {0, 255, 255})},   // far trees
        {8, "png", SolidPng(100, 100, {255, 0, 0})},     // trees at the left
        {7, "png", SolidPng(200, 60, {255, 255, 0})},    // lake grass
        {5, "png", SolidPng(100, 30, {128, 128, 128})},  // rock
        {2, "png", SolidPng(100, 100, {0, 128, 0})},     // tree
        {1, "png", SolidPng(100, 60, {0, 0, 128})},      // fern
        {0, "png", SolidPng(30, 100, {128, 0, 0})},      // needles
        {4, "png", SolidPng(300, 100, {255, 255, 255})}, // fog mask
        {13, "png", SolidPng(64, 64, {255, 255, 255})},  // fog banks
        {14, "png", SolidPng(64, 64, {255, 255, 255})},  //
        {74, "png", SolidPng(32, 16, {0, 255, 0})},      // error message
        {24, "png", SolidPng(64, 48, {255, 128, 0})},    // preview
        // The gadgets are checked in their own tests; here they are clear (the medallion a
        // single point) so that they never cover the points the layers are read at.
        {75, "png", ClearPng(16, 16)},
        {76, "png", ClearPng(16, 16)},
        {23, "png", ClearPng(16, 16)},
        {73, "", PointModel()},
        {90, "", PointLibrary()},
    };
    for (int i = 0; i < 16; i++)
        items.push_back({25 + i, "png", SolidPng(128, 128, StarColour(i))});
    for (int i = 0; i < 7; i++)
        items.push_back({16 + i, "png", SolidPng(8, 8, {255, 0, 255})});
    return items;
}

void WriteScenePackage() {
    if (!g_dataDir.empty()) return;
    g_dataDir = mhtest::TestTmpDir() + "/data";
    mkdir(g_dataDir.c_str(), 0755);
    ASSERT_TRUE(mhtest::WritePackageItems(g_dataDir + "/mirehollow.dat", ScenePackageItems()));
    g_desktop = mhtest::TestTmpPath("desktop.png");
    ASSERT_TRUE(mhtest::WriteFileBytes(g_desktop, SolidPng(kW, kH, kDesk)));
}

// Sample points, in pixels of the 256 x 192 frame (reference pixels / 4): where only the
// desktop and the background show, inside the star layer, inside the fog.
const int kDeskX = 100, kDeskY = 15;
const int kStarX = 25, kStarY = 16;
const int kFogX = 80, kFogY = 90;

Rgb Mix(Rgb a, Rgb b, double f) {
    return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f};
}
Rgb Scale(Rgb a, double f) {
    return {a.r * f, a.g * f, a.b * f};
}

// What the desktop and background give at time t, with the background's opacity b.
Rgb DeskAndBack(double t, double b) {
    double dark = t >= 30 ? 1 : t / 30;
    return Mix(Scale(kDesk, 1 - dark), kBack, b);
}

double BackStage(double t) {
    double p = t / 30;
    return p <= 0.3 ? 0 : p >= 1 ? 1 : (p - 0.3) / 0.7;
}

struct Frame {
    std::vector<uint8_t> rgba;
    Rgb At(int x, int y) const {
        const uint8_t* p = &rgba[((size_t)y * kW + x) * 4];
        return {(double)p[0], (double)p[1], (double)p[2]};
    }
};

::testing::AssertionResult Near(Rgb got, Rgb want, double tol = 3) {
    if (fabs(got.r - want.r) <= tol && fabs(got.g - want.g) <= tol && fabs(got.b - want.b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.r << ", " << got.g << ", " << got.b << "), want ("
                                         << want.r << ", " << want.g << ", " << want.b << ")";
}

struct Recorder {
    double clockStart = 0;
    std::set<double> keep;
    std::map<double, Frame> frames;
    std::map<double, bool> fogHalf; // first1 after the frame
    std::set<double> starts[5];     // flight starts seen
    std::vector<std::pair<double, bool>> magentaAtFirefly;
};

void Record(void* user, double t, const unsigned char* rgba, int w, int h) {
    Recorder* r = (Recorder*)user;
    ASSERT_EQ(w, kW);
    ASSERT_EQ(h, kH);
    if (r->keep.count(t)) r->frames[t].rgba.assign(rgba, rgba + (size_t)w * h * 4);
    r->fogHalf[t] = first1;
    for (int g = 0; g < 5; g++) {
        FXFireFly& f = firefly[g];
        if (!f.IsPlaying()) continue;
        r->starts[g].insert(f.flight.start - r->clockStart);
        if (f.brightness < 1) continue;
        int x = (int)((f.curPos[0] + 1) / 2 * w), y = (int)((1 - f.curPos[1]) / 2 * h);
        if (x < 0 || y < 0 || x >= w || y >= h) continue;
        const unsigned char* p = rgba + ((size_t)y * w + x) * 4;
        r->magentaAtFirefly.push_back({t, p[0] > 240 && p[1] < 16 && p[2] > 240});
    }
}

class SceneTimeline : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { WriteScenePackage(); }
};

// Stills of the test package over the test desktop, sixteen frames a second.
FXStillsJob SceneJob(unsigned seed) {
    FXStillsJob job;
    job.width = kW;
    job.height = kH;
    job.desktop = g_desktop;
    job.dataDir = g_dataDir;
    job.step = 1.0 / 16;
    job.seeded = true;
    job.seed = seed;
    return job;
}

TEST_F(SceneTimeline, FollowsTheStagesAndPhasers) {
    FXStillsJob job = SceneJob(20261207);
    Recorder rec;
    rec.clockStart = job.clockStart;
    std::vector<double> checks = {0, 3, 6, 8.9375, 15, 17, 17.25, 17.3125, 30, 45, 50, 65, 80};
    for (int k = 0; k < 16; k++)
        checks.push_back(10 + k / 16.0 + 1 / 32.0);
    for (double t : checks)
        rec.keep.insert(t);
    job.times = checks;
    for (double t = 17; t <= 45; t += 0.25)
        job.times.push_back(t);
    std::sort(job.times.begin(), job.times.end());
    job.times.erase(std::unique(job.times.begin(), job.times.end()), job.times.end());

    ASSERT_EQ(fxRenderStills(job, Record, &rec), 0);
    ASSERT_EQ(rec.frames.size(), rec.keep.size());

    // At the start only the desktop shows, unchanged, everywhere.
    const Frame& f0 = rec.frames[0];
    for (int y = 0; y < kH; y += 3)
        for (int x = 0; x < kW; x += 3)
            ASSERT_TRUE(Near(f0.At(x, y), kDesk, 1)) << x << "," << y;

    // The desktop darkens over 30 seconds; the background comes in from 9 seconds on.
    for (double t : {3.0, 6.0, 8.9375, 15.0})
        EXPECT_TRUE(Near(rec.frames[t].At(kDeskX, kDeskY), DeskAndBack(t, BackStage(t)))) << "t " << t;
    EXPECT_TRUE(Near(rec.frames[30].At(kDeskX, kDeskY), kBack)) << "background full at 30 s";

    // Then the background pulses down to half and back: the ping-pong phaser takes over on
    // the first frame after 30 s, 30 seconds a leg, dimming while its phase passes 0.42 ... 0.58.
    double pulseStart = 30 + job.step;
    auto pulse = [&](double t) {
        double leg = (t - pulseStart) / 30;
        double phase = leg < 1 ? leg : 2 - leg;
        double on = phase <= 0.42 ? 1 : phase >= 0.58 ? 0 : (0.58 - phase) / 0.16;
        return on * 0.5 + 0.5;
    };
    for (double t : {45.0, 50.0, 65.0, 80.0})
        EXPECT_TRUE(Near(rec.frames[t].At(kDeskX, kDeskY), Scale(kBack, pulse(t)))) << "t " << t;
    EXPECT_NEAR(pulse(50), 0.5, 1e-9);
    EXPECT_NEAR(pulse(80), 1.0, 1e-9);

    // Sixteen star frames a second.
    for (int k = 0; k < 16; k++) {
        double t = 10 + k / 16.0 + 1 / 32.0;
        EXPECT_TRUE(Near(rec.frames[t].At(kStarX, kStarY), StarColour(k))) << "t " << t;
    }

    // The fog passes half strength at 17.25 s, which releases the fireflies.
    EXPECT_FALSE(rec.fogHalf[17.0]);
    EXPECT_TRUE(rec.fogHalf[17.3125]);
    {
        double v = 0.5, t = 17.25;
        Rgb p = DeskAndBack(t, BackStage(t));
        p = Mix(p, {255, 255, 255}, 0.32 * v);
        p = Mix(p, {255, 255, 255}, 0.2 * v);
        EXPECT_TRUE(Near(rec.frames[17.25].At(kFogX, kFogY), p));
    }

    // The first firefly starts about two seconds later; no two start within two seconds.
    std::vector<double> starts;
    for (auto& s : rec.starts)
        starts.insert(starts.end(), s.begin(), s.end());
    std::sort(starts.begin(), starts.end());
    ASSERT_GE(starts.size(), 5u);
    EXPECT_GT(starts[0], 19.25);
    EXPECT_LT(starts[0], 19.5);
    for (size_t i = 1; i < starts.size(); i++)
        EXPECT_GT(starts[i] - starts[i - 1], 2.0);
    // A firefly in full flight shows its picture where it is.
    ASSERT_FALSE(rec.magentaAtFirefly.empty());
    for (auto& m : rec.magentaAtFirefly)
        EXPECT_TRUE(m.second) << "t " << m.first;
}

void Keep(void* user, double, const unsigned char* rgba, int w, int h) {
    ((std::vector<uint8_t>*)user)->assign(rgba, rgba + (size_t)w * h * 4);
}

TEST_F(SceneTimeline, SketchedFramesBetweenStillsChangeNothing) {
    FXStillsJob job = SceneJob(99);
    job.times = {24.5};
    std::vector<uint8_t> quick, full;
    ASSERT_EQ(fxRenderStills(job, Keep, &quick), 0);
    job.drawEveryFrame = true;
    ASSERT_EQ(fxRenderStills(job, Keep, &full), 0);
    ASSERT_EQ(quick.size(), (size_t)kW * kH * 4);
    EXPECT_TRUE(quick == full);
}

TEST_F(SceneTimeline, OnAWideScreenRockTreeNeedlesAndFernKeepTheirShapeAndSide) {
    // Twice as wide as the background's proportions: the layers that keep their shape narrow
    // to half their stretched width, the rock towards the left edge of its place, the tree
    // and the needles towards the right, the fern towards its centre. At 19 s all four are
    // partly in and no firefly flies yet.
    FXStillsJob job = SceneJob(5);
    job.width = 2 * kW;
    job.height = kH;
    job.times = {19};
    std::vector<uint8_t> px;
    ASSERT_EQ(fxRenderStills(job, Keep, &px), 0);
    ASSERT_EQ(px.size(), (size_t)job.width * job.height * 4);
    auto at = [&](int refX, int refY) {
        const uint8_t* p = &px[((size_t)(refY * kH / 768) * job.width + refX * job.width / 1024) * 4];
        return Rgb{(double)p[0], (double)p[1], (double)p[2]};
    };
    Rgb open = DeskAndBack(19, BackStage(19));
    struct {
        const char* layer;
        int in[2];
        int out[2][2]; // inside the stretched place, outside the narrowed one
    } cases[] = {
        {"rock", {25, 482}, {{75, 482}, {75, 482}}},
        {"tree", {703, 50}, {{653, 50}, {653, 50}}},
        {"needles", {605, 20}, {{589, 20}, {589, 20}}},
        {"fern", {206, 661}, {{168, 661}, {243, 661}}},
    };
    for (auto& c : cases) {
        EXPECT_FALSE(Near(at(c.in[0], c.in[1]), open, 15)) << c.layer << " missing from its place";
        for (auto& o : c.out)
            EXPECT_TRUE(Near(at(o[0], o[1]), open, 4)) << c.layer << " stretched";
    }
}

// The scene built directly on the offscreen device, for the rules single frames show.
class SceneFrames : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { WriteScenePackage(); }
    void SetUp() override {
        ASSERT_TRUE(fxLoadDevil());
        ASSERT_TRUE(desktop.CreateFromPict(g_desktop.c_str()));
        ASSERT_TRUE(gr.Create(fxCreateOffscreenBinding(kW, kH)));
    }
    void Build(bool preview = false) {
        InitSceneFrames(&desktop, (g_dataDir + "/mirehollow.dat").c_str(), preview);
        built = true;
    }
    void TearDown() override {
        if (built) DestroySceneFrames();
        gr.Destroy();
        fxSetEnv(nullptr);
        fxUnloadDevil();
    }
    Frame Read() {
        Frame f;
        f.rgba.resize((size_t)kW * kH * 4);
        EXPECT_TRUE(gr.ReadFrame(f.rgba.data()));
        return f;
    }
    int Playing() {
        int n = 0;
        for (auto& f : firefly)
            n += f.IsPlaying();
        return n;
    }
    FXCanvas desktop;
    bool built = false;
};

TEST_F(SceneFrames, UsesSixLightSlotsAndLoadsEveryItem) {
    Build();
    EXPECT_EQ(sceneMissingItems.count, 0);
    int used = 0;
    for (FXLight* l : gr.lights)
        used += l != nullptr;
    EXPECT_EQ(used, 6);
    EXPECT_EQ(gr.lights[0], &light);
    EXPECT_FALSE(hasError);
    EXPECT_FALSE(err_gad.visible);
    // Once every picture is in, the package's bytes are given back.
    EXPECT_NE(pck.dataBlock, nullptr);
    sc.OnRender(&gr, 0);
    sc.OnRender(&gr, 40);
    EXPECT_EQ(sceneMissingItems.count, 0);
    EXPECT_EQ(pck.dataBlock, nullptr);
}

// The star frames share one texture; a frame of another size keeps its own. Each shows its
// own picture in turn, whichever came before it.
TEST_F(SceneFrames, EveryStarFrameShowsItsPictureWhenOneHasAnotherSize) {
    std::vector<mhtest::PackageItem> items = ScenePackageItems();
    for (auto& item : items)
        if (item.id == 25 + 3) item.bytes = SolidPng(64, 32, StarColour(3));
    std::string package = mhtest::TestTmpPath("stars.dat");
    ASSERT_TRUE(mhtest::WritePackageItems(package, items));
    InitSceneFrames(&desktop, package.c_str());
    built = true;
    std::set<int> seen;
    for (int n = 0; n < 16 * 12; n++) {
        double t = n / 16.0 + 1 / 32.0;
        sc.OnRender(&gr, t);
        if (t < 10) continue;
        seen.insert(act_star);
        EXPECT_TRUE(Near(Read().At(kStarX, kStarY), StarColour(act_star))) << "t " << t << ", frame " << act_star;
    }
    EXPECT_EQ(seen.size(), 16u);
    EXPECT_EQ(sceneMissingItems.count, 0);
}

TEST_F(SceneFrames, FirefliesStartOneAtATimeMoreThanTwoSecondsApart) {
    Build();
    double t = 0;
    while (!first1_done && t < 40) {
        sc.OnRender(&gr, t);
        t += 0.25;
    }
    ASSERT_TRUE(first1_done);
    EXPECT_EQ(Playing(), 0);
    double l = lastff;
    sc.OnRender(&gr, l + 2.0);
    EXPECT_EQ(Playing(), 0) << "exactly two seconds is not enough";
    sc.OnRender(&gr, l + 2.0 + 1.0 / 64);
    EXPECT_EQ(Playing(), 1);
    EXPECT_TRUE(firefly[0].IsPlaying());
    EXPECT_DOUBLE_EQ(lastff, l + 2.0 + 1.0 / 64);

    // Fill all five, then no start while they all fly.
    t = lastff;
    while (Playing() < 5) {
        t += 2.0 + 1.0 / 64;
        sc.OnRender(&gr, t);
    }
    double full = lastff;
    double ends[5];
    for (int g = 0; g < 5; g++)
        ends[g] = firefly[g].flight.start + firefly[g].flight.duration;
    double firstEnd = *std::min_element(ends, ends + 5);
    if (firstEnd > full + 2.5) {
        sc.OnRender(&gr, full + 2.5);
        EXPECT_EQ(lastff, full) << "all five fly: none may start";
        EXPECT_EQ(Playing(), 5);
    }
    // On the frame one of them lands (and two seconds have passed) it takes off again.
    double land = std::max(firstEnd, full + 2.0) + 1.0 / 64;
    int starter = -1;
    for (int g = 4; g >= 0; g--)
        if (ends[g] <= land) starter = g;
    sc.OnRender(&gr, land);
    EXPECT_EQ(Playing(), 5);
    ASSERT_GE(starter, 0);
    EXPECT_DOUBLE_EQ(firefly[starter].flight.start, land);
    EXPECT_DOUBLE_EQ(lastff, land);
}

TEST_F(SceneFrames, StarFrameStaysInRangeAcrossTheClockWrap) {
    Build();
    // The clock restarts from 0 after 4294967.296 s; start 20 s before that.
    const double wrap = 4294967.296;
    double start = wrap - 20;
    double lastShown = -1;
    for (double s = 0; s <= 40; s += 0.0625) {
        double clock = fmod(start + s, wrap);
        sc.OnRender(&gr, clock);
        ASSERT_GE(act_star, 0);
        ASSERT_LE(act_star, 15);
        lastShown = s;
    }
    EXPECT_EQ(lastShown, 40);
    // 40 s after the start the woodland is fully in: nothing started over at the wrap.
    Frame f = Read();
    EXPECT_TRUE(Near(f.At(kDeskX, kDeskY), kBack, 3));
    EXPECT_TRUE(first1_done);
}

TEST_F(SceneFrames, InsufficientDriverShowsTheErrorTopLeft) {
    gr.extMultitexture = false;
    Build();
    EXPECT_TRUE(hasError);
    EXPECT_TRUE(err_gad.visible);
    sc.OnRender(&gr, 0);
    Frame f = Read();
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 60; x++) {
            bool inside = x >= 10 && x < 42 && y >= 10 && y < 26;
            ASSERT_TRUE(Near(f.At(x, y), inside ? Rgb{0, 255, 0} : kDesk, 1)) << x << "," << y;
        }
}

TEST_F(SceneFrames, TheErrorStaysOnTopOfTheCube) {
    // The cube, made visible and parked over the error message, against the same frame
    // without it.
    std::string red = mhtest::TestTmpPath("red.png");
    ASSERT_TRUE(mhtest::WriteFileBytes(red, SolidPng(16, 16, {255, 0, 0})));
    Frame frames[2];
    for (int withCube = 0; withCube < 2; withCube++) {
        if (withCube) {
            ASSERT_TRUE(gr.Create(fxCreateOffscreenBinding(kW, kH)));
        }
        gr.extMultitexture = false;
        Build();
        if (withCube) {
            demo.Destroy();
            demo.Create(red.c_str(), red.c_str());
            for (int i = 0; i < demo.path.points.count; i += 3) {
                demo.path.points.items[i] = -0.75f;
                demo.path.points.items[i + 1] = 0.8f;
            }
            demo.path.Precompute();
            demo.path.PrecomputePhasesLenght();
        }
        for (double t = 0; t <= 18; t += 0.25)
            sc.OnRender(&gr, t);
        frames[withCube] = Read();
        DestroySceneFrames();
        built = false;
    }
    for (int y = 10; y < 26; y++)
        for (int x = 10; x < 42; x++)
            ASSERT_TRUE(Near(frames[1].At(x, y), {0, 255, 0}, 1)) << x << "," << y;
    // Around the message the cube covers the scene (it always covers 0.3 units round its centre).
    for (auto p : {std::make_pair(50, 19), std::make_pair(32, 35), std::make_pair(5, 5)})
        EXPECT_FALSE(Near(frames[1].At(p.first, p.second), frames[0].At(p.first, p.second), 10))
            << p.first << "," << p.second;
}

TEST_F(SceneFrames, PreviewShowsOnlyThePreviewPicture) {
    Build(true);
    for (FXLight* l : gr.lights)
        EXPECT_EQ(l, nullptr);
    EXPECT_EQ(firefly[0].frameCount, 0);
    sc.OnRender(&gr, 100);
    sc.OnRender(&gr, 130);
    Frame f = Read();
    for (int y = 0; y < kH; y += 7)
        for (int x = 0; x < kW; x += 7)
            ASSERT_TRUE(Near(f.At(x, y), {255, 128, 0}, 1)) << x << "," << y;
    EXPECT_TRUE(first);
    EXPECT_FALSE(first1);
}

// The saver itself in its trial window on a private X server, with the test package.
class SceneWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { WriteScenePackage(); }
    void SetUp() override {
        exe = std::string(MH_BINARY_DIR) + "/mhollow";
        if (access(exe.c_str(), X_OK) != 0) MH_SKIP_OUTSIDE_CI("the saver is not built");
        if (system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0)
            MH_SKIP_OUTSIDE_CI("Xvfb or xdotool is missing");
        ASSERT_TRUE(xserver.Start(640, 480)) << "no private X server";
        display = xserver.display;
        dpy = XOpenDisplay(display.c_str());
        ASSERT_NE(dpy, nullptr);

        home = mhtest::TestTmpDir() + "/window";
        data = home + "/data";
        std::string cmd =
            "rm -rf '" + home + "' && mkdir -p '" + data + "' '" + home + "/config/vesk3d/Screensavers'";
        ASSERT_EQ(system(cmd.c_str()), 0);
        ASSERT_EQ(symlink((g_dataDir + "/mirehollow.dat").c_str(), (data + "/mirehollow.dat").c_str()), 0);
        std::ofstream(home + "/config/vesk3d/Screensavers/Mirehollow.conf") << "path=" << data << "\n";
    }
    void TearDown() override {
        if (saver > 0) {
            kill(saver, SIGKILL);
            waitpid(saver, nullptr, 0);
        }
        if (dpy) XCloseDisplay(dpy);
        xserver.Stop();
    }
    // Starts the saver with these arguments, in the test's scratch directory, with the test
    // package as its data directory.
    bool Spawn(std::vector<const char*> args) {
        std::string env[] = {"DISPLAY=" + display, "XDG_CONFIG_HOME=" + home + "/config",
                             "XDG_STATE_HOME=" + home + "/state", "HOME=" + home};
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back((char*)e.c_str());
        // Sanitizer settings of the test run apply to the saver too.
        std::string sanitizer[2];
        const char* names[2] = {"ASAN_OPTIONS", "UBSAN_OPTIONS"};
        for (int i = 0; i < 2; i++)
            if (const char* v = getenv(names[i])) {
                sanitizer[i] = std::string(names[i]) + "=" + v;
                envp.push_back((char*)sanitizer[i].c_str());
            }
        envp.push_back(nullptr);
        args.insert(args.begin(), exe.c_str());
        args.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addchdir_np(&fa, mhtest::TestTmpDir().c_str());
        bool ok = posix_spawn(&saver, exe.c_str(), &fa, nullptr, (char**)args.data(), envp.data()) == 0;
        posix_spawn_file_actions_destroy(&fa);
        return ok;
    }
    Window FindWindow(const char* name) {
        Window root, parent, *children = nullptr, found = 0;
        unsigned n = 0;
        if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n)) return 0;
        for (unsigned i = 0; i < n && !found; i++) {
            XWindowAttributes a;
            char* wname = nullptr;
            if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable &&
                XFetchName(dpy, children[i], &wname) && wname && strcmp(wname, name) == 0)
                found = children[i];
            if (wname) XFree(wname);
        }
        if (children) XFree(children);
        return found;
    }
    std::string exe, display, home, data;
    XServer xserver;
    pid_t saver = -1;
    Display* dpy = nullptr;
};

TEST_F(SceneWindow, RunsFortySecondsWithoutErrorsAndEndsOnAKey) {
    // The desktop picture is named relative to the directory the saver starts in.
    double begin = fxGetTime();
    ASSERT_TRUE(Spawn({"--window=320x240", "--desktop", "desktop.png"}));
    Window w = 0;
    while (!w && fxGetTime() - begin < 20) {
        usleep(100000);
        w = FindWindow("Mirehollow");
    }
    ASSERT_NE(w, 0u) << "no saver window";
    while (fxGetTime() - begin < 40)
        usleep(200000);

    // Every layer where it belongs, at a quarter of the background's size and a little less.
    XImage* img = XGetImage(dpy, w, 0, 0, 320, 240, AllPlanes, ZPixmap);
    ASSERT_NE(img, nullptr);
    auto at = [&](int refX, int refY) {
        unsigned long p = XGetPixel(img, refX * 320 / 1024, refY * 240 / 768);
        return Rgb{(double)((p >> 16) & 0xFF), (double)((p >> 8) & 0xFF), (double)(p & 0xFF)};
    };
    EXPECT_TRUE(Near(at(400, 60), kBack, 4)) << "background over the dark desktop";
    Rgb star = at(100, 64);
    EXPECT_GT(star.g, 240) << "stars";
    EXPECT_LT(star.b, 16) << "stars";
    EXPECT_TRUE(Near(at(100, 170), {0, 255, 255}, 4)) << "far trees";
    EXPECT_TRUE(Near(at(10, 50), {255, 0, 0}, 4)) << "trees at the left";
    EXPECT_TRUE(Near(at(100, 540), {255, 255, 0}, 4)) << "lake grass";
    EXPECT_TRUE(Near(at(595, 20), {128, 0, 0}, 4)) << "needles";
    EXPECT_TRUE(Near(at(320, 380), {127, 149, 225}, 6)) << "fog";
    XDestroyImage(img);
    // Rock, tree and fern are dark shapes, lit only by passing fireflies; a firefly may be
    // passing one of them at any moment, so each is judged at its darkest over four seconds.
    const int darkRef[3][2] = {{50, 485}, {700, 50}, {200, 660}};
    double darkest[3] = {1e9, 1e9, 1e9};
    for (int shot = 0; shot < 8; shot++) {
        img = XGetImage(dpy, w, 0, 0, 320, 240, AllPlanes, ZPixmap);
        ASSERT_NE(img, nullptr);
        for (int i = 0; i < 3; i++) {
            Rgb p = at(darkRef[i][0], darkRef[i][1]);
            darkest[i] = std::min(darkest[i], p.r + p.g + p.b);
        }
        XDestroyImage(img);
        usleep(500000);
    }
    for (int i = 0; i < 3; i++)
        EXPECT_LT(darkest[i], kBack.r + kBack.g + kBack.b) << "dark shape " << i;

    std::string cmd =
        "DISPLAY=" + display + " xdotool key --window " + std::to_string(w) + " space >/dev/null 2>&1";
    // (xdotool may complain about the focus on a server without a window manager; the key
    // still arrives.)
    int rc = system(cmd.c_str());
    (void)rc;
    int status = -1;
    double asked = fxGetTime();
    while (fxGetTime() - asked < 10 && waitpid(saver, &status, WNOHANG) != saver)
        usleep(50000);
    ASSERT_TRUE(WIFEXITED(status)) << "the saver did not end on the key press";
    saver = -1;
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::ifstream log(data + "/mhollow.log");
    ASSERT_TRUE(log.good()) << "no log in the data directory";
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("OpenGL info"), std::string::npos);
    EXPECT_EQ(text.str().find("#ERROR"), std::string::npos) << text.str();
}

TEST_F(SceneWindow, PhotographsTheDesktopBeforeItsWindowShows) {
    // A green desktop with a red window over its bottom-right quarter, where the trial
    // window will not lie.
    Window root = DefaultRootWindow(dpy);
    XSetWindowBackground(dpy, root, 0x00C800);
    XClearWindow(dpy, root);
    Window red = XCreateSimpleWindow(dpy, root, 320, 240, 320, 240, 0, 0, 0xFF0000);
    XMapWindow(dpy, red);
    XSync(dpy, False);

    struct {
        const char* arg;
        const char* title;
        int width;
    } modes[] = {{"--window=320x240", "Mirehollow", 320}, {"--fullscreen", "SCREENSAVER", 640}};
    for (auto& m : modes) {
        SCOPED_TRACE(m.arg);
        ASSERT_TRUE(Spawn({m.arg}));
        Window w = 0;
        for (double begin = fxGetTime(); !w && fxGetTime() - begin < 20;) {
            usleep(100000);
            w = FindWindow(m.title);
        }
        ASSERT_NE(w, 0u) << "no saver window";
        // The scene shows the whole screen as photographed, scaled to its window.
        auto at = [&](int screenX, int screenY) {
            XImage* img =
                XGetImage(dpy, w, screenX * m.width / 640, screenY * m.width / 640, 1, 1, AllPlanes, ZPixmap);
            if (!img) return Rgb{-1, -1, -1};
            unsigned long p = XGetPixel(img, 0, 0);
            XDestroyImage(img);
            return Rgb{(double)((p >> 16) & 0xFF), (double)((p >> 8) & 0xFF), (double)(p & 0xFF)};
        };
        // Wait for the red quarter to appear in the picture, then look at where the saver's
        // own window lies now: the photograph shows the green desktop there, not the window.
        Rgb quarter = at(480, 360);
        for (double begin = fxGetTime(); quarter.r < 150 && fxGetTime() - begin < 8; quarter = at(480, 360))
            usleep(100000);
        EXPECT_TRUE(quarter.r >= 150 && quarter.g < 40 && quarter.b < 40)
            << "red quarter: " << quarter.r << ", " << quarter.g << ", " << quarter.b;
        Rgb desk = at(200, 120);
        EXPECT_TRUE(desk.g >= 120 && desk.r < 40 && desk.b < 40)
            << "desktop under the window: " << desk.r << ", " << desk.g << ", " << desk.b;

        kill(saver, SIGTERM);
        int status = -1;
        for (double asked = fxGetTime();
             fxGetTime() - asked < 10 && waitpid(saver, &status, WNOHANG) != saver;)
            usleep(50000);
        ASSERT_TRUE(WIFEXITED(status)) << "the saver did not end on SIGTERM";
        saver = -1;
    }
    XDestroyWindow(dpy, red);
}

} // namespace
