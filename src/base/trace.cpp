// The trace log itself; the thread id and how an error reaches the user are the platform
// files' part.
#include "base/trace.h"

#include "render/other.h"

#include <cstdarg>
#include <cstring>
#include <mutex>

std::atomic<bool> trcOn{false};
FILE* trcFile = nullptr;
void* trcMutex = nullptr;
char trcThreadStr[1024];
int trcThreadStrSize = 0;
char trcTimeStr[1024];
int trcTimeStrSize = 0;
char trcTrcText[4097];
int trcTrcTextSize = 0;
char trcDynamicError[4097];

namespace {

const char kRule[] = "------------------------------------------------\n";
const int kTextLimit = 4096;

// errmsg formats into the shared trcDynamicError whether the log is open or not.
std::mutex localErrorLock;

// vsnprintf reports the length the text would have had: clamp it to what was written.
int localFormat(char* buf, const char* fmt, va_list args) {
    int n = fmt ? vsnprintf(buf, kTextLimit + 1, fmt, args) : 0;
    if (n < 0) n = 0;
    if (n > kTextLimit) n = kTextLimit;
    buf[n] = 0;
    return n;
}

void localPrefixes() {
    trcThreadStrSize =
        snprintf(trcThreadStr, sizeof(trcThreadStr), "%08x: ", fxTraceThreadId());
    trcTimeStrSize = snprintf(trcTimeStr, sizeof(trcTimeStr), "[%.3f] ", static_cast<float>(fxGetTime()));
}

enum localKind { localTrace, localBare, localError };

void localTrc(localKind kind, const char* fmt, va_list args) {
    if (!trcOn.load() || !trcMutex) return;
    fxLock(trcMutex);
    if (trcOn.load()) {
        if (kind != localBare) localPrefixes();
        trcTrcTextSize = localFormat(trcTrcText, fmt, args);
        if (trcFile) {
            if (kind == localError) fprintf(trcFile, "#ERROR: ");
            if (kind != localBare) {
                fwrite(trcThreadStr, 1, trcThreadStrSize, trcFile);
                fwrite(trcTimeStr, 1, trcTimeStrSize, trcFile);
            }
            fwrite(trcTrcText, 1, trcTrcTextSize, trcFile);
            fflush(trcFile);
        }
    }
    fxUnlock(trcMutex);
}

} // namespace

bool fxTracesOpened() {
    return trcOn.load();
}

bool fxOpenTraces(const char* filename) {
    if (trcOn.load()) {
        fxLock(trcMutex);
        if (trcFile) {
            fputs(kRule, trcFile);
            fputs("fxOpenTraces - attempt to open another traces\n", trcFile);
            fprintf(trcFile, "               (filename:%s)\n", filename ? filename : "");
            fprintf(trcFile, "%s\n", kRule);
            fflush(trcFile);
        }
        fxUnlock(trcMutex);
        return false;
    }
    if (!filename || !*filename) return false;
    // The mutex is made once and kept for the life of the process: a thread that has just
    // seen the log open may still be about to take it while another closes the log.
    if (!trcMutex) trcMutex = fxCreateMutex();
    if (!trcMutex) return false;
    FILE* f = fopen(filename, "wt");
    if (!f) return false;
    fxLock(trcMutex);
    trcFile = f;
    fputs(kRule, trcFile);
    fprintf(trcFile, " fxOpenTraces (filename:%s)\n", filename);
    fprintf(trcFile, "%s\n", kRule);
    fflush(trcFile);
    trcOn.store(true);
    fxUnlock(trcMutex);
    return true;
}

void fxCloseTraces() {
    if (!trcOn.load()) return;
    fxLock(trcMutex);
    if (trcOn.load()) {
        trcOn.store(false);
        fxCloseTracesFile();
    }
    fxUnlock(trcMutex);
}

void fxCloseTracesFile() {
    if (!trcFile) return;
    fputs("\n", trcFile);
    fputs(kRule, trcFile);
    fputs(" end of traces\n", trcFile);
    fprintf(trcFile, "%s\n", kRule);
    fclose(trcFile);
    trcFile = nullptr;
}

void trc(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    localTrc(localTrace, fmt, args);
    va_end(args);
}

void trc1(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    localTrc(localBare, fmt, args);
    va_end(args);
}

void err(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    localTrc(localError, fmt, args);
    va_end(args);
}

int errmsg(const char* fmt, ...) {
    std::lock_guard<std::mutex> guard(localErrorLock);
    bool formatted = false;
    if (trcOn.load()) {
        void* mutex = trcMutex;
        fxLock(mutex);
        if (trcOn.load()) {
            va_list args;
            va_start(args, fmt);
            int n = localFormat(trcDynamicError, fmt, args);
            va_end(args);
            formatted = true;
            localPrefixes();
            if (trcFile) {
                fprintf(trcFile, "#ERROR: ");
                fwrite(trcThreadStr, 1, trcThreadStrSize, trcFile);
                fwrite(trcTimeStr, 1, trcTimeStrSize, trcFile);
                fwrite(trcDynamicError, 1, n, trcFile);
                fflush(trcFile);
            }
            fxShowMessageBox("Error", trcDynamicError);
        }
        fxUnlock(mutex);
    }
    if (!formatted) {
        va_list args;
        va_start(args, fmt);
        localFormat(trcDynamicError, fmt, args);
        va_end(args);
        fxShowMessageBox("Error", trcDynamicError);
    }
    return 1;
}
