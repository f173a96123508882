// The screen-saver host on Windows: the command line, the saver window and its class, the
// message loop and the default processing of the saver's messages. MinGW's screen-saver
// library is an empty stub, so this host stands in for the system's.
#ifndef MH_SHELL_MAIN_W32_H
#define MH_SHELL_MAIN_W32_H

#include "shell/host.h"
#include "shell/main.h"
#include "shell/stills.h"

enum FXW32Mode {
    fxW32Configure, // /c, or no mode letter: nothing to show
    fxW32FullScreen,
    fxW32Preview,
    fxW32Password, // /a: the system's own dialog, nothing of ours
    fxW32Stills,
    fxW32Help
};

struct FXW32Args {
    FXW32Mode mode = fxW32Configure;
    unsigned long long previewParent = 0; // /p: the window to draw into, as a number
    FXStillsArgs stills;                  // --render-at and its options; --desktop also for /s
};

// Reads the command line: "--" options for stills, else the first of the letters s, p, c, a
// (either case) in any argument decides the mode; after p comes the window's number, in the
// same argument or the next. False, with a message in `error`, on options that cannot be run.
bool fxParseSaverArgsW32(int argc, char** argv, FXW32Args* args, char* error, int errorSize);

#endif
