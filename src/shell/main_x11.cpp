// The screen-saver host for X11: command line, the saver window, the event loop that hands
// X events to the saver's window procedure as messages, and the way the process ends.
#include "shell/main_x11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "base/trace.h"
#include "render/gl_x11.h"
#include "shell/config.h"
#include "shell/config_posix.h"
#include "shell/scene.h"

// ---- The host ---------------------------------------------------------------------------

BOOL fChildPreview = 0;
HWND hMainWindow = nullptr;

namespace {

struct FXPosted {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::string localCommandLine;
std::deque<FXPosted> localPosted;
bool localQuit = false;
bool localFullScreen = false;
bool localForeign = false; // the saver window is another client's (a display mode's)
int localStartX = 0, localStartY = 0; // pointer position when the window was created
bool localPointerMoved = false;
std::atomic<int> localXErrors{0};
int localSignalPipe[2] = {-1, -1};
volatile sig_atomic_t localSignalled = 0;

// Errors are expected where windows vanish under us (a preview parent closing, an invalid
// window id): they are counted, never fatal.
int localXErrorHandler(Display*, XErrorEvent*) {
    localXErrors++;
    return 0;
}

// The server went away (session over, server killed). Nothing can be drawn or destroyed any
// more, and an ordinary exit would run the scene's destructors under the render loop's feet,
// or on the loop thread itself when its connection noticed first: end the process at once.
int localXIOErrorHandler(Display*) {
    static const char message[] = "mhollow: lost the connection to the X server\n";
    ssize_t r = write(2, message, sizeof(message) - 1);
    (void)r;
    _exit(1);
}

void localOnSignal(int) {
    localSignalled = 1;
    if (localSignalPipe[1] >= 0) {
        char c = 1;
        ssize_t r = write(localSignalPipe[1], &c, 1);
        (void)r;
    }
}

bool localInstallSignals() {
    if (pipe(localSignalPipe) != 0) return false;
    for (int fd : localSignalPipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof(sa));
    sa.sa_handler = localOnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    return true;
}

} // namespace

const char* GetCommandLineA() {
    return localCommandLine.c_str();
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!window || window->destroyed) return false;
    localPosted.push_back({window, message, wParam, lParam});
    return true;
}

BOOL DestroyWindow(HWND window) {
    if (!window || window->destroyed) return false;
    window->destroyed = true;
    localQuit = true;
    ScreenSaverProc(window, WM_DESTROY, 0, 0);
    if (window->display && window->id && !localForeign) {
        XDestroyWindow((Display*)window->display, window->id);
        XSync((Display*)window->display, False);
    }
    return true;
}

BOOL ValidateRect(HWND window, const void*) {
    return window && !window->destroyed;
}

void fxHostWatchInput(int pointerX, int pointerY) {
    localFullScreen = true;
    localStartX = pointerX;
    localStartY = pointerY;
    localPointerMoved = false;
    localPosted.clear();
}

void fxHostDeliverPosted() {
    // Messages for a window already destroyed (the saver has quit) are dropped.
    while (!localPosted.empty()) {
        FXPosted m = localPosted.front();
        localPosted.pop_front();
        if (!m.window->destroyed) ScreenSaverProc(m.window, m.message, m.wParam, m.lParam);
    }
}

LRESULT WINAPI DefScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!window || window->destroyed || !localFullScreen) return 0;
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        PostMessage(window, WM_CLOSE, 0, 0);
        break;
    case WM_MOUSEMOVE: {
        int x = (int16_t)(lParam & 0xFFFF), y = (int16_t)((lParam >> 16) & 0xFFFF);
        if (x != localStartX || y != localStartY) {
            localPointerMoved = true;
            PostMessage(window, WM_CLOSE, 0, 0);
        }
        break;
    }
    case WM_ACTIVATE:
    case WM_ACTIVATEAPP:
    case WM_NCACTIVATE:
        if (wParam == 0 && localPointerMoved) PostMessage(window, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
    return 0;
}

// ---- Command line -----------------------------------------------------------------------

