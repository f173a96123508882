#include "assets/model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "assets/package.h"
#include "geometry/mesh.h"
#include "support/pkgbuild.h"
#include "support/testenv.h"

namespace {

// A mesh of `tris` triangles over a few distinct values, so vectors repeat within and
// across meshes.
FXMesh* RandomMesh(std::mt19937& rng, int verts, int tris, const char* name, int pass) {
    FXMesh* m = new FXMesh;
    m->Realloc(verts, tris * 3);
    m->materialName.Set(name);
    m->drawPass = pass;
    for (int i = 0; i < verts; i++) {
        tagFXVertex& v = m->vertices[i];
        memset(&v, 0, sizeof v);
        for (int k = 0; k < 3; k++) {
            v.pos[k] = (float)(rng() % 5) * 0.5f;
            v.normal[k] = (float)(rng() % 2);
        }
        v.tex[0] = (float)(rng() % 4) / 4;
        v.tex[1] = (float)(rng() % 4) / 4;
        v.color[0] = v.color[1] = v.color[2] = v.color[3] = 1;
    }
    for (int i = 0; i < tris * 3; i++)
        m->indices[i] = (int)(rng() % verts);
    return m;
}

void ExpectSameCorners(FXMesh* a, FXMesh* b) {
    ASSERT_EQ(a->indexCount, b->indexCount);
    EXPECT_STREQ(a->materialName.text, b->materialName.text);
    EXPECT_EQ(a->drawPass, b->drawPass);
    for (int i = 0; i < a->indexCount; i++) {
        const tagFXVertex &x = a->vertices[a->indices[i]], &y = b->vertices[b->indices[i]];
        ASSERT_EQ(memcmp(&x, &y, 32), 0) << i; // position, normal, texture coordinate
    }
}

class ModelFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::mt19937 rng(5);
        model.name.Set("medallion");
        model.meshes.Push(RandomMesh(rng, 30, 40, "gold", 0));
        model.meshes.Push(RandomMesh(rng, 20, 10, "glass", 1));
        model.meshes.Push(RandomMesh(rng, 25, 30, "fog", 2));
        model.meshes.Push(RandomMesh(rng, 10, 5, "hidden", 0));
        model.DisableMesh(3, true);
    }

    mhtest::Bytes Saved(bool v02) {
        std::string path = mhtest::TestTmpPath(v02 ? "m.xm02" : "m.xm03");
        FILE* f = fopen(path.c_str(), "wb");
        EXPECT_TRUE(v02 ? model.Save_v02(f) : model.Save_v03(f));
        fclose(f);
        return mhtest::ReadFileBytes(path);
    }

    // Loads the bytes from a file and as package item 5: both results must agree.
    bool LoadBoth(const mhtest::Bytes& bytes, FXModel* out) {
        std::string path = mhtest::TestTmpPath("in.xm"), pkgPath = mhtest::TestTmpPath("in.dat");
        mhtest::WriteFileBytes(path, bytes);
        bool fromFile = out->Load(path.c_str());
        int fileMeshes = out->loadedMeshes.count;
        EXPECT_TRUE(mhtest::WritePackage(pkgPath, {{5, bytes}}));
        FXPackage pkg;
        pkg.Load(pkgPath.c_str());
        bool fromItem = out->LoadCN(&pkg, 5);
        EXPECT_EQ(fromFile, fromItem);
        EXPECT_EQ(fileMeshes, out->loadedMeshes.count);
        return fromItem;
    }

    mhtest::ScopedTestEnv env;
    FXModel model;
};

TEST_F(ModelFiles, RoundTripsKeepEveryCornerAndLeaveDisabledMeshesOut) {
    for (bool v02 : {true, false}) {
        mhtest::Bytes bytes = Saved(v02);
        int count;
        memcpy(&count, &bytes[8 + 4 + 9 + 4], 4); // after "xm0N", "medallion" and an empty reference
        EXPECT_EQ(count, 3);
        FXModel back;
        ASSERT_TRUE(LoadBoth(bytes, &back));
        EXPECT_STREQ(back.name.text, "medallion");
        EXPECT_EQ(back.meshes.count, 0);
        back.UpdateMeshes();
        ASSERT_EQ(back.meshes.count, 3);
        for (int i = 0; i < 3; i++) {
            FXMesh *a = model.EnumMeshes(i), *b = back.EnumMeshes(i);
            ExpectSameCorners(a, b);
            if (v02) {
                ASSERT_EQ(a->vertexCount, b->vertexCount);
                EXPECT_EQ(memcmp(a->vertices, b->vertices, sizeof(tagFXVertex) * a->vertexCount), 0);
                EXPECT_EQ(memcmp(a->indices, b->indices, 4 * a->indexCount), 0);
            }
        }
    }
}

