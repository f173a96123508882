// The device's OpenGL 1.x state code, shared by every context binding.
#include "render/gl.h"

#include <algorithm>

#include <GL/glu.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#ifndef GL_GENERATE_MIPMAP
#define GL_GENERATE_MIPMAP 0x8191
#endif

#include "assets/light.h"
#include "assets/material.h"
#include "assets/pixmap.h"
#include "base/trace.h"
#include "render/thread.h"

FXGL::FXGL()
    : hWnd(nullptr), savedParent(nullptr), binding(nullptr),
      childBindingFactory(nullptr), clearColor{0, 0, 0, 0}, extBgra(false), extSeparateSpecular(false),
      extEdgeClamp(false), extMultitexture(false), extCubeMap(false), generatesMipmaps(false),
      glActiveTexture(nullptr), glMultiTexCoord2f(nullptr), glMultiTexCoord2fv(nullptr),
      glClientActiveTexture(nullptr) {
    matrix.SetIdentity();
}

FXGL::~FXGL() {
    Destroy();
}

void FXGL::Destroy() {
    PEnv::Destroy();
    // Deleting the binding releases the context (when current here) and deletes it.
    delete binding;
    binding = nullptr;
    hWnd = nullptr;
    savedParent = nullptr;
    enlarged = false;
    glActiveTexture = nullptr;
    glMultiTexCoord2f = nullptr;
    glMultiTexCoord2fv = nullptr;
    glClientActiveTexture = nullptr;
}

bool FXGL::CreateChild(void* window) {
    FXGLBinding* b = window && childBindingFactory ? childBindingFactory(window) : nullptr;
    bool result = Create(b);
    hWnd = window;
    this->window = window;
    return result;
}

bool FXGL::Create(FXGLBinding* b) {
    Destroy();
    mutex = fxCreateMutex();
    if (!b) return false;
    binding = b;
    binding->GetSize(&width, &height, &screenWidth, &screenHeight);
    if (!binding->SetAct(true)) {
        err("OpenGL: cannot make the new context current\n");
        delete binding;
        binding = nullptr;
        return false;
    }
    bool result = InitExtensions();
    ClrParams();
    binding->SetAct(false);
    return result;
}

bool FXGL::IsAct() {
    return binding && binding->IsAct();
}

void FXGL::SetAct(bool on) {
    if (binding) binding->SetAct(on);
}

bool FXGL::RenderStart() {
    // Another client may resize the window we draw in: the picture follows it.
    int w, h;
    if (binding && !enlarged && binding->Resized(&w, &h)) {
        width = w;
        height = h;
        glViewport(0, 0, width, height);
    }
    return true;
}

void FXGL::RenderEnd() {
    if (binding) binding->Swap();
}

bool FXGL::ReadFrame(unsigned char* rgba) {
    if (!rgba || !IsAct() || width < 1 || height < 1) return false;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    // OpenGL delivers the bottom row first.
    size_t row = (size_t)width * 4;
    unsigned char* tmp = new unsigned char[row];
    for (int y = 0; y < height / 2; y++) {
        unsigned char* a = rgba + row * y;
        unsigned char* b = rgba + row * (height - 1 - y);
        memcpy(tmp, a, row);
        memcpy(a, b, row);
        memcpy(b, tmp, row);
    }
    delete[] tmp;
    return glGetError() == GL_NO_ERROR;
}

