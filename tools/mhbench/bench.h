#pragma once
// mhbench: runs the measurements and prints their figures.

namespace mhbench {

// The command line (see Usage()). Returns the exit status: 0 when every measurement that
// ran succeeded, 1 when one failed, 2 for a bad command line.
int Run(int argc, const char* const* argv);

} // namespace mhbench
