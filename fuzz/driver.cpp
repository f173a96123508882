// Runs a fuzz target over the files it is given (directories are walked, sorted), once
// each: how the suite replays corpora and regression inputs without a fuzzing engine.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void localCollect(const std::string& path, std::vector<std::string>* files) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        files->push_back(path);
        return;
    }
    DIR* d = opendir(path.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names)
        localCollect(path + "/" + n, files);
}

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++)
        localCollect(argv[i], &files);
    for (const std::string& f : files) {
        FILE* in = fopen(f.c_str(), "rb");
        if (!in) {
            fprintf(stderr, "replay: cannot open %s\n", f.c_str());
            return 1;
        }
        std::vector<uint8_t> bytes;
        uint8_t buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), in)) > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        fclose(in);
        fprintf(stderr, "replay: %s (%zu bytes)\n", f.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    printf("replay: %zu inputs\n", files.size());
    // A replay that found nothing to run would pass without testing anything.
    return files.empty() ? 1 : 0;
}
