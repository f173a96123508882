// mhpack: the package authoring tool (see "mhpack --help").

#include <cstdio>

#include "mhpack.h"

// Leak checking (sanitizer builds): system libraries keep allocations we cannot free
// (fontconfig its parsed configuration, the image library a buffer of a damaged picture).
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libIL.so\n";
}

int main(int argc, char** argv) {
    return mhpack::Run(argc, argv, stdout, stderr);
}
