// The Windows module end to end, under Wine on an X server of its own: started by its command
// line as Windows starts a saver, it photographs the desktop (the root window painted one
// colour), fades the woodland in over it, writes its log, and ends on input; /c and
// register_scrsaver show nothing. Built by the Linux build and run by the Windows build's
// tests, which give it the module, the Wine prefix and the package (MH_WINE_* variables).
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "render/other.h"
#include "support/endtoend.h"
#include "support/skip.h"
#include "support/xserver.h"

namespace {

using mhtest::ReadFile;
using mhtest::WaitFor;

std::string Env(const char* name) {
    const char* v = getenv(name);
    return v ? v : "";
}

// The desktop's colour, orange, at any brightness the darkening gives it; nothing in the night
// woodland is orange.
const unsigned long kDesktop = 0xE07010;
bool IsDesktop(unsigned long p) {
    int r = (int)(p >> 16), g = (int)((p >> 8) & 0xFF), b = (int)(p & 0xFF);
    return r >= 40 && 2 * r > 3 * g + 10 && r > 3 * b + 5;
}

class WineSaverTest : public testing::Test {
  protected:
    static XServer* xserver;
    static Display* dpy;
    static std::string module, wineRun, prefix, dataDir;
    pid_t saver = -1;
    int status = -1;

    static void SetUpTestSuite() {
        module = Env("MH_WINE_MODULE");
        wineRun = Env("MH_WINE_RUN");
        prefix = Env("MH_WINEPREFIX");
        std::string package = Env("MH_WINE_PACKAGE");
        if (module.empty() || access(module.c_str(), R_OK) != 0 || access(package.c_str(), R_OK) != 0) return;
        xserver = new XServer;
        if (!xserver->Start(640, 480)) return;
        dpy = XOpenDisplay(xserver->display.c_str());
        if (!dpy) return;
        // Wine's windows may go between listing them and asking about one: that request then
        // fails, which must not end the test program.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        setenv("DISPLAY", xserver->display.c_str(), 1);
        setenv("MH_NO_MESSAGE_BOX", "1", 1);
        // The prefix's Wine server may serve another display: start afresh on ours.
        Run({"--stop"});
        std::string tmp = Env("MH_TEST_TMP").empty() ? "/tmp/mh_wine_saver_test" : Env("MH_TEST_TMP");
        dataDir = tmp + "/data";
        std::string prepare = "rm -rf '" + dataDir + "' && mkdir -p '" + dataDir + "' && cp '" + package + "' '" +
                              dataDir + "/'";
        if (system(prepare.c_str()) != 0) return;
        // Wine shows the Linux file system as drive Z:.
        std::string winData = "Z:" + dataDir;
        for (char& c : winData)
            if (c == '/') c = '\\';
        Run({"reg", "add", "HKCU\\Software\\vesk3d\\Screensavers\\Mirehollow", "/v", "path", "/t", "REG_SZ", "/d",
             winData, "/f"});
    }

    static void TearDownTestSuite() {
        if (!prefix.empty()) Run({"--stop"});
        if (dpy) XCloseDisplay(dpy);
        dpy = nullptr;
        delete xserver;
        xserver = nullptr;
    }

