// The saver's configuration and the platform services around it: the configured data
// directory, where the trace log goes, and installing the saver as the desktop's saver.
#ifndef MH_SHELL_CONFIG_H
#define MH_SHELL_CONFIG_H

#include "shell/host.h"

// Reads the text value `name` stored under `key` ("Software\\vesk3d\\Screensavers\\Mirehollow")
// into `value`; false, with `value` unchanged, when there is none or it does not fit.
bool fxReadConfigValue(const char* key, const char* name, char* value, int size);

// The file the trace log `name` is written to: `name` in the data directory, or in a directory
// of the user's own when the data directory is not writable.
const char* fxLogFile(const char* dataDir, const char* name);

// Asks the desktop to make the module `scrFile` its screen saver; false when it cannot.
bool fxInstallSaver(HWND window, const char* scrFile);

#endif
