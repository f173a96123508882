// Where the configuration lives on Linux, for messages and tests.
#ifndef MH_SHELL_CONFIG_POSIX_H
#define MH_SHELL_CONFIG_POSIX_H

// The file that holds the values of `key`: the key without its "Software\\" part, backslashes
// as slashes, ".conf" added, under ${XDG_CONFIG_HOME:-~/.config}. False when it does not fit.
bool fxGetConfigFile(const char* key, char* path, int size);

#endif
