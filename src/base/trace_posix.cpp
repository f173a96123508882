#include "base/trace.h"

#include <cstdio>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

unsigned fxTraceThreadId() {
    return static_cast<unsigned>(syscall(SYS_gettid));
}

void fxShowMessageBox(const char* caption, const char* text) {
    // Standard error in place of a message box.
    size_t len = strlen(text);
    fprintf(stderr, "%s: %s%s", caption, text, (len && text[len - 1] == '\n') ? "" : "\n");
}
