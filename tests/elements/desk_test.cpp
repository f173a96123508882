#include "elements/desk.h"

#include <gtest/gtest.h>

#include "assets/material.h"
#include "support/testenv.h"

namespace {

void ExpectPos(const FXDesk& d, int i, float x, float y) {
    EXPECT_FLOAT_EQ(d.mesh.vertices[i].pos[0], x) << "vertex " << i;
    EXPECT_FLOAT_EQ(d.mesh.vertices[i].pos[1], y) << "vertex " << i;
    EXPECT_EQ(d.mesh.vertices[i].pos[2], 0.0f) << "vertex " << i;
}

void ExpectTex(const FXDesk& d, int i, float u, float v) {
    EXPECT_FLOAT_EQ(d.mesh.vertices[i].tex[0], u) << "vertex " << i;
    EXPECT_FLOAT_EQ(d.mesh.vertices[i].tex[1], v) << "vertex " << i;
}

void ExpectCol(const FXDesk& d, int i, const float* c) {
    for (int k = 0; k < 4; k++)
        EXPECT_FLOAT_EQ(d.mesh.vertices[i].color[k], c[k]) << "vertex " << i;
}

} // namespace

TEST(Desk, OneCellGrid) {
    FXDesk d;
    d.Create(1, 1);
    ASSERT_EQ(d.mesh.vertexCount, 4);
    ASSERT_EQ(d.mesh.indexCount, 6);
    ExpectPos(d, 0, -1, 1);
    ExpectPos(d, 1, 1, 1);
    ExpectPos(d, 2, -1, -1);
    ExpectPos(d, 3, 1, -1);
    const int want[6] = {0, 2, 1, 2, 3, 1};
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(d.mesh.indices[k], want[k]);
    float white[4] = {1, 1, 1, 1};
    for (int i = 0; i < 4; i++) {
        ExpectCol(d, i, white);
        EXPECT_EQ(d.mesh.vertices[i].normal[2], -1.0f);
        EXPECT_EQ(d.mesh.vertices[i].mark, 0);
    }
    ExpectTex(d, 3, 0, 0); // no material: all zero
    EXPECT_TRUE(d.mesh.IndicesValid());
}

TEST(Desk, LargerGridIndicesAndFractions) {
    FXDesk d;
    d.Create(3, 2);
    ASSERT_EQ(d.mesh.vertexCount, 12);
    ASSERT_EQ(d.mesh.indexCount, 36);
    EXPECT_TRUE(d.mesh.IndicesValid());
    // Cell (column 2, row 1): TL = 2 + 1 * 4 = 6, BL = 2 + 2 * 4 = 10.
    const int want[6] = {6, 10, 7, 10, 11, 7};
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(d.mesh.indices[(2 + 1 * 3) * 6 + k], want[k]);
    ExpectPos(d, 5, 2.0f / 3.0f - 1, 0); // column 1, row 1
    // Every triangle turns the same way, so no cell is lost to culling.
    for (int k = 0; k < 36; k += 3) {
        const float* a = d.mesh.vertices[d.mesh.indices[k]].pos;
        const float* b = d.mesh.vertices[d.mesh.indices[k + 1]].pos;
        const float* c = d.mesh.vertices[d.mesh.indices[k + 2]].pos;
        float cross = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
        EXPECT_GT(cross, 0) << "triangle " << k / 3;
    }
}

TEST(Desk, CreateRebuildsOnlyOnANewSize) {
    FXDesk d;
    d.Create(1, 1);
    float red[4] = {1, 0, 0, 1}, white[4] = {1, 1, 1, 1};
    d.UpdateColCol(red);
    d.Create(1, 1);
    ExpectCol(d, 3, red);
    d.Create(2, 1);
    ASSERT_EQ(d.mesh.vertexCount, 6);
    ExpectCol(d, 5, white);
    ExpectPos(d, 5, 1, -1);

    // A size below one cell leaves an empty desk on which every operation is harmless.
    d.Create(0, 4);
    EXPECT_EQ(d.cols, 0);
    EXPECT_EQ(d.mesh.vertexCount, 0);
    d.Create(-2, -2);
    d.UpdatePos(true, true);
    d.UpdatePosSkew(true, true, 1, 1);
    d.UpdatePosPerspective(1);
    d.UpdateCol();
    d.UpdateCol_LT_RB(red, white);
    d.UpdateTex();
    d.UpdateTex1();
    d.UpdateTexRc(0, 0, 1, 1);
    d.SetVertexPos(1, 0, 0);
    d.SetTexelPos1(2, 1, 1, 2, 2);
    EXPECT_EQ(d.mesh.vertexCount, 0);
    d.Destroy();
    d.Destroy();
}

TEST(Desk, PositionOperations) {
    FXDesk d;
    d.Create(1, 1);
    d.UpdatePosSkew(true, false, 0.1f, 0);
    ExpectPos(d, 0, -0.9f, 1);
    ExpectPos(d, 1, 1.1f, 1);
    ExpectPos(d, 2, -1, -1);
    ExpectPos(d, 3, 1, -1);
    d.UpdatePosSkew(true, false, 0, 0.2f); // left edge moves up, right edge stays
    ExpectPos(d, 0, -1, 1.2f);
    ExpectPos(d, 2, -1, -0.8f);
    ExpectPos(d, 1, 1, 1);

    d.UpdatePosSkew1(true, false, 0.1f, 0);
    ExpectPos(d, 0, -1, 1);
    ExpectPos(d, 1, 1, 1);
    ExpectPos(d, 2, -0.9f, -1);
    ExpectPos(d, 3, 1.1f, -1);

    d.UpdatePosPerspective(0.5f);
    ExpectPos(d, 0, -1, 1);
    ExpectPos(d, 1, 1, 1);
    ExpectPos(d, 2, -1.5f, -1);
    ExpectPos(d, 3, 1.5f, -1);

    // Flags: normals only, or nothing at all.
    d.mesh.vertices[1].normal[2] = 5;
    d.UpdatePosSkew(false, false, 3, 3);
    EXPECT_EQ(d.mesh.vertices[1].normal[2], 5.0f);
    ExpectPos(d, 3, 1.5f, -1);
    d.UpdatePos(false, true);
    EXPECT_EQ(d.mesh.vertices[1].normal[2], -1.0f);
    ExpectPos(d, 3, 1.5f, -1);
}

