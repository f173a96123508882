#pragma once
// mhbench: the model figures (OBJ import, xm03 save and load of a generated large model).

#include "stats.h"

namespace mhbench {

// Runs the "model" measurement when the options want it; 0 on success, 1 on failure.
int BenchModels(const Options& opt);

} // namespace mhbench
