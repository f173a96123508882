// The saver's scene: a night woodland over the photographed desktop, built from the package
// when the saver window is created, drawn by the render loop, released when the window is
// destroyed.
#ifndef MH_SHELL_SCENE_H
#define MH_SHELL_SCENE_H

#include "assets/canvas.h"
#include "assets/light.h"
#include "assets/package.h"
#include "base/arrays.h"
#include "elements/demo_gadget.h"
#include "elements/err_gadget.h"
#include "elements/vesk_gadget.h"
#include "elements/firefly.h"
#include "render/gl.h"
#include "shell/host.h"

class Scene : public PRender {
  public:
    void OnRender(PEnv* env, double t) override;
};

extern FXPackage pck;
extern Scene sc;
extern FXGL gr;
extern FXLight light;

extern bool hasError; // the driver lacks what the scene needs; the error gadget shows it
extern bool first;    // the next frame starts the star clock
extern bool first1;   // the fog passed half strength: the fireflies may begin
extern bool first2;   // the background pulse has not started yet
extern int act_star;  // star frame on show, 0 ... 15
extern double lastStarTime;

extern FXFireFly firefly[5];
extern bool first1_done; // the fireflies have been released
extern double lastff;    // frame time at which the last firefly was started

extern FXErrGadget err_gad;
extern FXDemoGadget demo;
extern FXVeskGadget gad;

// A picture file shown in place of the desktop capture; null (the default) captures the screen.
extern const char* sceneDesktopFile;
// The window whose part of the desktop is captured; 0 (the default) for the whole screen.
extern unsigned long sceneDesktopWindow;
// Shows the frame rate in a corner.
extern bool sceneShowFps;
// Package items the last build could not load, in the order they were asked for. The
// woodland's pictures are decoded after the first frame: one that is present but cannot be
// decoded is added when the frames reach it.
extern FXArray sceneMissingItems;
// Called on the decoding worker before each of the woodland's pictures (tests slow it down).
extern void (*sceneDecodeHook)(int item);

// Sets every pixel's alpha to opaque: a picture standing in for the desktop must cover the
// previous frame completely, as the screen capture does.
void fxMakeOpaque(FXCanvas* canvas);

// Builds the scene on the window and starts the render loop; reports nothing.
void InitScene(HWND window, bool preview);
// Stops the render loop and releases the scene.
void DestroyScene();

// The scene without a window or a loop, for stills and tests: `gr` must already exist
// (an offscreen binding, say). Builds everything as the saver does (full screen, or the preview), with
// `desktop` standing in for the capture and the package read from `packageFile`, and leaves
// the context current on the calling thread so that frames can be drawn with sc.OnRender(&gr, t).
void InitSceneFrames(FXCanvas* desktop, const char* packageFile, bool previewMode = false);
// Releases what InitSceneFrames built, and the device.
void DestroySceneFrames();

// The fill-rate floor of the last frame drawn: each of its visible layers as a plain blended
// textured rectangle with the same picture, place and opacity (no lighting, no mask, linear
// sampling), then a swap. The benchmark compares frames with it. With layerSampling, each
// picture is sampled as its layer samples it (mipmaps where the layer is drawn smaller than
// its picture): what is left between the frame and that floor is the frame's own work.
void SceneDrawFloor(bool layerSampling = false);
// The two gadgets alone, as the last frame drew them, over what is there, then a swap: the
// benchmark gives their share of the frame.
void SceneDrawGadgets();

#endif