namespace {

// One "--name" option. `value` is null when the option was given without one.
struct FXSaverOption {
    const char* name;
    enum { none, optional, required } value;
    bool (*apply)(FXSaverArgs* args, const char* value, char* error, int errorSize);
    const char* help;
    bool display = false; // an option of display modes: also taken with one dash
};

bool localParseSize(const char* text, int* w, int* h) {
    char* end = nullptr;
    long a = strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) return false;
    const char* p = end + 1;
    long b = strtol(p, &end, 10);
    if (end == p || *end) return false;
    if (a < 1 || b < 1 || a > 16384 || b > 16384) return false;
    *w = (int)a;
    *h = (int)b;
    return true;
}

bool localOptWindow(FXSaverArgs* args, const char* value, char* error, int errorSize) {
    args->mode = fxModeWindow;
    if (value && !localParseSize(value, &args->windowWidth, &args->windowHeight)) {
        snprintf(error, errorSize, "--window: \"%s\" is not a size such as 1280x720", value);
        return false;
    }
    return true;
}

bool localOptMaxFps(FXSaverArgs* args, const char* value, char* error, int errorSize) {
    char* end = nullptr;
    errno = 0;
    long n = strtol(value, &end, 10);
    if (end == value || *end || errno == ERANGE || n < 0 || n > 1000) {
        snprintf(error, errorSize, "--max-fps: \"%s\" is not a whole number from 0 (no cap) to 1000", value);
        return false;
    }
    args->maxFps = (double)n;
    return true;
}

unsigned long localParseWindowId(const char* text);

bool localOptWindowId(FXSaverArgs* args, const char* value, char* error, int errorSize) {
    args->mode = fxModeDisplay;
    args->displayWindow = localParseWindowId(value);
    if (!args->displayWindow) {
        snprintf(error, errorSize, "--window-id: \"%s\" is not a window id", value);
        return false;
    }
    return true;
}

// Options that display modes are given and this saver has no use for.
bool localOptIgnored(FXSaverArgs* args, const char*, char*, int) {
    (void)args;
    return true;
}

bool localOptHelp(FXSaverArgs* args, const char*, char*, int) {
    args->mode = fxModeHelp;
    return true;
}

const FXSaverOption localOptions[] = {
    {"window", FXSaverOption::optional, localOptWindow,
     "--window[=WxH]  run in an ordinary window (1280x720)"},
    {"help", FXSaverOption::none, localOptHelp, "--help          show this text"},
    {"max-fps", FXSaverOption::required, localOptMaxFps,
     "--max-fps N     at most N frames a second where the display does not pace them (60;\n"
     "                  0: as many as the machine can draw)"},
    {"fullscreen", FXSaverOption::none,
     [](FXSaverArgs* a, const char*, char*, int) { return (a->mode = fxModeFullScreen), true; },
     "--fullscreen    full screen, as /s (to go with --desktop)"},
    {"desktop", FXSaverOption::required,
     [](FXSaverArgs* a, const char* v, char*, int) { return (a->stills.desktop = v), true; },
     "--desktop FILE  show this picture in place of the desktop"},
    {"render-at", FXSaverOption::required,
     [](FXSaverArgs* a, const char* v, char*, int) {
         a->mode = fxModeStills;
         return (a->stills.renderAt = v), true;
     },
     "--render-at T1[,T2...] --size WxH [--desktop FILE] [--seed N] [--data DIR] [--step S] --output OUT\n"
     "                  write the frames shown T1, T2... seconds after the start as PNG files\n"
     "                  (OUT holds %d where the time goes, else the time is added to the name);\n"
     "                  the same command gives the same pictures, --seed N other firefly paths"},
    {"size", FXSaverOption::required,
     [](FXSaverArgs* a, const char* v, char*, int) { return (a->stills.size = v), true; }, nullptr},
    {"seed", FXSaverOption::required,
     [](FXSaverArgs* a, const char* v, char*, int) { return (a->stills.seed = v), true; }, nullptr},
    {"data", FXSaverOption::required,
     [](FXSaverArgs* a, const char* v, char*, int) { return (a->stills.data = v), true; }, nullptr},
    {"step", FXSaverOption::required,
     [](FXSaverArgs* a, const char* v, char*, int) { return (a->stills.step = v), true; }, nullptr},
    {"output", FXSaverOption::required,
     [](FXSaverArgs* a, const char* v, char*, int) { return (a->stills.output = v), true; }, nullptr},
    {"root", FXSaverOption::none,
     [](FXSaverArgs* a, const char*, char*, int) {
         a->mode = fxModeDisplay;
         a->displayWindow = 0;
         return true;
     },
     "-root           as an xscreensaver display mode: draw into the window it names in\n"
     "                  XSCREENSAVER_WINDOW, else into the root window",
     true},
    {"window-id", FXSaverOption::required, localOptWindowId,
     "-window-id ID   as a display mode: draw into that window (decimal or 0x hex)", true},
    {"fps", FXSaverOption::none, [](FXSaverArgs* a, const char*, char*, int) { return (a->showFps = true), true; },
     "-fps            show the frame rate and the frame time", true},
    {"install", FXSaverOption::none, localOptIgnored, nullptr, true},
    {"visual", FXSaverOption::required, localOptIgnored, nullptr, true},
    {"delay", FXSaverOption::required, localOptIgnored, nullptr, true},
};