void FXGL::ClrParams() {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Near 2, far -2: larger z is nearer the viewer under GL_LEQUAL.
    glOrtho(-1, 1, -1, 1, 2, -2);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    float black[4] = {0, 0, 0, 0};
    SetClrColor(black);
    glClearDepth(2.0);
    glClearStencil(0);
    glShadeModel(GL_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    // Texels with alpha 0 or 1/255 are discarded.
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.007843138f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisable(GL_LIGHTING);
    glDisable(GL_NORMALIZE);
    float ambient[4] = {0, 0, 0, 0};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    if (extSeparateSpecular) glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
}

bool FXGL::TestExtensionString(const char* list, const char* name) {
    if (!list || !name || !*list || !*name) return false;
    size_t n = strlen(name);
    for (const char* p = strstr(list, name); p; p = strstr(p + 1, name))
        if (p[n] == ' ' || p[n] == 0) return true;
    return false;
}

static const char* localGLString(GLenum name) {
    const char* s = (const char*)glGetString(name);
    return s ? s : "";
}

bool FXGL::InitExtensions() {
    trc("OpenGL info:\n");
    trc("vendor: %s\n", localGLString(GL_VENDOR));
    trc("renderer: %s\n", localGLString(GL_RENDERER));
    trc("version: %s\n", localGLString(GL_VERSION));
    const char* list = localGLString(GL_EXTENSIONS);
    extBgra = TestExtensionString(list, "EXT_bgra");
    extSeparateSpecular = TestExtensionString(list, "EXT_separate_specular_color");
    extEdgeClamp = TestExtensionString(list, "EXT_texture_edge_clamp") ||
                   TestExtensionString(list, "SGIS_texture_edge_clamp");
    extMultitexture = TestExtensionString(list, "ARB_multitexture");
    if (extMultitexture && binding) {
        glActiveTexture = (FXActiveTextureProc)binding->GetProc("glActiveTexture");
        glMultiTexCoord2f = (FXMultiTexCoord2fProc)binding->GetProc("glMultiTexCoord2f");
        glMultiTexCoord2fv = (FXMultiTexCoord2fvProc)binding->GetProc("glMultiTexCoord2fv");
        glClientActiveTexture = (FXClientActiveTextureProc)binding->GetProc("glClientActiveTexture");
    }
    extCubeMap = TestExtensionString(list, "ARB_texture_cube_map");
    npotTextures = TestExtensionString(list, "ARB_texture_non_power_of_two");
    int major = 0, minor = 0;
    generatesMipmaps = sscanf(localGLString(GL_VERSION), "%d.%d", &major, &minor) == 2 &&
                       (major > 1 || (major == 1 && minor >= 4));
    // Hardware drivers honour the swap interval the window binding asks for; Mesa's software
    // renderers never wait for the display, so the loop paces them itself.
    const char* renderer = localGLString(GL_RENDERER);
    swapPaced = !(strstr(renderer, "llvmpipe") || strstr(renderer, "softpipe") || strstr(renderer, "swrast") ||
                  strstr(renderer, "Software Rasterizer"));
    if (extBgra) trc("EXT_bgra\n");
    if (extSeparateSpecular) trc("EXT_separate_specular_color\n");
    if (extEdgeClamp) trc("EXT_texture_edge_clamp\n");
    if (extMultitexture) trc("ARB_multitexture\n");
    if (extCubeMap) trc("ARB_texture_cube_map\n");
    if (npotTextures) trc("ARB_texture_non_power_of_two\n");
    return extEdgeClamp;
}

bool FXGL::TestGL(bool showMessage) {
    if (extMultitexture) return true;
    if (showMessage)
        fxShowMessageBox("Vesk3D", "Your Graphics Capabilities seems to be insufficient. Either you have no "
                                   "Graphics Card, or you have not installed the drivers for it.");
    return false;
}

void FXGL::SetClrColor(float* rgba) {
    memcpy(clearColor, rgba, sizeof(clearColor));
    glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
}

void FXGL::Clrscr(bool color, bool depth, bool stencil) {
    glClear((color ? GL_COLOR_BUFFER_BIT : 0) | (depth ? GL_DEPTH_BUFFER_BIT : 0) |
            (stencil ? GL_STENCIL_BUFFER_BIT : 0));
}

// The box's pixels and a pixel more on each side, within any scissor box in force: a software
// renderer clears a whole-screen depth buffer at the cost of a whole-screen pass.
void FXGL::ClrscrDepthIn(float x0, float y0, float x1, float y1) {
    if (!(x0 <= x1 && y0 <= y1)) return;
    auto pixel = [](float v, int size, int outwards) {
        double p = ((double)v + 1) * 0.5 * size;
        p = outwards < 0 ? floor(p) - 1 : ceil(p) + 1;
        return (int)fmin(fmax(p, 0), size);
    };
    int box[4] = {pixel(x0, width, -1), pixel(y0, height, -1), pixel(x1, width, 1), pixel(y1, height, 1)};
    GLboolean scissored = glIsEnabled(GL_SCISSOR_TEST);
    GLint kept[4] = {0, 0, width, height};
    glGetIntegerv(GL_SCISSOR_BOX, kept);
    if (scissored) {
        box[0] = std::max(box[0], (int)kept[0]);
        box[1] = std::max(box[1], (int)kept[1]);
        box[2] = std::min(box[2], (int)(kept[0] + kept[2]));
        box[3] = std::min(box[3], (int)(kept[1] + kept[3]));
    }
    if (box[0] >= box[2] || box[1] >= box[3]) return;
    glEnable(GL_SCISSOR_TEST);
    glScissor(box[0], box[1], box[2] - box[0], box[3] - box[1]);
    glClear(GL_DEPTH_BUFFER_BIT);
    glScissor(kept[0], kept[1], kept[2], kept[3]);
    if (!scissored) glDisable(GL_SCISSOR_TEST);
}

void FXGL::Enlarge(bool on) {
    if (!binding || on == enlarged) return;
    FXGRAutoAct act(this);
    if (!binding->Enlarge(on, &savedRect, &width, &height)) return;
    savedParent = on ? hWnd : nullptr;
    glViewport(0, 0, width, height);
    enlarged = on;
}

void FXGL::UpdateLights() {
    for (int i = 0; i < 8; i++) {
        GLenum id = GL_LIGHT0 + i;
        FXLight* l = lights[i];
        if (!l || l->disabled) {
            glDisable(id);
            continue;
        }
        l->lightId = (int)id;
        glLightfv(id, GL_POSITION, l->position);
        glLightfv(id, GL_SPOT_DIRECTION, l->spotDirection);
        glLightfv(id, GL_AMBIENT, l->ambient);
        glLightfv(id, GL_DIFFUSE, l->diffuse);
        glLightfv(id, GL_SPECULAR, l->specular);
        glLightf(id, GL_SPOT_EXPONENT, l->spotExponent);
        glLightf(id, GL_SPOT_CUTOFF, l->spotCutoff);
        glLightf(id, GL_CONSTANT_ATTENUATION, l->constantAttenuation);
        glLightf(id, GL_LINEAR_ATTENUATION, l->linearAttenuation);
        glLightf(id, GL_QUADRATIC_ATTENUATION, l->quadraticAttenuation);
        glEnable(id);
    }
}

void FXGL::ApplyMaterial(FXMaterial* m) {
    if (testingMaterial || !m) return;
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m->ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m->diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m->specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, m->emission);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m->shininess);
    if (m->textured && m->texId != 0) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, (GLuint)m->texId);
        textureOn = true;
    } else {
        glDisable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, 0);
        textureOn = false;
    }
}