TEST(Desk, ColourBlendFollowsTheProductOfTheFractions) {
    FXDesk d;
    d.Create(2, 2);
    float lt[4] = {1, 0, 0, 1}, rb[4] = {0, 0, 1, 0.5f};
    d.UpdateCol_LT_RB(lt, rb);
    for (int i = 0; i < 3; i++)
        ExpectCol(d, i, lt); // top row
    for (int i = 0; i <= 6; i += 3)
        ExpectCol(d, i, lt);                  // left column
    ExpectCol(d, 8, rb);                      // right-bottom corner
    float mid[4] = {0.75f, 0, 0.25f, 0.875f}; // centre: s * t = 0.25
    ExpectCol(d, 4, mid);
    float edge[4] = {0.5f, 0, 0.5f, 0.75f}; // right edge, middle row: 0.5
    ExpectCol(d, 5, edge);

    FXDesk one;
    one.Create(1, 1);
    one.UpdateCol_LT_RB(lt, rb);
    ExpectCol(one, 0, lt);
    ExpectCol(one, 1, lt);
    ExpectCol(one, 2, lt);
    ExpectCol(one, 3, rb);
}

TEST(Desk, TextureMappings) {
    FXMaterial mat;
    mat.texScaleU = 0.5f;
    mat.texScaleV = 0.75f;
    FXDesk d;
    d.Create(1, 1);
    d.SetMaterial(&mat);
    EXPECT_EQ(d.mesh.material, &mat);
    ExpectTex(d, 0, 0, 0);
    ExpectTex(d, 1, 0.5f, 0);
    ExpectTex(d, 3, 0.5f, 0.75f);

    d.mesh.flipV = true;
    d.UpdateTex();
    ExpectTex(d, 0, 0, 0.75f);
    ExpectTex(d, 3, 0.5f, 0);
    d.UpdateTex1();
    ExpectTex(d, 0, 0, 1);
    ExpectTex(d, 3, 1, 0);
    d.mesh.flipV = false;
    d.UpdateTex1();
    ExpectTex(d, 3, 1, 1);

    d.UpdateTexRc(0.5f, 0.25f, 1.0f, 0.75f);
    ExpectTex(d, 0, 0.25f, 0.1875f);
    ExpectTex(d, 3, 0.5f, 0.5625f);
    d.mesh.flipV = true;
    d.UpdateTexRc(0.5f, 0.25f, 1.0f, 0.75f);
    ExpectTex(d, 0, 0.25f, 0.5625f);

    // SetMaterial1 rescales what is there: from the loaded scales to the new material's.
    FXMaterial big;
    big.texScaleU = 1.0f;
    big.texScaleV = 1.0f;
    FXDesk e;
    e.Create(1, 1);
    e.SetMaterial(&mat);
    e.mesh.loadedU = 0.5f;
    e.mesh.loadedV = 0.75f;
    e.SetMaterial1(&big);
    ExpectTex(e, 3, 1, 1);
}

TEST(Desk, Corners) {
    FXDesk d;
    d.Create(1, 1);
    d.SetVertexPos(1, -0.5f, 0.5f);
    d.SetVertexPos(2, 0.5f, 0.5f);
    d.SetVertexPos(3, 0.5f, -0.5f);
    d.SetVertexPos(4, -0.5f, -0.5f);
    ExpectPos(d, 0, -0.5f, 0.5f);
    ExpectPos(d, 1, 0.5f, 0.5f);
    ExpectPos(d, 3, 0.5f, -0.5f);
    ExpectPos(d, 2, -0.5f, -0.5f);
    d.SetVertexPos(5, 9, 9);
    d.SetVertexPos(0, 9, 9);
    for (int i = 0; i < 4; i++)
        EXPECT_NE(d.mesh.vertices[i].pos[0], 9.0f);

    // Pixels, rows counted from the top.
    d.SetVertexPos1(3, 600, 450, 800, 600);
    ExpectPos(d, 3, 0.5f, -0.5f);
    d.SetTexelPos1(2, 200, 150, 800, 600);
    ExpectTex(d, 1, 0.25f, 0.25f);
    d.SetTexelPos(4, 0.1f, 0.9f);
    ExpectTex(d, 2, 0.1f, 0.9f);
    d.SetVertexPos1(1, 10, 10, 0, 600); // no size: nothing to convert
    ExpectPos(d, 0, -0.5f, 0.5f);
}

TEST(Desk, OnRenderAsksTheEnvironmentToDrawTheMesh) {
    mhtest::ScopedTestEnv scoped;
    FXDesk d;
    d.Create(1, 1);
    d.OnRender(&scoped.env, 12.0);
    EXPECT_EQ(scoped.env.Count("RenderMesh"), 1);
    EXPECT_EQ(scoped.env.Count("ApplyMatrix"), 0);
    d.Destroy();
    EXPECT_EQ(scoped.env.Count("UnprepareMesh"), 1);
}
