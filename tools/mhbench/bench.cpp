#include "bench.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "assets/canvas.h"
#include "assets/font.h"
#include "assets/package.h"
#include "render/other.h"
#include "render/scrshot.h"
#include "shell/scene.h"
#include "shell/stills.h"
#include "modelbench.h"
#include "reduce.h"
#include "stats.h"

// Last: Xlib's macros would clash with the names above.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

namespace mhbench {

namespace {

// The scene is measured at both sizes, each in a process of its own so that its memory
// figure is its own.
const int kSizes[2][2] = {{1280, 720}, {1920, 1080}};
// The scene's clock reading at its start, as the stills take it: the swaying layers behave
// as in the saver.
const double kClockStart = 1000.0;
// Scene time drawn before the measured span: by then every layer has faded in, the fog is
// up and the fireflies fly. The lead-in frames are drawn into one pixel only.
const double kLeadIn = 35.0;
const double kLeadInStep = 0.1;
// The measured span: ten seconds of scene time at 10 frames a second; each frame is followed
// by its fill-rate floor.
const double kSpan = 10.0;
const int kSpanFrames = 100;
// Saver starts timed per size.
const int kStarts = 5;
const int kBackgroundItem = 12;
const char* const kLabel = "Mirehollow";

double localNowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One warm-up run, then `reps` timed ones; false as soon as a run fails.
bool localRepeat(int reps, const std::function<bool()>& run, std::vector<double>* ms) {
    ms->clear();
    if (!run()) return false;
    for (int i = 0; i < reps; i++) {
        double t0 = localNowMs();
        bool ok = run();
        ms->push_back(localNowMs() - t0);
        if (!ok) return false;
    }
    return true;
}

void localLine(const char* name, const std::vector<double>& ms, const std::string& note) {
    Summary s = Summarise(ms);
    printf("%-26s median %9.3f ms   min %9.3f   max %9.3f   n=%-4d %s\n", name, s.median, s.min, s.max,
           s.count, note.c_str());
    fflush(stdout);
}

void localFailed(const char* name, const std::string& why) {
    printf("%-26s FAILED: %s\n", name, why.c_str());
    fflush(stdout);
}

std::string localFormat(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string localFormat(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    return buf;
}

double localMB(double kb) {
    return kb / 1024.0;
}

// A "Name:   123 kB" line of /proc/self/status, in kB; -1 when absent.
double localStatusKb(const char* key) {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    double kb = -1;
    size_t n = strlen(key);
    while (fgets(line, sizeof(line), f))
        if (strncmp(line, key, n) == 0 && line[n] == ':') {
            kb = atof(line + n + 1);
            break;
        }
    fclose(f);
    return kb;
}

// ---- The scene --------------------------------------------------------------------------

bool localSoftware(const char* renderer) {
    return renderer && (strstr(renderer, "llvmpipe") || strstr(renderer, "softpipe") ||
                        strstr(renderer, "swrast") || strstr(renderer, "lavapipe"));
}

bool localWriteFrame(const std::string& path, int w, int h) {
    FXCanvas c;
    if (!c.pixmap.Realloc(w, h) || !c.pixmap.pixels) return false;
    std::vector<unsigned char> rgba((size_t)w * h * 4);
    if (!gr.ReadFrame(rgba.data())) return false;
    for (int y = 0; y < h; y++)
        memcpy(c.pixmap.pixels + (size_t)y * c.pixmap.stride, rgba.data() + (size_t)y * w * 4, (size_t)w * 4);
    fxMakeOpaque(&c);
    return c.SaveToPict(path.c_str());
}

// Builds the scene at w x h, then times the frames of the span, each followed by its floor.
// Runs in a process of its own; returns its exit status.
int localSceneAt(const Options& opt, const std::string& package, int w, int h) {
    bool frames = opt.Wants("frame"), memory = opt.Wants("memory");
    std::string size = std::to_string(w) + "x" + std::to_string(h);
    std::string name = "scene build " + size;
    double rssBefore = localStatusKb("VmRSS");
    double rssDevice = -1;

    double t0 = localNowMs();
    FXCanvas desktop;
    if (!fxMakeTestCard(&desktop, w, h)) {
        localFailed(name.c_str(), "no memory for the desktop picture");
        return 1;
    }
    double rssCard = localStatusKb("VmRSS");
    if (!gr.Create(fxCreateOffscreenBinding(w, h))) {
        gr.Destroy();
        localFailed(name.c_str(), "cannot create an offscreen OpenGL context");
        return 1;
    }
    // The device's own share: Mesa sets up most of its state when the context first becomes current.
    gr.SetAct(true);
    rssDevice = localStatusKb("VmRSS");
    gr.SetAct(false);
    InitSceneFrames(&desktop, package.c_str());
    double buildMs = localNowMs() - t0;
    const char* renderer = (const char*)glGetString(GL_RENDERER);
    const char* version = (const char*)glGetString(GL_VERSION);
    std::string missing;
    for (int i = 0; i < sceneMissingItems.count; i++)
        missing += (i ? ", " : "") + std::to_string(sceneMissingItems.GetInt(i));
    printf("%-26s %9.3f ms once; %s%s, OpenGL %s%s%s\n", name.c_str(), buildMs, renderer ? renderer : "?",
           localSoftware(renderer) ? " (Mesa's software renderer)" : " (NOT the software renderer)",
           version ? version : "?", missing.empty() ? "" : "; items missing: ", missing.c_str());
    if (hasError) printf("%-26s the driver lacks multitexturing: the scene shows its error\n", "");
    fflush(stdout);

    int status = 0;
    // Fixed firefly paths, so that runs draw the same frames.
    fxSeedRandom(1);
    for (int k = 0; k * kLeadInStep < kLeadIn - 1e-9; k++) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
        sc.OnRender(&gr, kClockStart + k * kLeadInStep);
        glDisable(GL_SCISSOR_TEST);
    }
    if (frames) {
        std::vector<double> ms, floorMs, sampledMs, gadgetsMs, emptyMs;
        for (int k = 0; k < kSpanFrames; k++) {
            double t = kLeadIn + k * (kSpan / kSpanFrames);
            double f0 = localNowMs();
            sc.OnRender(&gr, kClockStart + t);
            double f1 = localNowMs();
            SceneDrawFloor();
            double f2 = localNowMs();
            SceneDrawFloor(true);
            double f3 = localNowMs();
            SceneDrawGadgets();
            double f4 = localNowMs();
            gadgetsMs.push_back(f4 - f3);
            gr.RenderEnd();
            emptyMs.push_back(localNowMs() - f4);
            sampledMs.push_back(f3 - f2);
            floorMs.push_back(f2 - f1);
            ms.push_back(f1 - f0);
        }
        int flying = 0;
        for (int g = 0; g < 5; g++)
            flying += firefly[g].IsPlaying();
        Summary s = Summarise(ms), f = Summarise(floorMs);
        localLine(("scene frame " + size).c_str(), ms,
                  localFormat("%.1f fps at the median; %d of 5 fireflies flying", s.median > 0 ? 1000.0 / s.median : 0,
                              flying));
        localLine(("fill-rate floor " + size).c_str(), floorMs,
                  localFormat("the frame costs %.2f x its floor (medians)", f.median > 0 ? s.median / f.median : 0));
        Summary l = Summarise(sampledMs);
        localLine(("sampled floor " + size).c_str(), sampledMs,
                  localFormat("the frame costs %.2f x this floor: mipmaps where a layer is drawn smaller",
                              l.median > 0 ? s.median / l.median : 0));
        // What a pass of its own costs beyond its drawing (an empty frame's swap) is not theirs.
        Summary g = Summarise(gadgetsMs), e = Summarise(emptyMs);
        localLine(("gadgets " + size).c_str(), gadgetsMs,
                  localFormat("the cube and the medallion alone, less an empty pass (%.2f ms): %.1f %% of "
                              "the frame (medians)",
                              e.median, s.median > 0 ? 100 * (g.median - e.median) / s.median : 0));
        if (flying == 0) {
            fprintf(stderr,
                    "mhbench: no firefly flies: the frames measured are not those of the whole scene\n");
            status = 1;
        }
        if (!opt.framePng.empty()) {
            // The last frame again (the floor overwrote it), at 1280x720 only.
            sc.OnRender(&gr, kClockStart + kLeadIn + kSpan);
            if (w == kSizes[0][0] && !localWriteFrame(opt.framePng, w, h)) {
                fprintf(stderr, "mhbench: cannot write \"%s\"\n", opt.framePng.c_str());
                status = 1;
            }
        }
    }
    if (memory) {
        double hwm = localStatusKb("VmHWM"), rss = localStatusKb("VmRSS");
        double anon = localStatusKb("RssAnon"), file = localStatusKb("RssFile");
        printf("%-26s %9.1f MB resident at the peak (VmHWM, the scene built and drawn to %g s), %.1f MB "
               "now (%.1f MB anonymous, %.1f MB of mapped files: the libraries' pages, shared with other "
               "processes); %.1f MB before the scene, the desktop picture %.1f MB, the device alone %.1f MB\n",
               ("peak memory " + size).c_str(), localMB(hwm), kLeadIn + (frames ? kSpan : 0), localMB(rss),
               localMB(anon), localMB(file), localMB(rssBefore), localMB(rssCard - rssBefore),
               localMB(rssDevice - rssCard));
    }
    fflush(stdout);
    DestroySceneFrames();
    return status;
}

int localScene(const Options& opt, const std::string& package) {
    if (!opt.Wants("frame") && !opt.Wants("memory")) return 0;
    if (access(package.c_str(), R_OK) != 0) {
        localFailed("scene", "no package \"" + package + "\"");
        return 1;
    }
    // The figures are quoted for Mesa's software renderer; a user's explicit choice stands.
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    int status = 0;
    for (const int* size : kSizes) {
        fflush(stdout);
        pid_t pid = fork();
        if (pid < 0) {
            localFailed("scene", "cannot start a process");
            return 1;
        }
        if (pid == 0) {
            int s = localSceneAt(opt, package, size[0], size[1]);
            fflush(stdout);
            _exit(s);
        }
        int ws = 0;
        if (waitpid(pid, &ws, 0) != pid || !WIFEXITED(ws) || WEXITSTATUS(ws) != 0) status = 1;
    }
    return status;
}

// ---- The saver's start ------------------------------------------------------------------

double localMonotonicMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// Starts the saver in a w x h window over the test card and returns the time from exec to
// its first swap, the processor time it had used by then, and its peak memory; false when it
// did not show a frame.
// With bare, the floor under that start instead: this program again, showing one frame with
// nothing of the saver (localBareStart).
bool localStartOnce(const std::string& card, const std::string& data, int w, int h, bool bare, double* ms,
                    double* cpuMs, double* peakMb, std::string* why) {
    int fds[2];
    if (pipe(fds) != 0) {
        *why = "no pipe";
        return false;
    }
    std::string window = "--window=" + std::to_string(w) + "x" + std::to_string(h);
    std::string fdText = std::to_string(fds[1]);
    std::string config = data + "/bench-config";
    double t0 = localMonotonicMs();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setenv("MHOLLOW_FIRST_FRAME_FD", fdText.c_str(), 1);
        // The saver reads its data directory from its configuration: a private one names ours.
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, 2);
        if (bare)
            execl("/proc/self/exe", "mhbench", "--bare-start", window.c_str(), (char*)nullptr);
        else
            execl(MHBENCH_SAVER, MHBENCH_SAVER, window.c_str(), "--desktop", card.c_str(), (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        *why = "cannot start a process";
        return false;
    }
    char line[64] = {0};
    ssize_t n = read(fds[0], line, sizeof line - 1);
    close(fds[0]);
    bool shown = n > 0;
    long long swapNs = 0, cpuNs = 0;
    if (shown && sscanf(line, "%lld %lld", &swapNs, &cpuNs) < 1) shown = false;
    if (shown) {
        *ms = swapNs / 1e6 - t0;
        *cpuMs = cpuNs / 1e6;
    }
    kill(pid, SIGTERM);
    int ws = 0;
    struct rusage ru;
    memset(&ru, 0, sizeof ru);
    wait4(pid, &ws, 0, &ru);
    *peakMb = ru.ru_maxrss / 1024.0;
    if (!shown) *why = "the saver ended without showing a frame (is there an X display?)";
    return shown;
}

// A private configuration under root that names the package's directory.
bool localWriteConfig(const std::string& root, const std::string& data, std::string* why) {
    std::string dir = root + "/bench-config";
    std::string sub = dir + "/vesk3d";
    std::string subsub = sub + "/Screensavers";
    mkdir(dir.c_str(), 0755);
    mkdir(sub.c_str(), 0755);
    mkdir(subsub.c_str(), 0755);
    FILE* f = fopen((subsub + "/Mirehollow.conf").c_str(), "w");
    if (!f) {
        *why = "cannot write " + subsub + "/Mirehollow.conf";
        return false;
    }
    fprintf(f, "path=%s\n", data.c_str());
    fclose(f);
    return true;
}

int localStart(const Options& opt, const std::string& dataDir) {
    if (!opt.Wants("start")) return 0;
    Display* probe = XOpenDisplay(nullptr);
    if (!probe) {
        printf("%-26s skipped: no X display reachable\n", "saver start");
        fflush(stdout);
        return 0;
    }
    int screenW = DisplayWidth(probe, DefaultScreen(probe)), screenH = DisplayHeight(probe, DefaultScreen(probe));
    char tmpl[] = "/tmp/mhbench-XXXXXX";
    std::string why;
    int status = 0;
    if (!mkdtemp(tmpl)) {
        localFailed("saver start", "no temporary directory");
        XCloseDisplay(probe);
        return 1;
    }
    std::string tmp = tmpl;
    std::string data = dataDir;
    char real[PATH_MAX];
    if (realpath(dataDir.c_str(), real)) data = real;
    std::string card = tmp + "/desktop.png";
    for (const int* size : kSizes) {
        std::string name = "saver start " + std::to_string(size[0]) + "x" + std::to_string(size[1]);
        if (size[0] > screenW || size[1] > screenH) {
            printf("%-26s skipped: the X screen is %dx%d\n", name.c_str(), screenW, screenH);
            continue;
        }
        FXCanvas c;
        if (!fxMakeTestCard(&c, size[0], size[1]) || !c.SaveToPict(card.c_str()) ||
            !localWriteConfig(tmp, data, &why)) {
            localFailed(name.c_str(), "cannot write the desktop picture or the configuration");
            status = 1;
            continue;
        }
        for (bool bare : {false, true}) {
            std::string line = bare ? "bare start " + std::to_string(size[0]) + "x" + std::to_string(size[1]) : name;
            std::vector<double> ms, cpu, peak;
            bool ok = true;
            for (int i = 0; i <= kStarts && ok; i++) {
                double m = 0, c = 0, p = 0;
                ok = localStartOnce(card, tmp, size[0], size[1], bare, &m, &c, &p, &why);
                if (ok && i > 0) {
                    ms.push_back(m);
                    cpu.push_back(c);
                    peak.push_back(p);
                }
            }
            if (!ok) {
                localFailed(line.c_str(), why);
                status = 1;
                continue;
            }
            localLine(line.c_str(), ms,
                      localFormat(bare ? "the floor under it: a window, an OpenGL context, one blended textured "
                                         "quad, a swap; %.0f ms of processor time and peak %.1f MB"
                                       : "exec to first swap, in a window over a test card; %.0f ms of processor "
                                         "time (all threads) and peak %.1f MB resident by then",
                                  Summarise(cpu).median, Summarise(peak).median));
        }
    }
    std::string cleanup = "rm -rf '" + tmp + "'";
    if (system(cleanup.c_str()) != 0) fprintf(stderr, "mhbench: cannot remove %s\n", tmp.c_str());
    XCloseDisplay(probe);
    return status;
}

// ---- Assets -----------------------------------------------------------------------------

int localPackage(const Options& opt, const std::string& path) {
    const char* name = "package load";
    if (!opt.Wants("package")) return 0;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        localFailed(name, "no package \"" + path + "\"");
        return 1;
    }
    int items = 0;
    std::vector<double> ms;
    bool ok = localRepeat(
        opt.reps,
        [&]() {
            FXPackage p;
            bool loaded = p.Load(path.c_str());
            items = p.itemIds.count;
            return loaded;
        },
        &ms);
    if (!ok) {
        localFailed(name, "cannot read \"" + path + "\"");
        return 1;
    }
    localLine(name, ms,
              localFormat("%.1f MB, %d items (file in the page cache)", st.st_size / 1048576.0, items));
    return 0;
}

int localPicture(const Options& opt, const std::string& path) {
    const char* name = "picture decode (item 12)";
    if (!opt.Wants("picture")) return 0;
    FXPackage p;
    if (!p.Load(path.c_str()) || !p.GetDataPtr(kBackgroundItem)) {
        localFailed(name, "no package \"" + path + "\" with an item 12");
        return 1;
    }
    int bytes = p.GetDataPtr(kBackgroundItem)->size, type = p.GetDataType(kBackgroundItem);
    int w = 0, h = 0;
    std::vector<double> ms;
    bool ok = localRepeat(
        opt.reps,
        [&]() {
            FXCanvas c;
            bool decoded = c.CreateFromPictCN(&p, kBackgroundItem);
            w = c.GetWidth();
            h = c.GetHeight();
            return decoded;
        },
        &ms);
    if (!ok) {
        localFailed(name, "the image library cannot decode it");
        return 1;
    }
    const char* kind = type == FXPCK_TYPE_PNG   ? "PNG"
                       : type == FXPCK_TYPE_JPG ? "JPEG"
                       : type == FXPCK_TYPE_TGA ? "TGA"
                       : type == FXPCK_TYPE_BMP ? "BMP"
                       : type == FXPCK_TYPE_GIF ? "GIF"
                                                : "?";
    localLine(name, ms, localFormat("%dx%d from %.1f kB of %s", w, h, bytes / 1024.0, kind));
    return 0;
}

int localText(const Options& opt) {
    const char* name = "text canvas";
    if (!opt.Wants("text")) return 0;
    FXFontGDI font;
    if (!font.Create("DejaVu Sans", 50, true)) {
        localFailed(name, "no font \"DejaVu Sans\"");
        return 1;
    }
    int w = 0, h = 0;
    std::vector<double> ms;
    float white[4] = {1, 1, 1, 1};
    bool ok = localRepeat(
        opt.reps,
        [&]() {
            FXCanvas c;
            bool drawn = c.CreateFromText(kLabel, &font, white);
            w = c.GetWidth();
            h = c.GetHeight();
            return drawn;
        },
        &ms);
    if (!ok) {
        localFailed(name, "the text cannot be rasterised");
        return 1;
    }
    localLine(name, ms, localFormat("\"%s\", DejaVu Sans Bold 50 px, %dx%d", kLabel, w, h));
    return 0;
}

// ---- Desktop capture --------------------------------------------------------------------

int localCapture(const Options& opt) {
    if (!opt.Wants("capture")) return 0;
    const char* display = getenv("DISPLAY");
    Display* probe = XOpenDisplay(nullptr);
    if (!probe) {
        printf("%-26s skipped: no X display reachable (DISPLAY=%s)\n", "desktop capture",
               display ? display : "unset");
        fflush(stdout);
        return 0;
    }
    bool shmOffered = XShmQueryExtension(probe);
    int depth = DefaultDepth(probe, DefaultScreen(probe));

    int status = 0;
    {
        // The probe stays open meanwhile: Xvfb often refuses a connection made right after one
        // of the same process has closed.
        FXScrShot shot;
        for (int pass = 0; pass < 2; pass++) {
            shot.useShm = pass == 0;
            const char* name = pass == 0 ? "desktop capture MIT-SHM" : "desktop capture XGetImage";
            std::vector<double> ms;
            if (!localRepeat(
                    opt.reps, [&]() { return shot.Update(); }, &ms)) {
                localFailed(name, "the screen cannot be read");
                status = 1;
                continue;
            }
            std::string note = localFormat("%dx%d, depth %d, display %s", shot.GetWidth(), shot.GetHeight(),
                                           depth, display ? display : "");
            if (pass == 0 && !shmOffered) note += "; the server offers no MIT-SHM: this is XGetImage too";
            localLine(name, ms, note);
        }
    }
    XCloseDisplay(probe);
    return status;
}

} // namespace

