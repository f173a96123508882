#include "shell/scene.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/paths.h"
#include "base/trace.h"
#include "elements/demo_gadget.h"
#include "elements/desk.h"
#include "elements/fps_gadget.h"
#include "elements/phaser.h"
#include "elements/scrpos01.h"
#include "elements/sdesk.h"
#include "elements/vesk_gadget.h"
#include "render/other.h"
#include "render/scrshot.h"
#include "render/thread.h"
#include "shell/main.h"
#include "shell/scenarstage.h"

FXPackage pck;
Scene sc;
FXGL gr;
FXLight light;

// Background, its fade-in and its slow pulse afterwards.
static FXDesk back;
static FXMaterial back_mat;
static FXScenarStage back_stage;
static FXPhaser back_phase;
// Stars: one material per animation frame. The frames are mostly clear pictures: each is kept
// as its runs of pixels, and one texture (stars_tex's) shows the frame due.
static FXDesk stars;
static FXMaterial stars_mat[16];
static FXMaterial stars_tex;
static FXPixmapRuns stars_runs[16];
static int stars_shown = -1; // the frame stars_tex's picture holds
static FXScrPos01 stars_pos;
static FXScenarStage stars_stage;
// Far trees.
static FXDesk trees_b;
static FXMaterial trees_b_mat;
static FXScrPos01 trees_b_pos;
static FXScenarStage trees_b_stage;
static FXPhaser trees_b_skew;
// Trees at the left.
static FXDesk trees_l;
static FXMaterial trees_l_mat;
static FXScrPos01 trees_l_pos;
static FXScenarStage trees_l_stage;
static FXPhaser trees_l_skew;
// Lake grass.
static FXDesk lakegrass;
static FXMaterial lakegrass_mat;
static FXScrPos01 lakegrass_pos;
static FXScenarStage lakegrass_stage;
// Rock, tree and fern: lit by the fireflies only.
static FXDesk rock;
static FXMaterial rock_mat;
static FXScrPos01 rock_pos;
static FXScenarStage rock_stage;
static FXDesk tree;
static FXMaterial tree_mat;
static FXScrPos01 tree_pos;
static FXScenarStage tree_stage;
static FXDesk fern;
static FXMaterial fern_mat;
static FXScrPos01 fern_pos;
static FXScenarStage fern_stage;
// Needles hanging from the top right.
static FXDesk needles;
static FXMaterial needles_mat;
static FXScrPos01 needles_pos;
static FXScenarStage needles_stage;
static FXPhaser needles_skew;
// Fog: two drifting banks seen through a mask; the mask desk is never drawn itself.
static FXDesk fog_mask_desk;
static FXMaterial fog_mask_mat;
static FXScrPos01 fog_pos;
static FXScenarStage fog_stage;
static FXDeskScroll fog_a;
static FXMaterial fog_a_mat;
static FXDeskScroll fog_b;
static FXMaterial fog_b_mat;
// The desktop picture, darkening.
static FXDesk scr;
static FXMaterial scr_mat;
static FXScenarStage scr_stage;
// Preview mode shows only this.
static FXDesk preview;
static FXMaterial preview_mat;

bool hasError = false;
bool first = true;
bool first1 = false;
bool first2 = true;
int act_star = 0;
double lastStarTime = 0;

static float fog_col[4] = {1.0f, 1.0f, 1.0f, 1.0f};
static float fog_pow[2] = {0.320000023f, 0.2f};

FXFireFly firefly[5];
bool first1_done = false;
double lastff = 0;
// Flight boxes, centre and half-extent: firefly 0, firefly 1, fireflies 2 to 4.
static float ffpos1[3] = {0.8f, 0.0f, -0.25f};
static float ffsiz1[3] = {0.2f, 1.0f, 0.1f};
static float ffpos2[3] = {-0.7f, -0.5f, -0.25f};
static float ffsiz2[3] = {0.3f, 0.5f, 0.1f};
static float ffpos[3] = {0.0f, -0.7f, -0.25f};
static float ffsiz[3] = {1.0f, 0.3f, 0.1f};

FXErrGadget err_gad;
FXDemoGadget demo;
FXVeskGadget gad;

const char* sceneDesktopFile = nullptr;
unsigned long sceneDesktopWindow = 0;
bool sceneShowFps = false;
static FXFpsGadget fps_gad;
FXArray sceneMissingItems;

// The frame clock wraps like a 32-bit millisecond counter (after about 49.7 days). The scene
// keeps its own time running forwards across that jump, so nothing freezes or starts over.
static bool localClockStarted = false;
static double localLastClock = 0;
static double localClockShift = 0;

// Reference canvas: the size of the background picture, in its pixels.
static float localRefWidth = 0;
static float localRefHeight = 0;
// The screen the layers are placed on, as it was when the scene was built.
static int localScreenWidth = 0;
static int localScreenHeight = 0;

// ---- Pictures decoded after the first frame ---------------------------------------------
// The first frame shows the desktop picture and the gadgets. The woodland's pictures are
// decoded by a worker in the order the timeline first shows them, and uploaded and placed by
// the thread that draws. A layer about to become visible waits for its picture, so no layer
// is ever missing or late; only the time a frame takes can change.

namespace {
struct LaterPicture {
    FXMaterial* mat;
    int item;
    bool present; // in the package's directory
    // Places the layer once its picture (and so its size) is there; on the drawing thread.
    void (*ready)(FXMaterial* mat, bool loaded);
    // Uploads the decoded picture; null: the material's own texture.
    bool (*upload)(FXMaterial* mat);
};
const int kMaxLater = 32;
} // namespace

