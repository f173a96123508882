// Coding meshes against a shared vector map, and the shaping operations.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "assets/data.h"
#include "geometry/mesh.h"

namespace {

void SetVertex(tagFXVertex* v, float x, float y, float z, float nz = 1, float u = 0, float t = 0) {
    memset(v, 0, sizeof *v);
    v->pos[0] = x, v->pos[1] = y, v->pos[2] = z;
    v->normal[2] = nz;
    v->tex[0] = u, v->tex[1] = t;
}

TEST(MeshVMap, IndexStreamBytesAndRebuild) {
    // Map numbers (0,0,0), (1,1,1), (5,1,300): the map already holds positions 0..4,
    // normals 0 and texture coordinates 0..299 from another mesh.
    FXVectorMap map;
    tagFXVertex t;
    for (int k = 0; k < 300; k++) {
        SetVertex(&t, (float)(k < 5 ? k : 0), 0, 0, 1, (float)k);
        map.PushVecPos(&t, nullptr, 0, 0);
        map.PushVecTex(&t, nullptr, 0, 0);
    }
    map.PushVecNorm(&t, nullptr, 0, 0); // normal (0,0,1)
    FXMesh m;
    ASSERT_TRUE(m.Realloc(3, 3));
    SetVertex(&m.vertices[0], 0, 0, 0, 1, 0);
    SetVertex(&m.vertices[1], 1, 0, 0, 2, 1);    // position 1, new normal 1, tex 1
    SetVertex(&m.vertices[2], 5, 0, 0, 2, 300);  // new position 5, normal 1, new tex 300
    for (int i = 0; i < 3; i++)
        m.indices[i] = i;
    FXNumPool pool;
    FXArray r0, r1, r2;
    FXArray* redir[3] = {&r0, &r1, &r2};
    ASSERT_TRUE(m.ToVMap(&map, &pool, nullptr, 0, redir));
    const unsigned char want[] = {0x00, 0x00, 0x25, 5, 1, 300 & 0xFF, 300 >> 8};
    ASSERT_EQ(pool.used, 7);
    EXPECT_EQ(memcmp(pool.data, want, 7), 0);
    EXPECT_EQ(r2.GetInt(2), 300);

    FXMesh back;
    ASSERT_TRUE(back.Realloc(3, 3));
    ASSERT_TRUE(back.FromVMap(&map, &pool));
    EXPECT_EQ(back.vertexCount, 3);
    EXPECT_EQ(std::vector<int>(back.indices, back.indices + 3), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(back.vertices[2].pos[0], 5.0f);
    EXPECT_EQ(back.vertices[2].tex[0], 300.0f);
    EXPECT_EQ(back.vertices[2].color[3], 1.0f);
}

// Random meshes with repeated values: every corner comes back exactly, and equal corners
// share one vertex.
TEST(MeshVMap, RoundTripReproducesEveryCorner) {
    std::mt19937 rng(11);
    FXVectorMap map;
    std::vector<FXMesh*> meshes;
    std::vector<FXNumPool*> pools;
    for (int k = 0; k < 3; k++) {
        FXMesh* m = new FXMesh;
        int nv = 40 + k * 300, ni = 3 * (50 + k * 400);
        m->Realloc(nv, ni);
        for (int i = 0; i < nv; i++)
            SetVertex(&m->vertices[i], (float)(rng() % 7), (float)(rng() % 300), 0, (float)(rng() % 3),
                      (float)(rng() % 70000), 0.5f);
        for (int i = 0; i < ni; i++)
            m->indices[i] = (int)(rng() % (nv - 5)); // some vertices unused
        meshes.push_back(m);
        pools.push_back(new FXNumPool(100));
        ASSERT_TRUE(m->ToVMap(&map, pools.back(), nullptr, 0, nullptr));
    }
    for (int k = 0; k < 3; k++) {
        FXMesh back;
        back.Realloc(meshes[k]->vertexCount, meshes[k]->indexCount);
        ASSERT_TRUE(back.FromVMap(&map, pools[k]));
        ASSERT_LE(back.vertexCount, meshes[k]->vertexCount);
        for (int i = 0; i < back.indexCount; i++) {
            const tagFXVertex &a = meshes[k]->vertices[meshes[k]->indices[i]], &b = back.vertices[back.indices[i]];
            ASSERT_EQ(memcmp(a.pos, b.pos, 12), 0);
            ASSERT_EQ(memcmp(a.normal, b.normal, 12), 0);
            ASSERT_EQ(memcmp(a.tex, b.tex, 8), 0);
        }
        for (int i = 0; i < back.vertexCount; i++)
            for (int j = i + 1; j < back.vertexCount; j++)
                ASSERT_NE(memcmp(back.vertices[i].pos, back.vertices[j].pos, 32), 0);
        delete meshes[k];
        delete pools[k];
    }
}

TEST(MeshVMap, HostileStreamsAreRefused) {
    FXVectorMap map;
    tagFXVertex t;
    SetVertex(&t, 1, 2, 3);
    map.PushVecPos(&t, nullptr, 0, 0);
    map.PushVecNorm(&t, nullptr, 0, 0);
    map.PushVecTex(&t, nullptr, 0, 0);
    auto rebuild = [&](std::vector<unsigned char> bytes, int nv, int ni) {
        FXNumPool pool;
        for (unsigned char b : bytes)
            pool.PushByte(b);
        FXMesh m;
        m.Realloc(nv, ni);
        bool ok = m.FromVMap(&map, &pool);
        EXPECT_TRUE(m.IndicesValid());
        if (!ok) {
            EXPECT_EQ(m.vertexCount + m.indexCount, 0);
        }
        return ok;
    };
    EXPECT_TRUE(rebuild({0, 0x15, 0, 0, 0}, 1, 2));
    EXPECT_FALSE(rebuild({0, 0}, 1, 2));                 // the second record names vector 1
    EXPECT_FALSE(rebuild({0x03, 0xFF, 0xFF, 0xFF, 0x7F}, 1, 1)); // position 2^31-1
    EXPECT_FALSE(rebuild({0x03, 0xFF, 0xFF, 0xFF, 0xFF}, 1, 1)); // position -1
    EXPECT_FALSE(rebuild({0x02, 0x00}, 1, 1));           // word cut short
    EXPECT_FALSE(rebuild({0}, 1, 2));                    // fewer records than indices
    EXPECT_FALSE(rebuild({0}, 0, 1));                    // indices without vertices

    // Vertices come only from the stream: a header of a million vertices and no index
    // leaves none (it once kept a million slots of whatever memory held, which the model's
    // copies then copied).
    FXNumPool empty;
    FXMesh none;
    ASSERT_TRUE(none.Realloc(1 << 20, 0));
    EXPECT_TRUE(none.FromVMap(&map, &empty));
    EXPECT_EQ(none.vertexCount, 0);
    EXPECT_EQ(none.vertexCapacity, 0) << "the header's block is let go";
}

TEST(MeshShaping, NormalsOfTheTriangleAndDegenerateOnes) {
    FXMesh m;
    m.Realloc(6, 6);
    SetVertex(&m.vertices[0], 0, 0, 0, 7);
    SetVertex(&m.vertices[1], 1, 0, 0, 7);
    SetVertex(&m.vertices[2], 0, 1, 0, 7);
    SetVertex(&m.vertices[3], 0, 0, 5, 7); // on one line: contributes nothing
    SetVertex(&m.vertices[4], 1, 0, 5, 7);
    SetVertex(&m.vertices[5], 2, 0, 5, 7);
    for (int i = 0; i < 6; i++)
        m.indices[i] = i;
    m.ComputeNormals(false);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(m.vertices[i].normal[2], -1.0f);
        EXPECT_EQ(m.vertices[i].mark, 1);
    }
    EXPECT_EQ(m.vertices[4].normal[2], 7.0f);
}

TEST(MeshShaping, FittingIntoTheUnitCube) {
    FXMesh m;
    m.Realloc(2, 0);
    SetVertex(&m.vertices[0], 0, 0, 0);
    SetVertex(&m.vertices[1], 4, 2, 1);
    float box[6];
    m.FindMaxims(box);
    EXPECT_EQ(std::vector<float>(box, box + 6), (std::vector<float>{0, 4, 0, 2, 0, 1}));
    m.UnitizeMaxims(box);
    EXPECT_EQ(m.vertices[1].pos[0], 1.0f);
    EXPECT_EQ(m.vertices[1].pos[1], 0.5f);
    EXPECT_EQ(m.vertices[1].pos[2], 0.25f);

    // Flat in z: stretched in x and y, z only centred; a point gives no division by zero.
    m.FindMaxims(box);
    m.vertices[0].pos[2] = m.vertices[1].pos[2] = 3;
    m.FindMaxims(box);
    m.UnitizeMaximsStretch(box);
    EXPECT_EQ(m.vertices[0].pos[0], -1.0f);
    EXPECT_EQ(m.vertices[1].pos[1], 1.0f);
    EXPECT_EQ(m.vertices[1].pos[2], 0.0f);
    m.Realloc(1, 0);
    SetVertex(&m.vertices[0], 2, 2, 2);
    m.Unitize();
    EXPECT_EQ(m.vertices[0].pos[0], 0.0f);

    EXPECT_EQ(FXMesh::TextToIndi("y"), 1);
    EXPECT_EQ(FXMesh::TextToIndi("X"), -1);
    EXPECT_EQ(FXMesh::TextToIndi(nullptr), -1);
}

} // namespace
