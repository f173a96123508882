#include "shell/scene.h"

#include <math.h>

#include "base/paths_posix.h"
#include "base/trace_posix.h"
#include "render/other_posix.h"
#include "shell/main_x11.h"

Scene sc;
FXGL gr;

// A slow drift through dark colours, so a running loop is easy to see.
void Scene::OnRender(PEnv* env, double t) {
    float c[4] = {(float)(0.25 + 0.25 * sin(t * 0.7)), (float)(0.25 + 0.25 * sin(t * 1.1 + 2.0)),
                  (float)(0.25 + 0.25 * sin(t * 1.3 + 4.0)), 1.0f};
    env->SetClrColor(c);
    env->Clrscr(true, true, false);
    env->RenderEnd();
}

void InitScene(HWND window, bool preview) {
    isPreview = preview;
    fxInitPaths();
    fxSetTypePath(1, veskPath);
    fxSetPath(1);
    if (!preview) fxOpenTraces(logsFile);
    gr.CreateChild(window);
    fxSetEnv(&gr);
    gr.SetAct(true);
    gr.SetAct(false);
    gr.StartLoop(&sc);
}

void DestroyScene() {
    gr.StopLoop(100000);
    gr.Destroy();
}