void (*sceneDecodeHook)(int item) = nullptr;

static LaterPicture localLater[kMaxLater];
static int localLaterCount = 0; // fixed while the worker runs
static int localUploaded = 0;   // drawing thread: pictures uploaded and placed, in order
static void* localDecoder = nullptr;
static std::mutex localLaterLock;
static std::condition_variable localLaterCv;
static int localDecoded = 0;           // guarded by localLaterLock
static bool localDecodedOk[kMaxLater]; // guarded by localLaterLock
static bool localStopDecoding = false; // guarded by localLaterLock

// ---- Building ---------------------------------------------------------------------------

static bool localLoad(FXMaterial* mat, int item) {
    // Level 0 only until the layer's size on screen is known (localSampling).
    mat->mipmaps = false;
    if (mat->LoadTextureCN(&pck, item)) return true;
    sceneMissingItems.PushInt(item);
    err("scene: picture item %d is missing from the package\n", item);
    return false;
}

// The layer's picture, its desk and the material on it. A layer whose picture is missing is
// not drawn at all: untextured it would be a blank rectangle over the whole screen.
static void localLayer(FXDesk* desk, FXMaterial* mat, int item, int cols, int rows) {
    bool loaded = localLoad(mat, item);
    desk->Create(cols, rows);
    desk->SetMaterial(mat);
    desk->mesh.disabled = !loaded;
}

static void localPlace(FXScrPos01* pos, FXMaterial* mat, float fw, float fh, float x, float y) {
    pos->refWidth = localRefWidth;
    pos->refHeight = localRefHeight;
    pos->width = mat->GetWidthF() * fw;
    pos->height = mat->GetHeightF() * fh;
    pos->SetPos(x, y);
}

static void localAlign(FXScrPos01* pos, int align) {
    pos->UpdateAspectH1(align, (float)localScreenWidth, (float)localScreenHeight);
}

static void localSway(FXPhaser* p, double duration) {
    *p = FXPhaser();
    p->duration = duration;
    p->pingPong = true;
    p->smooth = true;
}

static void localStage(FXScenarStage* s, float from, float to) {
    *s = FXScenarStage();
    s->duration = 30;
    s->from = from;
    s->to = to;
}

static void localScroll(FXDeskScroll* d, float speedV, double periodU, double periodV) {
    d->speedU = -1;
    d->speedV = speedV;
    d->scaleU = 0.5f;
    d->scaleV = 0.5f;
    d->offsetU = 0;
    d->offsetV = 0;
    d->periodU = periodU;
    d->periodV = periodV;
    d->lastTime = 0;
}

static void localFog(FXDeskScroll* d, float power) {
    d->mesh.colorMode = 1;
    d->mesh.secondMesh = &fog_mask_desk.mesh;
    d->UpdateCol();
    float c[4] = {fog_col[0], fog_col[1], fog_col[2], fog_col[3] * power};
    d->UpdateColCol(c);
}

// Screen pixels per picture texel across the layer, the smaller of the two directions; m is
// the placement matrix that maps the desk onto the screen.
static float localTexelScale(const FXDesk* desk, const FXMaterial* mat, const float* m) {
    const FXMesh& mesh = desk->mesh;
    if (!mesh.vertices || desk->cols < 1 || desk->rows < 1 || !mat->texture) return 0;
    const tagFXVertex& a = mesh.vertices[0];
    const tagFXVertex& r = mesh.vertices[desk->cols];
    const tagFXVertex& b = mesh.vertices[desk->rows * (desk->cols + 1)];
    float texelsX = fabsf(r.tex[0] - a.tex[0]) * (float)mat->texture->pixmap.stride;
    float texelsY = fabsf(b.tex[1] - a.tex[1]) * (float)mat->texture->pixmap.rows;
    float pixelsX = fabsf(r.pos[0] - a.pos[0]) * fabsf(m[0]) * (float)localScreenWidth / 2;
    float pixelsY = fabsf(b.pos[1] - a.pos[1]) * fabsf(m[5]) * (float)localScreenHeight / 2;
    if (!(texelsX > 0) || !(texelsY > 0)) return 0;
    return fminf(pixelsX / texelsX, pixelsY / texelsY);
}

// Mipmaps only for a picture drawn smaller than it is: a layer drawn at its size or larger
// samples level 0 alone whatever the filter, and plain linear filtering spares the renderer
// the per-pixel choice of level.
static void localMipmaps(const FXDesk* desk, FXMaterial* mat, const FXMatrix* placement) {
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (mat->textured && !mat->textureShared && mat->texture == &mat->canvas && mat->canvas.pixmap.pixels) {
        bool minified = localTexelScale(desk, mat, placement ? placement->m : identity) < 0.999f;
        if (minified != mat->mipmaps) {
            mat->mipmaps = minified;
            gr.PrepareTexture(mat);
        }
    }
}

// Then the decoded pixels go: the texture holds the picture.
static void localSampling(const FXDesk* desk, FXMaterial* mat, const FXMatrix* placement) {
    localMipmaps(desk, mat, placement);
    mat->canvas.pixmap.ReleasePixels();
}

// The frame state as it is when the program starts, so that a scene can be built again.
static void localResetState() {
    hasError = false;
    first = true;
    first1 = false;
    first2 = true;
    act_star = 0;
    lastStarTime = 0;
    first1_done = false;
    lastff = 0;
    localClockStarted = false;
    localLastClock = 0;
    localClockShift = 0;
    light = FXLight();
    sceneMissingItems.RemoveAll();
    localScreenWidth = gr.width;
    localScreenHeight = gr.height;
    localLaterCount = 0;
    localUploaded = 0;
    localDecoded = 0;
    localStopDecoding = false;
    stars_shown = -1;
}

