// The screen saver program.
#include "shell/main_x11.h"

int main(int argc, char** argv) {
    return fxSaverMain(argc, argv);
}
