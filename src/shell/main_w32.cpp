// The screen-saver host on Windows: the saver window of class "WindowsScreenSaverClass", the
// message loop, the cursor and the close requests that input posts; every decision about
// ending is ScreenSaverProc's (shell/main.cpp).
#include "shell/main_w32.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/trace.h"
#include "render/gl_w32.h"
#include "shell/scene.h"

extern "C" {
HINSTANCE hMainInstance = nullptr;
HWND hMainWindow = nullptr;
BOOL fChildPreview = FALSE;
}

namespace {

const char kClassName[] = "WindowsScreenSaverClass";
const int kIconId = 101;

bool localFullScreen = false;
POINT localStartCursor = {0, 0}; // where the cursor was when the window was made

bool localCursorMoved() {
    POINT p;
    return GetCursorPos(&p) && (p.x != localStartCursor.x || p.y != localStartCursor.y);
}

LRESULT CALLBACK localHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        hMainWindow = window;
        GetCursorPos(&localStartCursor);
        break;
    case WM_DESTROY:
        // The loop ends once the scene is released.
        PostQuitMessage(0);
        break;
    default:
        break;
    }
    return ScreenSaverProc(window, message, wParam, lParam);
}

FXGLBinding* localCreateBinding(void* window) {
    return fxCreateGLBindingW32(static_cast<HWND>(window));
}

bool localRegisterClass() {
    WNDCLASSA wc = {};
    // A device context of its own: the render loop draws into it from its thread.
    wc.style = CS_OWNDC | CS_DBLCLKS;
    wc.lpfnWndProc = localHostProc;
    wc.hInstance = hMainInstance;
    wc.hIcon = LoadIconA(hMainInstance, MAKEINTRESOURCEA(kIconId));
    wc.hCursor = nullptr;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    return RegisterClassA(&wc) != 0;
}

int localRunLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

int localRunFullScreen() {
    localFullScreen = true;
    if (!localRegisterClass()) return 1;
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    // Creation fails on purpose when the command line asked for registration only.
    HWND window = CreateWindowExA(WS_EX_TOPMOST, kClassName, "SCREENSAVER", WS_POPUP, 0, 0, w, h, nullptr,
                                  nullptr, hMainInstance, nullptr);
    if (!window) return 0;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return localRunLoop();
}

int localRunPreview(HWND parent) {
    if (!parent || !IsWindow(parent)) return 0;
    fChildPreview = TRUE;
    if (!localRegisterClass()) return 1;
    RECT r = {};
    GetClientRect(parent, &r);
    HWND window = CreateWindowExA(0, kClassName, "Preview", WS_CHILD | WS_VISIBLE, 0, 0, r.right - r.left,
                                  r.bottom - r.top, parent, nullptr, hMainInstance, nullptr);
    if (!window) return 0;
    return localRunLoop();
}

void localUsage(FILE* f) {
    fprintf(f, "usage: mhollow.scr [/s | /p <window> | /c | --render-at T1[,T2...] --output OUT ...]\n"
               "  /s              full screen, ends on input\n"
               "  /p <window>     draw into a child of the given window (a preview)\n"
               "  /c              no settings: the registry value \"path\" under\n"
               "                  HKEY_CURRENT_USER\\Software\\vesk3d\\Screensavers\\Mirehollow names the data folder\n"
               "  --render-at T1[,T2...] [--size WxH] [--desktop FILE] [--seed N] [--data DIR] [--step S]\n"
               "                  --output OUT   write the frames shown at those seconds as PNG files\n"
               "  --desktop FILE  with /s: show this picture in place of the desktop\n");
}

// "--name=value" or "--name value"; false when `arg` is not that option.
bool localOption(const char* name, int argc, char** argv, int* i, const char** value, bool* missing) {
    const char* arg = argv[*i];
    size_t n = strlen(name);
    if (strncmp(arg, "--", 2) != 0 || strncmp(arg + 2, name, n) != 0) return false;
    const char* rest = arg + 2 + n;
    if (*rest == '=') {
        *value = rest + 1;
        return true;
    }
    if (*rest) return false;
    if (*i + 1 >= argc) {
        *missing = true;
        return true;
    }
    *value = argv[++*i];
    return true;
}

} // namespace

