#pragma once
// mhmodel: imports, inspects, converts and renders models.

#include <cstdio>

namespace mhmodel {

// The command line: "import", "info", "convert", "render" and their --help. Returns the exit
// status: 0 on success, 1 when the work failed, 2 for a bad command line.
int Run(int argc, const char* const* argv, FILE* out, FILE* err);

} // namespace mhmodel