void FXGL::ApplyMaterial2(FXMaterial* m) {
    if (testingMaterial || !glActiveTexture) return;
    glActiveTexture(GL_TEXTURE1);
    if (m && m->textured && m->texId != 0) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, (GLuint)m->texId);
        texture2On = true;
    } else {
        glDisable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, 0);
        texture2On = false;
    }
    glActiveTexture(GL_TEXTURE0);
}

void FXGL::ApplyMatrix(FXMatrix* m) {
    matrix = *m;
    glLoadMatrixf(matrix.m);
}

void FXGL::MultiplyMatrix(FXMatrix* m) {
    FXMatrix product;
    product.Multiply(&matrix, m);
    matrix = product;
    glLoadMatrixf(matrix.m);
}

void FXGL::ApplyMatrixIdentity() {
    matrix.SetIdentity();
    glLoadIdentity();
}

void FXGL::EnableLights(bool on) {
    lightsEnabled = on;
    if (on)
        glEnable(GL_LIGHTING);
    else
        glDisable(GL_LIGHTING);
}

void FXGL::EnableLight(bool on, FXLight* l) {
    if (!l) return;
    l->disabled = !on;
    // A light that was never uploaded has no OpenGL id yet; UpdateLights gives it one.
    if (l->lightId < GL_LIGHT0 || l->lightId >= GL_LIGHT0 + 8) return;
    if (on)
        glEnable((GLenum)l->lightId);
    else
        glDisable((GLenum)l->lightId);
}

