// mhmodel: the model authoring tool (see "mhmodel --help").

#include <cstdio>

#include "mhmodel.h"

// Leak checking (sanitizer builds): system libraries keep allocations we cannot free.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libIL.so\n";
}

int main(int argc, char** argv) {
    return mhmodel::Run(argc, argv, stdout, stderr);
}
