// The saver program run for real on an X server of its own: a test fixture that starts it,
// drives it and waits for it to end.
#pragma once

#include <gtest/gtest.h>

#include "support/skip.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "render/other.h"
#include "support/endtoend.h"
#include "support/xserver.h"

extern char** environ;

namespace {

using mhtest::ReadFile;
using mhtest::WaitFor;

bool FileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// A private X server: the full-screen saver grabs the keyboard and covers the screen, which
// must not disturb tests that share the default display.
class SaverTest : public testing::Test {
  protected:
    static inline XServer* xserver = nullptr;
    static inline std::string display;
    static inline std::string tmp;
    Display* dpy = nullptr;
    pid_t saver = -1;
    std::string home, data, out, errFile;

    static void SetUpTestSuite() {
        const char* t = getenv("MH_TEST_TMP");
        tmp = std::string(t ? t : "/tmp/mh_saver_test") + "/saver";
        std::string cmd = "rm -rf '" + tmp + "' && mkdir -p '" + tmp + "'";
        if (system(cmd.c_str()) != 0) return;
        xserver = new XServer;
        if (xserver->Start(640, 480)) display = xserver->display;
    }

    static void TearDownTestSuite() {
        delete xserver;
        xserver = nullptr;
    }

    void SetUp() override {
        if (display.empty()) MH_SKIP_OUTSIDE_CI("no private X server (Xvfb)");
        if (system("command -v xdotool >/dev/null") != 0) MH_SKIP_OUTSIDE_CI("xdotool is missing");
        dpy = XOpenDisplay(display.c_str());
        ASSERT_NE(dpy, nullptr);
        // A window the saver closes between listing and asking about it is a failed query, not
        // the end of the test process (Xlib's own handler exits).
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string home = tmp + "/" + name;
        data = home + "/data";
        out = home + "/out.txt";
        errFile = home + "/err.txt";
        std::string cmd = "mkdir -p '" + data + "' '" + home + "/config/vesk3d/Screensavers'";
        ASSERT_EQ(system(cmd.c_str()), 0);
        std::ofstream(home + "/config/vesk3d/Screensavers/Mirehollow.conf")
            << "# test\npath=" << data << "\n";
        std::string package = std::string(MH_BINARY_DIR) + "/data/mirehollow.dat";
        if (FileExists(package)) {
            EXPECT_EQ(symlink(package.c_str(), (data + "/mirehollow.dat").c_str()), 0);
        }
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
        setenv("HOME", home.c_str(), 1); // registration edits files in the home directory
        this->home = home;
        Xdo("mousemove 10 10");
    }

    void TearDown() override {
        if (saver > 0) {
            kill(saver, SIGKILL);
            waitpid(saver, nullptr, 0);
        }
        if (dpy) XCloseDisplay(dpy);
    }

    void Start(std::vector<std::string> args, const std::string& on = display) {
        std::string exe = std::string(MH_BINARY_DIR) + "/mhollow";
        ASSERT_TRUE(FileExists(exe)) << exe;
        std::vector<char*> argv = {(char*)exe.c_str()};
        for (std::string& a : args)
            argv.push_back((char*)a.c_str());
        argv.push_back(nullptr);
        setenv("DISPLAY", on.c_str(), 1);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_EQ(posix_spawn(&saver, exe.c_str(), &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
    }

    // The exit status, or -1 when the saver is still running after `seconds`.
    int WaitExit(double seconds) {
        int status = 0;
        bool done = WaitFor(
            [&] {
                pid_t r = waitpid(saver, &status, WNOHANG);
                return r == saver;
            },
            seconds);
        if (!done) return -1;
        saver = -1;
        if (WIFSIGNALED(status)) return 1000 + WTERMSIG(status);
        return WEXITSTATUS(status);
    }

    bool Running() {
        int status;
        return saver > 0 && waitpid(saver, &status, WNOHANG) == 0;
    }

    void Xdo(const std::string& args) {
        std::string cmd = "DISPLAY=" + display + " xdotool " + args + " >/dev/null 2>&1";
        EXPECT_EQ(system(cmd.c_str()), 0) << cmd;
    }

    // A viewable top-level window with this name, 0 when there is none.
    Window FindWindow(const char* name, Display* on = nullptr) {
        Display* dpy = on ? on : this->dpy;
        Window root, parent, *children = nullptr;
        unsigned n = 0;
        Window found = 0;
        if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n)) return 0;
        for (unsigned i = 0; i < n && !found; i++) {
            XWindowAttributes a;
            char* wname = nullptr;
            if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable &&
                XFetchName(dpy, children[i], &wname) && wname) {
                if (strcmp(wname, name) == 0) found = children[i];
            }
            if (wname) XFree(wname);
        }
        if (children) XFree(children);
        return found;
    }

    // True when anything but black shows in the window.
    bool ShowsSomething(Window w) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(dpy, w, &a)) return false;
        XImage* img = XGetImage(dpy, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
        if (!img) return false;
        bool any = false;
        for (int y = 0; y < a.height && !any; y++)
            for (int x = 0; x < a.width && !any; x++)
                any = (XGetPixel(img, x, y) & 0xFFFFFF) != 0;
        XDestroyImage(img);
        return any;
    }

    // The colour at (x, y) of the window as 0xRRGGBB.
    unsigned long PixelAt(Window w, int x, int y) {
        XImage* img = XGetImage(dpy, w, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img) return 0;
        unsigned long p = XGetPixel(img, 0, 0) & 0xFFFFFF;
        XDestroyImage(img);
        return p;
    }

    // The scene needs the woodland package to show anything over a black desktop.
    bool HavePackage() { return FileExists(data + "/mirehollow.dat"); }
};

} // namespace