static void localBuildFireFly(int g, float* centre, float* extent) {
    FXFireFly& f = firefly[g];
    f.sizeFactor = 1.0f;
    f.pointCount = 16;
    f.maxStep = 0.1f;
    f.secondsPerUnit = 120 + 12 * g;
    f.flight = FXPhaser();
    f.flight.running = false;
    f.flight.loop = false;
    f.light.SetDefSpecular(0);
    f.light.position[0] = f.light.position[1] = f.light.position[2] = 0;
    f.brightness = 1.0f;
    // The five share one set of textures; each keeps its own colours.
    if (g > 0)
        f.ShareFrames(&firefly[0]);
    else if (!f.CreateManyCN(&pck, 16, 1, 7))
        err("scene: firefly %d lacks some of its pictures (items 16 to 22)\n", g);
    f.desk.mesh.disabled = f.frameCount == 0;
    f.light.spotExponent = 12;
    f.light.spotCutoff = 60;
    f.light.constantAttenuation = 0;
    f.light.linearAttenuation = 0.5f;
    f.light.quadraticAttenuation = 0;
    f.Prepare(centre, extent);
}

static void localFlightBox(int g, float** centre, float** extent) {
    *centre = g == 0 ? ffpos1 : g == 1 ? ffpos2 : ffpos;
    *extent = g == 0 ? ffsiz1 : g == 1 ? ffsiz2 : ffsiz;
}

// ---- Later pictures: queue, worker, upload ------------------------------------------------

// Queues the picture of a layer for the worker; an item the package lacks is reported now.
static void localQueue(FXMaterial* mat, int item, void (*ready)(FXMaterial*, bool),
                       bool (*upload)(FXMaterial*) = nullptr) {
    mat->mipmaps = false; // level 0 only until the layer's size on screen is known
    bool present = pck.GetDataPtr(item) != nullptr;
    if (!present) {
        sceneMissingItems.PushInt(item);
        err("scene: picture item %d is missing from the package\n", item);
    }
    if (localLaterCount < kMaxLater) localLater[localLaterCount++] = {mat, item, present, ready, upload};
}

// A layer's desk now (left out until its picture is there), its picture later.
static void localLaterLayer(FXDesk* desk, FXMaterial* mat, int item, int cols, int rows,
                            void (*ready)(FXMaterial*, bool)) {
    localQueue(mat, item, ready);
    desk->Create(cols, rows);
    desk->SetMaterial(mat);
    desk->mesh.disabled = true;
}

static void localDecodeLater(void*) {
    for (int i = 0; i < localLaterCount; i++) {
        {
            std::lock_guard<std::mutex> lock(localLaterLock);
            if (localStopDecoding) return;
        }
        const LaterPicture& p = localLater[i];
        bool ok = false;
        if (p.present) {
            if (sceneDecodeHook) sceneDecodeHook(p.item);
            ok = p.mat->canvas.CreateFromPictCN(&pck, p.item);
        }
        {
            std::lock_guard<std::mutex> lock(localLaterLock);
            localDecodedOk[i] = ok;
            localDecoded = i + 1;
        }
        localLaterCv.notify_all();
    }
}

static void localStartDecoder() {
    // At the drawing thread's priority: a frame may be waiting for it.
    localDecoder = fxCreateThread(localDecodeLater, nullptr);
    // Without a thread the pictures are decoded here, and still uploaded as the frames need them.
    if (!localDecoder) localDecodeLater(nullptr);
}

static void localStopDecoder() {
    if (!localDecoder) return;
    {
        std::lock_guard<std::mutex> lock(localLaterLock);
        localStopDecoding = true;
    }
    fxWaitThread(localDecoder, 100000);
    fxDestroyThread(localDecoder);
    localDecoder = nullptr;
}

// Set when the render loop was asked to stop while this frame waited for a picture: the frame
// is given up, not shown, so that the saver ends at once even while its pictures decode.
static bool localFrameGivenUp = false;

// Uploads and places, in queue order, the pictures the worker has finished; waits for it until
// the first `need` of them are there. On the drawing thread, with the context current.
static void localCatchUp(int need) {
    while (localUploaded < localLaterCount) {
        bool ok;
        {
            std::unique_lock<std::mutex> lock(localLaterLock);
            if (localDecoded <= localUploaded) {
                if (localUploaded >= need || localFrameGivenUp) return;
                // The loop's stop request wakes no one here: it is looked at every few milliseconds.
                while (localDecoded <= localUploaded && !gr.stopLoop)
                    localLaterCv.wait_for(lock, std::chrono::milliseconds(10));
                if (localDecoded <= localUploaded) {
                    localFrameGivenUp = true;
                    return;
                }
            }
            ok = localDecodedOk[localUploaded];
        }
        const LaterPicture& p = localLater[localUploaded++];
        bool loaded = ok && (p.upload ? p.upload(p.mat) : p.mat->SetTexture(&p.mat->canvas));
        if (p.present && !loaded) {
            sceneMissingItems.PushInt(p.item);
            err("scene: picture item %d cannot be decoded\n", p.item);
        }
        p.ready(p.mat, loaded);
        // The worker has read its last item, and everything else was read while building:
        // the package's bytes are not needed any more.
        if (localUploaded == localLaterCount) pck.Destroy();
    }
}

// Makes sure mat's picture is uploaded and its layer placed (at once for any other material).
static void localNeed(const FXMaterial* mat) {
    for (int i = 0; i < localLaterCount; i++)
        if (localLater[i].mat == mat) {
            localCatchUp(i + 1);
            return;
        }
}

