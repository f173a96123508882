// The screen saver program on a host with a main() of its own.
#include "shell/main.h"

int main(int argc, char** argv) {
    return fxSaverMain(argc, argv);
}
