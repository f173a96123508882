// The saver as a display mode of the real xscreensaver daemon: registered in the user's
// settings by the saver itself, started by the daemon on activation, ended on deactivation.
// xscreensaver refuses to run modes as root, so the test runs it as a user of its own, made
// for the test and removed afterwards, on an X server of its own.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "render/other.h"
#include "support/endtoend.h"
#include "support/xserver.h"

namespace {

using mhtest::ReadFile;
using mhtest::WaitFor;

// Live processes of a user (zombies have ended), with the program each one runs.
std::vector<std::pair<pid_t, std::string>> ProcessesOf(uid_t uid) {
    std::vector<std::pair<pid_t, std::string>> found;
    DIR* d = opendir("/proc");
    if (!d) return found;
    while (dirent* e = readdir(d)) {
        pid_t pid = (pid_t)atoi(e->d_name);
        if (pid <= 0) continue;
        std::string dir = std::string("/proc/") + e->d_name;
        struct stat st;
        if (stat(dir.c_str(), &st) != 0 || st.st_uid != uid) continue;
        std::string stat = ReadFile(dir + "/stat");
        size_t paren = stat.rfind(')');
        if (paren == std::string::npos || paren + 2 >= stat.size() || stat[paren + 2] == 'Z') continue;
        char exe[4096];
        ssize_t n = readlink((dir + "/exe").c_str(), exe, sizeof(exe) - 1);
        found.push_back({pid, n > 0 ? std::string(exe, (size_t)n) : std::string()});
    }
    closedir(d);
    return found;
}

class XScreenSaverTest : public testing::Test {
  protected:
    XServer xserver;
    std::string user, home, saverExe;
    uid_t uid = 0;
    gid_t gid = 0;
    pid_t daemon = -1;
    Display* dpy = nullptr;

    void SetUp() override {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "a minute of the daemon in the plain build is enough";
#endif
        if (geteuid() != 0) GTEST_SKIP() << "making a user for the daemon needs root";
        if (system("command -v xscreensaver xscreensaver-command useradd userdel >/dev/null") != 0)
            GTEST_SKIP() << "xscreensaver or the user tools are missing";
        saverExe = std::string(MH_BINARY_DIR) + "/mhollow";
        ASSERT_EQ(access(saverExe.c_str(), X_OK), 0) << saverExe;
        const char* t = getenv("MH_TEST_TMP");
        home = std::string(t ? t : "/tmp/mh_xscreensaver_test") + "/home";
        ASSERT_EQ(system(("rm -rf '" + home + "' && mkdir -p '" + home + "'").c_str()), 0);
        user = "mhxs" + std::to_string(getpid());
        std::string add = "useradd -M -d '" + home + "' -s /bin/sh " + user + " >/dev/null 2>&1";
        ASSERT_EQ(system(add.c_str()), 0) << add;
        struct passwd* pw = getpwnam(user.c_str());
        ASSERT_NE(pw, nullptr);
        uid = pw->pw_uid;
        gid = pw->pw_gid;
        ASSERT_EQ(chown(home.c_str(), uid, gid), 0);
        ASSERT_TRUE(xserver.Start(640, 480)) << "Xvfb did not start";
        dpy = XOpenDisplay(xserver.display.c_str());
        ASSERT_NE(dpy, nullptr);
    }

    void TearDown() override {
        if (daemon > 0) {
            kill(daemon, SIGTERM);
            WaitFor([&] { return waitpid(daemon, nullptr, WNOHANG) == daemon; }, 10);
        }
        // Whatever the user still runs goes, each process by its id; then the user.
        if (uid) {
            for (int round = 0; round < 20 && !ProcessesOf(uid).empty(); round++) {
                for (auto& p : ProcessesOf(uid))
                    kill(p.first, round < 10 ? SIGTERM : SIGKILL);
                usleep(200000);
            }
            EXPECT_TRUE(ProcessesOf(uid).empty()) << "processes of the test user are left";
        }
        if (daemon > 0) waitpid(daemon, nullptr, WNOHANG);
        if (!user.empty()) {
            EXPECT_EQ(system(("userdel " + user + " >/dev/null 2>&1").c_str()), 0);
        }
        if (dpy) XCloseDisplay(dpy);
    }

