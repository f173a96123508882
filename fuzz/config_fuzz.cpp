// The configuration file: "name = value" lines under the user's configuration directory.
// A value found must be the value of a whole line of the file that names it, and must fit
// the buffer; a value not found leaves the buffer as it was.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "shell/config.h"
#include "shell/config_posix.h"
#include "support.h"

namespace {

const char* kKey = "Software\\vesk3d\\Screensavers\\Mirehollow";

// True when some line of `text`, up to a zero byte, without its line end and leading
// blanks, is `name`, blanks, "=", blanks and then exactly `value`.
bool IsLineValue(const std::string& text, const char* name, const char* value) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        line.resize(strnlen(line.c_str(), line.size()));
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t p = line.find_first_not_of(" \t");
        if (p == std::string::npos || line.compare(p, strlen(name), name) != 0) continue;
        p = line.find_first_not_of(" \t", p + strlen(name));
        if (p == std::string::npos || line[p] != '=') continue;
        p = line.find_first_not_of(" \t", p + 1);
        if (line.substr(p == std::string::npos ? line.size() : p) == value) return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string file;
    if (file.empty()) {
        std::string home = mhfuzz::ScratchDir("config");
        mhfuzz::ScratchDir("config/vesk3d");
        mhfuzz::ScratchDir("config/vesk3d/Screensavers");
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        char path[1024];
        mhfuzz::Expect(fxGetConfigFile(kKey, path, sizeof path), "no configuration file name");
        file = path;
    }
    FILE* f = fopen(file.c_str(), "wb");
    mhfuzz::Expect(f != nullptr, "cannot write the configuration file");
    fwrite(data, 1, size, f);
    fclose(f);
    std::string text(reinterpret_cast<const char*>(data), size);

    for (int bufSize : {520, 9, 1}) {
        for (const char* name : {"path", "p", ""}) {
            char value[520];
            memset(value, 0x5a, sizeof value);
            bool found = fxReadConfigValue(kKey, name, value, bufSize);
            if (!found) {
                for (char c : value)
                    mhfuzz::Expect(c == 0x5a, "a value not found changed the buffer");
                continue;
            }
            mhfuzz::Expect(memchr(value, 0, (size_t)bufSize) != nullptr, "a value does not fit its buffer");
            for (int i = bufSize; i < (int)sizeof value; i++)
                mhfuzz::Expect(value[i] == 0x5a, "a value was written past its buffer");
            mhfuzz::Expect(IsLineValue(text, name, value), "a value found is not the value of a line naming it");
        }
    }
    return 0;
}