// What any OpenGL program pays before its first frame shows on this renderer: a window of
// w x h, a context, one blended textured quad (the first shader the renderer builds), a swap.
// Reports the swap as the saver does, on MHOLLOW_FIRST_FRAME_FD; returns the exit status.
int localBareStart(const char* size) {
    int w = 0, h = 0;
    const char* fd = getenv("MHOLLOW_FIRST_FRAME_FD");
    Display* dpy = XOpenDisplay(nullptr);
    if (!fd || !dpy || sscanf(size, "--window=%dx%d", &w, &h) != 2 || w < 1 || h < 1) return 1;
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_DEPTH_SIZE, 24, GLX_RED_SIZE, 8, None};
    XVisualInfo* vi = glXChooseVisual(dpy, DefaultScreen(dpy), attributes);
    if (!vi) return 1;
    XSetWindowAttributes swa;
    swa.colormap = XCreateColormap(dpy, RootWindow(dpy, vi->screen), vi->visual, AllocNone);
    swa.border_pixel = 0;
    Window win = XCreateWindow(dpy, RootWindow(dpy, vi->screen), 0, 0, (unsigned)w, (unsigned)h, 0, vi->depth,
                               InputOutput, vi->visual, CWColormap | CWBorderPixel, &swa);
    XMapWindow(dpy, win);
    GLXContext ctx = glXCreateContext(dpy, vi, nullptr, True);
    if (!ctx || !glXMakeCurrent(dpy, win, ctx)) return 1;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    std::vector<uint32_t> pixels(64 * 64, 0x80FFFFFFu);
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glEnd();
    glXSwapBuffers(dpy, win);
    glFinish();
    struct timespec ts, cpu;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu) != 0) cpu.tv_sec = cpu.tv_nsec = 0;
    dprintf(atoi(fd), "%lld %lld\n", (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec,
            (long long)cpu.tv_sec * 1000000000LL + cpu.tv_nsec);
    // Held until the bench ends it, as the saver is.
    pause();
    return 0;
}

