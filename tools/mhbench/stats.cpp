#include "stats.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace mhbench {

Summary Summarise(std::vector<double> samples) {
    Summary s;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    size_t n = samples.size();
    s.count = (int)n;
    s.min = samples.front();
    s.max = samples.back();
    s.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    return s;
}

const std::vector<std::string>& BenchNames() {
    static const std::vector<std::string> names = {"frame", "memory",  "start",  "package", "picture",
                                                   "text",  "capture", "reduce", "model"};
    return names;
}

bool Options::Wants(const std::string& name) const {
    return only.empty() || std::find(only.begin(), only.end(), name) != only.end();
}

namespace {

bool localKnown(const std::string& name) {
    const std::vector<std::string>& all = BenchNames();
    return std::find(all.begin(), all.end(), name) != all.end();
}

std::string localNameList() {
    std::string list;
    for (const std::string& n : BenchNames())
        list += (list.empty() ? "" : ", ") + n;
    return list;
}

} // namespace

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
    *options = Options();
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            options->help = true;
            continue;
        }
        if (a != "--reps" && a != "--data" && a != "--only" && a != "--frame-png") {
            *error = "unknown option \"" + a + "\"";
            return false;
        }
        if (i + 1 >= argc) {
            *error = a + " needs a value";
            return false;
        }
        const char* v = argv[++i];
        if (a == "--reps") {
            char* end = nullptr;
            errno = 0;
            long n = strtol(v, &end, 10);
            if (end == v || *end || errno == ERANGE || n < 1 || n > 100000) {
                *error = std::string("--reps: \"") + v + "\" is not a whole number from 1 to 100000";
                return false;
            }
            options->reps = (int)n;
        } else if (a == "--data") {
            if (!*v) {
                *error = "--data: the directory name is empty";
                return false;
            }
            options->dataDir = v;
        } else if (a == "--frame-png") {
            if (!*v) {
                *error = "--frame-png: the file name is empty";
                return false;
            }
            options->framePng = v;
        } else {
            std::string list = v;
            size_t pos = 0;
            while (true) {
                size_t comma = list.find(',', pos);
                std::string name =
                    list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
                if (!localKnown(name)) {
                    *error = "--only: \"" + name + "\" is none of " + localNameList();
                    return false;
                }
                std::vector<std::string>& only = options->only;
                if (std::find(only.begin(), only.end(), name) == only.end()) only.push_back(name);
                if (comma == std::string::npos) break;
                pos = comma + 1;
            }
        }
    }
    return true;
}

const char* Usage() {
    return "usage: mhbench [--reps N] [--data DIR] [--only NAME[,NAME...]] [--frame-png FILE]\n"
           "\n"
           "Measures the saver on this machine and prints one line per measurement: the median and\n"
           "the smallest and largest time over N repetitions (default 20), after one warm-up run.\n"
           "\n"
           "  frame    the scene's frame at 1280x720 and 1920x1080 on the offscreen device (Mesa's\n"
           "           software renderer), 100 frames from 35 to 45 s of scene time, each timed\n"
           "           and followed by its fill-rate floor: the same layers as plain blended\n"
           "           textured rectangles, sampled linearly; then by the sampled floor, the\n"
           "           same rectangles sampled as the layers are (mipmaps where a layer is\n"
           "           drawn smaller than its picture); then by the two gadgets alone, the\n"
           "           cube and the medallion, as the frame drew them (less an empty pass)\n"
           "  memory   the peak resident memory of the scene built and drawn, at both sizes\n"
           "  start    the saver's start, from exec to its first swap, in a window of each size\n"
           "           over a test card, with the processor time used by then, which a busy\n"
           "           machine inflates less (skipped when no X display is reachable); then\n"
           "           the floor under it, a program that only opens such a window and shows\n"
           "           one blended textured quad\n"
           "  package  loading mirehollow.dat\n"
           "  picture  decoding the 1024x768 background picture (item 12) into a canvas\n"
           "  text     rasterising a label line into a canvas\n"
           "  capture  photographing the X screen through shared memory and through XGetImage\n"
           "           (skipped when no X display is reachable)\n"
           "  reduce   the mesh reduction (tolerance 0) of planar grids of 20,000, 200,000 and\n"
           "           2,000,000 triangles (at most 5 and 3 repetitions for the big ones), beside\n"
           "           meshoptimizer's meshopt_simplify of the same grid to the same triangle count\n"
           "           (skipped when mhbench was built without meshoptimizer)\n"
           "  model    a generated 1,000,000-triangle OBJ: import, xm03 save and load (at most 3\n"
           "           runs each), peak memory, and tinyobjloader parsing the same file when the\n"
           "           build found it\n"
           "\n"
           "--data DIR  the directory of mirehollow.dat (default: the build's data directory)\n"
           "--reps N    repetitions of package, picture, text and capture (frame: a fixed span)\n"
           "--only      run only the named measurements\n"
           "--frame-png FILE  write the last measured frame as a PNG picture, to see what was drawn\n";
}

} // namespace mhbench
