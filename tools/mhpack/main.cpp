// mhpack: the package authoring tool (see "mhpack --help").

#include <cstdio>

#include "mhpack.h"

int main(int argc, char** argv) {
    return mhpack::Run(argc, argv, stdout, stderr);
}
