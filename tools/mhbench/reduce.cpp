// The mesh reduction measured on planar grids, beside meshoptimizer's simplifier taking the
// same grid down to the same triangle count (when mhbench was built with meshoptimizer).

#include "reduce.h"

#include <stdio.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "geometry/mesh.h"
#include "stats.h"

#ifdef MHBENCH_MESHOPT
#include <meshoptimizer.h>
#endif

namespace mhbench {

namespace {

double localMs(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The process's processor time: on a machine busy with other work the wall-clock figures
// grow with the load, this one much less.
double localCpuMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// nx x ny unit cells in the plane z = 0, each split along the same diagonal.
void localGrid(FXMesh& m, int nx, int ny) {
    m.Realloc((nx + 1) * (ny + 1), nx * ny * 6);
    for (int j = 0; j <= ny; j++)
        for (int i = 0; i <= nx; i++) {
            tagFXVertex& v = m.vertices[j * (nx + 1) + i];
            v = tagFXVertex();
            v.pos[0] = (float)i;
            v.pos[1] = (float)j;
            v.normal[2] = 1;
        }
    int32_t* p = m.indices;
    for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++) {
            int v00 = j * (nx + 1) + i, v10 = v00 + 1, v01 = v00 + nx + 1, v11 = v01 + 1;
            int t[6] = {v00, v10, v11, v00, v11, v01};
            for (int k = 0; k < 6; k++)
                *p++ = t[k];
        }
}

} // namespace

int Reduce(const Options& opt) {
    if (!opt.Wants("reduce")) return 0;
    struct Size {
        int nx, ny, reps;
    };
    // 20,000, 200,000 and 2,000,000 triangles; the big grids are timed fewer times.
    const Size sizes[3] = {{100, 100, opt.reps}, {400, 250, opt.reps < 5 ? opt.reps : 5},
                           {1000, 1000, opt.reps < 3 ? opt.reps : 3}};
    double median[3] = {0, 0, 0};
    for (int s = 0; s < 3; s++) {
        FXMesh grid, work;
        localGrid(grid, sizes[s].nx, sizes[s].ny);
        int triangles = grid.indexCount / 3;
        std::vector<double> ms, cpu;
        for (int r = 0; r <= sizes[s].reps; r++) { // the first run warms up
            work.Copy(&grid);
            auto t0 = std::chrono::steady_clock::now();
            double c0 = localCpuMs();
            work.ReduceVertices(0);
            if (r == 0) continue;
            cpu.push_back(localCpuMs() - c0);
            ms.push_back(localMs(t0));
        }
        int reduced = work.indexCount / 3;
        Summary sum = Summarise(ms);
        median[s] = Summarise(cpu).median;
        char name[64];
        snprintf(name, sizeof name, "reduce grid %d", triangles);
        printf("%-26s median %9.3f ms   min %9.3f   max %9.3f   n=%-4d cpu %.1f ms; %d -> %d triangles, %d -> %d "
               "vertices\n",
               name, sum.median, sum.min, sum.max, sum.count, median[s], triangles, reduced, grid.vertexCount,
               work.vertexCount);
        fflush(stdout);

        snprintf(name, sizeof name, "meshopt grid %d", triangles);
#ifdef MHBENCH_MESHOPT
        std::vector<unsigned> in(grid.indices, grid.indices + grid.indexCount), out(in.size());
        size_t got = 0;
        ms.clear();
        cpu.clear();
        for (int r = 0; r <= sizes[s].reps; r++) {
            auto t0 = std::chrono::steady_clock::now();
            double c0 = localCpuMs();
            got = meshopt_simplify(out.data(), in.data(), in.size(), grid.vertices[0].pos, (size_t)grid.vertexCount,
                                   sizeof(tagFXVertex), (size_t)reduced * 3, 1e-2f, 0, nullptr);
            if (r == 0) continue;
            cpu.push_back(localCpuMs() - c0);
            ms.push_back(localMs(t0));
        }
        sum = Summarise(ms);
        printf("%-26s median %9.3f ms   min %9.3f   max %9.3f   n=%-4d cpu %.1f ms; meshopt_simplify to %d "
               "triangles: %d\n",
               name, sum.median, sum.min, sum.max, sum.count, Summarise(cpu).median, reduced, (int)(got / 3));
#else
        printf("%-26s skipped: mhbench was built without meshoptimizer (libmeshoptimizer-dev)\n", name);
#endif
        fflush(stdout);
    }
    if (median[1] > 0)
        printf("%-26s 2,000,000 / 200,000 triangles: %.1f times the processor time (n log n: %.1f)\n", "reduce growth",
               median[2] / median[1], 10.0 * (std::log2(2e6) / std::log2(2e5)));
    fflush(stdout);
    return 0;
}

} // namespace mhbench
