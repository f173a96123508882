// The screen-saver host on X11: the command line, the saver window, and the event loop that
// turns X events into the window messages of shell/host.h and hands them to ScreenSaverProc.
#ifndef MH_SHELL_MAIN_X11_H
#define MH_SHELL_MAIN_X11_H

#include <stdint.h>

#include <string>

#include "shell/host.h"
#include "shell/main.h"
#include "shell/stills.h"

struct _XDisplay;

// A window handle on X11: the connection the window belongs to and its id.
struct FXHostWindow {
    _XDisplay* display = nullptr;
    unsigned long id = 0;
    bool destroyed = false; // set by the host once the window is gone
};

// Pointer positions travel in LPARAM as x in the low and y in the high 16 bits.
inline LPARAM fxMakePointParam(int x, int y) {
    return (LPARAM)(((uint32_t)(y & 0xFFFF) << 16) | (uint32_t)(x & 0xFFFF));
}

// Full-screen input rules from now on: pointer motion away from (x, y), a button or a key
// asks to close, and so does the focus going elsewhere once the pointer has moved. Nothing
// posted before stays pending.
void fxHostWatchInput(int pointerX, int pointerY);
// Hands the messages posted so far to ScreenSaverProc, in order.
void fxHostDeliverPosted();

// How the saver was asked to run.
enum FXSaverMode {
    fxModeConfigure,
    fxModeFullScreen,
    fxModePreview,
    fxModePassword,
    fxModeWindow,
    fxModeHelp,
    fxModeStills,
    fxModeDisplay // a display mode of a screen-saver daemon: draws into a window it is given
};

struct FXSaverArgs {
    FXSaverMode mode = fxModeConfigure;
    unsigned long previewParent = 0; // /p: the window to draw into
    int windowWidth = 1280;          // --window
    int windowHeight = 720;
    double maxFps = 60; // --max-fps: the frame cap where the display does not pace the swaps
    FXStillsArgs stills; // --render-at and its options; --desktop applies to every mode
    unsigned long displayWindow = 0; // -window-id; 0 with -root
    bool showFps = false;            // -fps
    std::string ignored;             // display-mode options that mean nothing here
};

// Reads the command line. Our own options begin with "--" and take their values after "="
// or as the next word; without any of them the first of the letters s, p, c, a decides the
// mode. The options every display mode is started with (-root, -window-id ID, -fps, and a few
// that are ignored) are whole words, with one dash or two, and are taken before the letter
// scan sees the rest. False, with a message in `error`, on a command line that cannot be run.
bool fxParseSaverArgs(int argc, char** argv, FXSaverArgs* args, char* error, int errorSize);

#endif