bool fxParseSaverArgsW32(int argc, char** argv, FXW32Args* args, char* error, int errorSize) {
    *args = FXW32Args();
    error[0] = 0;
    bool options = false;
    for (int i = 1; i < argc; i++)
        if (strncmp(argv[i], "--", 2) == 0) options = true;
    if (options) {
        struct {
            const char* name;
            const char** field;
        } table[] = {{"render-at", &args->stills.renderAt}, {"size", &args->stills.size},
                     {"desktop", &args->stills.desktop},    {"seed", &args->stills.seed},
                     {"data", &args->stills.data},          {"step", &args->stills.step},
                     {"output", &args->stills.output}};
        bool saver = false;
        for (int i = 1; i < argc; i++) {
            if (strcmp(argv[i], "--help") == 0) {
                args->mode = fxW32Help;
                return true;
            }
            // A mode letter may stand beside --desktop: "/s --desktop picture.png".
            if (argv[i][0] == '/' || (argv[i][0] == '-' && argv[i][1] != '-')) {
                saver = true;
                continue;
            }
            bool found = false, missing = false;
            for (auto& t : table) {
                const char* value = nullptr;
                if (!localOption(t.name, argc, argv, &i, &value, &missing)) continue;
                if (missing) {
                    snprintf(error, errorSize, "--%s needs a value", t.name);
                    return false;
                }
                *t.field = value;
                found = true;
                break;
            }
            if (!found) {
                snprintf(error, errorSize, "unknown option \"%s\"", argv[i]);
                return false;
            }
        }
        const FXStillsArgs& st = args->stills;
        if (st.renderAt) {
            if (saver) {
                snprintf(error, errorSize, "--render-at cannot be combined with a mode letter");
                return false;
            }
            args->mode = fxW32Stills;
            return true;
        }
        if (st.size || st.seed || st.data || st.step || st.output) {
            snprintf(error, errorSize, "--size, --seed, --data, --step and --output belong to --render-at");
            return false;
        }
        if (!saver) {
            snprintf(error, errorSize, "--desktop goes with /s");
            return false;
        }
    }
    for (int i = 1; i < argc; i++) {
        if (strncmp(argv[i], "--", 2) == 0) {
            // Skip the option's value when it is the next word.
            if (!strchr(argv[i], '=')) i++;
            continue;
        }
        for (const char* p = argv[i]; *p; p++) {
            switch (*p) {
            case 's':
            case 'S':
                args->mode = fxW32FullScreen;
                return true;
            case 'p':
            case 'P': {
                args->mode = fxW32Preview;
                const char* num = p + 1;
                while (*num == ':' || *num == ' ' || *num == '=')
                    num++;
                if (!*num && i + 1 < argc) num = argv[i + 1];
                char* end = nullptr;
                unsigned long long id = strtoull(num, &end, 10);
                args->previewParent = (end != num && *end == 0) ? id : 0;
                return true;
            }
            case 'c':
            case 'C':
                args->mode = fxW32Configure;
                return true;
            case 'a':
            case 'A':
                args->mode = fxW32Password;
                return true;
            default:
                break;
            }
        }
    }
    args->mode = fxW32Configure;
    return true;
}

LRESULT WINAPI DefScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!fChildPreview && localFullScreen) {
        switch (message) {
        case WM_SETCURSOR:
            SetCursor(nullptr);
            return TRUE;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            PostMessageA(window, WM_CLOSE, 0, 0);
            break;
        case WM_MOUSEMOVE:
            // The recorded position stays: after a dropped close request every further
            // movement asks again.
            if (localCursorMoved()) PostMessageA(window, WM_CLOSE, 0, 0);
            break;
        case WM_ACTIVATE:
        case WM_ACTIVATEAPP:
        case WM_NCACTIVATE:
            if (LOWORD(wParam) == 0 && localCursorMoved()) PostMessageA(window, WM_CLOSE, 0, 0);
            break;
        case WM_SYSCOMMAND:
            // No second saver over this one, and no closing through the system menu.
            if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_CLOSE) return FALSE;
            break;
        default:
            break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int fxSaverMain(int argc, char** argv) {
    hMainInstance = GetModuleHandleA(nullptr);
    FXW32Args args;
    char error[256];
    if (!fxParseSaverArgsW32(argc, argv, &args, error, sizeof(error))) {
        fprintf(stderr, "mhollow: %s\n", error);
        localUsage(stderr);
        return 2;
    }
    switch (args.mode) {
    case fxW32Help:
        localUsage(stdout);
        return 0;
    case fxW32Stills:
        return fxStillsMain(args.stills);
    case fxW32FullScreen:
        sceneDesktopFile = args.stills.desktop;
        gr.childBindingFactory = localCreateBinding;
        return localRunFullScreen();
    case fxW32Preview:
        gr.childBindingFactory = localCreateBinding;
        return localRunPreview(reinterpret_cast<HWND>(static_cast<uintptr_t>(args.previewParent)));
    case fxW32Configure:
    case fxW32Password:
    default:
        return 0;
    }
}
