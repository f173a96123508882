// The device's render state, extensions, lights and texture uploads, checked by reading the
// state back from a real driver, through both bindings: offscreen and on an X11 window.
#include <gtest/gtest.h>

#include "support/skip.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "assets/light.h"
#include "assets/material.h"
#include "base/trace.h"
#include "render/gl.h"
#include "render/gl_x11.h"

namespace {

const int kWidth = 160, kHeight = 120;

// A window handle as a host might keep one; the device sees only the pointer and hands it to
// the factory.
struct TestWindow {
    Display* display = nullptr;
    Window id = 0;
};

FXGLBinding* CreateTestBinding(void* window) {
    TestWindow* w = static_cast<TestWindow*>(window);
    return fxCreateGLBindingX11(w->display, w->id);
}

// The device traces its driver report into the one trace log of the test process.
std::string TraceFile() {
    static std::string path;
    if (path.empty()) {
        const char* dir = getenv("MH_TEST_TMP");
        std::string d = dir ? dir : "/tmp";
        std::string cmd = "mkdir -p '" + d + "'";
        if (system(cmd.c_str()) != 0) return "";
        path = d + "/device.log";
        fxOpenTraces(path.c_str());
    }
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class DeviceTest : public testing::TestWithParam<const char*> {
  protected:
    Display* dpy = nullptr;
    Window win = 0;
    TestWindow fxwin;
    FXGL gl;
    bool created = false;

    bool X11() const { return strcmp(GetParam(), "x11") == 0; }

    void SetUp() override {
        TraceFile();
        if (X11()) {
            dpy = XOpenDisplay(nullptr);
            if (!dpy) MH_SKIP_OUTSIDE_CI("no X display");
            win = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, kWidth, kHeight, 0, 0, 0);
            XSelectInput(dpy, win, StructureNotifyMask);
            XMapWindow(dpy, win);
            XEvent ev;
            do
                XNextEvent(dpy, &ev);
            while (ev.type != MapNotify);
            fxwin.display = dpy;
            fxwin.id = win;
            gl.childBindingFactory = CreateTestBinding;
            created = gl.CreateChild(&fxwin);
        } else {
            created = gl.Create(fxCreateOffscreenBinding(kWidth, kHeight));
        }
        ASSERT_TRUE(created);
        EXPECT_FALSE(gl.IsAct()) << "a new device is not current anywhere";
        gl.SetAct(true);
        ASSERT_TRUE(gl.IsAct());
    }

    void TearDown() override {
        gl.Destroy();
        if (dpy) {
            XDestroyWindow(dpy, win);
            XCloseDisplay(dpy);
        }
    }

    std::vector<uint8_t> Frame() {
        std::vector<uint8_t> rgba(kWidth * kHeight * 4);
        EXPECT_TRUE(gl.ReadFrame(rgba.data()));
        return rgba;
    }

    static uint32_t Pixel(const std::vector<uint8_t>& f, int x, int y) {
        const uint8_t* p = &f[(y * kWidth + x) * 4];
        return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
    }

    GLint Int(GLenum name) {
        GLint v = 0;
        glGetIntegerv(name, &v);
        return v;
    }
};

TEST_P(DeviceTest, CreationReportsSizesAndDriver) {
    EXPECT_EQ(gl.width, kWidth);
    EXPECT_EQ(gl.height, kHeight);
    if (X11()) {
        EXPECT_EQ(gl.screenWidth, DisplayWidth(dpy, DefaultScreen(dpy)));
        EXPECT_EQ(gl.screenHeight, DisplayHeight(dpy, DefaultScreen(dpy)));
        EXPECT_EQ(gl.hWnd, (void*)&fxwin);
        EXPECT_EQ(gl.window, (void*)&fxwin);
    }
    // Mesa offers everything the scene needs.
    EXPECT_TRUE(gl.extEdgeClamp);
    EXPECT_TRUE(gl.extMultitexture);
    EXPECT_TRUE(gl.TestGL(false));
    EXPECT_NE(gl.glActiveTexture, nullptr);
    EXPECT_NE(gl.glMultiTexCoord2fv, nullptr);
    EXPECT_NE(gl.glMultiTexCoord2f, nullptr);
    std::string log = ReadFile(TraceFile());
    EXPECT_NE(log.find("OpenGL info:\n"), std::string::npos);
    EXPECT_NE(log.find("] vendor: "), std::string::npos);
    EXPECT_NE(log.find("] renderer: "), std::string::npos);
    EXPECT_NE(log.find("] version: "), std::string::npos);
    size_t clamp = log.find("EXT_texture_edge_clamp\n"), multi = log.find("ARB_multitexture\n");
    ASSERT_NE(clamp, std::string::npos);
    ASSERT_NE(multi, std::string::npos);
    EXPECT_LT(clamp, multi);
}

TEST_P(DeviceTest, ClrParamsSetsTheSceneState) {
    // Disturb the state first so that ClrParams has to set every piece.
    glViewport(1, 2, 3, 4);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glShadeModel(GL_FLAT);
    float red[4] = {1, 0, 0, 1};
    gl.SetClrColor(red);
    gl.ClrParams();

    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[0], 0);
    EXPECT_EQ(vp[1], 0);
    EXPECT_EQ(vp[2], kWidth);
    EXPECT_EQ(vp[3], kHeight);
    float proj[16], model[16];
    glGetFloatv(GL_PROJECTION_MATRIX, proj);
    glGetFloatv(GL_MODELVIEW_MATRIX, model);
    // glOrtho(-1, 1, -1, 1, 2, -2): x, y unchanged, z scaled by -2 / (far - near) = 0.5.
    const float expectProj[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; i++) {
        EXPECT_FLOAT_EQ(proj[i], expectProj[i]) << i;
        EXPECT_FLOAT_EQ(model[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
    }
    EXPECT_EQ(Int(GL_MATRIX_MODE), GL_MODELVIEW);
    float cc[4], clearDepth = 0;
    glGetFloatv(GL_COLOR_CLEAR_VALUE, cc);
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &clearDepth);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(cc[i], 0.0f);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(gl.clearColor[i], 0.0f);
    EXPECT_EQ(clearDepth, 1.0f) << "2.0 is clamped";
    EXPECT_EQ(Int(GL_STENCIL_CLEAR_VALUE), 0);
    EXPECT_EQ(Int(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_EQ(Int(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    GLint poly[2];
    glGetIntegerv(GL_POLYGON_MODE, poly);
    EXPECT_EQ(poly[0], GL_FILL);
    EXPECT_EQ(poly[1], GL_FILL);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(Int(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(Int(GL_ALPHA_TEST_FUNC), GL_GREATER);
    float ref = 0;
    glGetFloatv(GL_ALPHA_TEST_REF, &ref);
    EXPECT_NEAR(ref, 2.0f / 255.0f, 1e-6);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(Int(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(Int(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_NORMALIZE));
    float amb[4];
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, amb);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(amb[i], 0.0f);
    ASSERT_TRUE(gl.extSeparateSpecular);
    EXPECT_EQ(Int(GL_LIGHT_MODEL_COLOR_CONTROL), GL_SEPARATE_SPECULAR_COLOR);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_P(DeviceTest, ClearsOnlyTheRequestedBuffers) {
    glDisable(GL_DEPTH_TEST);
    float red[4] = {1, 0, 0, 1}, blue[4] = {0, 0, 1, 1};
    gl.SetClrColor(red);
    glClearDepth(0.25);
    gl.Clrscr(true, true, false);
    gl.SetClrColor(blue);
    glClearDepth(0.75);
    gl.Clrscr(false, false, false);
    std::vector<uint8_t> f = Frame();
    EXPECT_EQ(Pixel(f, 0, 0), 0xFF0000FFu) << "a clear of no buffers changes nothing";
    float depth = 0;
    glReadPixels(3, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.25f, 1e-3);

    gl.Clrscr(false, true, false);
    glReadPixels(3, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.75f, 1e-3);
    EXPECT_EQ(Pixel(Frame(), 5, 5), 0xFF0000FFu) << "a depth clear leaves the colour";
    gl.Clrscr(true, false, false);
    EXPECT_EQ(Pixel(Frame(), 5, 5), 0x0000FFFFu);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// A depth clear over a box (as the gadgets use it) reaches the box and leaves the rest, stays
// within a scissor box already in force (the stills' sketched frames), and keeps that state.
TEST_P(DeviceTest, DepthClearsOverABoxStayWithinItAndAnyScissor) {
    auto depthAt = [](int x, int y) {
        float d = 0;
        glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &d);
        return d;
    };
    glClearDepth(0.25);
    gl.Clrscr(false, true, false);
    glClearDepth(0.75);
    // The right half of the viewport, as -1 ... 1 coordinates give it.
    gl.ClrscrDepthIn(0.0f, -1.0f, 1.0f, 1.0f);
    EXPECT_NEAR(depthAt(kWidth - 1, 0), 0.75f, 1e-3);
    EXPECT_NEAR(depthAt(kWidth / 2, kHeight / 2), 0.75f, 1e-3);
    EXPECT_NEAR(depthAt(0, kHeight - 1), 0.25f, 1e-3) << "left of the box";
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));

    glClearDepth(0.25);
    gl.Clrscr(false, true, false);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 2, 2);
    glClearDepth(0.5);
    gl.ClrscrDepthIn(-1.0f, -1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    GLint box[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[2], 2);
    EXPECT_EQ(box[3], 2);
    glDisable(GL_SCISSOR_TEST);
    EXPECT_NEAR(depthAt(1, 1), 0.5f, 1e-3);
    EXPECT_NEAR(depthAt(5, 5), 0.25f, 1e-3) << "outside the scissor box in force";
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_P(DeviceTest, FramesReadBackTopRowFirst) {
    float black[4] = {0, 0, 0, 1}, red[4] = {1, 0, 0, 1};
    gl.SetClrColor(black);
    gl.Clrscr(true, false, false);
    // OpenGL's y runs upwards: this paints the top half.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, kHeight / 2, kWidth, kHeight / 2);
    gl.SetClrColor(red);
    gl.Clrscr(true, false, false);
    glDisable(GL_SCISSOR_TEST);
    std::vector<uint8_t> f = Frame();
    EXPECT_EQ(Pixel(f, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(Pixel(f, kWidth - 1, kHeight / 2 - 1), 0xFF0000FFu);
    EXPECT_EQ(Pixel(f, 0, kHeight / 2), 0x000000FFu);
    EXPECT_EQ(Pixel(f, kWidth - 1, kHeight - 1), 0x000000FFu);
}

TEST_P(DeviceTest, CullfaceFollowsTheTwoFlags) {
    gl.EnableCullface(true, true);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(Int(GL_CULL_FACE_MODE), GL_BACK) << "both flags cull back faces only";
    EXPECT_TRUE(gl.cullFront && gl.cullBack);
    gl.EnableCullface(true, false);
    EXPECT_EQ(Int(GL_CULL_FACE_MODE), GL_FRONT);
    gl.EnableCullface(false, true);
    EXPECT_EQ(Int(GL_CULL_FACE_MODE), GL_BACK);
    gl.EnableCullface(false, false);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(gl.cullFront || gl.cullBack);

    // And it really drops the triangle: a clockwise (back-facing) quad is not drawn.
    float black[4] = {0, 0, 0, 1};
    gl.SetClrColor(black);
    gl.Clrscr(true, true, false);
    gl.EnableCullface(true, true);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(-1, 1);
    glVertex2f(1, 1);
    glVertex2f(1, -1);
    glEnd();
    EXPECT_EQ(Pixel(Frame(), kWidth / 2, kHeight / 2), 0x000000FFu);
    gl.EnableCullface(false, false);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(-1, 1);
    glVertex2f(1, 1);
    glVertex2f(1, -1);
    glEnd();
    EXPECT_EQ(Pixel(Frame(), kWidth / 2, kHeight / 2), 0xFFFFFFFFu);
}

TEST_P(DeviceTest, StateSwitchesKeepTheirFlags) {
    gl.EnableDepthTest(false);
    EXPECT_FALSE(gl.depthTest);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    gl.EnableDepthTest(true);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    gl.EnableDepthWrite(false);
    EXPECT_FALSE(gl.depthWrite);
    EXPECT_EQ(Int(GL_DEPTH_WRITEMASK), GL_FALSE);
    gl.EnableDepthWrite(true);
    EXPECT_EQ(Int(GL_DEPTH_WRITEMASK), GL_TRUE);
    gl.EnableLights(true);
    EXPECT_TRUE(gl.lightsEnabled);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    gl.EnableLights(false);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    float amb[4] = {0.1f, 0.2f, 0.3f, 0.4f}, got[4];
    gl.SetAmbient(amb);
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, got);
    for (int i = 0; i < 4; i++)
        EXPECT_FLOAT_EQ(got[i], amb[i]);
}

TEST_P(DeviceTest, MatricesReachTheModelView) {
    FXMatrix move, scale;
    move.SetMoveF(0.5f, -0.25f, 0.125f);
    scale.SetScaleF(2, 3, 4);
    gl.ApplyMatrix(&move);
    gl.MultiplyMatrix(&scale);
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    // Scale first, then move: the columns are scaled, the translation stays.
    const float expect[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0.5f, -0.25f, 0.125f, 1};
    for (int i = 0; i < 16; i++) {
        EXPECT_FLOAT_EQ(m[i], expect[i]) << i;
        EXPECT_FLOAT_EQ(gl.matrix.m[i], expect[i]) << i;
    }
    gl.ApplyMatrixIdentity();
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f);
}

TEST_P(DeviceTest, LightsAreUploadedIntoTheirSlots) {
    FXLight a, b, c;
    a.position[0] = 1, a.position[1] = 0, a.position[2] = 0, a.position[3] = 1;
    a.diffuse[0] = 0.5f, a.diffuse[1] = 0.25f, a.diffuse[2] = 0.125f, a.diffuse[3] = 1;
    a.spotCutoff = 45;
    a.spotExponent = 3;
    a.linearAttenuation = 0.5f;
    b.disabled = true;
    c.diffuse[0] = 0.75f;
    ASSERT_TRUE(gl.RegisterLight(&a));
    ASSERT_TRUE(gl.RegisterLight(&b));
    ASSERT_TRUE(gl.RegisterLight(&c));
    glEnable(GL_LIGHT5); // an empty slot is switched off

    // Positions are taken under the model-view matrix in force at upload time.
    FXMatrix move;
    move.SetMoveF(1, 2, 3);
    gl.ApplyMatrix(&move);
    gl.UpdateLights();

    EXPECT_EQ(a.lightId, GL_LIGHT0);
    EXPECT_EQ(c.lightId, GL_LIGHT2);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1)) << "a disabled light is switched off";
    EXPECT_TRUE(glIsEnabled(GL_LIGHT2));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT5));
    float v[4], f = 0;
    glGetLightfv(GL_LIGHT0, GL_POSITION, v);
    EXPECT_FLOAT_EQ(v[0], 2);
    EXPECT_FLOAT_EQ(v[1], 2);
    EXPECT_FLOAT_EQ(v[2], 3);
    EXPECT_FLOAT_EQ(v[3], 1);
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, v);
    EXPECT_FLOAT_EQ(v[0], 0.5f);
    EXPECT_FLOAT_EQ(v[1], 0.25f);
    EXPECT_FLOAT_EQ(v[2], 0.125f);
    glGetLightfv(GL_LIGHT0, GL_SPOT_CUTOFF, &f);
    EXPECT_FLOAT_EQ(f, 45);
    glGetLightfv(GL_LIGHT0, GL_SPOT_EXPONENT, &f);
    EXPECT_FLOAT_EQ(f, 3);
    glGetLightfv(GL_LIGHT0, GL_LINEAR_ATTENUATION, &f);
    EXPECT_FLOAT_EQ(f, 0.5f);
    glGetLightfv(GL_LIGHT2, GL_DIFFUSE, v);
    EXPECT_FLOAT_EQ(v[0], 0.75f);

    gl.EnableLight(false, &a);
    EXPECT_TRUE(a.disabled);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    gl.EnableLight(true, &a);
    EXPECT_FALSE(a.disabled);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    gl.DisableAllLights();
    EXPECT_TRUE(a.disabled && b.disabled && c.disabled);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0) || glIsEnabled(GL_LIGHT2));
    gl.UpdateLights();
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0)) << "disabled lights stay off on the next upload";
    // A light never uploaded only changes its flag: it has no OpenGL id to switch yet.
    FXLight fresh;
    gl.EnableLight(false, &fresh);
    EXPECT_TRUE(fresh.disabled);
    gl.EnableLight(true, &fresh);
    EXPECT_FALSE(fresh.disabled);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// A material whose own canvas holds a w x h picture with recognisable pixels.
