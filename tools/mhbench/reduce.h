#pragma once
// mhbench: the mesh reduction on generated grids.

#include "stats.h"

namespace mhbench {

// Prints the reduction's figures (and meshoptimizer's beside them when built with it).
int Reduce(const Options& opt);

} // namespace mhbench