// The display-mode option `arg` names ("-root", "--window-id=5", ...), or null.
const FXSaverOption* localDisplayOption(const char* arg, const char** value) {
    if (arg[0] != '-') return nullptr;
    const char* name = arg[1] == '-' ? arg + 2 : arg + 1;
    const char* eq = strchr(name, '=');
    size_t len = eq ? (size_t)(eq - name) : strlen(name);
    for (const FXSaverOption& o : localOptions)
        if (o.display && strlen(o.name) == len && strncmp(o.name, name, len) == 0) {
            *value = eq ? eq + 1 : nullptr;
            return &o;
        }
    return nullptr;
}

// Applies one option with its value, which may be the next word; `i` moves past what was used.
bool localApply(const FXSaverOption* opt, const char* value, int argc, char** argv, int* i, bool anyNext,
                FXSaverArgs* args, char* error, int errorSize) {
    if (!value && opt->value != FXSaverOption::none && *i + 1 < argc &&
        (anyNext || strncmp(argv[*i + 1], "--", 2) != 0)) {
        // An optional value only takes the next word when nothing else could.
        int w, h;
        if (opt->value == FXSaverOption::required || localParseSize(argv[*i + 1], &w, &h)) value = argv[++*i];
    }
    if (value && opt->value == FXSaverOption::none) {
        snprintf(error, errorSize, "--%s takes no value", opt->name);
        return false;
    }
    if (!value && opt->value == FXSaverOption::required) {
        snprintf(error, errorSize, "--%s needs a value", opt->name);
        return false;
    }
    if (opt->apply == localOptIgnored) {
        if (!args->ignored.empty()) args->ignored += ' ';
        args->ignored += std::string("--") + opt->name + (value ? std::string(" ") + value : "");
    }
    return opt->apply(args, value, error, errorSize);
}

void localUsage(FILE* f) {
    fprintf(f, "usage: mhollow [/s | /p <window id> | /c | --option ...]\n"
               "  /s              full screen, ends on input\n"
               "  /p <window id>  draw into a child of the given X window\n"
               "  /c              tell how to configure the data directory\n"
               "Options with one dash are also taken with two, and the other way round for the\n"
               "display-mode options.\n");
    for (const FXSaverOption& o : localOptions)
        if (o.help) fprintf(f, "  %s\n", o.help);
}

// The number after the preview letter: the rest of its argument, else the next argument.
unsigned long localParseWindowId(const char* text) {
    while (*text == ':' || *text == ' ' || *text == '=')
        text++;
    if (!*text || *text == '-' || *text == '+') return 0;
    // Decimal, or hexadecimal after 0x; a leading zero does not make it octal.
    bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    unsigned long id = strtoul(text, &end, hex ? 16 : 10);
    return end && *end == 0 && errno == 0 ? id : 0;
}

} // namespace

