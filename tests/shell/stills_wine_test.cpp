// The Windows module's stills against this build's: the same times, size, seed and package,
// drawn by the same software renderer (through WGL under Wine, through EGL here), must give the
// same pictures. The module writes its stills with the system's own PNG encoder; they are read
// back here with the image library, so the encoder is checked on the way. Built by the Linux
// build and run by the Windows build's tests, which give it the module, the Wine prefix and the
// package (MH_WINE_* variables).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "assets/canvas.h"
#include "shell/stills.h"
#include "support/skip.h"

namespace {

std::string Env(const char* name) {
    const char* v = getenv(name);
    return v ? v : "";
}

int RunWine(const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int st = 0;
    if (pid <= 0 || waitpid(pid, &st, 0) != pid) return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

typedef std::map<double, std::vector<unsigned char>> Frames;

void Keep(void* user, double t, const unsigned char* rgba, int w, int h) {
    (*static_cast<Frames*>(user))[t].assign(rgba, rgba + (size_t)w * h * 4);
}

const int kWidth = 640, kHeight = 480;

TEST(StillsWine, TheWindowsModuleDrawsTheSameStillsAsThisBuild) {
    std::string module = Env("MH_WINE_MODULE"), wineRun = Env("MH_WINE_RUN"), prefix = Env("MH_WINEPREFIX");
    std::string package = Env("MH_WINE_PACKAGE");
    if (module.empty() || access(module.c_str(), R_OK) != 0 || access(package.c_str(), R_OK) != 0 ||
        Env("DISPLAY").empty())
        MH_SKIP_OUTSIDE_CI("no Windows module, package or X server for the stills comparison");
    std::string dataDir = package.substr(0, package.find_last_of('/'));
    std::string tmp = Env("MH_TEST_TMP").empty() ? "/tmp/mh_wine_stills_test" : Env("MH_TEST_TMP");
    ASSERT_EQ(0, system(("rm -rf '" + tmp + "' && mkdir -p '" + tmp + "'").c_str()));

    // Wine shows the Linux file system as drive Z:.
    setenv("MH_NO_MESSAGE_BOX", "1", 1);
    ASSERT_EQ(0, RunWine({"bash", wineRun, prefix, module, "--render-at", "5,20,45", "--size", "640x480",
                          "--seed", "7", "--data", "Z:" + dataDir, "--output", "Z:" + tmp + "/still-%d.png"}));

    FXStillsJob job;
    job.times = {5, 20, 45};
    job.width = kWidth;
    job.height = kHeight;
    job.seeded = true;
    job.seed = 7;
    job.dataDir = dataDir;
    Frames here;
    ASSERT_EQ(0, fxRenderStills(job, Keep, &here));

    ASSERT_TRUE(fxLoadDevil());
    for (double t : job.times) {
        SCOPED_TRACE(testing::Message() << "still at " << t << " s");
        FXCanvas windows;
        ASSERT_TRUE(windows.CreateFromPict(fxStillName(tmp + "/still-%d.png", t).c_str()));
        ASSERT_EQ(kWidth, windows.GetWidth());
        ASSERT_EQ(kHeight, windows.GetHeight());
        const std::vector<unsigned char>& mine = here[t];
        int worst = 0, off = 0;
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++) {
                uint32_t p = windows.pixmap.pixels[x + (size_t)y * windows.pixmap.stride];
                const unsigned char* q = &mine[((size_t)y * kWidth + x) * 4];
                int d = 0;
                for (int c = 0; c < 3; c++)
                    d = std::max(d, abs((int)((p >> (8 * c)) & 0xFF) - q[c]));
                worst = std::max(worst, d);
                off += d > 0;
            }
        // Same renderer, same arithmetic: the stills are expected to be equal. A pixel or two
        // may come out of a rounding step differently, nothing more.
        printf("still at %g s: %d pixels differ, by at most %d\n", t, off, worst);
        EXPECT_LE(off, kWidth * kHeight / 1000);
    }
    fxUnloadDevil();
    // And the stills show the scene moving on: at 5 s the desktop is still bright, at 45 s
    // the woodland has covered it (two failures that both give black frames would agree).
    int changed = 0;
    for (size_t i = 0; i < here[5].size(); i += 4)
        changed += abs(here[5][i] - here[45][i]) > 8;
    EXPECT_GT(changed, kWidth * kHeight / 3);
}

} // namespace
