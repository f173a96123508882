// Mesh drawing on the software renderer: which attributes reach OpenGL, and when nothing is drawn.
#include <gtest/gtest.h>

#include <cstring>

#include "assets/material.h"
#include "geometry/mesh.h"
#include "support/glcontext.h"

namespace {

// One triangle covering the left-bottom half of the screen, with distinct attributes.
void Triangle(FXMesh& m, float r, float g, float b) {
    ASSERT_TRUE(m.Realloc(3, 3));
    memset(m.vertices, 0, sizeof(tagFXVertex) * 3);
    const float pos[3][2] = {{-1, -1}, {1, -1}, {-1, 1}};
    for (int i = 0; i < 3; i++) {
        tagFXVertex& v = m.vertices[i];
        v.pos[0] = pos[i][0];
        v.pos[1] = pos[i][1];
        v.normal[0] = 0.6f;
        v.normal[2] = -0.8f;
        v.tex[0] = 0.25f * (float)(i + 1);
        v.tex[1] = 0.125f;
        v.color[0] = r;
        v.color[1] = g;
        v.color[2] = b;
        v.color[3] = 1;
        m.indices[i] = i;
    }
}

// A 2 x 2 white picture as the material's texture.
void WhiteTexture(FXCanvas& canvas, FXMaterial& mat) {
    ASSERT_TRUE(canvas.pixmap.Realloc(2, 2));
    canvas.pixmap.Clear(-1);
    mat.mipmaps = false;
    ASSERT_TRUE(mat.SetTexture(&canvas));
}

class RenderGL : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ctx.Create(32, 32));
        Clear();
    }
    void Clear() {
        float black[4] = {0, 0, 0, 1};
        ctx.gl.SetClrColor(black);
        ctx.gl.Clrscr(true, true, false);
    }
    // 0xRRGGBB of the pixel in the left-bottom half.
    uint32_t Inside() { return ctx.Pixel(4, 27) >> 8; }
    static void Current(GLenum what, float* out) { glGetFloatv(what, out); }

    GLContext ctx;
};

} // namespace

TEST_F(RenderGL, ColourModes) {
    FXMesh m;
    Triangle(m, 1, 0, 0);
    ctx.gl.RenderMesh(&m);
    EXPECT_EQ(Inside(), 0xffffffu); // mode 0: drawn white
    EXPECT_EQ(ctx.Pixel(28, 4) >> 8, 0u);
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));

    m.colorMode = 1;
    ctx.gl.RenderMesh(&m);
    EXPECT_EQ(Inside(), 0xff0000u);
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));

    Clear();
    m.colorMode = 2; // unknown mode: nothing is emitted
    ctx.gl.RenderMesh(&m);
    EXPECT_EQ(Inside(), 0u);
}

TEST_F(RenderGL, NothingIsDrawnWithoutIndicesVerticesOrWhenDisabled) {
    FXCanvas canvas;
    FXMaterial mat;
    ASSERT_NO_FATAL_FAILURE(WhiteTexture(canvas, mat));
    ctx.gl.ApplyDefaultMaterial();
    ASSERT_FALSE(ctx.gl.textureOn);

    FXMesh m;
    Triangle(m, 1, 1, 1);
    m.material = &mat;
    m.indexCount = 0;
    ctx.gl.RenderMesh(&m);
    EXPECT_FALSE(ctx.gl.textureOn); // no material applied either
    m.indexCount = 3;
    m.disabled = true;
    ctx.gl.RenderMesh(&m);
    m.disabled = false;
    m.vertexCount = 0;
    ctx.gl.RenderMesh(&m);
    EXPECT_FALSE(ctx.gl.textureOn);
    EXPECT_EQ(Inside(), 0u);
    m.vertexCount = 3;
    ctx.gl.RenderMesh(&m);
    EXPECT_TRUE(ctx.gl.textureOn);
    EXPECT_EQ(Inside(), 0xffffffu);
    ctx.gl.RenderMesh(nullptr);
}