    // A program under Wine in the prefix; its process id.
    static pid_t Start(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"bash", wineRun, prefix};
        all.insert(all.end(), args.begin(), args.end());
        pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (auto& a : all)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execvp("bash", argv.data());
            _exit(127);
        }
        return pid;
    }

    static int Run(const std::vector<std::string>& args) {
        pid_t pid = Start(args);
        int st = 0;
        if (pid <= 0 || waitpid(pid, &st, 0) != pid) return -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }

    void SetUp() override {
        if (!dpy) MH_SKIP_OUTSIDE_CI("no Windows module, package, Wine prefix or X server for the Wine end-to-end test");
        remove((dataDir + "/mhollow.log").c_str());
    }

    void TearDown() override {
        if (saver > 0 && !Ended(0)) {
            kill(saver, SIGKILL);
            waitpid(saver, nullptr, 0);
            Run({"--stop"});
        }
    }

    bool Ended(double seconds) {
        return WaitFor(
            [&] {
                int st = 0;
                if (waitpid(saver, &st, WNOHANG) != saver) return false;
                status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
                saver = -1;
                return true;
            },
            seconds);
    }

    void PaintDesktop() {
        Window root = DefaultRootWindow(dpy);
        XSetWindowBackground(dpy, root, kDesktop);
        XClearWindow(dpy, root);
        XSync(dpy, False);
    }

    // Whether a mapped window titled "SCREENSAVER" is on the screen.
    bool SaverWindowShown() {
        Window root = DefaultRootWindow(dpy), parent, *children = nullptr;
        unsigned n = 0;
        bool found = false;
        if (!XQueryTree(dpy, root, &root, &parent, &children, &n)) return false;
        for (unsigned i = 0; i < n && !found; i++) {
            XWindowAttributes wa;
            char* name = nullptr;
            if (XGetWindowAttributes(dpy, children[i], &wa) && wa.map_state == IsViewable &&
                XFetchName(dpy, children[i], &name) && name)
                found = strcmp(name, "SCREENSAVER") == 0;
            if (name) XFree(name);
        }
        if (children) XFree(children);
        return found;
    }

    // A grid of the screen's pixels, 0xRRGGBB.
    std::vector<unsigned long> Screen() {
        std::vector<unsigned long> points;
        XImage* img = XGetImage(dpy, DefaultRootWindow(dpy), 0, 0, 640, 480, AllPlanes, ZPixmap);
        if (!img) return points;
        for (int y = 5; y < 480; y += 10)
            for (int x = 5; x < 640; x += 10)
                points.push_back(XGetPixel(img, x, y) & 0xFFFFFF);
        XDestroyImage(img);
        return points;
    }

    static int Count(const std::vector<unsigned long>& points, bool (*pred)(unsigned long)) {
        int n = 0;
        for (unsigned long p : points)
            n += pred(p);
        return n;
    }

    // Starts the full-screen saver and waits for its first frames; returns when they show.
    void StartFullScreen(std::vector<unsigned long>* first) {
        PaintDesktop();
        saver = Start({module, "/s"});
        ASSERT_GT(saver, 0);
        // Generous: Wine and a software renderer on a busy machine.
        ASSERT_TRUE(WaitFor([&] { return SaverWindowShown() || Ended(0); }, 180)) << "no saver window";
        ASSERT_GT(saver, 0) << "the saver ended at once, status " << status;
        // The window's black background first, then the photographed desktop.
        ASSERT_TRUE(WaitFor(
            [&] {
                *first = Screen();
                return Count(*first, IsDesktop) > (int)first->size() / 2 || Ended(0);
            },
            180))
            << "the first frames do not show the desktop";
        ASSERT_GT(saver, 0) << "the saver ended on its own, status " << status;
    }
};

XServer* WineSaverTest::xserver = nullptr;
Display* WineSaverTest::dpy = nullptr;
std::string WineSaverTest::module, WineSaverTest::wineRun, WineSaverTest::prefix, WineSaverTest::dataDir;

TEST_F(WineSaverTest, FullScreenShowsTheDesktopThenTheWoodlandAndEndsOnPointerMotion) {
    std::vector<unsigned long> shot;
    StartFullScreen(&shot);
    double firstFrame = fxGetTime();
    // Past the four seconds in which pointer motion is ignored, the woodland has come in.
    while (fxGetTime() - firstFrame < 10)
        usleep(200000);
    ASSERT_FALSE(Ended(0)) << "the saver ended on its own, status " << status;
    shot = Screen();
    std::set<unsigned long> colours(shot.begin(), shot.end());
    EXPECT_GT(colours.size(), 40u) << "the screen is nearly uniform, not a woodland";
    ASSERT_EQ(system("xdotool mousemove 100 100 sleep 0.3 mousemove 300 200 >/dev/null 2>&1"), 0);
    EXPECT_TRUE(Ended(60)) << "pointer motion does not end the saver";
    EXPECT_EQ(status, 0);

    std::string log = ReadFile(dataDir + "/mhollow.log");
    EXPECT_NE(log.find("desktop captured"), std::string::npos) << log;
    EXPECT_EQ(log.find("#ERROR"), std::string::npos) << log;
}

TEST_F(WineSaverTest, FullScreenEndsAtOnceOnAKey) {
    std::vector<unsigned long> shot;
    StartFullScreen(&shot);
    ASSERT_EQ(system("xdotool key space >/dev/null 2>&1"), 0);
    // "At once" on a busy machine: the scene is released before the process ends.
    EXPECT_TRUE(Ended(60)) << "a key does not end the saver";
    EXPECT_EQ(status, 0);
}

TEST_F(WineSaverTest, ConfigurationAndRegistrationShowNothing) {
    for (const char* arg : {"/c", "register_scrsaver"}) {
        saver = Start({module, arg});
        ASSERT_GT(saver, 0);
        bool shown = false;
        EXPECT_TRUE(WaitFor(
            [&] {
                shown = shown || SaverWindowShown();
                return Ended(0);
            },
            120))
            << arg << " does not end";
        EXPECT_FALSE(shown) << arg << " shows a window";
        EXPECT_EQ(status, 0) << arg;
    }
}

} // namespace
