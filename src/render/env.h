#ifndef MH_RENDER_ENV_H
#define MH_RENDER_ENV_H

#include <atomic>

#include "assets/material.h"
#include "assets/matlib.h"
#include "base/arrays.h"
#include "elements/3dmath.h"

class FXMaterial;
class FXMatlib;
class FXMatrix;
class FXPixmap;
class FXMesh;
class FXLight;
class FXPackage;
class PEnv;

// Something the render loop can draw; t is the frame time in seconds.
class PRender {
  public:
    virtual void OnRender(PEnv* env, double t) = 0;
};

// The abstract render environment: loop thread, environment mutex, light slots,
// cached render state and the material libraries loaded through it.
class PEnv {
  public:
    PEnv();
    virtual ~PEnv();

    virtual bool CreateChild(void* window) = 0;
    virtual void Destroy();
    virtual void ClrParams() = 0;
    virtual void SetAct(bool on) = 0;
    virtual bool RenderStart() = 0;
    virtual void RenderEnd() = 0;
    virtual bool StartLoop(PRender* r);
    virtual void StopLoop(double seconds);
    virtual void Lock(bool on);
    virtual void SetClrColor(float* rgba) = 0;
    virtual void Clrscr(bool color, bool depth, bool stencil) = 0;
    // Clears the depth buffer at least over the box x0 ... x1, y0 ... y1 of the projection's
    // -1 ... 1 square; what lies outside may be left as it is. Here: the whole buffer.
    virtual void ClrscrDepthIn(float x0, float y0, float x1, float y1);
    virtual void Enlarge(bool on) = 0;
    virtual bool RegisterLight(FXLight* l);
    virtual void UnregisterLight(FXLight* l);
    virtual void UpdateLights() = 0;
    virtual FXMaterial* GetDefaultMaterial();
    virtual FXMatlib* GetDefaultMatlib();
    virtual FXMatlib* LoadMatlib(const char* name);
    virtual FXMatlib* LoadMatlibC(FXPackage* package, const char* name);
    virtual FXMatlib* LoadMatlibCN(FXPackage* package, int number);
    virtual void RemoveMatlib(FXMatlib* lib);
    virtual void AddMaterial(FXMaterial* m);
    virtual void ApplyDefaultMaterial();
    virtual void ApplyMaterial(FXMaterial* m) = 0;
    virtual void ApplyMaterial2(FXMaterial* m) = 0;
    virtual void ApplyMatrix(FXMatrix* m) = 0;
    virtual void MultiplyMatrix(FXMatrix* m) = 0;
    virtual void ApplyMatrixIdentity() = 0;
    virtual void EnableLights(bool on) = 0;
    virtual void EnableLight(bool on, FXLight* l) = 0;
    virtual void DisableAllLights() = 0;
    virtual void SetAmbient(float* rgba) = 0;
    virtual void EnableDepthTest(bool on) = 0;
    virtual void EnableDepthWrite(bool on) = 0;
    virtual void EnableCullface(bool front, bool back) = 0;
    virtual void EnableTestingMaterial(bool on);
    virtual bool PrepareTexture(FXMaterial* m) = 0;
    virtual bool FastPrepareTexture(FXMaterial* m, FXPixmap* pixmap) = 0;
    virtual bool PrepareCubeTexture(FXMaterial* m, FXPixmap* px, FXPixmap* nx, FXPixmap* py, FXPixmap* ny,
                                    FXPixmap* pz, FXPixmap* nz) = 0;
    virtual void UnprepareTexture(FXMaterial* m) = 0;
    virtual bool PrepareMesh(FXMesh* mesh) = 0;
    virtual void UnprepareMesh(FXMesh* mesh) = 0;
    virtual void RenderMesh(FXMesh* mesh) = 0;
    virtual void RenderLoop();

    int width;
    int height;
    int screenWidth;
    int screenHeight;
    bool enlarged;
    // Read by the loop thread each pass, written by the window thread.
    std::atomic<PRender*> render;
    bool lockWhileRendering;
    FXLight* lights[8];
    FXMaterial defaultMaterial;
    FXMatlib defaultMatlib;
    FXArray matlibs; // FXMatlib*, owned
    bool testingMaterial;
    bool lightsEnabled;
    bool textureOn;
    bool texture2On;
    bool depthWrite;
    bool depthTest;
    bool cullFront;
    bool cullBack;
    void* mutex; // recursive, from fxCreateMutex
    std::atomic<bool> loopRunning;
    std::atomic<bool> stopLoop;
    void* thread; // from fxCreateThread
    FXMatrix matrix;
    void* window;
    bool npotTextures;
    // Frame pacing: where the display does not pace the swaps (swapPaced false: no vertical
    // sync, as on software renderers), the loop holds frames to at most maxFps a second,
    // sleeping out the rest of each frame's share; 0 draws as fast as it can.
    double maxFps;
    bool swapPaced;

    PEnv(const PEnv&) = delete;
    PEnv& operator=(const PEnv&) = delete;
};

// Borrows the rendering context from outside the loop thread: the mutex first, then the context.
class FXGRAutoAct {
  public:
    explicit FXGRAutoAct(PEnv* env);
    ~FXGRAutoAct();

    PEnv* env;
};

// An environment without a device, for the authoring tools: material libraries load and
// textures decode (and count as prepared), while drawing does nothing.
class FXHeadlessEnv : public PEnv {
  public:
    bool CreateChild(void*) override { return true; }
    void ClrParams() override {}
    void SetAct(bool) override {}
    bool RenderStart() override { return true; }
    void RenderEnd() override {}
    void SetClrColor(float*) override {}
    void Clrscr(bool, bool, bool) override {}
    void Enlarge(bool) override {}
    void UpdateLights() override {}
    void ApplyMaterial(FXMaterial*) override {}
    void ApplyMaterial2(FXMaterial*) override {}
    void ApplyMatrix(FXMatrix*) override {}
    void MultiplyMatrix(FXMatrix*) override {}
    void ApplyMatrixIdentity() override {}
    void EnableLights(bool) override {}
    void EnableLight(bool, FXLight*) override {}
    void DisableAllLights() override {}
    void SetAmbient(float*) override {}
    void EnableDepthTest(bool) override {}
    void EnableDepthWrite(bool) override {}
    void EnableCullface(bool, bool) override {}
    bool PrepareTexture(FXMaterial*) override { return true; }
    bool FastPrepareTexture(FXMaterial*, FXPixmap*) override { return true; }
    bool PrepareCubeTexture(FXMaterial*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*) override {
        return false;
    }
    void UnprepareTexture(FXMaterial*) override {}
    bool PrepareMesh(FXMesh*) override { return true; }
    void UnprepareMesh(FXMesh*) override {}
    void RenderMesh(FXMesh*) override {}
};

extern PEnv* fxglobalEnv;
void fxSetEnv(PEnv* env);

#endif
