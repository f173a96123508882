// mhbench: speed and memory figures of the saver (see "mhbench --help").

#include "bench.h"

// Leak checking (sanitizer builds): system libraries keep allocations we cannot free.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libIL.so\n";
}

int main(int argc, char** argv) {
    return mhbench::Run(argc, argv);
}
