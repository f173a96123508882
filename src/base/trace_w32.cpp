#include "base/trace.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

unsigned fxTraceThreadId() {
    return static_cast<unsigned>(GetCurrentThreadId());
}

void fxShowMessageBox(const char* caption, const char* text) {
    // Automated runs set MH_NO_MESSAGE_BOX: a box nobody closes would hold the saver forever.
    const char* quiet = getenv("MH_NO_MESSAGE_BOX");
    if (quiet && *quiet && *quiet != '0') {
        size_t len = strlen(text);
        fprintf(stderr, "%s: %s%s", caption, text, (len && text[len - 1] == '\n') ? "" : "\n");
        trc("message box not shown (MH_NO_MESSAGE_BOX is set)\n");
        return;
    }
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
}
