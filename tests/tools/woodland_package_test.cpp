// The built-in package made by the build: every picture the scene reads is there, decodes,
// and is sized so its layer lands where the scene places it.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>

#include "assets/canvas.h"
#include "assets/model.h"
#include "assets/package.h"
#include "geometry/mesh.h"
#include "support/skip.h"
#include "support/testenv.h"

namespace {

const int kRefW = 1024, kRefH = 768;

class WoodlandPackage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        path = std::string(MH_BINARY_DIR) + "/data/mirehollow.dat";
        struct stat st;
        present = stat(path.c_str(), &st) == 0;
        if (present) {
            pkg = new FXPackage;
            pkg->Load(path.c_str());
            devil = fxLoadDevil();
        }
    }
    static void TearDownTestSuite() {
        delete pkg;
        pkg = nullptr;
        if (devil) fxUnloadDevil();
    }
    void SetUp() override {
        if (!present) MH_SKIP_OUTSIDE_CI(path << " is not built (target mirehollow_data)");
        ASSERT_TRUE(devil) << "the image library is needed to decode the pictures";
    }

    // Decodes an item; fails the test when it is missing or does not decode.
    static bool Decode(int id, FXCanvas* c) {
        return pkg->GetDataType(id) != FXPCK_TYPE_RAW && c->CreateFromPictCN(pkg, id);
    }
    static unsigned Alpha(const FXCanvas& c, int x, int y) {
        return c.pixmap.pixels[x + y * c.pixmap.stride] >> 24;
    }
    static unsigned Pixel(const FXCanvas& c, int x, int y) {
        return c.pixmap.pixels[x + y * c.pixmap.stride];
    }
    // Share of the pixels of column x (or row y) that are solid.
    static float SolidColumn(const FXCanvas& c, int x) {
        int n = 0;
        for (int y = 0; y < c.GetHeight(); y++)
            n += Alpha(c, x, y) > 200;
        return float(n) / c.GetHeight();
    }
    static float SolidRow(const FXCanvas& c, int y) {
        int n = 0;
        for (int x = 0; x < c.GetWidth(); x++)
            n += Alpha(c, x, y) > 200;
        return float(n) / c.GetWidth();
    }
    static bool ClearColumn(const FXCanvas& c, int x) {
        for (int y = 0; y < c.GetHeight(); y++)
            if (Alpha(c, x, y)) return false;
        return true;
    }
    static bool ClearRow(const FXCanvas& c, int y) {
        for (int x = 0; x < c.GetWidth(); x++)
            if (Alpha(c, x, y)) return false;
        return true;
    }

    static std::string path;
    static bool present, devil;
    static FXPackage* pkg;
};

std::string WoodlandPackage::path;
bool WoodlandPackage::present = false;
bool WoodlandPackage::devil = false;
FXPackage* WoodlandPackage::pkg = nullptr;

TEST_F(WoodlandPackage, HoldsEveryPictureTheSceneReads) {
    std::vector<int> ids = {0, 1, 2, 4, 5, 7, 8, 10, 12, 13, 14, 23, 24, 74, 75, 76};
    for (int i = 16; i <= 22; i++)
        ids.push_back(i);
    for (int i = 25; i <= 40; i++)
        ids.push_back(i);
    for (int id : ids) {
        FXCanvas c;
        EXPECT_TRUE(Decode(id, &c)) << "item " << id;
        EXPECT_GT(c.GetWidth(), 0) << "item " << id;
    }
}

TEST_F(WoodlandPackage, MedallionIsARoundLitModelOfAFewThousandTriangles) {
    mhtest::ScopedTestEnv scoped;
    FXModel model;
    ASSERT_TRUE(model.LoadCN(pkg, 73));
    model.UpdateMeshes();
    ASSERT_GT(model.meshes.count, 0);
    int triangles = 0;
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    bool textured = false;
    for (int i = 0; i < model.meshes.count; i++) {
        FXMesh* m = (FXMesh*)model.meshes.items[i];
        triangles += m->indexCount / 3;
        EXPECT_EQ(m->colorMode, 0) << "coloured by its materials under the scene's lights";
        ASSERT_NE(m->material, nullptr) << m->materialName.text;
        textured |= m->material->textured;
        for (int v = 0; v < m->vertexCount; v++)
            for (int k = 0; k < 3; k++) {
                lo[k] = std::min(lo[k], m->vertices[v].pos[k]);
                hi[k] = std::max(hi[k], m->vertices[v].pos[k]);
            }
    }
    EXPECT_GE(triangles, 1000);
    EXPECT_LE(triangles, 5000);
    EXPECT_TRUE(textured) << "the face carries its emblem's picture";
    // A disc filling the unit square, thin in depth.
    for (int k = 0; k < 2; k++) {
        EXPECT_NEAR(lo[k], -1, 0.01f);
        EXPECT_NEAR(hi[k], 1, 0.01f);
    }
    EXPECT_LT(hi[2] - lo[2], 0.4f);
}