static bool localIsReady(const FXMaterial* mat) {
    for (int i = 0; i < localLaterCount; i++)
        if (localLater[i].mat == mat) return i < localUploaded;
    return true;
}

// A layer's desk over its material, left out when the picture did not load.
static void localShow(FXDesk* desk, FXMaterial* mat, bool loaded) {
    desk->SetMaterial(mat);
    desk->mesh.disabled = !loaded;
}

static void localReadyBack(FXMaterial* mat, bool loaded) {
    localShow(&back, mat, loaded);
    localRefWidth = mat->GetWidthF();
    localRefHeight = mat->GetHeightF();
    localSampling(&back, mat, nullptr);
}

// The first star frame to come gives stars_tex its block and picture; every frame of that
// size is kept as its runs and shares the texture. A frame of another size has its own.
static bool localUploadStar(FXMaterial* mat) {
    int i = (int)(mat - stars_mat);
    FXPixmap& p = mat->canvas.pixmap;
    if (stars_shown < 0) {
        if (!stars_runs[i].Pack(p)) return mat->SetTexture(&mat->canvas);
        stars_tex.canvas.pixmap.Take(&p);
        stars_tex.canvas.opaque = mat->canvas.opaque;
        stars_tex.mipmaps = false;
        if (!stars_tex.SetTexture(&stars_tex.canvas)) {
            stars_tex.canvas.pixmap.Destroy();
            stars_runs[i].Destroy();
            return false;
        }
        stars_shown = i;
    } else if (!stars_runs[i].Pack(p) || !stars_runs[i].Fits(stars_tex.canvas.pixmap)) {
        stars_runs[i].Destroy();
        return mat->SetTexture(&mat->canvas);
    }
    p.ReleasePixels();
    return mat->ShareTexture(&stars_tex);
}

// Every star frame is sampled over the desk as the first frame places it.
static void localReadyStar(FXMaterial* mat, bool) {
    stars.SetMaterial(&stars_mat[0]);
    if (mat == &stars_mat[0]) localPlace(&stars_pos, mat, 1, 1, 0, 0);
    if (mat->textureShared && mat->texId == stars_tex.texId) {
        // The shared picture stays: later frames are written into it.
        if ((int)(mat - stars_mat) == stars_shown) localMipmaps(&stars, &stars_tex, &stars_pos.matrix);
        mat->mipmaps = stars_tex.mipmaps;
    } else {
        localSampling(&stars, mat, &stars_pos.matrix);
    }
}

// Shows star frame i in the shared texture, when it is not there already.
static void localShowStar(int i) {
    const FXMaterial& mat = stars_mat[i];
    if (i == stars_shown || !mat.textured || !mat.textureShared || mat.texId != stars_tex.texId) return;
    FXPixmap* p = &stars_tex.canvas.pixmap;
    if (stars_shown >= 0) stars_runs[stars_shown].Erase(p);
    stars_runs[i].Paint(p);
    stars_shown = i;
    gr.PrepareTexture(&stars_tex);
}

static void localReadyTreesB(FXMaterial* mat, bool loaded) {
    localShow(&trees_b, mat, loaded);
    localPlace(&trees_b_pos, mat, 1.08f, 1, 0, 141);
    trees_b_pos.ShiftPos(-0.04f, 0);
    localSampling(&trees_b, mat, &trees_b_pos.matrix);
}

static void localReadyTreesL(FXMaterial* mat, bool loaded) {
    localShow(&trees_l, mat, loaded);
    localPlace(&trees_l_pos, mat, 1.16f, 1, 0, 0);
    trees_l_pos.ShiftPos(-0.08f, 0);
    localSampling(&trees_l, mat, &trees_l_pos.matrix);
}

static void localReadyLakeGrass(FXMaterial* mat, bool loaded) {
    localShow(&lakegrass, mat, loaded);
    localPlace(&lakegrass_pos, mat, 1, 1, 0, 502);
    localSampling(&lakegrass, mat, &lakegrass_pos.matrix);
}

static void localReadyRock(FXMaterial* mat, bool loaded) {
    localShow(&rock, mat, loaded);
    localPlace(&rock_pos, mat, 1, 1, 0, 467);
    localAlign(&rock_pos, -1);
    localSampling(&rock, mat, &rock_pos.matrix);
}

static void localReadyTree(FXMaterial* mat, bool loaded) {
    localShow(&tree, mat, loaded);
    localPlace(&tree_pos, mat, 1, 1, 628, 0);
    localAlign(&tree_pos, 1);
    localSampling(&tree, mat, &tree_pos.matrix);
}

static void localReadyFern(FXMaterial* mat, bool loaded) {
    localShow(&fern, mat, loaded);
    localPlace(&fern_pos, mat, 1, 1, 156, 631);
    localAlign(&fern_pos, 0);
    localSampling(&fern, mat, &fern_pos.matrix);
}

static void localReadyNeedles(FXMaterial* mat, bool loaded) {
    localShow(&needles, mat, loaded);
    localPlace(&needles_pos, mat, 1, 1.16f, 582, 0);
    needles_pos.ShiftPos(0, -0.08f);
    localAlign(&needles_pos, 1);
    localSampling(&needles, mat, &needles_pos.matrix);
}

// The banks drift through a window of half their picture; the mask bounds where they show.
static void localReadyFogMask(FXMaterial* mat, bool loaded) {
    localShow(&fog_mask_desk, mat, loaded);
    localPlace(&fog_pos, mat, 1, 1, 170, 331);
    localSampling(&fog_mask_desk, mat, &fog_pos.matrix);
}