void FXGL::DisableAllLights() {
    for (int i = 0; i < 8; i++) {
        if (lights[i]) lights[i]->disabled = true;
        glDisable(GL_LIGHT0 + i);
    }
}

void FXGL::SetAmbient(float* rgba) {
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, rgba);
}

void FXGL::EnableDepthTest(bool on) {
    depthTest = on;
    if (on)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
}

void FXGL::EnableDepthWrite(bool on) {
    depthWrite = on;
    glDepthMask(on ? GL_TRUE : GL_FALSE);
}

void FXGL::EnableCullface(bool front, bool back) {
    cullFront = front;
    cullBack = back;
    if (front || back) {
        glEnable(GL_CULL_FACE);
        glCullFace(back ? GL_BACK : GL_FRONT);
    } else {
        glDisable(GL_CULL_FACE);
    }
}

// Binds the material's texture name (creating it when needed) and sets the upload state
// every texture shares. False when the pixmap holds no picture.
static bool localBeginUpload(FXMaterial* m, FXPixmap* p) {
    if (!m || !p || !p->pixels || p->stride < 1 || p->rows < 1) return false;
    if (m->texId == 0) {
        GLuint name = 0;
        glGenTextures(1, &name);
        m->texId = (int32_t)name;
    }
    glBindTexture(GL_TEXTURE_2D, (GLuint)m->texId);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return true;
}

// The smallest internal format that holds the picture exactly. Under the modulating texture
// environment a grey texel (L, L, L, A) acts as luminance-alpha L, A does, an opaque one as
// luminance L, and a white one as alpha A; the driver takes luminance from the red component.
static GLint localInternalFormat(const FXPixmap* p) {
    size_t n = (size_t)p->stride * p->rows;
    bool opaque = true, white = true;
    for (size_t i = 0; i < n; i++) {
        uint32_t c = p->pixels[i];
        uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
        if (r != g || g != b) return GL_RGBA8;
        if (c >> 24 != 0xFF) opaque = false;
        if (r != 0xFF) white = false;
    }
    if (opaque) return GL_LUMINANCE8;
    return white ? GL_ALPHA8 : GL_LUMINANCE8_ALPHA8;
}

bool FXGL::PrepareTexture(FXMaterial* m) {
    if (!m || !m->texture) return false;
    FXPixmap* p = &m->texture->pixmap;
    if (!localBeginUpload(m, p)) return false;
    GLint format = localInternalFormat(p);
    if (m->mipmaps && generatesMipmaps) {
        // The driver builds the levels far faster than GLU does on the processor.
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
        glTexImage2D(GL_TEXTURE_2D, 0, format, p->stride, p->rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_FALSE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    } else if (m->mipmaps) {
        gluBuild2DMipmaps(GL_TEXTURE_2D, format, p->stride, p->rows, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    } else {
        // A texture that is never drawn smaller than its picture has level 0 only.
        if (generatesMipmaps) glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_FALSE);
        glTexImage2D(GL_TEXTURE_2D, 0, format, p->stride, p->rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    return true;
}

bool FXGL::FastPrepareTexture(FXMaterial* m, FXPixmap* p) {
    if (!localBeginUpload(m, p)) return false;
    glTexImage2D(GL_TEXTURE_2D, 0, 4, p->stride, p->rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    m->texScaleU = (float)p->width / (float)p->stride;
    m->texScaleV = (float)p->height / (float)p->rows;
    m->textured = true;
    return true;
}

bool FXGL::PrepareCubeTexture(FXMaterial*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*) {
    return false;
}

void FXGL::UnprepareTexture(FXMaterial* m) {
    if (!m || m->texId == 0) return;
    GLuint name = (GLuint)m->texId;
    glDeleteTextures(1, &name);
    m->texId = 0;
}
