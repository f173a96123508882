// The configuration on Linux: a small "name=value" file per key under the user's
// configuration directory, and the trace log's fallback in the user's state directory.
#include "shell/config.h"
#include "shell/config_posix.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/paths.h"

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

bool fxReadConfigValue(const char* key, const char* name, char* value, int size) {
    char file[1024];
    if (!name || !value || size < 1 || !fxGetConfigFile(key, file, sizeof(file))) return false;
    FILE* f = fopen(file, "r");
    if (!f) return false;
    size_t nameLen = strlen(name);
    bool found = false;
    char line[2048];
    while (fgets(line, sizeof(line), f)) {
        size_t n = strlen(line);
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r'))
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
        if (strlen(p) >= (size_t)size) {
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

// Making this program the desktop's screen saver belongs to the desktop integration, which
// this build does not have.
bool fxInstallSaver(HWND, const char*) {
    fprintf(stderr, "mhollow: registering as the desktop's screen saver is not available on this system\n");
    return false;
}