static void localReadyFog(FXMaterial* mat, bool loaded) {
    FXDeskScroll* d = mat == &fog_a_mat ? &fog_a : &fog_b;
    localShow(d, mat, loaded && !fog_mask_desk.mesh.disabled);
    localSampling(d, mat, &fog_pos.matrix);
}

// Everything from loading the package to the gadgets, on the window's thread with the
// device created and not yet current.
static void localBuild(FXCanvas* desktop, const char* packageFile, bool previewMode) {
    localResetState();
    fxReturnLargeBlocks();
    if (!previewMode && !gr.TestGL(false)) hasError = true;
    fxSetEnv(&gr);
    gr.SetAct(true);
    if (!pck.Load(packageFile)) err("scene: cannot read the package \"%s\"\n", packageFile);

    // Drawn pixel for pixel at its own size: level 0 alone.
    err_gad.material.mipmaps = false;
    err_gad.CreateCN(&pck, 74);
    err_gad.visible = hasError;
    if (!err_gad.material.textured) {
        sceneMissingItems.PushInt(74);
        err("scene: picture item 74 (the error message) is missing from the package\n");
    }

    if (previewMode) {
        localLayer(&preview, &preview_mat, 24, 1, 1);
        localSampling(&preview, &preview_mat, nullptr);
        return;
    }

    gr.RegisterLight(&light);

    // The layers' desks now, their pictures later, queued in the order the timeline first
    // shows them. The background comes first: every layer is placed on its picture's size.
    localLaterLayer(&back, &back_mat, 12, 1, 1, localReadyBack);
    stars.Create(1, 1);
    stars.SetMaterial(&stars_mat[0]);
    // A missing star frame leaves the layer out while that frame is due.
    for (int i = 0; i < 16; i++)
        localQueue(&stars_mat[i], 25 + i, localReadyStar, localUploadStar);
    localLaterLayer(&trees_b, &trees_b_mat, 10, 1, 1, localReadyTreesB);
    localSway(&trees_b_skew, 6);
    localLaterLayer(&lakegrass, &lakegrass_mat, 7, 1, 1, localReadyLakeGrass);
    localLaterLayer(&fog_mask_desk, &fog_mask_mat, 4, 1, 1, localReadyFogMask);
    localScroll(&fog_a, 1, 45, 65);
    localLaterLayer(&fog_a, &fog_a_mat, 13, 1, 1, localReadyFog);
    localFog(&fog_a, fog_pow[0]);
    localScroll(&fog_b, -1, 20, 50);
    localLaterLayer(&fog_b, &fog_b_mat, 14, 1, 1, localReadyFog);
    localFog(&fog_b, fog_pow[1]);
    localLaterLayer(&trees_l, &trees_l_mat, 8, 1, 1, localReadyTreesL);
    localSway(&trees_l_skew, 3);
    localLaterLayer(&rock, &rock_mat, 5, 20, 20, localReadyRock);
    localLaterLayer(&tree, &tree_mat, 2, 10, 20, localReadyTree);
    localLaterLayer(&needles, &needles_mat, 0, 1, 1, localReadyNeedles);
    localSway(&needles_skew, 4);
    localLaterLayer(&fern, &fern_mat, 1, 20, 10, localReadyFern);

    scr_mat.PrepareDarkDiffuse(1.0f);
    // The desktop picture is taken over, not copied; beyond it the texture is black.
    scr_mat.mipmaps = false;
    if (desktop) {
        scr_mat.canvas.pixmap.Take(&desktop->pixmap);
        scr_mat.canvas.opaque = desktop->opaque;
        scr_mat.canvas.pixmap.ClearPadding(desktop->opaque ? 0xFF000000u : 0);
    }
    if (!scr_mat.SetTexture(&scr_mat.canvas)) err("scene: no desktop picture\n");
    scr.Create(1, 1);
    scr.SetMaterial(&scr_mat);

    localSampling(&scr, &scr_mat, nullptr);

    localStage(&back_stage, 0.3f, 1.0f);
    localStage(&stars_stage, 0.0f, 0.3f);
    localStage(&trees_b_stage, 0.1f, 0.6f);
    localStage(&trees_l_stage, 0.3f, 0.8f);
    localStage(&lakegrass_stage, 0.1f, 0.6f);
    localStage(&rock_stage, 0.3f, 0.8f);
    localStage(&tree_stage, 0.4f, 0.8f);
    localStage(&fern_stage, 0.4f, 1.0f);
    needles_stage = tree_stage;
    localStage(&fog_stage, 0.15f, 1.0f);
    localStage(&scr_stage, 0.0f, 1.0f);
    back_phase = FXPhaser();
    back_phase.duration = 30;
    back_phase.loop = true;
    back_phase.pingPong = true;

    for (int k = 16; k <= 22; k++)
        if (!pck.GetDataPtr(k)) sceneMissingItems.PushInt(k);
    for (int g = 0; g < 5; g++) {
        float *centre, *extent;
        localFlightBox(g, &centre, &extent);
        localBuildFireFly(g, centre, extent);
    }
    for (int i = 0; i < firefly[0].frameCount; i++)
        ((FXMaterial*)firefly[0].frames.items[i])->canvas.pixmap.ReleasePixels();

    // After the fireflies: the cube reseeds the generator, so their first paths do not
    // depend on it.
    demo.CreateCN(&pck, 76, 75);
    if (!demo.skinMat.textured) sceneMissingItems.PushInt(75);
    if (!demo.reflectMat.textured) sceneMissingItems.PushInt(76);
    gad.CreateCN(&pck, 23, 73);
    if (gad.model.meshes.count == 0) sceneMissingItems.PushInt(73);
    if (!gad.label.textured) sceneMissingItems.PushInt(23);

    localStartDecoder();
}

