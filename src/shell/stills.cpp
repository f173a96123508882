#include "shell/stills.h"

#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "assets/canvas.h"
#include "base/paths.h"
#include "render/other.h"
#include "shell/scene.h"

namespace {

// Longest time a still may be asked for, and the most frames one run may draw.
const double kMaxTime = 86400.0;
const double kMaxFrames = 5e6;

bool localParseNumber(const char* text, double* v) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    double d = strtod(text, &end);
    if (end == text || *end || errno == ERANGE || !isfinite(d)) return false;
    *v = d;
    return true;
}

bool localEndsWithPng(const std::string& s) {
    if (s.size() < 4) return false;
    std::string ext = s.substr(s.size() - 4);
    for (char& c : ext)
        c = (char)tolower((unsigned char)c);
    return ext == ".png";
}

// The stills' virtual clock: the scene reads it when it reseeds its generator.
double localVirtualNow = 0;
double localVirtualClock() {
    return localVirtualNow;
}

std::string localTimeText(double t) {
    char buf[64];
    snprintf(buf, sizeof(buf), "%g", t);
    return buf;
}

} // namespace

bool fxParseStills(const FXStillsArgs& args, FXStillsJob* job, std::string* error) {
    *job = FXStillsJob();
    if (!args.renderAt) {
        *error = "--render-at is missing";
        return false;
    }
    std::string list = args.renderAt;
    size_t pos = 0;
    while (true) {
        size_t comma = list.find(',', pos);
        std::string item = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        double t;
        if (!localParseNumber(item.c_str(), &t) || t < 0 || t > kMaxTime) {
            *error = "--render-at: \"" + item + "\" is not a time in seconds from 0 to 86400";
            return false;
        }
        job->times.push_back(t);
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    std::sort(job->times.begin(), job->times.end());
    job->times.erase(std::unique(job->times.begin(), job->times.end()), job->times.end());

    if (args.size) {
        char* end = nullptr;
        long w = strtol(args.size, &end, 10);
        long h = 0;
        bool ok = end != args.size && (*end == 'x' || *end == 'X');
        if (ok) {
            const char* p = end + 1;
            h = strtol(p, &end, 10);
            ok = end != p && !*end;
        }
        if (!ok || w < 1 || h < 1 || w > 8192 || h > 8192) {
            *error = std::string("--size: \"") + args.size +
                     "\" is not a size such as 1024x768 (at most 8192x8192)";
            return false;
        }
        job->width = (int)w;
        job->height = (int)h;
    }
    if (args.step) {
        double s;
        if (!localParseNumber(args.step, &s) || s <= 0 || s > 60) {
            *error = std::string("--step: \"") + args.step +
                     "\" is not a time step in seconds above 0 and up to 60";
            return false;
        }
        job->step = s;
    }
    if (job->times.back() / job->step > kMaxFrames) {
        *error = "--render-at: the last time needs more than 5000000 frames at this --step";
        return false;
    }
    if (args.seed) {
        char* end = nullptr;
        errno = 0;
        unsigned long long v = strtoull(args.seed, &end, 10);
        if (end == args.seed || *end || errno == ERANGE || v > 0xFFFFFFFFull || args.seed[0] == '-') {
            *error = std::string("--seed: \"") + args.seed + "\" is not a whole number from 0 to 4294967295";
            return false;
        }
        job->seeded = true;
        job->seed = (unsigned)v;
    }
    if (args.desktop) job->desktop = args.desktop;
    if (args.data) job->dataDir = args.data;
    if (!args.output || !*args.output) {
        *error = "--output is missing";
        return false;
    }
    job->output = args.output;
    if (!localEndsWithPng(job->output)) {
        *error = "--output: \"" + job->output + "\" does not name a .png file";
        return false;
    }
    for (size_t i = 1; i < job->times.size(); i++)
        if (fxStillName(job->output, job->times[i]) == fxStillName(job->output, job->times[i - 1])) {
            *error = "--render-at: the times " + localTimeText(job->times[i - 1]) + " and " +
                     localTimeText(job->times[i]) + " would be written to the same file";
            return false;
        }
    return true;
}

std::string fxStillName(const std::string& output, double t) {
    std::string time = localTimeText(t);
    std::string name = output;
    size_t p = name.find("%d");
    if (p != std::string::npos) {
        while (p != std::string::npos) {
            name.replace(p, 2, time);
            p = name.find("%d", p + time.size());
        }
        return name;
    }
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + "-" + time;
    return name.substr(0, dot) + "-" + time + name.substr(dot);
}

bool fxMakeTestCard(FXCanvas* canvas, int width, int height) {
    if (!canvas->pixmap.Realloc(width, height) || !canvas->pixmap.pixels) return false;
    // Grey with a lighter grid, a frame and a row of muted colour patches in the middle:
    // neutral enough to read the scene over, structured enough to see it darken.
    static const uint32_t patches[6][3] = {{170, 90, 90},  {90, 170, 90},  {90, 90, 170},
                                           {170, 170, 90}, {90, 170, 170}, {170, 90, 170}};
    int cell = std::max(8, std::min(width, height) / 12);
    int px0 = width / 4, px1 = width - width / 4;
    int py0 = height / 2 - cell / 2, py1 = py0 + cell;
    for (int y = 0; y < height; y++) {
        uint32_t* row = canvas->pixmap.pixels + (size_t)y * canvas->pixmap.stride;
        for (int x = 0; x < width; x++) {
            uint32_t r = 96, g = 98, b = 104;
            if (x % cell == 0 || y % cell == 0) r = g = b = 140;
            if (x < 2 || y < 2 || x >= width - 2 || y >= height - 2) r = g = b = 200;
            if (x >= px0 && x < px1 && y >= py0 && y < py1) {
                int k = (int)((long)(x - px0) * 6 / (px1 - px0));
                r = patches[k][0];
                g = patches[k][1];
                b = patches[k][2];
            }
            row[x] = r | (g << 8) | (b << 16) | (255u << 24);
        }
    }
    canvas->opaque = true;
    return true;
}

namespace {

bool localWritePng(const std::string& name, const unsigned char* rgba, int w, int h) {
    FXCanvas c;
    if (!c.pixmap.Realloc(w, h) || !c.pixmap.pixels) return false;
    for (int y = 0; y < h; y++)
        memcpy(c.pixmap.pixels + (size_t)y * c.pixmap.stride, rgba + (size_t)y * w * 4, (size_t)w * 4);
    // Replace an older still of the same name rather than keep it.
    fxRemoveFile(name.c_str());
    return c.SaveToPict(name.c_str());
}

} // namespace

int fxRenderStills(const FXStillsJob& job, FXStillsSink sink, void* user) {
    if (job.times.empty()) return 2;
    if (!fxLoadDevil() && !fxSystemImageCodec()) {
        fprintf(stderr, "mhollow: the image library (libIL, libILU) cannot be loaded: no pictures can be "
                        "read or written\n");
        return 1;
    }
    FXCanvas desktop;
    if (!job.desktop.empty()) {
        if (!desktop.CreateFromPict(job.desktop.c_str())) {
            fprintf(stderr, "mhollow: cannot read the desktop picture \"%s\"\n", job.desktop.c_str());
            fxUnloadDevil();
            return 1;
        }
        fxMakeOpaque(&desktop);
    } else if (!fxMakeTestCard(&desktop, job.width, job.height)) {
        fprintf(stderr, "mhollow: no memory for a %dx%d picture\n", job.width, job.height);
        fxUnloadDevil();
        return 1;
    }
    if (!gr.Create(fxCreateOffscreenBinding(job.width, job.height))) {
        fprintf(stderr, "mhollow: cannot create an offscreen OpenGL context of %dx%d\n", job.width,
                job.height);
        gr.Destroy();
        fxUnloadDevil();
        return 1;
    }

    std::string dir = job.dataDir.empty() ? fxDefaultDataDir() : job.dataDir;
    std::string package = dir + "/mirehollow.dat";
    bool havePackage = fxIsReadableFile(package.c_str());
    if (!havePackage)
        fprintf(stderr, "mhollow: no package \"%s\": the stills show the desktop picture alone\n",
                package.c_str());
    // Every run starts from the generator a fresh process has and the scene is built at the
    // first frame's clock reading, so that the same stills give the same pictures.
    fxSeedRandom(1);
    localVirtualNow = job.clockStart;
    fxSetRandomClock(localVirtualClock);
    InitSceneFrames(&desktop, package.c_str());
    if (havePackage && sceneMissingItems.count > 0) {
        std::string items;
        for (int i = 0; i < sceneMissingItems.count; i++)
            items += (i ? ", " : "") + std::to_string(sceneMissingItems.GetInt(i));
        fprintf(stderr, "mhollow: the package \"%s\" lacks the items %s; what they carry is left out\n",
                package.c_str(), items.c_str());
    }
    if (hasError)
        fprintf(stderr, "mhollow: the OpenGL driver lacks multitexturing; the scene shows its error\n");
    if (job.seeded) fxSeedRandom(job.seed);

    std::vector<unsigned char> frame((size_t)job.width * job.height * 4);
    int status = 0;
    size_t next = 0;
    long k = 0;
    while (next < job.times.size()) {
        double grid = k * job.step;
        double want = job.times[next];
        // A requested time within a hair of the grid is that grid frame.
        bool onGrid = fabs(want - grid) <= job.step * 1e-6;
        bool requested = onGrid || want < grid;
        double t = requested ? want : grid;
        if (!requested || onGrid) k++;
        bool sketch = !requested && !job.drawEveryFrame;
        if (sketch) {
            glEnable(GL_SCISSOR_TEST);
            glScissor(0, 0, 1, 1);
        }
        localVirtualNow = job.clockStart + t;
        sc.OnRender(&gr, localVirtualNow);
        if (sketch) glDisable(GL_SCISSOR_TEST);
        if (!requested) continue;
        next++;
        if (!gr.ReadFrame(frame.data())) {
            fprintf(stderr, "mhollow: cannot read the frame at %g s back\n", t);
            status = 1;
            continue;
        }
        for (size_t i = 3; i < frame.size(); i += 4)
            frame[i] = 255;
        if (sink) sink(user, t, frame.data(), job.width, job.height);
        if (job.output.empty()) continue;
        std::string name = fxStillName(job.output, t);
        if (localWritePng(name, frame.data(), job.width, job.height)) {
            printf("%s\n", name.c_str());
        } else {
            fprintf(stderr, "mhollow: cannot write \"%s\"\n", name.c_str());
            status = 1;
        }
    }
    DestroySceneFrames();
    fxSetRandomClock(nullptr);
    fxUnloadDevil();
    return status;
}

int fxStillsMain(const FXStillsArgs& args) {
    FXStillsJob job;
    std::string error;
    if (!fxParseStills(args, &job, &error)) {
        fprintf(stderr, "mhollow: %s\n", error.c_str());
        return 2;
    }
    return fxRenderStills(job, nullptr, nullptr);
}
