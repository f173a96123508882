#include "elements/demo_gadget.h"

#include <GL/gl.h>

#include <cstring>

#include "base/trace.h"
#include "render/other.h"

namespace {

// One time factor stretches the tumbling, the turning and the travel alike.
const double kTimeFactor = 2.0;
const int kPathPoints = 20;
const float kPathExtent = 0.7f;
// The skin's scale over the reflective faces.
const float kSkinLift = 1.001f;

void localSawTooth(FXPhaser* p, double duration) {
    *p = FXPhaser();
    p->duration = duration;
    p->loop = true;
}

void localOneShot(FXPhaser* p, double duration) {
    *p = FXPhaser();
    p->duration = duration;
    p->loop = false;
}

// The sphere-mapped picture is always drawn far larger than it is (a face shows a small part of
// it): level 0 alone, which spares the renderer the choice of level at every pixel.
void localReflectSampling(FXMaterial* m) {
    m->mipmaps = false;
}

// The skin's frame lies within a quarter of its width from each edge; a skin whose picture
// is clear over the rest (and two texels beyond, which its sampling reaches) is drawn as a
// ring of four trapezoids round that clear centre, sparing a quarter of its fill.
const float kRingWidth = 0.25f;

bool localClearCentre(const FXPixmap& p) {
    if (!p.pixels || p.width < 16 || p.height < 16) return false;
    int x0 = (int)(p.width * kRingWidth) - 2, x1 = (int)(p.width * (1 - kRingWidth)) + 2;
    int y0 = (int)(p.height * kRingWidth) - 2, y1 = (int)(p.height * (1 - kRingWidth)) + 2;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            if (p.pixels[(size_t)y * p.stride + x] >> 24) return false;
    return true;
}

// A 3 x 3 desk: its inner lines moved to the ring's width, and drawn either as the ring (its
// outer edges are the square's own, so no pixel along them changes) or as the whole square.
void localSkinShape(FXDesk* d, bool ring) {
    if (d->cols != 3 || d->rows != 3 || !d->mesh.vertices || d->mesh.vertexCount != 16) return;
    const float at[4] = {0, kRingWidth, 1 - kRingWidth, 1};
    float mu = d->mesh.material ? d->mesh.material->texScaleU : 0.0f;
    float mv = d->mesh.material ? d->mesh.material->texScaleV : 0.0f;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) {
            tagFXVertex& v = d->mesh.vertices[i * 4 + j];
            v.pos[0] = 2 * at[j] - 1;
            v.pos[1] = 1 - 2 * at[i];
            v.tex[0] = at[j] * mu;
            v.tex[1] = mv * (d->mesh.flipV ? 1 - at[i] : at[i]);
        }
    // Outer corners 0, 3, 15, 12 and inner ones 5, 6, 10, 9, turning the same way as the
    // desk's own triangles.
    static const int32_t ringIndices[24] = {0,  5,  3,  5,  6,  3,  3, 6,  15, 6, 10, 15,
                                            15, 10, 12, 10, 9,  12, 12, 9, 0,  9, 5,  0};
    static const int32_t squareIndices[6] = {0, 12, 3, 12, 15, 3};
    const int32_t* from = ring ? ringIndices : squareIndices;
    int n = ring ? 24 : 6;
    memcpy(d->mesh.indices, from, sizeof(int32_t) * n);
    d->mesh.indexCount = n;
}

} // namespace

FXDemoGadget::FXDemoGadget() : restartPending(false), waiting(false), fadingIn(false) {
    for (FXMatrix& m : faceMatrix)
        m.SetIdentity();
}

FXDemoGadget::~FXDemoGadget() {
    Destroy();
}

void FXDemoGadget::BuildPath() {
    path.Destroy();
    // A new loop on every start of the saver.
    fxResetRandom();
    for (int i = 0; i < kPathPoints; i++) {
        float r1 = (float)fxGetRandom();
        float r2 = (float)fxGetRandom();
        path.points.Push((2 * r1 - 1) * kPathExtent);
        path.points.Push((2 * r2 - 1) * kPathExtent);
        path.points.Push(0.0f);
    }
    path.closed = true;
    path.Precompute();
    path.PrecomputePhasesLenght();

    // A loop of coinciding points has no length: keep the travel phaser's division defined.
    double travelDuration = kTimeFactor * 320 * path.meanLength;
    localSawTooth(&travel, travelDuration > 0 ? travelDuration : kTimeFactor * 320);
    localSawTooth(&spinX, kTimeFactor * 28);
    localSawTooth(&spinY, kTimeFactor * 36);
}

