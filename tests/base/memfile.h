#pragma once
// A C stdio stream in memory: one that collects what is written, or one that
// reads given bytes.

#include <cstdio>
#include <cstdlib>
#include <vector>

struct MemFile {
    char* buf = nullptr;
    size_t size = 0;
    FILE* f = nullptr;
    std::vector<unsigned char> data;
    unsigned char dummy[1] = {0};

    MemFile() { f = open_memstream(&buf, &size); }
    explicit MemFile(const std::vector<unsigned char>& bytes) : data(bytes) {
        f = fmemopen(data.empty() ? dummy : data.data(), data.size(), "rb");
    }
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;
    ~MemFile() {
        if (f) fclose(f);
        free(buf);
    }
    // What has been written so far.
    std::vector<unsigned char> Bytes() {
        fflush(f);
        return std::vector<unsigned char>(buf, buf + size);
    }
};
