// The saver's window procedure and its rules: what the saver does when its host creates,
// paints, closes or destroys the window, and when input ends it. The host (main_x11.cpp here,
// the system's screen-saver library on Windows) owns the window and calls ScreenSaverProc.
#ifndef MH_SHELL_MAIN_H
#define MH_SHELL_MAIN_H

#include "shell/host.h"

// The close rule for a close request at time `now`: a preview always closes, so does a saver
// that has seen keyboard input; otherwise only more than 4 seconds after the scene started.
bool fxSaverMayClose(double now);

// The clock the close rule reads (fxGetTime); tests put their own in its place to try the
// rule at exact times.
extern double (*fxSaverClock)();

extern bool escapeHit;         // keyboard input arrived: every close request closes
extern bool started;           // the scene was built; arms the 4-second rule
extern double startTime;       // when the scene was built
extern bool isPreview;         // the scene runs in a preview window
extern char veskPath[520];     // the data directory
extern const char* logsFile;   // the trace log
extern const char* scrFile;    // the saver's module file
extern const char* scrRegName; // where the configuration is kept
extern bool saverRegistered;   // "register_scrsaver" made this the desktop's saver

// The program of a host that has a main() of its own: parses the command line, runs the host,
// returns the exit status.
int fxSaverMain(int argc, char** argv);

#endif