TEST_F(RenderGL, EachLoopSendsExactlyItsAttributes) {
    ASSERT_TRUE(ctx.gl.extMultitexture);
    FXCanvas canvas;
    FXMaterial textured;
    ASSERT_NO_FATAL_FAILURE(WhiteTexture(canvas, textured));

    FXMesh m, second;
    Triangle(m, 0.25f, 0.5f, 0.75f);
    Triangle(second, 1, 1, 1);
    second.vertices[2].tex[0] = 0.3f;
    second.material = &textured;
    float v[4];
    // Every colour mode, lighting and texture combination, each with and without a second mesh:
    // the current values are those of the last vertex sent, or the ones set beforehand.
    for (int mode = 0; mode < 2; mode++) {
        for (int lights = 0; lights < 2; lights++) {
            for (int tex = 0; tex < 2; tex++) {
                for (int two = 0; two < 2; two++) {
                    SCOPED_TRACE(testing::Message() << "mode " << mode << " lights " << lights << " tex "
                                                    << tex << " second " << two);
                    glNormal3f(0, 0, 1);
                    glTexCoord2f(-7, -7);
                    ctx.gl.glMultiTexCoord2f(GL_TEXTURE1, -3, -3);
                    ctx.gl.EnableLights(lights == 1);
                    m.colorMode = mode;
                    m.material = tex ? &textured : nullptr;
                    m.secondMesh = two ? &second : nullptr;
                    ctx.gl.RenderMesh(&m);
                    ASSERT_EQ(ctx.gl.textureOn, tex == 1);
                    Current(GL_CURRENT_NORMAL, v);
                    EXPECT_FLOAT_EQ(v[2], lights ? -0.8f : 1.0f);
                    Current(GL_CURRENT_TEXTURE_COORDS, v);
                    EXPECT_FLOAT_EQ(v[0], tex ? 0.75f : -7.0f);
                    Current(GL_CURRENT_COLOR, v);
                    EXPECT_FLOAT_EQ(v[2], mode ? 0.75f : 1.0f);
                    ctx.gl.glActiveTexture(GL_TEXTURE1);
                    Current(GL_CURRENT_TEXTURE_COORDS, v);
                    ctx.gl.glActiveTexture(GL_TEXTURE0);
                    EXPECT_FLOAT_EQ(v[0], two && tex ? 0.3f : -3.0f);
                }
            }
        }
    }
    ctx.gl.EnableLights(false);
}

TEST_F(RenderGL, SecondMeshFeedsTheSecondUnit) {
    ASSERT_TRUE(ctx.gl.extMultitexture);
    FXCanvas canvas;
    FXMaterial textured;
    ASSERT_NO_FATAL_FAILURE(WhiteTexture(canvas, textured));

    FXMesh m, second;
    Triangle(m, 1, 1, 1);
    Triangle(second, 1, 1, 1);
    for (int i = 0; i < 3; i++)
        second.vertices[i].tex[0] = 0.1f * (float)(i + 1);
    m.secondMesh = &second;
    second.material = &textured;
    float v[4];
    auto unit1 = [&]() {
        ctx.gl.glActiveTexture(GL_TEXTURE1);
        Current(GL_CURRENT_TEXTURE_COORDS, v);
        ctx.gl.glActiveTexture(GL_TEXTURE0);
        return v[0];
    };

    ctx.gl.glMultiTexCoord2f(GL_TEXTURE1, -3, -3);
    m.material = nullptr; // texture off: no coordinates for either unit
    ctx.gl.RenderMesh(&m);
    EXPECT_FLOAT_EQ(unit1(), -3.0f);
    EXPECT_TRUE(ctx.gl.texture2On);

    m.material = &textured;
    ctx.gl.RenderMesh(&m);
    EXPECT_FLOAT_EQ(unit1(), 0.3f); // the second mesh's coordinate at the last index
    Current(GL_CURRENT_TEXTURE_COORDS, v);
    EXPECT_FLOAT_EQ(v[0], 0.75f);

    // A second mesh with fewer vertices than the first is never read past its end: skipped.
    Clear();
    ctx.gl.glMultiTexCoord2f(GL_TEXTURE1, -3, -3);
    second.vertexCount = 2;
    ctx.gl.RenderMesh(&m);
    EXPECT_FLOAT_EQ(unit1(), -3.0f);
    EXPECT_EQ(Inside(), 0u);
    second.vertexCount = 3;

    // Without multitexturing the mesh is skipped.
    ctx.gl.extMultitexture = false;
    ctx.gl.RenderMesh(&m);
    ctx.gl.extMultitexture = true;
    EXPECT_EQ(Inside(), 0u);
}