bool fxParseSaverArgs(int argc, char** argv, FXSaverArgs* args, char* error, int errorSize) {
    *args = FXSaverArgs();
    error[0] = 0;
    bool ours = false;
    const char* value;
    for (int i = 1; i < argc; i++)
        if (strncmp(argv[i], "--", 2) == 0 && !localDisplayOption(argv[i], &value)) ours = true;
    if (ours) {
        for (int i = 1; i < argc; i++) {
            const char* arg = argv[i];
            const FXSaverOption* opt = localDisplayOption(arg, &value);
            if (!opt && strncmp(arg, "--", 2) != 0) {
                snprintf(error, errorSize, "unexpected argument \"%s\"", arg);
                return false;
            }
            if (!opt) {
                const char* name = arg + 2;
                const char* eq = strchr(name, '=');
                size_t len = eq ? (size_t)(eq - name) : strlen(name);
                for (const FXSaverOption& o : localOptions)
                    if (strlen(o.name) == len && strncmp(o.name, name, len) == 0) opt = &o;
                if (!opt) {
                    snprintf(error, errorSize, "unknown option \"%s\"", arg);
                    return false;
                }
                value = eq ? eq + 1 : nullptr;
            }
            FXSaverMode before = args->mode;
            if (!localApply(opt, value, argc, argv, &i, false, args, error, errorSize)) return false;
            if (before == fxModeDisplay && args->mode != fxModeDisplay) {
                snprintf(error, errorSize, "--%s cannot be combined with --root or --window-id", opt->name);
                return false;
            }
        }
        const FXStillsArgs& st = args->stills;
        bool stillsOnly = st.size || st.seed || st.data || st.step || st.output;
        if (st.renderAt && args->mode != fxModeStills) {
            snprintf(error, errorSize, "--render-at cannot be combined with --%s",
                     args->mode == fxModeWindow       ? "window"
                     : args->mode == fxModeFullScreen ? "fullscreen"
                     : args->mode == fxModeDisplay    ? "root or --window-id"
                                                      : "help");
            return false;
        }
        if (stillsOnly && !st.renderAt) {
            snprintf(error, errorSize, "--size, --seed, --data, --step and --output belong to --render-at");
            return false;
        }
        return true;
    }
    // The display-mode options first, as whole words: "-visual" holds an s, "-delay" an a.
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; i++) {
        const FXSaverOption* opt = localDisplayOption(argv[i], &value);
        if (!opt) {
            rest.push_back(argv[i]);
            continue;
        }
        if (!localApply(opt, value, argc, argv, &i, true, args, error, errorSize)) return false;
    }
    if (args->mode == fxModeDisplay) {
        // Whatever else is there means nothing to a display mode.
        for (size_t i = 1; i < rest.size(); i++) {
            if (!args->ignored.empty()) args->ignored += ' ';
            args->ignored += rest[i];
        }
        return true;
    }
    argc = (int)rest.size();
    argv = rest.data();
    for (int i = 1; i < argc; i++) {
        for (const char* p = argv[i]; *p; p++) {
            switch (*p) {
            case 's':
            case 'S':
                args->mode = fxModeFullScreen;
                return true;
            case 'p':
            case 'P':
                args->mode = fxModePreview;
                args->previewParent = localParseWindowId(p + 1);
                if (!args->previewParent && !p[1] && i + 1 < argc)
                    args->previewParent = localParseWindowId(argv[i + 1]);
                return true;
            case 'c':
            case 'C':
                args->mode = fxModeConfigure;
                return true;
            case 'a':
            case 'A':
                args->mode = fxModePassword;
                return true;
            default:
                break;
            }
        }
    }
    args->mode = fxModeConfigure;
    return true;
}

// ---- The saver window and its event loop --------------------------------------------------