void FillMaterial(FXMaterial* m, int w, int h) {
    ASSERT_TRUE(m->canvas.pixmap.Realloc(w, h));
    FXPixmap& p = m->canvas.pixmap;
    for (int i = 0; i < p.stride * p.rows; i++)
        p.pixels[i] = 0xFF000000u | (uint32_t)(i * 2654435761u >> 8);
    m->texture = &m->canvas;
}

GLint TexLevelWidth(int level) {
    GLint w = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    return w;
}

GLint TexParam(GLenum name) {
    GLint v = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &v);
    return v;
}

TEST_P(DeviceTest, TexturesUploadWithAndWithoutMipmaps) {
    for (bool mip : {false, true}) {
        SCOPED_TRACE(mip ? "mipmaps" : "one level");
        FXMaterial m;
        FillMaterial(&m, 12, 5); // a 16 x 8 block
        m.mipmaps = mip;
        ASSERT_TRUE(gl.PrepareTexture(&m));
        ASSERT_NE(m.texId, 0);
        GLint bound = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(bound, 0) << "the upload leaves no texture bound";
        glBindTexture(GL_TEXTURE_2D, (GLuint)m.texId);
        EXPECT_EQ(TexLevelWidth(0), 16);
        EXPECT_EQ(TexLevelWidth(1), mip ? 8 : 0);
        EXPECT_EQ(TexLevelWidth(4), mip ? 1 : 0);
        EXPECT_EQ(TexParam(GL_TEXTURE_MIN_FILTER), mip ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
        EXPECT_EQ(TexParam(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
        EXPECT_EQ(TexParam(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
        EXPECT_EQ(TexParam(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
        std::vector<uint32_t> back(16 * 8);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back.data());
        EXPECT_EQ(memcmp(back.data(), m.canvas.pixmap.pixels, back.size() * 4), 0)
            << "level 0 is the whole block";
        glBindTexture(GL_TEXTURE_2D, 0);

        // Uploading again reuses the name; unpreparing deletes it.
        int32_t id = m.texId;
        ASSERT_TRUE(gl.PrepareTexture(&m));
        EXPECT_EQ(m.texId, id);
        gl.UnprepareTexture(&m);
        EXPECT_EQ(m.texId, 0);
        EXPECT_FALSE(glIsTexture((GLuint)id));
        gl.UnprepareTexture(&m);
        m.texture = nullptr;
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// Draws the bound texture, modulated by a colour and blended over a grey ground, once over the
// whole frame and once small enough to sample its smallest levels.
void DrawTextured() {
    glClearColor(0.25f, 0.5f, 0.75f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.9f, 0.6f, 0.3f, 0.8f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    for (float size : {1.0f, 0.06f}) {
        glBegin(GL_TRIANGLE_STRIP);
        glTexCoord2f(0, 0), glVertex2f(-size, -size);
        glTexCoord2f(1, 0), glVertex2f(size, -size);
        glTexCoord2f(0, 1), glVertex2f(-size, size);
        glTexCoord2f(1, 1), glVertex2f(size, size);
        glEnd();
    }
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

// Grey, opaque grey and white pictures go up in smaller formats, and every picture draws exactly
// as the same pixels uploaded as RGBA do.
TEST_P(DeviceTest, CompactTextureFormatsDrawAsRgba) {
    struct Kind {
        const char* name;
        uint32_t (*texel)(uint32_t random);
        bool compact;
    };
    const Kind kinds[] = {
        {"grey with alpha", [](uint32_t r) { return (r & 0xFF) * 0x010101u | (r >> 8 & 0xFF) << 24; }, true},
        {"opaque grey", [](uint32_t r) { return (r & 0xFF) * 0x010101u | 0xFF000000u; }, true},
        {"white with alpha", [](uint32_t r) { return 0xFFFFFFu | (r & 0xFF) << 24; }, true},
        {"colour", [](uint32_t r) { return r; }, false},
        {"grey but one pixel", [](uint32_t r) { return r == 12345 ? 0xFF0102FFu : (r & 0xFF) * 0x010101u | 0x80000000u; }, false},
    };
    for (const Kind& kind : kinds)
        for (bool mip : {false, true}) {
            SCOPED_TRACE(std::string(kind.name) + (mip ? ", mipmaps" : ", one level"));
            FXMaterial m;
            ASSERT_TRUE(m.canvas.pixmap.Realloc(60, 30)); // a 64 x 32 block
            FXPixmap& p = m.canvas.pixmap;
            for (int i = 0; i < p.stride * p.rows; i++)
                p.pixels[i] = kind.texel(i == 77 ? 12345 : (uint32_t)(i * 2654435761u));
            m.texture = &m.canvas;
            m.mipmaps = mip;
            ASSERT_TRUE(gl.PrepareTexture(&m));
            glBindTexture(GL_TEXTURE_2D, (GLuint)m.texId);
            GLint format = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
            EXPECT_EQ(format != GL_RGBA8 && format != GL_RGBA, kind.compact) << "internal format 0x" << std::hex
                                                                             << format;
            DrawTextured();
            std::vector<uint8_t> compact = Frame();

            GLuint ref = 0;
            glGenTextures(1, &ref);
            glBindTexture(GL_TEXTURE_2D, ref);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, mip ? GL_TRUE : GL_FALSE);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, p.stride, p.rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.pixels);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mip ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            DrawTextured();
            std::vector<uint8_t> rgba = Frame();
            glBindTexture(GL_TEXTURE_2D, 0);
            glDeleteTextures(1, &ref);
            EXPECT_TRUE(compact == rgba) << "the frames differ";
            gl.UnprepareTexture(&m);
        }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_P(DeviceTest, FastPrepareTextureSetsTheScales) {
    FXMaterial m;
    FXPixmap p;
    ASSERT_TRUE(p.Realloc(800, 600));
    ASSERT_EQ(p.stride, 1024);
    ASSERT_EQ(p.rows, 1024);
    p.Clear(0);
    ASSERT_TRUE(gl.FastPrepareTexture(&m, &p));
    EXPECT_EQ(m.texScaleU, 0.78125f);
    EXPECT_EQ(m.texScaleV, 0.5859375f);
    EXPECT_TRUE(m.textured);
    glBindTexture(GL_TEXTURE_2D, (GLuint)m.texId);
    EXPECT_EQ(TexLevelWidth(0), 1024);
    EXPECT_EQ(TexLevelWidth(1), 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    gl.UnprepareTexture(&m);
    m.textured = false;
}

// Nothing to upload is refused instead of handing a null or empty picture to the driver.
TEST_P(DeviceTest, EmptyPicturesAreRefused) {
    FXMaterial m;
    EXPECT_FALSE(gl.PrepareTexture(&m)) << "no canvas";
    m.texture = &m.canvas;
    EXPECT_FALSE(gl.PrepareTexture(&m)) << "empty canvas";
    FXPixmap empty;
    EXPECT_FALSE(gl.FastPrepareTexture(&m, &empty));
    EXPECT_FALSE(m.textured);
    EXPECT_EQ(m.texId, 0);
    m.texture = nullptr;
    EXPECT_FALSE(gl.PrepareCubeTexture(&m, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

TEST_P(DeviceTest, MaterialsSetColoursAndTextureUnits) {
    FXMaterial m;
    FillMaterial(&m, 4, 4);
    m.mipmaps = false;
    ASSERT_TRUE(gl.PrepareTexture(&m));
    m.textured = true;
    m.diffuse[0] = 0.5f;
    m.shininess = 64;
    gl.ApplyMaterial(&m);
    EXPECT_TRUE(gl.textureOn);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(Int(GL_TEXTURE_BINDING_2D), m.texId);
    float v[4];
    glGetMaterialfv(GL_BACK, GL_DIFFUSE, v);
    EXPECT_FLOAT_EQ(v[0], 0.5f);
    glGetMaterialfv(GL_FRONT, GL_SHININESS, v);
    EXPECT_FLOAT_EQ(v[0], 64);

    gl.ApplyMaterial2(&m);
    EXPECT_TRUE(gl.texture2On);
    EXPECT_EQ(Int(GL_ACTIVE_TEXTURE), GL_TEXTURE0) << "unit 0 is selected again";
    gl.glActiveTexture(GL_TEXTURE1);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(Int(GL_TEXTURE_BINDING_2D), m.texId);
    gl.glActiveTexture(GL_TEXTURE0);
    gl.ApplyMaterial2(nullptr);
    EXPECT_FALSE(gl.texture2On);
    gl.glActiveTexture(GL_TEXTURE1);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    gl.glActiveTexture(GL_TEXTURE0);

    // While the testing material is on, materials change nothing.
    FXMaterial plain;
    gl.testingMaterial = true;
    gl.ApplyMaterial(&plain);
    EXPECT_TRUE(gl.textureOn);
    gl.testingMaterial = false;
    gl.ApplyMaterial(&plain);
    EXPECT_FALSE(gl.textureOn);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(Int(GL_TEXTURE_BINDING_2D), 0);
    gl.UnprepareTexture(&m);
    m.textured = false;
    m.texture = nullptr;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_P(DeviceTest, DestroyReleasesAndCanRepeat) {
    gl.Destroy();
    EXPECT_FALSE(gl.IsAct());
    EXPECT_EQ(gl.binding, nullptr);
    EXPECT_EQ(gl.hWnd, nullptr);
    gl.Destroy();
    gl.SetAct(true); // without a context: nothing happens
    gl.RenderEnd();
    EXPECT_FALSE(gl.IsAct());
}

INSTANTIATE_TEST_SUITE_P(Bindings, DeviceTest, testing::Values("offscreen", "x11"));

TEST(DeviceX11, SwappedFramesReachTheWindow) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) MH_SKIP_OUTSIDE_CI("no X display");
    Window win = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 10, 10, 64, 48, 0, 0, 0);
    XSelectInput(dpy, win, StructureNotifyMask);
    XMapWindow(dpy, win);
    XEvent ev;
    do
        XNextEvent(dpy, &ev);
    while (ev.type != MapNotify);
    TestWindow fxwin;
    fxwin.display = dpy;
    fxwin.id = win;
    FXGL gl;
    gl.childBindingFactory = CreateTestBinding;
    ASSERT_TRUE(gl.CreateChild(&fxwin));
    gl.SetAct(true);
    float green[4] = {0, 1, 0, 1};
    gl.SetClrColor(green);
    gl.Clrscr(true, true, false);
    gl.RenderEnd();
    glFinish();
    gl.SetAct(false);
    XSync(dpy, False);
    XImage* img = XGetImage(dpy, win, 0, 0, 64, 48, AllPlanes, ZPixmap);
    ASSERT_NE(img, nullptr);
    unsigned long px = XGetPixel(img, 32, 24);
    XDestroyImage(img);
    EXPECT_EQ(px & 0xFFFFFF, 0x00FF00u);
    gl.Destroy();
    XDestroyWindow(dpy, win);
    XCloseDisplay(dpy);
}

TEST(DeviceX11, EnlargeCoversTheScreenAndComesBack) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) MH_SKIP_OUTSIDE_CI("no X display");
    Window win = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 64, 48, 0, 0, 0);
    XMapWindow(dpy, win);
    XSync(dpy, False);
    TestWindow fxwin;
    fxwin.display = dpy;
    fxwin.id = win;
    FXGL gl;
    gl.childBindingFactory = CreateTestBinding;
    ASSERT_TRUE(gl.CreateChild(&fxwin));
    gl.Enlarge(false);
    EXPECT_FALSE(gl.enlarged) << "nothing to undo";
    gl.Enlarge(true);
    EXPECT_TRUE(gl.enlarged);
    EXPECT_EQ(gl.width, gl.screenWidth);
    EXPECT_EQ(gl.height, gl.screenHeight);
    EXPECT_EQ(gl.savedParent, (void*)&fxwin);
    EXPECT_FALSE(gl.IsAct()) << "the context is borrowed only for the change";
    gl.SetAct(true);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], gl.screenWidth);
    EXPECT_EQ(vp[3], gl.screenHeight);
    gl.SetAct(false);
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    ASSERT_TRUE(XQueryTree(dpy, win, &root, &parent, &children, &n));
    if (children) XFree(children);
    EXPECT_EQ(n, 0u) << "the render window left the saver window";

    gl.Enlarge(false);
    EXPECT_FALSE(gl.enlarged);
    EXPECT_EQ(gl.width, 64);
    EXPECT_EQ(gl.height, 48);
    EXPECT_EQ(gl.savedParent, nullptr);
    ASSERT_TRUE(XQueryTree(dpy, win, &root, &parent, &children, &n));
    if (children) XFree(children);
    EXPECT_EQ(n, 1u);
    gl.Destroy();
    XDestroyWindow(dpy, win);
    XCloseDisplay(dpy);
}

TEST(DeviceExtensions, NamesMatchWholeEntries) {
    FXGL gl;
    EXPECT_TRUE(gl.TestExtensionString("GL_EXT_bgra GL_ARB_multitexture", "EXT_bgra"));
    EXPECT_TRUE(gl.TestExtensionString("GL_ARB_multitexture GL_EXT_bgra", "EXT_bgra"));
    EXPECT_FALSE(gl.TestExtensionString("GL_EXT_bgra2 GL_EXT_bgrax", "EXT_bgra"));
    EXPECT_TRUE(gl.TestExtensionString("GL_EXT_bgra2 GL_EXT_bgra", "EXT_bgra"))
        << "a later entry still counts";
    EXPECT_FALSE(gl.TestExtensionString("", "EXT_bgra"));
    EXPECT_FALSE(gl.TestExtensionString("GL_EXT_bgra", ""));
    EXPECT_FALSE(gl.TestExtensionString(nullptr, "EXT_bgra"));
    // The name before a match is not examined, so names are given without their prefix.
    EXPECT_TRUE(gl.TestExtensionString("GL_SGIS_texture_edge_clamp", "texture_edge_clamp"));
    EXPECT_FALSE(gl.TestGL(false)) << "no context, no multitexturing";
}

} // namespace
