#include "render/env.h"

#include <cstdio>

#include "base/trace.h"
#include "render/other.h"
#include "render/thread.h"

PEnv* fxglobalEnv = nullptr;

void fxSetEnv(PEnv* env) {
    fxglobalEnv = env;
}

static void localRenderLoop(void* env) {
    static_cast<PEnv*>(env)->RenderLoop();
}

PEnv::PEnv()
    : width(0), height(0), screenWidth(0), screenHeight(0), enlarged(false), render(nullptr),
      lockWhileRendering(true), testingMaterial(false), lightsEnabled(false), textureOn(false),
      texture2On(false), depthWrite(true), depthTest(true), cullFront(false), cullBack(false), mutex(nullptr),
      loopRunning(false), stopLoop(false), thread(nullptr), window(nullptr), npotTextures(false), maxFps(60), swapPaced(false) {
    for (FXLight*& l : lights)
        l = nullptr;
    defaultMaterial.SetDefault(1.0f);
    defaultMatlib.AddMaterial(&defaultMaterial);
    defaultMatlib.autoDelete = false;
    matrix.SetIdentity();
    mutex = fxCreateMutex();
}

PEnv::~PEnv() {
    PEnv::Destroy();
}

void PEnv::ClrscrDepthIn(float, float, float, float) {
    Clrscr(false, true, false);
}

void PEnv::Destroy() {
    StopLoop(0.5);
    void* m = mutex;
    if (m) fxLock(m);
    stopLoop = true;
    for (int i = 0; i < matlibs.count; i++) {
        FXMatlib* lib = (FXMatlib*)matlibs.items[i];
        lib->Destroy();
        delete lib;
    }
    matlibs.RemoveAll();
    defaultMatlib.Destroy();
    defaultMaterial.Destroy();
    // The default library stays the parent of libraries loaded later, so it keeps the default material.
    defaultMatlib.AddMaterial(&defaultMaterial);
    mutex = nullptr;
    if (m) {
        fxUnlock(m);
        fxDestroyMutex(m);
    }
    stopLoop = false;
}

bool PEnv::StartLoop(PRender* r) {
    stopLoop = false;
    render = r;
    // A thread that has not reached its loop yet counts as running too.
    if (loopRunning || thread) return true;
    thread = fxCreateThread(localRenderLoop, this);
    return thread != nullptr;
}

void PEnv::StopLoop(double seconds) {
    stopLoop = true;
    if (thread) {
        if (!fxWaitThread(thread, seconds)) {
            // The loop ends after its current frame; leaving it running on an environment that
            // is about to go away would be worse than waiting for that frame.
            err("PEnv::StopLoop -> loop thread still running after %.1f s, waiting for it\n", seconds);
            fxWaitThread(thread, 100000.0);
        }
        fxDestroyThread(thread);
        thread = nullptr;
    }
    render = nullptr;
}

void PEnv::Lock(bool on) {
    if (!mutex) return;
    if (on)
        fxLock(mutex);
    else
        fxUnlock(mutex);
}

bool PEnv::RegisterLight(FXLight* l) {
    for (FXLight*& slot : lights) {
        if (slot == l) return true;
        if (!slot) {
            slot = l;
            return true;
        }
    }
    return false;
}

void PEnv::UnregisterLight(FXLight* l) {
    for (FXLight*& slot : lights) {
        if (slot == l) {
            slot = nullptr;
            return;
        }
    }
}

// Once a minute the render loop writes how long its frames took, so a long run's log shows
// whether drawing slows down.
namespace {
struct localFrameStats {
    double since = 0, total = 0, longest = 0;
    int frames = 0;
    void Add(double start, double end) {
        if (frames == 0 && since == 0) since = start;
        frames++;
        total += end - start;
        if (end - start > longest) longest = end - start;
        if (end - since < 60.0) return;
        trc("render loop: %d frames in %.1f s, %.2f ms per frame on average, %.2f ms at most\n", frames,
            end - since, 1000.0 * total / frames, 1000.0 * longest);
        *this = localFrameStats();
        since = end;
    }
};
} // namespace

void PEnv::RenderLoop() {
    loopRunning = true;
    fxSleep(0.1);
    localFrameStats stats;
    while (!stopLoop) {
        if (!render) {
            // Nothing to draw: wait for a renderable without spinning the processor.
            fxSleep(0.001);
            continue;
        }
        bool locked = lockWhileRendering;
        if (locked) Lock(true);
        double started = fxGetTime();
        if (PRender* r = render) {
            SetAct(true);
            r->OnRender(this, started);
            SetAct(false);
            stats.Add(started, fxGetTime());
        }
        if (locked) Lock(false);
        double pause = 0.001;
        if (maxFps > 0 && !swapPaced) {
            // The rest of this frame's share of a second (never more: the clock may wrap).
            double share = 1.0 / maxFps, left = started + share - fxGetTime();
            if (left > pause) pause = left < share ? left : share;
        }
        fxSleep(pause);
    }
    loopRunning = false;
}

// ---------------------------------------------------------------------------------------------
// Materials and libraries

FXMaterial* PEnv::GetDefaultMaterial() {
    return &defaultMaterial;
}

FXMatlib* PEnv::GetDefaultMatlib() {
    return &defaultMatlib;
}

void PEnv::AddMaterial(FXMaterial* m) {
    defaultMatlib.AddMaterial(m);
}

void PEnv::ApplyDefaultMaterial() {
    ApplyMaterial(&defaultMaterial);
}

void PEnv::EnableTestingMaterial(bool on) {
    testingMaterial = on;
}

// The library of this name already loaded through the environment, its count raised; null when none.
static FXMatlib* localShared(FXArray* matlibs, const char* name) {
    for (int i = 0; i < matlibs->count; i++) {
        FXMatlib* lib = (FXMatlib*)matlibs->items[i];
        if (lib->name.Compare(name)) {
            lib->refCount++;
            return lib;
        }
    }
    return nullptr;
}

FXMatlib* PEnv::LoadMatlib(const char* name) {
    if (FXMatlib* lib = localShared(&matlibs, name)) return lib;
    FXMatlib* lib = new FXMatlib;
    lib->parent = &defaultMatlib;
    if (!lib->LoadFromMtl(name)) err("PEnv::LoadMatlib -> cannot load %s\n", name ? name : "");
    // Keeps the name even when the file is missing, so a second request shares this library.
    lib->name.Set(name);
    matlibs.Push(lib);
    return lib;
}

FXMatlib* PEnv::LoadMatlibC(FXPackage* package, const char* name) {
    if (FXMatlib* lib = localShared(&matlibs, name)) return lib;
    FXMatlib* lib = new FXMatlib;
    lib->parent = &defaultMatlib;
    if (!lib->LoadC(package, name))
        err("PEnv::LoadMatlibC -> cannot load library item %s\n", name ? name : "");
    // The package item names the library, whatever name it stores itself.
    lib->name.Set(name);
    matlibs.Push(lib);
    return lib;
}

FXMatlib* PEnv::LoadMatlibCN(FXPackage* package, int number) {
    char text[16];
    snprintf(text, sizeof text, "%d", number);
    return LoadMatlibC(package, text);
}

void PEnv::RemoveMatlib(FXMatlib* lib) {
    matlibs.Remove(lib);
}

// ---------------------------------------------------------------------------------------------

FXGRAutoAct::FXGRAutoAct(PEnv* e) : env(e) {
    if (env) {
        env->Lock(true);
        env->SetAct(true);
    }
}

FXGRAutoAct::~FXGRAutoAct() {
    if (env) {
        env->SetAct(false);
        env->Lock(false);
    }
}
