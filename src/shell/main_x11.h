// The screen-saver host on X11 and the saver's window procedure. The host owns the window
// and its event loop, turns X events into the window messages below and hands them to
// ScreenSaverProc, which decides what the saver does with them.
#ifndef MH_SHELL_MAIN_X11_H
#define MH_SHELL_MAIN_X11_H

#include <stdint.h>

#include "render/gl.h"
#include "shell/stills.h"

typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

// Window messages, numbered as on the platform the saver came from.
enum : unsigned {
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_ACTIVATE = 0x0006,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_ERASEBKGND = 0x0014,
    WM_ACTIVATEAPP = 0x001C,
    WM_SETCURSOR = 0x0020,
    WM_NCACTIVATE = 0x0086,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_CHAR = 0x0102,
    WM_DEADCHAR = 0x0103,
    WM_SYSKEYDOWN = 0x0104,
    WM_SYSKEYUP = 0x0105,
    WM_SYSCHAR = 0x0106,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_RBUTTONDOWN = 0x0204,
    WM_MBUTTONDOWN = 0x0207,
};

// Pointer positions travel in LPARAM as x in the low and y in the high 16 bits.
inline LPARAM fxMakePointParam(int x, int y) {
    return (LPARAM)(((uint32_t)(y & 0xFFFF) << 16) | (uint32_t)(x & 0xFFFF));
}

// The saver's side.
LRESULT ScreenSaverProc(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);
bool ScreenSaverConfigureDialog(HWND dialog, unsigned message, WPARAM wParam, LPARAM lParam);
bool RegisterDialogClasses(void* instance);
// The close rule for a close request at time `now`: a preview always closes, so does a saver
// that has seen keyboard input; otherwise only more than 4 seconds after the scene started.
bool fxSaverMayClose(double now);

extern bool escapeHit;
extern bool started;
extern double startTime;
extern bool isPreview;
extern char veskPath[520];
extern const char* logsFile;
extern const char* scrFile;
extern const char* scrRegName;

// The host's side.
LRESULT DefScreenSaverProc(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);
// Runs WM_DESTROY, then removes the window; the host's event loop ends with it.
bool DestroyWindow(HWND window);
// Queues a message for the window; the event loop delivers it before it waits again.
bool PostMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);
// The whole command line, arguments separated by spaces.
const char* GetCommandLineA();

extern int fChildPreview;
extern HWND hMainWindow;

// How the saver was asked to run.
enum FXSaverMode {
    fxModeConfigure,
    fxModeFullScreen,
    fxModePreview,
    fxModePassword,
    fxModeWindow,
    fxModeHelp,
    fxModeStills
};

struct FXSaverArgs {
    FXSaverMode mode = fxModeConfigure;
    unsigned long previewParent = 0; // /p: the window to draw into
    int windowWidth = 1280;          // --window
    int windowHeight = 720;
    FXStillsArgs stills; // --render-at and its options; --desktop applies to every mode
};

// Reads the command line. Our own options begin with "--" and take their values after "="
// or as the next word; without any of them the first of the letters s, p, c, a decides the
// mode. False, with a message in `error`, on a command line that cannot be run.
bool fxParseSaverArgs(int argc, char** argv, FXSaverArgs* args, char* error, int errorSize);

// The file the data directory is read from (the configuration in place of a registry value).
bool fxGetConfigFile(char* path, int size);

// The program: parses the command line, runs the host, returns the exit status.
int fxSaverMain(int argc, char** argv);

#endif
