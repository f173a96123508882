// The OpenGL 1.x render device. The state code (gl.cpp) is portable; binding a context to a
// drawable is the job of an FXGLBinding that whoever creates the device hands to it: on Linux
// gl_x11.cpp binds to an X11 window through GLX and gl_egl.cpp renders offscreen through EGL.
#ifndef MH_RENDER_GL_H
#define MH_RENDER_GL_H

#include <GL/gl.h>
#include <GL/glext.h>

#include "render/env.h"

// The multitexture entry points, fetched at run time.
typedef void(APIENTRY* FXActiveTextureProc)(GLenum texture);
typedef void(APIENTRY* FXMultiTexCoord2fProc)(GLenum target, GLfloat s, GLfloat t);
typedef void(APIENTRY* FXMultiTexCoord2fvProc)(GLenum target, const GLfloat* v);
typedef void(APIENTRY* FXClientActiveTextureProc)(GLenum texture);

// Window rectangle, relative to the parent, as Enlarge remembers it.
struct FXWinRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The platform part of the device: one context on one drawable.
class FXGLBinding {
  public:
    virtual ~FXGLBinding() {}
    // Makes the context current on the calling thread, or releases the calling thread's context.
    virtual bool SetAct(bool on) = 0;
    // True when the context is current on the calling thread.
    virtual bool IsAct() = 0;
    virtual void Swap() = 0;
    // An OpenGL entry point of this context.
    virtual void* GetProc(const char* name) = 0;
    // The drawable's size and the screen's.
    virtual void GetSize(int* width, int* height, int* screenWidth, int* screenHeight) = 0;
    // Moves the drawable to cover the whole screen (on) or back into its parent (off) and
    // reports the new client size; false when the binding has no window to move.
    virtual bool Enlarge(bool on, FXWinRect* saved, int* width, int* height) {
        (void)on, (void)saved, (void)width, (void)height;
        return false;
    }
    // True, with the new client size, when the window was resized since the last call.
    virtual bool Resized(int* width, int* height) {
        (void)width, (void)height;
        return false;
    }
};

// Makes the binding for a window handle of the host's; null when it cannot.
typedef FXGLBinding* (*FXGLBindingFactory)(void* window);

// An offscreen context of the given size (no window needed): EGL on Linux. Null on failure.
FXGLBinding* fxCreateOffscreenBinding(int width, int height);

class FXGL : public PEnv {
  public:
    FXGL();
    ~FXGL() override;

    // Binds the device to the host's window through childBindingFactory.
    bool CreateChild(void* window) override;
    // Binds the device to `binding`, which it owns from now on (also when this fails).
    bool Create(FXGLBinding* binding);
    void Destroy() override;
    void ClrParams() override;
    void SetAct(bool on) override;
    bool RenderStart() override;
    void RenderEnd() override;
    void SetClrColor(float* rgba) override;
    void Clrscr(bool color, bool depth, bool stencil) override;
    void ClrscrDepthIn(float x0, float y0, float x1, float y1) override;
    void Enlarge(bool on) override;
    void UpdateLights() override;
    void ApplyMaterial(FXMaterial* m) override;
    void ApplyMaterial2(FXMaterial* m) override;
    void ApplyMatrix(FXMatrix* m) override;
    void MultiplyMatrix(FXMatrix* m) override;
    void ApplyMatrixIdentity() override;
    void EnableLights(bool on) override;
    void EnableLight(bool on, FXLight* l) override;
    void DisableAllLights() override;
    void SetAmbient(float* rgba) override;
    void EnableDepthTest(bool on) override;
    void EnableDepthWrite(bool on) override;
    void EnableCullface(bool front, bool back) override;
    bool PrepareTexture(FXMaterial* m) override;
    bool FastPrepareTexture(FXMaterial* m, FXPixmap* pixmap) override;
    bool PrepareCubeTexture(FXMaterial* m, FXPixmap* px, FXPixmap* nx, FXPixmap* py, FXPixmap* ny,
                            FXPixmap* pz, FXPixmap* nz) override;
    void UnprepareTexture(FXMaterial* m) override;
    // Mesh drawing lives in render.cpp.
    bool PrepareMesh(FXMesh* mesh) override;
    void UnprepareMesh(FXMesh* mesh) override;
    void RenderMesh(FXMesh* mesh) override;

    bool InitExtensions();
    bool TestExtensionString(const char* list, const char* name);
    bool TestGL(bool showMessage);

    // True when the context exists and is current on the calling thread.
    bool IsAct();
    // Reads the frame drawn so far (before RenderEnd on a double-buffered window) into
    // `rgba`, width × height × 4 bytes, top row first. Needs the context current.
    bool ReadFrame(unsigned char* rgba);

    void* hWnd;        // the host's window handle, opaque here
    void* savedParent; // the window the drawable was taken out of by Enlarge
    FXWinRect savedRect;
    FXGLBinding* binding; // takes the place of the device and rendering context handles
    // Set by whoever creates the device's window, before CreateChild.
    FXGLBindingFactory childBindingFactory;
    float clearColor[4];
    bool extBgra;
    bool extSeparateSpecular;
    bool extEdgeClamp;
    bool extMultitexture;
    bool extCubeMap;
    // OpenGL 1.4 or later: mipmaps are generated by the driver from level 0.
    bool generatesMipmaps;

    // Multitexture entry points of this device's context, fetched by InitExtensions (null
    // until then, and when the context has no multitexturing).
    FXActiveTextureProc glActiveTexture;
    FXMultiTexCoord2fProc glMultiTexCoord2f;
    FXMultiTexCoord2fvProc glMultiTexCoord2fv;
    // The unit that texture-coordinate arrays go to (mesh drawing).
    FXClientActiveTextureProc glClientActiveTexture;
};

#endif
