// The vocabulary between the saver and its screen-saver host: window handles, messages and
// the few host calls the saver's rules use. On Windows these are the system's own names, from
// the system headers and its screen-saver library; elsewhere this header defines the same
// names and a host of ours (main_x11.cpp) implements them.
#ifndef MH_SHELL_HOST_H
#define MH_SHELL_HOST_H

#ifdef _WIN32

#include <windows.h>

#include <scrnsave.h>

#else

#include <stdint.h>

// The host's window record; the saver only passes the handle on.
struct FXHostWindow;
typedef FXHostWindow* HWND;
typedef void* HANDLE;
typedef unsigned int UINT;
typedef int BOOL;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

#define WINAPI
#define TRUE 1
#define FALSE 0

// Window messages, numbered as on Windows.
enum : UINT {
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

// The saver's side, called by the host.
LRESULT WINAPI ScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI ScreenSaverConfigureDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI RegisterDialogClasses(HANDLE instance);

// The host's side.
LRESULT WINAPI DefScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Runs WM_DESTROY, then removes the window; the host's event loop ends with it.
BOOL DestroyWindow(HWND window);
// Queues a message for the window; the event loop delivers it before it waits again.
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Marks the window as painted; `rect` null means all of it.
BOOL ValidateRect(HWND window, const void* rect);
// The whole command line, arguments separated by spaces.
const char* GetCommandLineA();

extern BOOL fChildPreview; // 1 when the saver window is a preview's child
extern HWND hMainWindow;

#endif

#endif