namespace {

Cursor localBlankCursor(Display* dpy, Window w) {
    static const char bits[1] = {0};
    Pixmap pix = XCreateBitmapFromData(dpy, w, bits, 1, 1);
    XColor black;
    memset(&black, 0, sizeof(black));
    Cursor c = XCreatePixmapCursor(dpy, pix, pix, &black, &black, 0, 0);
    XFreePixmap(dpy, pix);
    return c;
}

// Delivers one X event as window messages.
void localDispatch(HWND hwnd, XEvent* ev, Atom deleteAtom, std::set<unsigned>* keysDown) {
    Display* dpy = (Display*)hwnd->display;
    switch (ev->type) {
    case KeyPress: {
        keysDown->insert(ev->xkey.keycode);
        bool alt = (ev->xkey.state & Mod1Mask) != 0;
        KeySym sym = 0;
        char text[16];
        int n = XLookupString(&ev->xkey, text, sizeof(text), &sym, nullptr);
        ScreenSaverProc(hwnd, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, (WPARAM)sym, 0);
        for (int i = 0; i < n && !hwnd->destroyed; i++)
            ScreenSaverProc(hwnd, alt ? WM_SYSCHAR : WM_CHAR, (WPARAM)(unsigned char)text[i], 0);
        break;
    }
    case KeyRelease:
        // A key pressed before the saver started (the one that launched it) is not input.
        if (!keysDown->erase(ev->xkey.keycode)) break;
        ScreenSaverProc(hwnd, (ev->xkey.state & Mod1Mask) ? WM_SYSKEYUP : WM_KEYUP, 0, 0);
        break;
    case ButtonPress: {
        unsigned m = 0;
        if (ev->xbutton.button == Button1) m = WM_LBUTTONDOWN;
        if (ev->xbutton.button == Button2) m = WM_MBUTTONDOWN;
        if (ev->xbutton.button == Button3) m = WM_RBUTTONDOWN;
        if (m) ScreenSaverProc(hwnd, m, 0, fxMakePointParam(ev->xbutton.x_root, ev->xbutton.y_root));
        break;
    }
    case MotionNotify:
        ScreenSaverProc(hwnd, WM_MOUSEMOVE, 0, fxMakePointParam(ev->xmotion.x_root, ev->xmotion.y_root));
        break;
    case FocusIn:
    case FocusOut:
        // The saver's own grabs and focus moves inside its windows change nothing; a focus
        // taken by another client counts, also while the saver holds the keyboard.
        if (ev->xfocus.mode == NotifyGrab || ev->xfocus.mode == NotifyUngrab ||
            ev->xfocus.detail == NotifyInferior || ev->xfocus.detail == NotifyPointer)
            break;
        ScreenSaverProc(hwnd, WM_ACTIVATE, ev->type == FocusIn ? 1 : 0, 0);
        break;
    case Expose:
        if (ev->xexpose.count != 0) break;
        ScreenSaverProc(hwnd, WM_ERASEBKGND, 0, 0);
        if (!hwnd->destroyed) ScreenSaverProc(hwnd, WM_PAINT, 0, 0);
        break;
    case DestroyNotify:
        // Removed from outside (a preview's parent went away): run the destroy path.
        if (ev->xdestroywindow.window == hwnd->id) {
            hwnd->id = 0;
            DestroyWindow(hwnd);
        }
        break;
    case VisibilityNotify:
        // Full screen stays on top of whatever another client maps later.
        if (ev->xvisibility.state != VisibilityUnobscured) XRaiseWindow(dpy, hwnd->id);
        break;
    case ClientMessage:
        if ((Atom)ev->xclient.data.l[0] == deleteAtom) DestroyWindow(hwnd);
        break;
    default:
        break;
    }
}

void localRunLoop(HWND hwnd, Atom deleteAtom) {
    Display* dpy = (Display*)hwnd->display;
    std::set<unsigned> keysDown;
    int xfd = ConnectionNumber(dpy);
    while (!localQuit) {
        fxHostDeliverPosted();
        if (localQuit) break;
        if (localSignalled) {
            DestroyWindow(hwnd);
            break;
        }
        if (XPending(dpy) > 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            localDispatch(hwnd, &ev, deleteAtom, &keysDown);
            continue;
        }
        struct pollfd fds[2] = {{xfd, POLLIN, 0}, {localSignalPipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            char buf[16];
            while (read(localSignalPipe[0], buf, sizeof(buf)) > 0) {
            }
        }
    }
}

// The device's context on the saver window: a GLX child window filling it.
FXGLBinding* localCreateBinding(void* window) {
    HWND hwnd = (HWND)window;
    if (!hwnd || !hwnd->display || !hwnd->id) return nullptr;
    return fxCreateGLBindingX11(hwnd->display, hwnd->id);
}

int localRunHost(const FXSaverArgs& args) {
    XInitThreads();
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        fprintf(stderr, "mhollow: cannot open the X display \"%s\"\n", XDisplayName(nullptr));
        return 1;
    }
    XSetErrorHandler(localXErrorHandler);
    XSetIOErrorHandler(localXIOErrorHandler);
    int screen = DefaultScreen(dpy);
    Window root = RootWindow(dpy, screen);
    FXHostWindow saver;
    saver.display = dpy;
    Atom deleteAtom = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    Cursor blank = 0;
    XSetWindowAttributes wa;
    memset(&wa, 0, sizeof(wa));
    wa.background_pixel = BlackPixel(dpy, screen);

    if (args.mode == fxModePreview) {
        XWindowAttributes pa;
        int before = localXErrors;
        if (!args.previewParent || !XGetWindowAttributes(dpy, args.previewParent, &pa) ||
            localXErrors != before) {
            // Not a window: nothing happens.
            XCloseDisplay(dpy);
            return 0;
        }
        fChildPreview = 1;
        wa.event_mask = ExposureMask | StructureNotifyMask;
        saver.id = XCreateWindow(dpy, args.previewParent, 0, 0, pa.width > 0 ? pa.width : 1,
                                 pa.height > 0 ? pa.height : 1, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWBackPixel | CWEventMask, &wa);
        XSync(dpy, False);
        if (localXErrors != before) {
            // The window went away meanwhile: nothing happens either.
            XCloseDisplay(dpy);
            return 0;
        }
    } else if (args.mode == fxModeDisplay) {
        // The window the daemon made for the mode (or the one named), else the root window. It
        // stays the daemon's: no input is taken from it, and it is never destroyed by us.
        Window target = args.displayWindow;
        if (!target) {
            const char* env = getenv("XSCREENSAVER_WINDOW");
            target = env && *env ? localParseWindowId(env) : 0;
            if (env && *env && !target)
                fprintf(stderr, "mhollow: XSCREENSAVER_WINDOW \"%s\" is not a window id; using the root window\n",
                        env);
            if (!target) target = root;
        }
        XWindowAttributes ta;
        int before = localXErrors;
        if (!XGetWindowAttributes(dpy, target, &ta) || localXErrors != before) {
            fprintf(stderr, "mhollow: there is no window 0x%lx to draw into\n", target);
            XCloseDisplay(dpy);
            return 1;
        }
        localForeign = true;
        XSelectInput(dpy, target, StructureNotifyMask);
        XSync(dpy, False);
        saver.id = target;
        sceneDesktopWindow = target;
    } else if (args.mode == fxModeFullScreen) {
        wa.override_redirect = True;
        wa.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | PointerMotionMask |
                        FocusChangeMask | ExposureMask | StructureNotifyMask | VisibilityChangeMask;
        saver.id = XCreateWindow(dpy, root, 0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen), 0,
                                 CopyFromParent, InputOutput, CopyFromParent,
                                 CWBackPixel | CWEventMask | CWOverrideRedirect, &wa);
        blank = localBlankCursor(dpy, saver.id);
        XDefineCursor(dpy, saver.id, blank);
        XStoreName(dpy, saver.id, "SCREENSAVER");
        Window r, c;
        int x = 0, y = 0, wx, wy;
        unsigned mask;
        XQueryPointer(dpy, root, &r, &c, &x, &y, &wx, &wy, &mask);
        fxHostWatchInput(x, y);
    } else {
        wa.event_mask = KeyPressMask | KeyReleaseMask | ExposureMask | StructureNotifyMask;
        saver.id = XCreateWindow(dpy, root, 0, 0, args.windowWidth, args.windowHeight, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &wa);
        XStoreName(dpy, saver.id, "Mirehollow");
        XSetWMProtocols(dpy, saver.id, &deleteAtom, 1);
        XSizeHints* hints = XAllocSizeHints();
        if (hints) {
            hints->flags = PMinSize | PMaxSize;
            hints->min_width = hints->max_width = args.windowWidth;
            hints->min_height = hints->max_height = args.windowHeight;
            XSetWMNormalHints(dpy, saver.id, hints);
            XFree(hints);
        }
    }
    XSync(dpy, False);
    if (!saver.id) {
        fprintf(stderr, "mhollow: cannot create the saver window\n");
        XCloseDisplay(dpy);
        return 1;
    }
    hMainWindow = &saver;

