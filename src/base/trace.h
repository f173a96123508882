#pragma once
// The process-wide trace log: progress lines, bare text and error lines, each
// flushed at once, plus error reports that are also shown to the user.

#include "base/strings.h"

#include <atomic>
#include <cstdio>

extern std::atomic<bool> trcOn;
extern FILE* trcFile;
extern void* trcMutex;
extern char trcThreadStr[1024];
extern int trcThreadStrSize;
extern char trcTimeStr[1024];
extern int trcTimeStrSize;
extern char trcTrcText[4097];
extern int trcTrcTextSize;
extern char trcDynamicError[4097];

bool fxTracesOpened();
bool fxOpenTraces(const char* filename);
void fxCloseTraces();
void fxCloseTracesFile();

// "<thread>: [<seconds>] <message>"; callers end their messages with a line feed.
void trc(const char* fmt, ...) FX_PRINTF(1, 2);
// The message alone.
void trc1(const char* fmt, ...) FX_PRINTF(1, 2);
// "#ERROR: " and then a trace line.
void err(const char* fmt, ...) FX_PRINTF(1, 2);
// Logs like err when the log is open and always shows the text to the user (a message box
// captioned "Error" on Windows, standard error elsewhere).
int errmsg(const char* fmt, ...) FX_PRINTF(1, 2);

// Platform part: the calling thread's identifier as the log shows it, and showing a text to
// the user: a message box with an OK button, or "<caption>: <text>" on standard error where
// there is none.
unsigned fxTraceThreadId();
void fxShowMessageBox(const char* caption, const char* text);
