#pragma once
// A C stdio stream for tests: one that collects what is written, or one that reads given
// bytes. An anonymous temporary file, so that it behaves alike on every C library.

#include <cstdio>
#include <vector>

struct MemFile {
    FILE* f = nullptr;

    MemFile() { f = tmpfile(); }
    explicit MemFile(const std::vector<unsigned char>& bytes) {
        f = tmpfile();
        if (f && !bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
        if (f) rewind(f);
    }
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;
    ~MemFile() {
        if (f) fclose(f);
    }
    // What has been written so far; the stream stays where it was.
    std::vector<unsigned char> Bytes() {
        std::vector<unsigned char> out;
        if (!f) return out;
        fflush(f);
        long pos = ftell(f);
        fseek(f, 0, SEEK_END);
        long n = ftell(f);
        if (n > 0) {
            out.resize(static_cast<size_t>(n));
            fseek(f, 0, SEEK_SET);
            out.resize(fread(out.data(), 1, out.size(), f));
        }
        fseek(f, pos, SEEK_SET);
        return out;
    }
};