// Every element, the package; the context is current.
static void localRelease() {
    localStopDecoder();
    preview.Destroy();
    preview_mat.Destroy();
    needles.Destroy();
    needles_mat.Destroy();
    fern.Destroy();
    fern_mat.Destroy();
    tree.Destroy();
    tree_mat.Destroy();
    rock.Destroy();
    rock_mat.Destroy();
    fog_a.Destroy();
    fog_a_mat.Destroy();
    fog_b.Destroy();
    fog_b_mat.Destroy();
    fog_mask_desk.Destroy();
    fog_mask_mat.Destroy();
    lakegrass.Destroy();
    lakegrass_mat.Destroy();
    trees_l.Destroy();
    trees_l_mat.Destroy();
    trees_b.Destroy();
    trees_b_mat.Destroy();
    stars.Destroy();
    back.Destroy();
    back_mat.Destroy();
    for (int i = 0; i < 16; i++) {
        stars_mat[i].Destroy();
        stars_runs[i].Destroy();
    }
    stars_tex.Destroy();
    for (int g = 0; g < 5; g++)
        firefly[g].Destroy();
    scr.Destroy();
    scr_mat.Destroy();
    gad.Destroy();
    err_gad.Destroy();
    demo.Destroy();
    // The device may outlive this scene (stills build one after another): take its lights back.
    gr.UnregisterLight(&light);
    for (int g = 0; g < 5; g++)
        gr.UnregisterLight(&firefly[g].light);
    pck.Destroy();
}

void fxMakeOpaque(FXCanvas* canvas) {
    FXPixmap& p = canvas->pixmap;
    if (!p.pixels) return;
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            p.pixels[(size_t)y * p.stride + x] |= 0xFF000000u;
    canvas->opaque = true;
}

void InitScene(HWND window, bool previewMode) {
    isPreview = previewMode;
    // A desktop picture named relative to where the saver was started, before the data
    // directory becomes the current one.
    static char desktopPath[4096];
    if (sceneDesktopFile && fxGetFullPath(sceneDesktopFile, desktopPath, sizeof(desktopPath)))
        sceneDesktopFile = desktopPath;
    fxInitPaths();
    fxSetTypePath(1, veskPath);
    fxSetPath(1);
    if (!previewMode) fxOpenTraces(logsFile);
    fxLoadDevil();
    // Photographed before any window of ours covers the screen.
    FXScrShot shot;
    shot.window = sceneDesktopWindow;
    if (!previewMode) {
        if (sceneDesktopFile) {
            if (shot.CreateFromPict(sceneDesktopFile)) {
                fxMakeOpaque(&shot);
            } else {
                err("scene: cannot read the desktop picture \"%s\"; capturing the screen instead\n",
                    sceneDesktopFile);
                shot.Update();
            }
        } else {
            shot.Update();
        }
    }
    gr.CreateChild(window);
    // A display mode's window is the screen to the scene (one of several on several monitors):
    // sprites keep their pixel size in it.
    if (sceneDesktopWindow && gr.width > 0 && gr.height > 0) {
        gr.screenWidth = gr.width;
        gr.screenHeight = gr.height;
    }
    localBuild(&shot, "mirehollow.dat", previewMode);
    if (sceneShowFps && !previewMode && !fps_gad.Create()) err("scene: no font for the frame rate\n");
    if (!previewMode) fxSetAppPriority(1);
    gr.SetAct(false);
    gr.StartLoop(&sc);
}

void DestroyScene() {
    gr.StopLoop(100000);
    gr.SetAct(true);
    fps_gad.Destroy();
    localRelease();
    gr.Destroy();
    fxUnloadDevil();
}

void InitSceneFrames(FXCanvas* desktop, const char* packageFile, bool previewMode) {
    isPreview = previewMode;
    localBuild(desktop, packageFile, previewMode);
}

void DestroySceneFrames() {
    gr.SetAct(true);
    localRelease();
    gr.Destroy();
}

// ---- One frame --------------------------------------------------------------------------

// Whether a layer's stage shows it at t; the stage itself is left as it is.
static bool localShows(const FXScenarStage& stage, double t) {
    FXScenarStage probe = stage;
    return probe.UpdateStage(t) > 0;
}

// Uploads every picture the frame at t shows, and places its layer, before anything is drawn.
// Placing a layer among the draws could change what is drawn after it (a star frame's coming
// sets the stars' material, the fog mask's sets the fog's place), so how soon a picture came
// would show. Each layer is drawn exactly when its stage is above 0; the fog needs its mask
// and both banks, which come in that order.
static void localNeedShown(double t, int star) {
    const struct {
        const FXScenarStage* stage;
        const FXMaterial* mat;
    } layers[] = {{&stars_stage, &stars_mat[star]}, {&back_stage, &back_mat},
                  {&trees_b_stage, &trees_b_mat},   {&trees_l_stage, &trees_l_mat},
                  {&lakegrass_stage, &lakegrass_mat}, {&fog_stage, &fog_b_mat},
                  {&rock_stage, &rock_mat},         {&needles_stage, &needles_mat},
                  {&tree_stage, &tree_mat},         {&fern_stage, &fern_mat}};
    for (const auto& l : layers)
        if (localShows(*l.stage, t)) localNeed(l.mat);
}

// A layer at opacity 0 leaves every pixel as it is (the layer pass writes no depth): not drawn.
// A layer whose picture is not there yet is disabled, and not due on screen either.
static void localDrawDesk(PEnv* env, double t, FXDesk* desk, float opacity) {
    if (!(opacity > 0)) return;
    desk->OnRender(env, t);
}