void FXDemoGadget::BuildFaces() {
    bool ring = localClearCentre(skinMat.canvas.pixmap);
    skinMat.SetDefDiffuse(1.0f);
    skinMat.PreserveCols();
    reflectMat.SetDefDiffuse(1.0f);
    reflectMat.ChangeDarkDiffuse(0.5f);
    reflectMat.PreserveCols();

    for (int i = 0; i < 6; i++) {
        faces[i].Create(1, 1);
        faces[i].SetMaterial(&reflectMat);
        // Without its picture a pass would be a plain box: leave it out instead.
        faces[i].mesh.disabled = !reflectMat.textured;
        skins[i].Create(3, 3);
        skins[i].SetMaterial(&skinMat);
        localSkinShape(&skins[i], ring);
        skins[i].mesh.disabled = !skinMat.textured;
    }

    FXMatrix m0, r;
    m0.SetMoveF(0, 0, -1);
    faceMatrix[0] = m0;
    const struct {
        char axis;
        float angle;
    } turns[5] = {{'y', -90}, {'y', 90}, {'x', -90}, {'x', 90}, {'x', 180}};
    for (int i = 0; i < 5; i++) {
        if (turns[i].axis == 'x')
            r.SetRotateX(turns[i].angle);
        else
            r.SetRotateY(turns[i].angle);
        faceMatrix[i + 1].Multiply(&r, &m0);
    }

    restartPending = waiting = fadingIn = true;
    localOneShot(&delay, 15);
    localOneShot(&fade, 2);
}

void FXDemoGadget::CreateCN(FXPackage* pck, int reflectItem, int skinItem) {
    BuildPath();
    localReflectSampling(&reflectMat);
    if (!skinMat.LoadTextureCN(pck, skinItem))
        err("cube: picture item %d (its skin) is missing; the skin is left out\n", skinItem);
    if (!reflectMat.LoadTextureCN(pck, reflectItem))
        err("cube: picture item %d (its reflection) is missing; the reflection is left out\n", reflectItem);
    BuildFaces();
}

void FXDemoGadget::Create(const char* reflectFile, const char* skinFile) {
    BuildPath();
    localReflectSampling(&reflectMat);
    if (!skinMat.LoadTexture(skinFile))
        err("cube: cannot read the skin picture \"%s\"; the skin is left out\n", skinFile ? skinFile : "");
    if (!reflectMat.LoadTexture(reflectFile))
        err("cube: cannot read the reflection picture \"%s\"; the reflection is left out\n",
            reflectFile ? reflectFile : "");
    BuildFaces();
}

void FXDemoGadget::OnRender(PEnv* env, double t) {
    if (restartPending) {
        delay.Restart(t);
        restartPending = false;
    }
    if (waiting) {
        delay.OnRender(env, t);
        if (delay.phase >= 1) {
            fade.Restart(t);
            waiting = false;
        }
        return;
    }
    if (fadingIn) {
        fade.OnRender(env, t);
        if (fade.phase >= 1) fadingIn = false;
        float m[4] = {1, 1, 1, fade.phase};
        reflectMat.MultiCols(m);
        skinMat.MultiCols(m);
    }

    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);

    float p[3] = {0, 0, 0};
    travel.OnRender(env, t);
    path.GetAll(p, travel.phase);
    spinX.OnRender(env, t);
    spinY.OnRender(env, t);

    FXMatrix s, rx, ry, move;
    s.SetScaleF(0.3f, 0.366f, 0.3f);
    rx.SetRotateX(spinX.phase * 360);
    ry.SetRotateY(spinY.phase * 360);
    move.SetMove(p);
    env->MultiplyMatrix(&move);
    env->MultiplyMatrix(&s);
    env->MultiplyMatrix(&rx);
    env->MultiplyMatrix(&ry);
    FXMatrix c = env->matrix;

    // Once opaque, the faces turned away are always covered by the near ones: skip them (the
    // cube is a large share of the frame's fill). While it fades they show through. The depth
    // is cleared where the cube is drawn, not over the whole screen. (Without a depth test the
    // skin's rim would show through at the corners where three faces meet.)
    bool cull = !fadingIn;
    if (cull) env->EnableCullface(false, true);
    float x0, y0, x1, y1;
    fxMatrixBoxXY(&c, kSkinLift, &x0, &y0, &x1, &y1);
    env->ClrscrDepthIn(x0, y0, x1, y1);
    for (int i = 0; i < 6; i++) {
        env->ApplyMatrix(&c);
        env->MultiplyMatrix(&faceMatrix[i]);
        faces[i].OnRender(env, t);
    }

    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);

    // The skin sits just outside the reflective faces so that the two do not fight in depth.
    FXMatrix lift, c2;
    lift.SetScaleF(kSkinLift, kSkinLift, kSkinLift);
    c2.Multiply(&c, &lift);
    for (int i = 0; i < 6; i++) {
        env->ApplyMatrix(&c2);
        env->MultiplyMatrix(&faceMatrix[i]);
        skins[i].OnRender(env, t);
    }
    if (cull) env->EnableCullface(false, false);
}

void FXDemoGadget::Destroy() {
    path.Destroy();
    reflectMat.Destroy();
    skinMat.Destroy();
    for (int i = 0; i < 6; i++) {
        faces[i].Destroy();
        skins[i].Destroy();
    }
}
