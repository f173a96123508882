#include "modelbench.h"

#include <stdio.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/model.h"
#include "render/env.h"

#ifdef MHBENCH_TINYOBJ
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
#endif

namespace mhbench {

namespace {

// 1,000,000 triangles: a wavy 500 x 1000 grid of quads, each written as two triangle faces
// with position, texture and normal numbers.
const int kColumns = 1000;
const int kRows = 500;

double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double MaxRssMB() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss / 1024.0;
}

bool WriteGrid(const std::string& path, int columns = kColumns, int rows = kRows) {
    FILE* f = fopen(path.c_str(), "w");
    if (!f) return false;
    fprintf(f, "# generated grid, %d triangles\n", columns * rows * 2);
    for (int r = 0; r <= rows; r++)
        for (int c = 0; c <= columns; c++) {
            float x = (float)c / columns * 2 - 1, y = (float)r / rows - 0.5f;
            float z = 0.1f * sinf(x * 9) * cosf(y * 7);
            fprintf(f, "v %.6f %.6f %.6f\nvt %.6f %.6f\nvn %.5f %.5f %.5f\n", x, y, z, (float)c / columns,
                    (float)r / rows, -0.9f * cosf(x * 9) * cosf(y * 7), 0.63f * sinf(x * 9) * sinf(y * 7), 1.0f);
        }
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++) {
            int a = r * (columns + 1) + c + 1, b = a + 1, d = a + columns + 1, e = d + 1;
            fprintf(f, "f %d/%d/%d %d/%d/%d %d/%d/%d\nf %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, e, e, e, a,
                    a, a, e, e, e, d, d, d);
        }
    return fclose(f) == 0;
}

// Processor time (user and system) of this process, in ms.
double CpuMs() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

// Timed runs of `run` (a failing run ends the measurement). On a loaded machine the wall time
// includes waiting for a core; the processor time beside it does not.
struct Timing {
    std::vector<double> ms, cpuMs;
};

void Line(const char* name, const Timing& t, const std::string& note) {
    Summary s = Summarise(t.ms);
    printf("%-26s median %9.3f ms   min %9.3f   max %9.3f   n=%-4d cpu %7.1f ms  %s\n", name, s.median, s.min, s.max,
           s.count, Summarise(t.cpuMs).median, note.c_str());
    fflush(stdout);
}

template <class F>
bool Repeat(int reps, F run, Timing* t) {
    t->ms.clear();
    t->cpuMs.clear();
    for (int i = 0; i < reps; i++) {
        double t0 = NowMs(), c0 = CpuMs();
        bool ok = run();
        t->ms.push_back(NowMs() - t0);
        t->cpuMs.push_back(CpuMs() - c0);
        if (!ok) return false;
    }
    return true;
}

} // namespace

int BenchModels(const Options& opt) {
    if (!opt.Wants("model")) return 0;
    // Each run handles a million triangles: a few runs give a median.
    int reps = opt.reps < 3 ? opt.reps : 3;
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec) / ("mhbench-model-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir, ec);
    std::string obj = (dir / "grid.obj").string(), xm = (dir / "grid.xm").string();
    if (ec || !WriteGrid(obj)) {
        printf("%-26s FAILED: cannot write %s\n", "model", obj.c_str());
        return 1;
    }
    FXHeadlessEnv env;
    PEnv* previous = fxglobalEnv;
    fxSetEnv(&env);
    int status = 0;
    double rssBefore = MaxRssMB();
    Timing timing;
    {
        // A small model, first in the process: its save costs what the working blocks cost, not what the model holds.
        FXModel m;
        std::string smallObj = (dir / "small.obj").string(), smallXm = (dir / "small.xm").string();
        bool ok = WriteGrid(smallObj, 4, 2) && m.ImportObj(smallObj.c_str());
        if (ok) m.UpdateMeshes();
        if (ok && Repeat(opt.reps, [&] { return m.Save(smallXm.c_str()); }, &timing)) {
            Line("model small xm03 save", timing, "16 triangles");
        } else {
            printf("%-26s FAILED\n", "model small xm03 save");
            status = 1;
        }
    }
    std::string note = "1,000,000 triangles, " + std::to_string((kRows + 1) * (kColumns + 1)) + " vertices";
    double importMedian = 0, importCpu = 0;
    {
        FXModel m;
        if (Repeat(reps, [&] { return m.ImportObj(obj.c_str()) && m.loadedMeshes.count == 1; }, &timing)) {
            Line("model obj import", timing, note);
            importMedian = Summarise(timing.ms).median;
            importCpu = Summarise(timing.cpuMs).median;
        } else {
            printf("%-26s FAILED\n", "model obj import");
            status = 1;
        }
        m.UpdateMeshes();
        if (Repeat(reps, [&] { return m.Save(xm.c_str()); }, &timing)) {
            Line("model xm03 save", timing, "goal 3000 ms");
        } else {
            printf("%-26s FAILED\n", "model xm03 save");
            status = 1;
        }
    }
    {
        FXModel m;
        if (Repeat(reps, [&] { return m.Load(xm.c_str()) && m.loadedMeshes.count == 1; }, &timing))
            Line("model xm03 load", timing, "goal 500 ms");
        else {
            printf("%-26s FAILED\n", "model xm03 load");
            status = 1;
        }
    }
    printf("%-26s %9.1f MB peak resident (%.1f MB before the model figures)\n", "model memory", MaxRssMB(),
           rssBefore);
#ifdef MHBENCH_TINYOBJ
    if (Repeat(reps,
               [&] {
                   tinyobj::attrib_t attrib;
                   std::vector<tinyobj::shape_t> shapes;
                   std::vector<tinyobj::material_t> materials;
                   std::string warn, err;
                   return tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, obj.c_str());
               },
               &timing)) {
        double t = Summarise(timing.ms).median, c = Summarise(timing.cpuMs).median;
        auto ratio = [](double a, double b) { return std::to_string(a / b).substr(0, 4); };
        Line("model tinyobjloader parse", timing,
             t > 0 && c > 0 ? "import takes " + ratio(importMedian, t) + " x (cpu " + ratio(importCpu, c) + " x), goal 2 x"
                            : "");
    } else {
        printf("%-26s FAILED\n", "model tinyobjloader parse");
        status = 1;
    }
#else
    printf("%-26s skipped: built without tinyobjloader (libtinyobjloader-dev)\n", "model tinyobjloader parse");
#endif
    fxSetEnv(previous);
    std::filesystem::remove_all(dir, ec);
    return status;
}

} // namespace mhbench