// The files written are the format's, byte for byte: any change in how the writers build
// their maps and streams (or grow their blocks) that alters a byte shows here. Saving again
// in the same process, on blocks the first save freed, gives the same bytes.
TEST_F(ModelFiles, SavedBytesStayTheSame) {
    auto fnv = [](const mhtest::Bytes& b) {
        uint64_t h = 1469598103934665603ull;
        for (unsigned char x : b)
            h = (h ^ x) * 1099511628211ull;
        return h;
    };
    for (int round = 0; round < 2; round++) {
        mhtest::Bytes v03 = Saved(false), v02 = Saved(true);
        EXPECT_EQ(v03.size(), 1853u);
        EXPECT_EQ(fnv(v03), 0x68c2dba44fe2574aull);
        EXPECT_EQ(v02.size(), 6253u);
        EXPECT_EQ(fnv(v02), 0x53d95b5d65bae64cull);
    }
}

TEST_F(ModelFiles, DamagedFilesGiveFalseAndAnEmptyModel) {
    for (bool v02 : {true, false}) {
        mhtest::Bytes bytes = Saved(v02);
        FXModel back;
        for (size_t cut = 8; cut < bytes.size(); cut += (cut < 120 ? 1 : 97)) {
            mhtest::Bytes part(bytes.begin(), bytes.begin() + cut);
            EXPECT_FALSE(LoadBoth(part, &back)) << v02 << " " << cut;
            EXPECT_EQ(back.loadedMeshes.count, 0);
            EXPECT_TRUE(back.name.IsEmpty());
        }
        // Counts far beyond the data.
        mhtest::Bytes huge = bytes;
        int32_t big = 0x7FFFFFF0;
        memcpy(&huge[29], &big, 4);
        EXPECT_FALSE(LoadBoth(huge, &back));
        big = -1;
        memcpy(&huge[29], &big, 4);
        EXPECT_FALSE(LoadBoth(huge, &back));
    }
    // An unknown header is an empty model, not an error.
    mhtest::Bytes other;
    mhtest::PutString(&other, "xm09");
    mhtest::PutInt(&other, 7);
    FXModel back;
    EXPECT_TRUE(LoadBoth(other, &back));
    EXPECT_EQ(back.loadedMeshes.count, 0);
}

TEST_F(ModelFiles, RandomCorruptionNeverReadsOutOfBounds) {
    std::mt19937 rng(99);
    mhtest::Bytes good = Saved(false);
    FXModel back;
    for (int round = 0; round < 120; round++) {
        mhtest::Bytes b = good;
        for (int k = 0; k < 3; k++)
            b[33 + rng() % (b.size() - 33)] ^= (unsigned char)(1u << (rng() % 8));
        if (LoadBoth(b, &back)) {
            back.UpdateMeshes();
            for (int i = 0; i < back.meshes.count; i++)
                EXPECT_TRUE(back.EnumMeshes(i)->IndicesValid());
        }
    }
}

TEST_F(ModelFiles, DrawsEachPassInItsOrderAndState) {
    mhtest::TestEnv& e = env.env;
    e.calls.clear();
    model.OnRender(&e, 0);
    // Pass 0 once; pass 1 twice between the culling changes; pass 2 twice around the depth
    // writes. Disabled meshes are left out by RenderMesh itself.
    std::vector<std::string> want = {"RenderMesh",       "RenderMesh",       "EnableCullface", "RenderMesh",
                                     "EnableCullface",   "RenderMesh",       "EnableCullface", "EnableDepthWrite",
                                     "RenderMesh",       "EnableDepthWrite", "RenderMesh"};
    EXPECT_EQ(e.calls, want);
}

} // namespace
