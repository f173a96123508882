#include "base/trace.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

unsigned fxTraceThreadId() {
    return static_cast<unsigned>(GetCurrentThreadId());
}

void fxShowError(const char* text) {
    // Automated runs set MH_NO_MESSAGE_BOX: a box nobody closes would hold the saver forever.
    const char* quiet = getenv("MH_NO_MESSAGE_BOX");
    if (quiet && *quiet && *quiet != '0') {
        fprintf(stderr, "Error: %s", text);
        trc("message box not shown (MH_NO_MESSAGE_BOX is set)\n");
        return;
    }
    MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR);
}
