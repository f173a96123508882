#pragma once
// mhbench: the figures of repeated measurements and the command line.

#include <string>
#include <vector>

namespace mhbench {

// Median, smallest and largest of a set of samples; the median of an even count is the
// mean of the two middle samples. All zero for no samples.
struct Summary {
    int count = 0;
    double median = 0;
    double min = 0;
    double max = 0;
};
Summary Summarise(std::vector<double> samples);

// The measurements, in the order they run. The scene ones come first so that the memory
// figure is the scene's and not the other measurements' leftovers.
const std::vector<std::string>& BenchNames();

struct Options {
    int reps = 20;
    std::string dataDir;           // empty: the build's data directory
    std::vector<std::string> only; // empty: every measurement
    std::string framePng;          // where the last measured frame is written; empty: nowhere
    bool help = false;

    bool Wants(const std::string& name) const;
};

// "--reps N", "--data DIR", "--only NAME[,NAME...]" (may be given again), "--frame-png FILE",
// "--help".
// False with a message in *error for anything else.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);

const char* Usage();

} // namespace mhbench
