// The saver's scene: built when the saver window is created, drawn by the render loop,
// released when the window is destroyed.
#ifndef MH_SHELL_SCENE_H
#define MH_SHELL_SCENE_H

#include "render/gl.h"

class Scene : public PRender {
  public:
    void OnRender(PEnv* env, double t) override;
};

extern Scene sc;
extern FXGL gr;

// Builds the scene on the window and starts the render loop; reports nothing.
void InitScene(HWND window, bool preview);
// Stops the render loop and releases the scene.
void DestroyScene();

#endif
