#include "shell/register_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

bool localReadAll(const char* path, std::string* text, int* error) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        *error = errno;
        return false;
    }
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        text->append(buf, n);
    bool ok = !ferror(f);
    *error = ok ? 0 : EIO;
    fclose(f);
    return ok;
}

std::string localBaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The program names of the entries of a "programs:" value. An entry may be disabled ("-"),
// carry a visual ("GL:") and be followed by its arguments.
std::vector<std::string> localPrograms(const std::string& block) {
    std::string value;
    for (size_t i = 0; i < block.size(); i++) {
        if (block[i] == '\\' && i + 1 < block.size() && block[i + 1] == '\n') {
            i++;
            continue;
        }
        if (block[i] == '\\' && i + 1 < block.size() && block[i + 1] == 'n') {
            value += '\n';
            i++;
            continue;
        }
        value += block[i];
    }
    std::vector<std::string> names;
    size_t start = value.find(':') + 1; // past "programs:"
    while (start < value.size()) {
        size_t end = value.find('\n', start);
        if (end == std::string::npos) end = value.size();
        std::string entry = value.substr(start, end - start);
        start = end + 1;
        // A disabled entry starts with "-".
        size_t p = entry.find_first_not_of(" \t-");
        std::vector<std::string> words;
        while (p != std::string::npos && p < entry.size()) {
            size_t q = entry.find_first_of(" \t", p);
            if (q == std::string::npos) q = entry.size();
            words.push_back(entry.substr(p, q - p));
            p = entry.find_first_not_of(" \t", q);
        }
        size_t w = !words.empty() && words[0].back() == ':' ? 1 : 0;
        if (w < words.size()) names.push_back(localBaseName(words[w]));
    }
    return names;
}

} // namespace

FXRegisterResult fxAddXScreenSaverMode(const char* file, const char* command, char* message, int size) {
    std::string text;
    int error = 0;
    if (!localReadAll(file, &text, &error)) {
        if (error == ENOENT) {
            snprintf(message, size,
                     "%s does not exist. Open xscreensaver-settings once (it writes that file with the list "
                     "of display modes), then run this again.",
                     file);
            return fxRegisterNoSettings;
        }
        snprintf(message, size, "cannot read %s: %s", file, strerror(error));
        return fxRegisterFailed;
    }
    // The line that starts the list: a line, not a continuation of another value, that begins
    // with "programs:".
    size_t at = std::string::npos;
    bool continued = false;
    for (size_t line = 0; line < text.size();) {
        size_t end = text.find('\n', line);
        if (end == std::string::npos) end = text.size();
        if (!continued) {
            size_t p = line;
            while (p < end && (text[p] == ' ' || text[p] == '\t'))
                p++;
            if (text.compare(p, 9, "programs:") == 0) {
                at = p;
                break;
            }
        }
        continued = end > line && text[end - 1] == '\\';
        line = end + 1;
    }
    if (at == std::string::npos) {
        snprintf(message, size,
                 "%s has no list of display modes. Open xscreensaver-settings once (it writes the list), then "
                 "run this again.",
                 file);
        return fxRegisterNoSettings;
    }
    size_t blockEnd = at;
    for (;;) {
        size_t end = text.find('\n', blockEnd);
        if (end == std::string::npos) {
            blockEnd = text.size();
            break;
        }
        blockEnd = end + 1;
        if (end == 0 || text[end - 1] != '\\') break;
    }
    std::string program = command;
    program = localBaseName(program.substr(0, program.find(' ')));
    for (const std::string& name : localPrograms(text.substr(at, blockEnd - at))) {
        if (name == program) {
            snprintf(message, size, "%s already lists %s; nothing changed.", file, program.c_str());
            return fxRegisterPresent;
        }
    }

    // "programs:", its blanks, then either the continuation mark alone or a first entry.
    size_t lineEnd = text.find('\n', at);
    if (lineEnd == std::string::npos) lineEnd = text.size();
    size_t value = at + 9;
    while (value < lineEnd && (text[value] == ' ' || text[value] == '\t'))
        value++;
    std::string rest = text.substr(value, lineEnd - value);
    std::string entry = std::string("  GL: \t\t\t\t") + command + "\t\t\t\t\t    \\n";
    std::string out = text.substr(0, value) + "\\\n";
    if (rest == "\\")
        out += entry + "\\\n";
    else if (rest.empty())
        out += entry + "\n";
    else
        out += entry + "\\\n\t\t\t\t" + rest + (lineEnd < text.size() ? "\n" : "");
    if (lineEnd < text.size()) out += text.substr(lineEnd + 1);

    // Written beside the file (following a link to it) and renamed over it, with its mode.
    char real[4096];
    std::string target = realpath(file, real) ? real : file;
    struct stat st;
    mode_t mode = stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    std::string tmp = target + ".mirehollow-" + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < out.size()) {
        ssize_t n = write(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += (size_t)n;
    }
    if (ok) ok = fchmod(fd, mode) == 0 && fsync(fd) == 0;
    if (fd >= 0 && close(fd) != 0) ok = false;
    if (ok) ok = rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        snprintf(message, size, "cannot write %s: %s", target.c_str(), strerror(errno));
        unlink(tmp.c_str());
        return fxRegisterFailed;
    }
    snprintf(message, size, "added \"%s\" to the display modes in %s; pick Mirehollow in xscreensaver-settings.",
             command, file);
    return fxRegisterAdded;
}