static void localDrawLayer(PEnv* env, double t, FXScenarStage* stage, FXMaterial* mat, FXScrPos01* pos,
                           FXDesk* desk) {
    stage->UpdateStage(t);
    mat->SetDefDiffuse(stage->value);
    pos->OnRender(env, t);
    localDrawDesk(env, t, desk, mat->diffuse[3]);
}

// The cube and the medallion, over whatever the frame drew, at the frame's time t.
static double localGadgetsTime = 0;
static void localDrawGadgets(PEnv* env, double t) {
    localGadgetsTime = t;
    gr.ApplyMatrixIdentity();
    gr.EnableLights(true);
    gr.EnableDepthTest(true);
    gr.EnableDepthWrite(true);
    // Each gadget clears the depth where it draws: a whole-screen clear costs a whole-screen
    // pass on a software renderer.
    demo.OnRender(env, t);
    gr.ApplyMatrixIdentity();
    gad.OnRender(env, t);
}

void Scene::OnRender(PEnv* env, double clock) {
    if (!gr.RenderStart()) return;
    gr.ApplyMatrixIdentity();
    gr.EnableDepthTest(false);
    gr.EnableDepthWrite(false);
    glDisable(GL_ALPHA_TEST);

    if (isPreview) {
        gr.EnableLights(false);
        preview.OnRender(env, clock);
        gr.RenderEnd();
        return;
    }

    // Whatever the worker has decoded meanwhile is uploaded now, not all when it is due; the
    // first frame shows none of it and is not held up. Nothing is uploaded once drawing starts.
    localFrameGivenUp = false;
    if (!first) localCatchUp(0);

    if (localClockStarted && clock < localLastClock) localClockShift += localLastClock - clock;
    localClockStarted = true;
    localLastClock = clock;
    double t = clock + localClockShift;

    if (first) {
        first = false;
        lastStarTime = t;
    }
    if (first1 && !first1_done) {
        first1_done = true;
        lastff = t;
    }

    // Sixteen star frames a second; the second restarts from the frame that completed it.
    // (The scene's time never runs backwards, so d stays within 0 ... 1.)
    double d = t - lastStarTime;
    while (d >= 1.0) {
        d -= 1.0;
        lastStarTime = t;
    }
    act_star = (int)(d * 16);
    localNeedShown(t, act_star);
    stars_stage.UpdateStage(t);
    if (stars_stage.value > 0) localShowStar(act_star);
    stars.SetMaterial(&stars_mat[act_star]);
    stars.mesh.disabled = !stars_mat[act_star].textured;

    gr.ApplyMatrixIdentity();
    for (int g = 0; g < 5; g++)
        firefly[g].PreRender(env, t);

    gr.UpdateLights();
    gr.EnableLights(true);

    scr_stage.UpdateStage(t);
    scr_mat.ChangeDarkDiffuse(1 - scr_stage.value);
    if (scr_stage.value >= 1 && (!scr_mat.textured || scr_mat.texOpaque)) {
        // Fully darkened, the opaque desktop is an opaque black quad over the whole screen.
        float black[4] = {0, 0, 0, 1}, keep[4];
        memcpy(keep, gr.clearColor, sizeof keep);
        gr.SetClrColor(black);
        gr.Clrscr(true, false, false);
        gr.SetClrColor(keep);
    } else {
        scr.OnRender(env, t);
    }

    float b;
    if (back_stage.value < 1) {
        back_stage.UpdateStage(t);
        b = back_stage.value;
    } else {
        if (first2) {
            first2 = false;
            back_phase.start = t;
        }
        back_phase.OnRender(env, t);
        b = back_phase.GetOnOff(0.42f, 0.58f) * 0.5f + 0.5f;
    }
    back_mat.SetDefDiffuse(b);
    localDrawDesk(env, t, &back, b);

    float ambient[4] = {0.8f * b, 0.8f * b, 0.8f * b, 1.0f};
    gr.SetAmbient(ambient);

    stars_mat[act_star].SetDefDiffuse(stars_stage.value);
    stars_pos.OnRender(env, t);
    localDrawDesk(env, t, &stars, stars_stage.value);

    trees_b_skew.OnRender(env, t);
    trees_b.UpdatePosSkew(true, false, trees_b_skew.phase * 0.02f - 0.01f, 0);
    localDrawLayer(env, t, &trees_b_stage, &trees_b_mat, &trees_b_pos, &trees_b);

    trees_l_skew.OnRender(env, t);
    trees_l.UpdatePosSkew(true, false, trees_l_skew.phase * 0.04f, 0);
    localDrawLayer(env, t, &trees_l_stage, &trees_l_mat, &trees_l_pos, &trees_l);

    // The grass follows the background's brightness.
    lakegrass_stage.UpdateStage(t);
    lakegrass_mat.SetDefDiffuse(lakegrass_stage.value);
    lakegrass_mat.diffuse[0] = lakegrass_mat.diffuse[1] = lakegrass_mat.diffuse[2] = b;
    lakegrass_pos.OnRender(env, t);
    localDrawDesk(env, t, &lakegrass, lakegrass_mat.diffuse[3]);

    // Fog colours are rebuilt only while the fog stage moves.
    fog_stage.UpdateStage(t);
    if (fog_stage.changed) {
        float c[4] = {fog_col[0], fog_col[1], fog_col[2], fog_col[3] * fog_pow[0] * fog_stage.value};
        fog_a.UpdateColCol(c);
        gr.UnprepareMesh(&fog_a.mesh);
        c[3] = fog_col[3] * fog_pow[1] * fog_stage.value;
        fog_b.UpdateColCol(c);
        gr.UnprepareMesh(&fog_b.mesh);
        if (!first1 && fog_stage.value >= 0.5f) first1 = true;
    }
    fog_pos.OnRender(env, t);
    // Drawn once visible and its picture is there; until then the drift alone advances. (Drawn
    // at opacity 0, a bank changed no pixel, but whether it was drawn depended on how soon its
    // picture came, and the renderer may take another path for the layers it overlaps.)
    for (FXDeskScroll* fog : {&fog_a, &fog_b}) {
        if (fog_stage.value > 0 && localIsReady(fog->mesh.material))
            fog->OnRender(env, t);
        else
            fog->Drift(t);
    }

    gr.EnableLight(false, &light);
    localDrawLayer(env, t, &rock_stage, &rock_mat, &rock_pos, &rock);
    gr.EnableLight(true, &light);

    needles_skew.OnRender(env, t);
    needles.UpdatePosSkew(true, false, 0, needles_skew.phase * -0.04f);
    localDrawLayer(env, t, &needles_stage, &needles_mat, &needles_pos, &needles);

    gr.EnableLight(false, &light);
    localDrawLayer(env, t, &tree_stage, &tree_mat, &tree_pos, &tree);
    localDrawLayer(env, t, &fern_stage, &fern_mat, &fern_pos, &fern);
    gr.EnableLight(true, &light);

    gr.ApplyMatrixIdentity();

    // Fireflies: one starts at a time, at least two seconds after the previous one.
    if (first1_done) {
        if (t - lastff > 2.0) {
            for (int g = 0; g < 5; g++) {
                if (firefly[g].IsPlaying()) continue;
                float *centre, *extent;
                localFlightBox(g, &centre, &extent);
                firefly[g].Prepare(centre, extent);
                firefly[g].Start(t);
                firefly[g].PreRender(env, t);
                lastff = t;
                break;
            }
        }
        for (int g = 0; g < 5; g++)
            firefly[g].OnRender(env, t);
    }

    localDrawGadgets(env, t);
    err_gad.OnRender(env, t);
    fps_gad.OnRender(env, clock);

    if (!localFrameGivenUp) gr.RenderEnd();
}