    if (ScreenSaverProc(&saver, WM_CREATE, 0, 0) == -1) {
        // Creation refused: the window never shows and the process ends.
        if (!localForeign) XDestroyWindow(dpy, saver.id);
        XCloseDisplay(dpy);
        hMainWindow = nullptr;
        return saverRegistered ? 0 : 1;
    }
    if (args.mode == fxModeFullScreen) {
        XMapRaised(dpy, saver.id);
        XSync(dpy, False);
        // Take all input; the window manager or another client may hold a grab for a moment.
        for (int i = 0; i < 20; i++) {
            if (XGrabKeyboard(dpy, saver.id, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess)
                break;
            usleep(50000);
        }
        XGrabPointer(dpy, saver.id, True, ButtonPressMask | PointerMotionMask, GrabModeAsync, GrabModeAsync,
                     None, blank, CurrentTime);
        XSetInputFocus(dpy, saver.id, RevertToParent, CurrentTime);
    } else if (!localForeign) {
        XMapWindow(dpy, saver.id);
    }
    if (!args.ignored.empty()) trc("options ignored: %s\n", args.ignored.c_str());
    XFlush(dpy);

    localRunLoop(&saver, deleteAtom);
    if (!saver.destroyed) DestroyWindow(&saver);
    if (blank) XFreeCursor(dpy, blank);
    hMainWindow = nullptr;
    XCloseDisplay(dpy);
    return 0;
}

} // namespace

