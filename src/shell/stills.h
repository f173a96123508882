// Stills: the frames the saver shows at given times after it starts, drawn offscreen by the
// scene's own frame sequence and written as PNG pictures (previews, documentation, tests).
#ifndef MH_SHELL_STILLS_H
#define MH_SHELL_STILLS_H

#include <string>
#include <vector>

class FXCanvas;

// The stills options as given on the command line (null when absent).
struct FXStillsArgs {
    const char* renderAt = nullptr; // "T1[,T2...]", seconds after the start
    const char* size = nullptr;     // "WxH"
    const char* desktop = nullptr;  // picture in place of the desktop (also used by the saver)
    const char* seed = nullptr;     // random seed, applied right after the scene is built
    const char* data = nullptr;     // directory of "mirehollow.dat"
    const char* step = nullptr;     // seconds between frames
    const char* output = nullptr;   // PNG file name, with "%d" where the time goes
};

// What to render, checked and converted.
struct FXStillsJob {
    std::vector<double> times; // ascending, distinct
    int width = 1024;
    int height = 768;
    std::string desktop; // empty: a generated test card
    bool seeded = false;
    unsigned seed = 0;
    std::string dataDir;
    double step = 1.0 / 30.0;
    std::string output; // empty: frames go only to the sink
    // Frames between the requested ones are drawn into a single pixel only, which gives the
    // same stills (every frame starts by covering the screen with the opaque desktop) much
    // faster; set to draw them in full.
    bool drawEveryFrame = false;
    // The clock reading the saver starts at. The saver's clock counts from the machine's
    // start, and its swaying layers begin as they do on a clock that has been running a
    // while: any value above a few seconds gives the same stills.
    double clockStart = 1000.0;
};

// Checks the options; false with a message in `error` when they cannot be run.
bool fxParseStills(const FXStillsArgs& args, FXStillsJob* job, std::string* error);

// The file a still of time t is written to: "%d" in `output` replaced by the time, else the
// time added before the extension.
std::string fxStillName(const std::string& output, double t);

// A neutral picture that stands in for the desktop.
bool fxMakeTestCard(FXCanvas* canvas, int width, int height);

// Receives each requested frame: RGBA, top row first, opaque.
typedef void (*FXStillsSink)(void* user, double t, const unsigned char* rgba, int width, int height);

// Builds the scene offscreen, draws its frames from time 0 with the job's step (and at each
// requested time; times are counted from clockStart on the scene's clock), and writes or
// hands over the requested ones. Returns the exit status;
// problems are reported on standard error.
int fxRenderStills(const FXStillsJob& job, FXStillsSink sink, void* user);

// The stills mode of the program.
int fxStillsMain(const FXStillsArgs& args);

#endif
