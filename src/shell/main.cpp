// The saver's window procedure: it reads the configuration and builds the scene when the
// window is created, releases it when the window is destroyed, and decides which input and
// close requests end the saver.
#include "shell/main.h"

#include <stdio.h>
#include <string.h>

#include "base/paths.h"
#include "render/other.h"
#include "shell/config.h"
#include "shell/scene.h"

bool escapeHit = false;
bool started = false;
double startTime = 0;
bool isPreview = false;
char veskPath[520] = {0};
const char* logsFile = "mhollow.log";
const char* scrFile = "mhollow.scr";
const char* scrRegName = "Software\\vesk3d\\Screensavers\\Mirehollow";
bool saverRegistered = false;
double (*fxSaverClock)() = fxGetTime;

// The data directory: the configured value "path", else the directory the build or the
// installation put the package in.
static void localReadConfig() {
    fxReadConfigValue(scrRegName, "path", veskPath, sizeof(veskPath));
    if (veskPath[0]) return;
    snprintf(veskPath, sizeof(veskPath), "%s", fxDefaultDataDir());
}

static void localRegister(HWND window) {
    saverRegistered = fxInstallSaver(window, scrFile);
}

bool fxSaverMayClose(double now) {
    return fChildPreview != 0 || escapeHit || (started && now - startTime > 4.0);
}

LRESULT WINAPI ScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (strstr(GetCommandLineA(), "register_scrsaver")) {
            localRegister(window);
            return -1;
        }
        localReadConfig();
        logsFile = fxLogFile(veskPath, "mhollow.log");
        InitScene(window, fChildPreview == 1);
        startTime = fxSaverClock();
        started = true;
        return 0;
    case WM_DESTROY:
        DestroyScene();
        return 0;
    case WM_PAINT:
        // Nothing is painted here: the render loop owns the window's pixels.
        ValidateRect(window, nullptr);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_CLOSE:
        if (fxSaverMayClose(fxSaverClock())) DestroyWindow(window);
        return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
        escapeHit = true;
        DestroyWindow(window);
        return DefScreenSaverProc(window, message, wParam, lParam);
    default:
        return DefScreenSaverProc(window, message, wParam, lParam);
    }
}

BOOL WINAPI ScreenSaverConfigureDialog(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

BOOL WINAPI RegisterDialogClasses(HANDLE) {
    return TRUE;
}