int fxSaverMain(int argc, char** argv) {
    localCommandLine.clear();
    for (int i = 0; i < argc; i++) {
        if (i) localCommandLine += ' ';
        localCommandLine += argv[i];
    }
    FXSaverArgs args;
    char error[256];
    if (!fxParseSaverArgs(argc, argv, &args, error, sizeof(error))) {
        fprintf(stderr, "mhollow: %s\n", error);
        localUsage(stderr);
        return 2;
    }
    switch (args.mode) {
    case fxModeHelp:
        localUsage(stdout);
        return 0;
    case fxModeConfigure: {
        char file[1024];
        if (!fxGetConfigFile(scrRegName, file, sizeof(file)))
            snprintf(file, sizeof(file), "~/.config/vesk3d/Screensavers/Mirehollow.conf");
        printf("Mirehollow has no settings dialog; to choose its data directory put a line path=<directory> "
               "in %s\n",
               file);
        return 0;
    }
    case fxModePassword:
        return 0;
    case fxModeStills:
        return fxStillsMain(args.stills);
    default:
        break;
    }
    sceneDesktopFile = args.stills.desktop;
    gr.childBindingFactory = localCreateBinding;
    gr.maxFps = args.maxFps;
    sceneShowFps = args.showFps;
    if (!localInstallSignals()) {
        fprintf(stderr, "mhollow: cannot set up signal handling\n");
        return 1;
    }
    return localRunHost(args);
}
