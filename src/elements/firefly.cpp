#include "elements/firefly.h"

#include <math.h>

#include "base/strings.h"
#include "render/other.h"

FXFireFly::FXFireFly()
    : noPos(false), pointCount(8), maxStep(2.0f), secondsPerUnit(10.0), flightDuration(10.0), frameCount(0),
      curFrame(-1), frameInterval(0.04), lastFrameTime(0.0), frameBackward(false), fadeIn(0.05f),
      fadeOut(0.95f), brightness(1.0f), lightAimsAtOrigin(false), lightOn(true), sizeFactor(1.0f) {
    material.SetDefDiffuse(0);
    light.SetDefSpecular(0);
    light.position[0] = light.position[1] = light.position[2] = 0.0f;
    flight.running = false;
    flight.loop = false;
    curPos[0] = curPos[1] = curPos[2] = 0.0f;
    scale.SetIdentity();
}

FXFireFly::~FXFireFly() {
    Destroy();
    // The environment must not keep a pointer to a light that no longer exists.
    if (fxglobalEnv) fxglobalEnv->UnregisterLight(&light);
}

FXMaterial* FXFireFly::ShownMaterial() {
    if (frameCount > 0) {
        int i = curFrame < 0 ? 0 : curFrame;
        return (FXMaterial*)frames.items[i];
    }
    return &material;
}

void FXFireFly::SetUpDesk() {
    desk.Create(1, 1);
    // With no frame loaded the single picture stands in for the animation.
    desk.SetMaterial(frameCount > 0 ? (FXMaterial*)frames.items[0] : &material);
    if (lightOn && fxglobalEnv) fxglobalEnv->RegisterLight(&light);
    curFrame = -1;
    frameBackward = false;
}

bool FXFireFly::AddFrame(FXMaterial* m, bool loaded) {
    if (!loaded) {
        delete m;
        return false;
    }
    frames.Push(m);
    frameCount++;
    return true;
}

bool FXFireFly::Create(const char* path) {
    bool ok = material.LoadTexture(path);
    desk.Create(1, 1);
    desk.SetMaterial(&material);
    if (lightOn && fxglobalEnv) fxglobalEnv->RegisterLight(&light);
    return ok;
}

bool FXFireFly::CreateManyCN(FXPackage* pck, int firstItem, int from, int to) {
    Destroy();
    bool ok = true;
    for (int i = from; i <= to; i++) {
        FXMaterial* m = new FXMaterial;
        if (!AddFrame(m, m->LoadTextureCN(pck, firstItem + (i - from)))) ok = false;
    }
    SetUpDesk();
    return ok && frameCount > 0;
}

bool FXFireFly::ShareFrames(const FXFireFly* source) {
    Destroy();
    if (source && source != this)
        for (int i = 0; i < source->frameCount; i++) {
            FXMaterial* m = new FXMaterial;
            AddFrame(m, m->ShareTexture((const FXMaterial*)source->frames.items[i]));
        }
    SetUpDesk();
    return frameCount > 0;
}

bool FXFireFly::CreateMany(const char* fmt, int from, int to) {
    Destroy();
    bool ok = true;
    for (int i = from; i <= to; i++) {
        FXStr name;
        name.Format(fmt, i);
        FXMaterial* m = new FXMaterial;
        if (!AddFrame(m, m->LoadTexture(name.text))) ok = false;
    }
    SetUpDesk();
    return ok && frameCount > 0;
}

void FXFireFly::EnableLight() {
    lightOn = true;
    if (fxglobalEnv) fxglobalEnv->RegisterLight(&light);
}

void FXFireFly::PreparoNoPos() {
    noPos = true;
}