int Run(int argc, const char* const* argv) {
    if (argc == 3 && strcmp(argv[1], "--bare-start") == 0) return localBareStart(argv[2]);
    Options opt;
    std::string error;
    if (!ParseOptions(argc, argv, &opt, &error)) {
        fprintf(stderr, "mhbench: %s\n%s", error.c_str(), Usage());
        return 2;
    }
    if (opt.help) {
        fputs(Usage(), stdout);
        return 0;
    }
    std::string dir = opt.dataDir.empty() ? MHBENCH_DATA_DIR : opt.dataDir;
    std::string package = dir + "/mirehollow.dat";

    double load[1] = {-1};
    getloadavg(load, 1);
    printf("mhbench: %s build%s, %ld cores (load average %.2f), %d repetitions after one warm-up run, "
           "package %s\n",
           *MHBENCH_BUILD_TYPE ? MHBENCH_BUILD_TYPE : "default",
           *MHBENCH_SANITIZE ? " WITH SANITIZERS (figures not representative)" : "",
           sysconf(_SC_NPROCESSORS_ONLN), load[0], opt.reps, package.c_str());
    fflush(stdout);
    if (!fxLoadDevil()) {
        fprintf(stderr, "mhbench: the image library (libIL, libILU) cannot be loaded\n");
        return 1;
    }
    int status = 0;
    // The scene first: its memory figure is then not inflated by the other measurements.
    status |= localScene(opt, package);
    status |= localStart(opt, dir);
    status |= localPackage(opt, package);
    status |= localPicture(opt, package);
    status |= localText(opt);
    status |= localCapture(opt);
    status |= Reduce(opt);
    status |= BenchModels(opt);
    fxUnloadDevil();
    return status;
}

} // namespace mhbench
