#include "elements/err_gadget.h"

FXErrGadget::FXErrGadget() : visible(false) {}

FXErrGadget::~FXErrGadget() {
    Destroy();
}

void FXErrGadget::Place() {
    desk.SetMaterial(&material);
    placement.width = material.GetWidthF();
    placement.height = material.GetHeightF();
    // The reference canvas is the screen itself, so the picture keeps its pixel size.
    placement.refWidth = fxglobalEnv ? (float)fxglobalEnv->screenWidth : 0.0f;
    placement.refHeight = fxglobalEnv ? (float)fxglobalEnv->screenHeight : 0.0f;
    placement.SetPos(10, 10);
    placement.Update();
}

void FXErrGadget::CreateCN(FXPackage* pck, int item) {
    desk.Create(1, 1);
    material.LoadTextureCN(pck, item);
    Place();
}

void FXErrGadget::Create() {
    desk.Create(1, 1);
    material.LoadTexture("error_message.png");
    Place();
}

void FXErrGadget::OnRender(PEnv* env, double t) {
    // Without its picture the gadget would be a blank rectangle over the whole screen.
    if (!visible || !material.textured) return;
    env->EnableDepthTest(false);
    env->EnableDepthWrite(false);
    env->EnableLights(false);
    placement.OnRender(env, t);
    desk.OnRender(env, t);
}

void FXErrGadget::Destroy() {
    desk.Destroy();
    material.Destroy();
}
