#include "elements/vesk_gadget.h"

#include <cmath>

#include "base/trace.h"
#include "elements/3dmath.h"

double rotate_dur = 8.0;

namespace {

const float kSize = 0.18f;
const float kAnchorX = 0.9f;
const float kAnchorY = -0.85f;
const float kDepth = -1.0f;
const float kLabelOffset = -0.25f;
const float kLabelW = 1.332f;
const float kLabelH = 0.333f;
float localTint[4] = {1, 1, 1, 0.4f};

} // namespace

FXVeskGadget::FXVeskGadget() : restartPending(false) {}

FXVeskGadget::~FXVeskGadget() {
    Destroy();
}

void FXVeskGadget::BuildLabel() {
    labelDesk.Create(1, 1);
    labelDesk.UpdateColCol(localTint);
    // The tint's alpha applies whatever the picture holds.
    labelDesk.mesh.colorMode = 1;
    labelDesk.SetMaterial(&label);
    // Untextured, the label would be a blank bar.
    labelDesk.mesh.disabled = !label.textured;
    spin = FXPhaser();
    spin.duration = rotate_dur;
    spin.loop = true;
}

void FXVeskGadget::FindReach() {
    float box[6] = {0, 0, 0, 0, 0, 0};
    bool first = true;
    for (int i = 0; i < model.meshes.count; i++)
        ((FXMesh*)model.meshes.items[i])->FindMultiMaxims(&first, box);
    reach = 0;
    for (float v : box)
        reach = fmaxf(reach, fabsf(v));
}

void FXVeskGadget::CreateCN(FXPackage* pck, int labelItem, int modelItem) {
    restartPending = true;
    model.LoadCN(pck, modelItem);
    model.UpdateMeshes();
    FindReach();
    if (model.meshes.count == 0)
        err("logo: model item %d is missing or damaged; the medallion is left out\n", modelItem);
    if (!label.LoadTextureCN(pck, labelItem))
        err("logo: picture item %d (the label) is missing; the label is left out\n", labelItem);
    BuildLabel();
}

void FXVeskGadget::Create() {
    restartPending = true;
    model.Load("vesk_medallion.xm");
    model.UpdateMeshes();
    FindReach();
    if (model.meshes.count == 0)
        err("logo: cannot read the model \"vesk_medallion.xm\"; the medallion is left out\n");
    model.UpdateColCol(localTint);
    if (!label.LoadTexture("label.png"))
        err("logo: cannot read the picture \"label.png\"; the label is left out\n");
    BuildLabel();
}

void FXVeskGadget::OnRender(PEnv* env, double t) {
    if (restartPending) {
        spin.Restart(t);
        restartPending = false;
    }
    spin.OnRender(env, t);

    float fx = 1, fy = 1;
    if (env->width > env->height)
        fx = (float)env->height / (float)env->width;
    else if (env->height > 0)
        fy = (float)env->width / (float)env->height;
    float sx = fx * kSize, sy = fy * kSize;
    FXMatrix s, move, turn;
    s.SetScaleF(sx, sy, 1);
    move.SetMoveF(kAnchorX - sx, sy + kAnchorY, kDepth);
    turn.SetRotateY(spin.phase * 360);

    env->ApplyMatrixIdentity();
    env->MultiplyMatrix(&move);
    env->MultiplyMatrix(&s);
    env->MultiplyMatrix(&turn);
    env->EnableLights(true);
    env->EnableDepthTest(true);
    env->EnableDepthWrite(true);
    // Never hidden by what the scene drew before: the depth is cleared where the medallion is
    // (within its reach however it turns).
    float x0, y0, x1, y1;
    fxMatrixBoxXY(&env->matrix, reach, &x0, &y0, &x1, &y1);
    env->ClrscrDepthIn(x0, y0, x1, y1);
    model.OnRender(env, t);
    env->EnableDepthTest(false);
    env->EnableDepthWrite(false);
    env->EnableLights(false);

    FXMatrix below, shape;
    below.SetMoveF(0, kLabelOffset, 0);
    shape.SetScaleF(kLabelW, kLabelH, 1);
    env->ApplyMatrixIdentity();
    env->MultiplyMatrix(&move);
    env->MultiplyMatrix(&below);
    env->MultiplyMatrix(&s);
    env->MultiplyMatrix(&shape);
    labelDesk.OnRender(env, t);
}

void FXVeskGadget::Destroy() {
    reach = 0;
    model.Destroy();
    labelDesk.Destroy();
    label.Destroy();
}
