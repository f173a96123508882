// The configuration on Linux: a small "name=value" file per key under the user's
// configuration directory, and the trace log's fallback in the user's state directory.
#include "shell/config.h"
#include "shell/config_posix.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/paths.h"
#include "shell/register_posix.h"

bool fxGetConfigFile(const char* key, char* path, int size) {
    if (!key || !path || size < 1) return false;
    std::string rel = key;
    if (rel.compare(0, 9, "Software\\") == 0) rel.erase(0, 9);
    for (char& c : rel)
        if (c == '\\') c = '/';
    const char* base = getenv("XDG_CONFIG_HOME");
    int n;
    if (base && *base) {
        n = snprintf(path, size, "%s/%s.conf", base, rel.c_str());
    } else {
        const char* home = getenv("HOME");
        if (!home || !*home) return false;
        n = snprintf(path, size, "%s/.config/%s.conf", home, rel.c_str());
    }
    return n > 0 && n < size;
}

// Reads one line without its end into `line`; false at the end of the file. A line longer
// than the buffer is read to its end all the same (its rest is not a line of its own) and
// marked as cut.
static bool localReadLine(FILE* f, char* line, size_t size, bool* cut) {
    size_t n = 0;
    bool any = false;
    int c;
    *cut = false;
    while ((c = getc(f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (n + 1 < size)
            line[n++] = (char)c;
        else
            *cut = true;
    }
    line[n] = 0;
    return any;
}

bool fxReadConfigValue(const char* key, const char* name, char* value, int size) {
    char file[1024];
    if (!name || !value || size < 1 || !fxGetConfigFile(key, file, sizeof(file))) return false;
    FILE* f = fopen(file, "r");
    if (!f) return false;
    size_t nameLen = strlen(name);
    bool found = false;
    char line[2048];
    bool cut;
    while (localReadLine(f, line, sizeof(line), &cut)) {
        size_t n = strlen(line);
        while (n > 0 && line[n - 1] == '\r')
            line[--n] = 0;
        const char* p = line;
        while (*p == ' ' || *p == '\t')
            p++;
        if (strncmp(p, name, nameLen) != 0) continue;
        p += nameLen;
        while (*p == ' ' || *p == '\t')
            p++;
        if (*p != '=') continue;
        p++;
        while (*p == ' ' || *p == '\t')
            p++;
        if (cut || strlen(p) >= (size_t)size) {
            fprintf(stderr, "mhollow: the value of %s in %s is too long; ignored\n", name, file);
            break;
        }
        strcpy(value, p);
        found = true;
        break;
    }
    fclose(f);
    return found;
}

const char* fxLogFile(const char* dataDir, const char* name) {
    static char path[600];
    if (dataDir && *dataDir && fxIsWritableDir(dataDir)) return name;
    char dir[560];
    const char* state = getenv("XDG_STATE_HOME");
    const char* home = getenv("HOME");
    if (state && *state)
        snprintf(dir, sizeof(dir), "%s/mirehollow", state);
    else if (home && *home)
        snprintf(dir, sizeof(dir), "%s/.local/state/mirehollow", home);
    else
        return name;
    if (!fxMakeDirs(dir)) return name;
    if (snprintf(path, sizeof(path), "%s/%s", dir, name) >= (int)sizeof(path)) return name;
    return path;
}

// Makes this program one of the user's xscreensaver display modes. Installed in
// xscreensaver's own directory of modes it goes by its name there, else by its full path.
bool fxInstallSaver(HWND, const char*) {
    const char* home = getenv("HOME");
    char exe[4096];
    if (!home || !*home || !fxGetProgramFile(exe, sizeof(exe))) {
        fprintf(stderr, "mhollow: cannot tell the home directory or this program's path\n");
        return false;
    }
    std::string command = strcmp(exe, "/usr/libexec/xscreensaver/mirehollow") == 0 ? "mirehollow" : exe;
    command += " -root";
    std::string file = std::string(home) + "/.xscreensaver";
    char message[1024];
    FXRegisterResult r = fxAddXScreenSaverMode(file.c_str(), command.c_str(), message, sizeof(message));
    bool ok = r == fxRegisterAdded || r == fxRegisterPresent;
    fprintf(ok ? stdout : stderr, "mhollow: %s\n", message);
    return ok;
}