// ---- The fill-rate floor ----------------------------------------------------------------

// Whether the floor samples each picture as its layer does (mipmaps where it is drawn smaller)
// rather than with plain linear filtering.
static bool localFloorLayerSampling = false;

// One layer as a plain blended rectangle: its picture, its place, its opacity; nothing else.
static void localFloorRect(FXDesk* desk, float alpha) {
    FXMesh& m = desk->mesh;
    FXMaterial* mat = m.material;
    if (m.disabled || !mat || !mat->textured || !mat->texId || alpha <= 0 || desk->cols < 1 || desk->rows < 1)
        return;
    int last = desk->rows * (desk->cols + 1);
    const tagFXVertex* v[4] = {&m.vertices[0], &m.vertices[last], &m.vertices[desk->cols],
                               &m.vertices[last + desk->cols]};
    glBindTexture(GL_TEXTURE_2D, (GLuint)mat->texId);
    GLint minFilter = GL_LINEAR;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    if (!localFloorLayerSampling) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glColor4f(1, 1, 1, alpha);
    glBegin(GL_TRIANGLE_STRIP);
    for (const tagFXVertex* p : v) {
        glTexCoord2fv(p->tex);
        glVertex3fv(p->pos);
    }
    glEnd();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
}

static void localFloorPlaced(FXScrPos01* pos, FXDesk* desk, FXMaterial* mat) {
    glLoadMatrixf(pos->matrix.m);
    localFloorRect(desk, mat->diffuse[3]);
}

void SceneDrawGadgets() {
    if (isPreview) return;
    localDrawGadgets(&gr, localGadgetsTime);
    gr.RenderEnd();
}

void SceneDrawFloor(bool layerSampling) {
    localFloorLayerSampling = layerSampling;
    gr.ApplyMaterial2(nullptr);
    glDisable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_TEXTURE_2D);
    glLoadIdentity();
    localFloorRect(&scr, scr_mat.diffuse[3]);
    localFloorRect(&back, back_mat.diffuse[3]);
    localFloorPlaced(&stars_pos, &stars, &stars_mat[act_star]);
    localFloorPlaced(&trees_b_pos, &trees_b, &trees_b_mat);
    localFloorPlaced(&trees_l_pos, &trees_l, &trees_l_mat);
    localFloorPlaced(&lakegrass_pos, &lakegrass, &lakegrass_mat);
    glLoadMatrixf(fog_pos.matrix.m);
    localFloorRect(&fog_a, fog_a.mesh.vertices ? fog_a.mesh.vertices[0].color[3] : 0);
    localFloorRect(&fog_b, fog_b.mesh.vertices ? fog_b.mesh.vertices[0].color[3] : 0);
    localFloorPlaced(&rock_pos, &rock, &rock_mat);
    localFloorPlaced(&needles_pos, &needles, &needles_mat);
    localFloorPlaced(&tree_pos, &tree, &tree_mat);
    localFloorPlaced(&fern_pos, &fern, &fern_mat);
    for (FXFireFly& f : firefly) {
        if (!f.IsPlaying() || !f.desk.mesh.material) continue;
        glLoadIdentity();
        glTranslatef(f.curPos[0], f.curPos[1], f.curPos[2]);
        glMultMatrixf(f.scale.m);
        localFloorRect(&f.desk, f.desk.mesh.material->diffuse[3]);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    gr.ApplyMatrixIdentity();
    gr.RenderEnd();
}