TEST_F(WoodlandPackage, LayersReachTheScreenEdgesTheyAreAlignedTo) {
    FXCanvas back, rock, tree, needles, fern, grass, farTrees, leftTrees;
    ASSERT_TRUE(Decode(12, &back) && Decode(5, &rock) && Decode(2, &tree) && Decode(0, &needles) &&
                Decode(1, &fern) && Decode(7, &grass) && Decode(10, &farTrees) && Decode(8, &leftTrees));
    EXPECT_EQ(back.GetWidth(), kRefW);
    EXPECT_EQ(back.GetHeight(), kRefH);
    EXPECT_TRUE(back.opaque);

    // Rock at (0, 467), flush left: solid along its left edge and down to the bottom.
    EXPECT_EQ(467 + rock.GetHeight(), kRefH);
    EXPECT_GT(SolidColumn(rock, 0), 0.4f);
    EXPECT_GT(SolidRow(rock, rock.GetHeight() - 1), 0.5f);
    EXPECT_TRUE(ClearRow(rock, 0));
    EXPECT_TRUE(ClearColumn(rock, rock.GetWidth() - 1));
    // Tree at (628, 0), flush right, from the top to the bottom.
    EXPECT_EQ(628 + tree.GetWidth(), kRefW);
    EXPECT_EQ(tree.GetHeight(), kRefH);
    EXPECT_GT(SolidColumn(tree, tree.GetWidth() - 1), 0.3f);
    EXPECT_GT(SolidRow(tree, 0), 0.0f);
    EXPECT_GT(SolidRow(tree, kRefH - 1), 0.0f);
    EXPECT_TRUE(ClearColumn(tree, 0));
    // Needles hang from the top right and fade out before their left edge.
    EXPECT_EQ(582 + needles.GetWidth(), kRefW);
    EXPECT_GT(SolidRow(needles, 0), 0.0f);
    EXPECT_GT(SolidColumn(needles, needles.GetWidth() - 1), 0.0f);
    EXPECT_TRUE(ClearColumn(needles, 0));
    EXPECT_TRUE(ClearRow(needles, needles.GetHeight() - 1));
    // The fern stands on the bottom edge, clear of its other edges.
    EXPECT_EQ(631 + fern.GetHeight(), kRefH);
    EXPECT_GT(SolidRow(fern, fern.GetHeight() - 1), 0.0f);
    EXPECT_TRUE(ClearRow(fern, 0));
    EXPECT_TRUE(ClearColumn(fern, 0));
    EXPECT_TRUE(ClearColumn(fern, fern.GetWidth() - 1));
    // Lake grass along the whole bottom.
    EXPECT_EQ(grass.GetWidth(), kRefW);
    EXPECT_EQ(502 + grass.GetHeight(), kRefH);
    EXPECT_TRUE(ClearRow(grass, 0));
    EXPECT_GT(SolidRow(grass, grass.GetHeight() - 1), 0.2f);
    // The far tree line, stretched by 1.08 and shifted left by 4 %, spans the width.
    EXPECT_GE(farTrees.GetWidth() * 1.08f - 0.04f * kRefW, float(kRefW));
    EXPECT_GT(SolidColumn(farTrees, 0), 0.3f);
    EXPECT_GT(SolidColumn(farTrees, farTrees.GetWidth() - 1), 0.3f);
    EXPECT_TRUE(ClearRow(farTrees, farTrees.GetHeight() - 1));
    // Trees at the left: full height, leaving the screen at the top and the left.
    EXPECT_EQ(leftTrees.GetHeight(), kRefH);
    EXPECT_GT(SolidColumn(leftTrees, 0), 0.5f);
    EXPECT_GT(SolidRow(leftTrees, 0), 0.0f);
    EXPECT_TRUE(ClearColumn(leftTrees, leftTrees.GetWidth() - 1));
}

TEST_F(WoodlandPackage, FogPicturesRepeatOneSeamlessTile) {
    for (int id : {13, 14}) {
        FXCanvas fog;
        ASSERT_TRUE(Decode(id, &fog));
        int w = fog.GetWidth(), h = fog.GetHeight();
        ASSERT_EQ(w % 2, 0);
        ASSERT_EQ(h % 2, 0);
        int hw = w / 2, hh = h / 2;
        int diff = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                diff += Pixel(fog, x, y) != Pixel(fog, x % hw, y % hh);
            }
        EXPECT_EQ(diff, 0) << "item " << id;
    }
}

TEST_F(WoodlandPackage, StarFramesShareOneSizeAndTheSmallPicturesFit) {
    FXCanvas first;
    ASSERT_TRUE(Decode(25, &first));
    for (int id = 26; id <= 40; id++) {
        FXCanvas c;
        ASSERT_TRUE(Decode(id, &c));
        EXPECT_EQ(c.GetWidth(), first.GetWidth());
        EXPECT_EQ(c.GetHeight(), first.GetHeight());
    }
    FXCanvas err, label, fly;
    ASSERT_TRUE(Decode(74, &err) && Decode(23, &label) && Decode(16, &fly));
    EXPECT_LE(err.GetWidth(), 512);
    EXPECT_EQ(label.GetWidth(), label.GetHeight() * 4);
    EXPECT_TRUE(ClearRow(fly, 0) && ClearColumn(fly, 0));
}

} // namespace
