// The configuration on Windows: a value under HKEY_CURRENT_USER, the trace log's fallback
// in the user's local application data, and the shell's install verb for the saver.
#include "shell/config.h"

#include <shellapi.h>
#include <shlobj.h>

#include <stdio.h>
#include <string.h>

#include "base/paths.h"

bool fxReadConfigValue(const char* key, const char* name, char* value, int size) {
    if (!key || !name || !value || size < 1) return false;
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
    // Read into a buffer of our own: a value that does not fit, is not text or is not
    // terminated must never leave `value` half written or unterminated.
    char buf[1024];
    DWORD type = 0, bytes = sizeof(buf) - 1;
    LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &bytes);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    buf[bytes] = 0;
    size_t n = strlen(buf);
    if (n >= static_cast<size_t>(size)) return false;
    memcpy(value, buf, n + 1);
    return true;
}

const char* fxLogFile(const char* dataDir, const char* name) {
    static char path[MAX_PATH + 64];
    if (dataDir && *dataDir && fxIsWritableDir(dataDir)) return name;
    char dir[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, dir))) return name;
    char sub[MAX_PATH + 16];
    if (snprintf(sub, sizeof(sub), "%s\\Mirehollow", dir) >= static_cast<int>(sizeof(sub)) || !fxMakeDirs(sub))
        return name;
    if (snprintf(path, sizeof(path), "%s\\%s", sub, name) >= static_cast<int>(sizeof(path))) return name;
    return path;
}

bool fxInstallSaver(HWND window, const char* scrFile) {
    if (!scrFile || !*scrFile) return false;
    char path[MAX_PATH + 32];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_SYSTEMX86, nullptr, SHGFP_TYPE_CURRENT, path))) return false;
    size_t n = strlen(path);
    if (snprintf(path + n, sizeof(path) - n, "\\%s", scrFile) >= static_cast<int>(sizeof(path) - n)) return false;
    HINSTANCE rc = ShellExecuteA(window, "install", path, nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(rc) > 32;
}