void FXFireFly::Prepare(float* centre, float* extent) {
    path.Destroy();
    float prev[3] = {0, 0, 0};
    for (int i = 0; i < pointCount; i++) {
        float r1 = (float)fxGetRandom();
        float r2 = (float)fxGetRandom();
        float r3 = (float)fxGetRandom();
        float p[3] = {(2 * r1 - 1) * extent[0] + centre[0], (2 * r2 - 1) * extent[1] + centre[1],
                      (2 * r3 - 1) * extent[2] + centre[2]};
        if (i > 0) {
            float d[3] = {p[0] - prev[0], p[1] - prev[1], p[2] - prev[2]};
            float len = sqrtf(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            if (len > maxStep) {
                float f = maxStep / len;
                for (int k = 0; k < 3; k++)
                    p[k] = prev[k] + d[k] * f;
            }
        }
        for (int k = 0; k < 3; k++) {
            path.points.Push(p[k]);
            prev[k] = p[k];
        }
    }
    path.closed = false;
    path.Precompute();
    path.PrecomputePhasesLenght();
    flightDuration = path.meanLength * secondsPerUnit;

    FXMaterial* m = frameCount > 0 ? (FXMaterial*)frames.items[0] : &material;
    float sw = fxglobalEnv ? (float)fxglobalEnv->screenWidth : 0.0f;
    float sh = fxglobalEnv ? (float)fxglobalEnv->screenHeight : 0.0f;
    scale.SetScaleF(sw > 0 ? m->GetWidthF() / sw * sizeFactor : 0.0f,
                    sh > 0 ? m->GetHeightF() / sh * sizeFactor : 0.0f, 1.0f);
}

void FXFireFly::Start(double t) {
    flight.start = t;
    flight.duration = flightDuration;
    flight.running = true;
}

void FXFireFly::PreRender(PEnv* env, double t) {
    if (!noPos) {
        if (!flight.running) return;
        flight.OnRender(env, t);
        float p = flight.phase;
        // On an open path the last point's phase may round to just below 1; phase 1 means
        // the end of the path, not the wrap-around segment back to its first point.
        float q = p;
        if (path.phases.count > 0 && q > path.phases.items[path.phases.count - 1])
            q = path.phases.items[path.phases.count - 1];
        path.GetAll(curPos, q);
        if (p < fadeIn)
            brightness = p / fadeIn;
        else if (p > fadeOut)
            brightness = (1 - p) / (1 - fadeOut);
        else
            brightness = 1.0f;
    }
    if (frameCount > 0) {
        if (curFrame == -1) {
            curFrame = 0;
            frameBackward = false;
            lastFrameTime = t;
            desk.SetMaterial((FXMaterial*)frames.items[0]);
        } else if (t - lastFrameTime >= frameInterval || t < lastFrameTime) {
            // (A clock that went backwards steps too, so the animation cannot freeze.)
            if (!frameBackward) {
                if (++curFrame >= frameCount) {
                    curFrame = frameCount - 1;
                    frameBackward = true;
                }
            } else {
                if (--curFrame < 0) {
                    curFrame = 0;
                    frameBackward = false;
                }
            }
            lastFrameTime = t;
            desk.SetMaterial((FXMaterial*)frames.items[curFrame]);
        }
    }
    ShownMaterial()->SetDefDiffuse(brightness);
    if (lightOn) {
        light.diffuse[0] = light.diffuse[1] = light.diffuse[2] = brightness;
        light.diffuse[3] = 1.0f;
        light.specular[0] = light.specular[1] = light.specular[2] = brightness;
        light.specular[3] = 1.0f;
        for (int k = 0; k < 3; k++)
            light.position[k] = curPos[k];
        if (lightAimsAtOrigin)
            for (int k = 0; k < 3; k++)
                light.spotDirection[k] = -curPos[k];
    }
}

void FXFireFly::OnRender(PEnv* env, double t) {
    FXMatrix saved;
    if (!noPos) {
        if (!flight.running) return;
        saved = env->matrix;
        FXMatrix move, moved, placed;
        move.SetMove(curPos);
        moved.Multiply(&saved, &move);
        placed.Multiply(&moved, &scale);
        env->ApplyMatrix(&placed);
    }
    desk.OnRender(env, t);
    if (!noPos) env->ApplyMatrix(&saved);
}

void FXFireFly::Destroy() {
    path.Destroy();
    material.Destroy();
    desk.Destroy();
    // The desk must not keep pointing at a frame deleted here.
    desk.mesh.material = nullptr;
    for (int i = 0; i < frames.count; i++)
        delete (FXMaterial*)frames.items[i];
    frames.RemoveAll();
    frameCount = 0;
    curFrame = -1;
    frameBackward = false;
}