    // Runs a program as the test user; its output goes to `log` in the home directory.
    pid_t RunAsUser(std::vector<std::string> args, const std::string& log) {
        std::vector<std::string> env = {"HOME=" + home,
                                        "USER=" + user,
                                        "LOGNAME=" + user,
                                        "DISPLAY=" + xserver.display,
                                        "PATH=/usr/bin:/bin",
                                        "LIBGL_ALWAYS_SOFTWARE=1"};
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back((char*)a.c_str());
        argv.push_back(nullptr);
        for (auto& e : env)
            envp.push_back((char*)e.c_str());
        envp.push_back(nullptr);
        std::string out = home + "/" + log;
        pid_t pid = fork();
        if (pid == 0) {
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
            }
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(126);
            if (chdir(home.c_str()) != 0) _exit(126);
            execvpe(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        return pid;
    }

    int RunAsUserAndWait(std::vector<std::string> args, const std::string& log) {
        pid_t pid = RunAsUser(args, log);
        int status = 0;
        if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int Command(const std::string& what) {
        std::string cmd = "DISPLAY=" + xserver.display + " xscreensaver-command " + what + " >/dev/null 2>&1";
        return system(cmd.c_str());
    }

    // The saver processes the daemon started.
    std::vector<pid_t> Modes() {
        std::vector<pid_t> pids;
        for (auto& p : ProcessesOf(uid))
            if (p.second == saverExe) pids.push_back(p.first);
        return pids;
    }

    // The screen on a grid of 32 x 24 points, as 0xRRGGBB, through a connection of its own;
    // the whole screen is also kept as a picture (screen.ppm) for a failure's report.
    std::vector<unsigned long> Screen() {
        std::vector<unsigned long> points;
        Display* d = XOpenDisplay(xserver.display.c_str());
        if (!d) return points;
        XImage* img = XGetImage(d, DefaultRootWindow(d), 0, 0, 640, 480, AllPlanes, ZPixmap);
        if (img) {
            for (int y = 10; y < 480; y += 20)
                for (int x = 10; x < 640; x += 20)
                    points.push_back(XGetPixel(img, x, y) & 0xFFFFFF);
            if (FILE* f = fopen((home + "/../screen.ppm").c_str(), "wb")) {
                fprintf(f, "P6 640 480 255\n");
                for (int y = 0; y < 480; y++)
                    for (int x = 0; x < 640; x++) {
                        unsigned long p = XGetPixel(img, x, y);
                        unsigned char rgb[3] = {(unsigned char)(p >> 16), (unsigned char)(p >> 8), (unsigned char)p};
                        fwrite(rgb, 1, 3, f);
                    }
                fclose(f);
            }
            XDestroyImage(img);
        }
        XCloseDisplay(d);
        return points;
    }
};

// The desktop's colour, orange, at any brightness the darkening gives it; nothing in the night
// woodland is orange.
const unsigned long kDesktop = 0xE07010;
bool IsDesktop(unsigned long p) {
    int r = (int)(p >> 16), g = (int)((p >> 8) & 0xFF), b = (int)(p & 0xFF);
    return r >= 40 && 2 * r > 3 * g + 10 && r > 3 * b + 5;
}


int Count(const std::vector<unsigned long>& points, bool (*pred)(unsigned long)) {
    int n = 0;
    for (unsigned long p : points)
        n += pred(p);
    return n;
}

TEST_F(XScreenSaverTest, RunsAsADisplayModeOverTheSavedDesktop) {
    // The desktop: one known colour.
    Window root = DefaultRootWindow(dpy);
    XSetWindowBackground(dpy, root, kDesktop);
    XClearWindow(dpy, root);
    XSync(dpy, False);

    // Settings as xscreensaver-settings writes them, with two modes; the saver adds itself on
    // top of the list, and "one" mode runs the first.
    std::string prefs = home + "/.xscreensaver";
    std::ofstream(prefs) << "# XScreenSaver Preferences File\n"
                            "timeout:\t0:30:00\n"
                            "lock:\t\tFalse\n"
                            "fade:\t\tFalse\n"
                            "unfade:\t\tFalse\n"
                            "splash:\t\tFalse\n"
                            "dpmsEnabled:\tFalse\n"
                            "mode:\t\tone\n"
                            "selected:\t0\n\n"
                            "programs:\t\t\t\t\t\t\t\t      \\\n"
                            "\t\t\t\tmaze -root\t\t\t\t    \\n\\\n"
                            "  GL: \t\t\t\tsuperquadrics -root\t\t\t    \\n\\\n"
                            "\n\npointerPollTime:\t0:00:05\n";
    ASSERT_EQ(chown(prefs.c_str(), uid, gid), 0);
    ASSERT_EQ(RunAsUserAndWait({saverExe, "register_scrsaver"}, "register.txt"), 0)
        << ReadFile(home + "/register.txt");
    EXPECT_NE(ReadFile(prefs).find("GL: \t\t\t\t" + saverExe + " -root"), std::string::npos) << ReadFile(prefs);

    daemon = RunAsUser({"xscreensaver", "-no-splash", "-verbose"}, "xscreensaver.txt");
    ASSERT_GT(daemon, 0);
    ASSERT_TRUE(WaitFor([&] { return Command("-time") == 0; }, 60)) << ReadFile(home + "/xscreensaver.txt");
    ASSERT_EQ(Command("-activate"), 0);

    std::vector<pid_t> modes;
    ASSERT_TRUE(WaitFor([&] { return !(modes = Modes()).empty(); }, 60))
        << "the daemon did not start the saver\n"
        << ReadFile(home + "/xscreensaver.txt");
    EXPECT_EQ(modes.size(), 1u);

    // The scene's clock starts with its first frame, which a busy machine may take long to
    // build: wait for the daemon's black window to show something. That first frame is the
    // desktop the daemon saved (the darkening starts from it), not its black window.
    std::vector<unsigned long> shot;
    ASSERT_TRUE(WaitFor(
        [&] {
            shot = Screen();
            return Count(shot, [](unsigned long p) { return (p & 0xF0F0F0) != 0; }) > (int)shot.size() / 2;
        },
        180))
        << "nothing shows";
    double firstFrame = fxGetTime();
    EXPECT_GT(Count(shot, IsDesktop), (int)shot.size() / 2) << "the first frames do not show the desktop";

    // Forty seconds in, the woodland has replaced the desktop. The woodland's pictures decode
    // after the first frame, and a frame that needs one waits for it: on a busy machine (the
    // daemon runs its modes at a lowered priority) the frame after forty seconds may come much
    // later, so the screen is watched until that frame is there.
    while (fxGetTime() - firstFrame < 40)
        usleep(500000);
    std::set<unsigned long> colours;
    bool woodland = WaitFor(
        [&] {
            shot = Screen();
            colours = std::set<unsigned long>(shot.begin(), shot.end());
            return Count(shot, IsDesktop) < (int)shot.size() / 20 && colours.size() > 40u;
        },
        180);
    printf("the woodland showed %.1f s after the first frame\n", fxGetTime() - firstFrame);
    ASSERT_FALSE(Modes().empty()) << "the saver ended on its own";
    EXPECT_TRUE(woodland) << "the desktop still shows (" << Count(shot, IsDesktop) << " of " << shot.size()
                          << " points), or the screen is nearly uniform, not a woodland (" << colours.size()
                          << " colours, 0x" << std::hex << (shot.empty() ? 0 : shot[0]) << ")";

    // Deactivation ends the saver at once, and nothing of it is left. It comes once the woodland
    // runs (its next frame differs: the stars twinkle), not during the first frame that drew it,
    // which on a busy machine builds the renderer's code for every layer.
    std::vector<unsigned long> woodlandShot = shot;
    EXPECT_TRUE(WaitFor([&] { return Screen() != woodlandShot; }, 120)) << "the woodland does not move";
    double asked = fxGetTime();
    ASSERT_EQ(Command("-deactivate"), 0);
    // Generous for a busy machine; an idle one takes well under two seconds.
    EXPECT_TRUE(WaitFor([&] { return Modes().empty(); }, 30)) << "the saver does not end";
    double took = fxGetTime() - asked;
    RecordProperty("deactivation_seconds", std::to_string(took));
    printf("the saver ended %.2f s after the deactivation\n", took);
    std::string log = ReadFile(home + "/.local/state/mirehollow/mhollow.log");
    EXPECT_NE(log.find("saved picture"), std::string::npos) << log;
}

} // namespace
