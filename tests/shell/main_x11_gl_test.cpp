// The saver program run for real on an X server of its own, driven with real input events.
#include "support/saver_fixture.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <iterator>

namespace {

TEST_F(SaverTest, ConfigureModeExplainsAndExits) {
    Start({"/c"});
    EXPECT_EQ(WaitExit(10), 0);
    std::string text = ReadFile(out);
    EXPECT_NE(text.find("path=<directory>"), std::string::npos) << text;
    EXPECT_NE(text.find("Mirehollow.conf"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    Start({"--help"});
    EXPECT_EQ(WaitExit(10), 0);
    EXPECT_NE(ReadFile(out).find("--window"), std::string::npos);
    Start({"--bogus"});
    EXPECT_EQ(WaitExit(10), 2);
    EXPECT_NE(ReadFile(errFile).find("--bogus"), std::string::npos);
}

TEST_F(SaverTest, RegistrationNeverShowsTheSaver) {
    Start({"register_scrsaver"});
    bool shown = false;
    int status = -1;
    WaitFor(
        [&] {
            if (FindWindow("SCREENSAVER")) shown = true;
            status = WaitExit(0);
            return status != -1;
        },
        15);
    EXPECT_EQ(status, 1) << "the process ends by itself, and without settings it fails";
    EXPECT_FALSE(shown);
    EXPECT_NE(ReadFile(errFile).find("xscreensaver-settings"), std::string::npos) << ReadFile(errFile);
    EXPECT_FALSE(FileExists(home + "/.xscreensaver")) << "no list of modes of our own";
    EXPECT_FALSE(FileExists(data + "/mhollow.log")) << "no scene was built";
}

TEST_F(SaverTest, FullScreenEndsOnAKeyAtOnce) {
    Start({"/s"});
    Window w = 0;
    ASSERT_TRUE(WaitFor([&] { return (w = FindWindow("SCREENSAVER")) != 0; }, 30));
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(dpy, w, &a));
    EXPECT_EQ(a.width, 640);
    EXPECT_EQ(a.height, 480);
    EXPECT_TRUE(a.override_redirect);
    // The render loop draws: the black background gives way to the scene.
    if (HavePackage()) {
        EXPECT_TRUE(WaitFor([&] { return ShowsSomething(w); }, 10));
    }
    // A window mapped later does not stay above the saver.
    Window other = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 100, 100, 0, 0, 0xFFFFFF);
    XMapRaised(dpy, other);
    XSync(dpy, False);
    EXPECT_TRUE(WaitFor(
        [&] {
            Window root, parent, *children = nullptr;
            unsigned n = 0;
            bool top = XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n) && n > 0 &&
                       children[n - 1] == w;
            if (children) XFree(children);
            return top;
        },
        5));
    XDestroyWindow(dpy, other);
    Xdo("key x");
    EXPECT_EQ(WaitExit(5), 0);
    std::string log = ReadFile(data + "/mhollow.log");
    EXPECT_NE(log.find("OpenGL info:"), std::string::npos)
        << "the log goes into the configured data directory";
}

// The desktop is photographed before the saver's window shows, so the first frames show the
// desktop and not the saver's own black window, in full screen and in the trial window.
TEST_F(SaverTest, DesktopIsCapturedBeforeTheWindowShows) {
    Window root = DefaultRootWindow(dpy);
    XSetWindowBackground(dpy, root, 0xFF0000);
    XClearWindow(dpy, root);
    XSync(dpy, False);
    struct {
        const char* arg;
        const char* name;
    } modes[] = {{"/s", "SCREENSAVER"}, {"--window=320x200", "Mirehollow"}};
    for (auto mode : modes) {
        Start({mode.arg});
        Window w = 0;
        ASSERT_TRUE(WaitFor([&] { return (w = FindWindow(mode.name)) != 0; }, 30)) << mode.arg;
        unsigned long p = 0;
        EXPECT_TRUE(WaitFor(
            [&] {
                p = PixelAt(w, 4, 4);
                return (p >> 16) > 120 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80;
            },
            10))
            << mode.arg << ": the red desktop does not show, last pixel 0x" << std::hex << p;
        kill(saver, SIGTERM);
        EXPECT_EQ(WaitExit(10), 0) << mode.arg;
    }
    // The server's own background again.
    XSetWindowBackgroundPixmap(dpy, root, None);
    XClearWindow(dpy, root);
    XSync(dpy, False);
}

// A server that goes away (the session ends) ends the saver too, instead of leaving it hung
// or crashing in its exit path.
TEST_F(SaverTest, EndsWhenTheServerGoesAway) {
    for (int round = 0; round < 2; round++) {
        XServer own;
        ASSERT_TRUE(own.Start(320, 240));
        Display* other = XOpenDisplay(own.display.c_str());
        ASSERT_NE(other, nullptr);
        Start({"/s"}, own.display);
        bool shown = WaitFor([&] { return FindWindow("SCREENSAVER", other) != 0; }, 30);
        XCloseDisplay(other);
        ASSERT_TRUE(shown);
        usleep(500000); // the render loop is drawing
        own.Stop();
        EXPECT_EQ(WaitExit(10), 1) << "round " << round;
        EXPECT_NE(ReadFile(errFile).find("lost the connection to the X server"), std::string::npos);
    }
}

// The close rule's exact times are tried in the host's own tests; here the real input path.
// The window shows after the scene started, so 4.5 s after it shows are more than four
// seconds after the start however slow the machine is.
TEST_F(SaverTest, PointerMotionAfterFourSecondsEnds) {
    Start({"/s"});
    ASSERT_TRUE(WaitFor([&] { return FindWindow("SCREENSAVER") != 0; }, 30));
    usleep(4500000);
    ASSERT_TRUE(Running());
    Xdo("mousemove 400 300");
    EXPECT_EQ(WaitExit(5), 0);
}

TEST_F(SaverTest, FocusLossWithoutPointerMotionDoesNotEnd) {
    Window other = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 50, 50, 0, 0, 0xFFFFFF);
    XMapWindow(dpy, other);
    XSync(dpy, False);
    Start({"/s"});
    ASSERT_TRUE(WaitFor([&] { return FindWindow("SCREENSAVER") != 0; }, 30));
    usleep(4500000);
    XSetInputFocus(dpy, other, RevertToParent, CurrentTime);
    XSync(dpy, False);
    usleep(500000);
    EXPECT_TRUE(Running());
    kill(saver, SIGTERM);
    EXPECT_EQ(WaitExit(10), 0);
    XDestroyWindow(dpy, other);
}

TEST_F(SaverTest, ButtonPressAfterFourSecondsEnds) {
    Start({"/s"});
    ASSERT_TRUE(WaitFor([&] { return FindWindow("SCREENSAVER") != 0; }, 30));
    usleep(4500000);
    ASSERT_TRUE(Running());
    Xdo("click 1");
    EXPECT_EQ(WaitExit(5), 0);
}

// The nice value of every thread of a process, read from /proc.
std::vector<int> ThreadNiceValues(pid_t pid) {
    std::vector<int> values;
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = opendir(dir.c_str());
    if (!d) return values;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream f(dir + "/" + e->d_name + "/stat");
        std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        // Fields after the command name, which ends at the last ')': state is field 3, nice 19.
        size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 2));
        std::string field;
        for (int i = 3; i <= 19 && rest >> field; i++)
            if (i == 19) values.push_back(atoi(field.c_str()));
    }
    closedir(d);
    return values;
}

// The saver asks for a raised priority for its render loop; run as root it could take the
// machine from every other process. It keeps the nice value it was started with.
TEST_F(SaverTest, ThreadsKeepTheNiceValueTheyWereStartedWith) {
    int before = getpriority(PRIO_PROCESS, 0);
    int started = std::min(before + 3, 19);
    ASSERT_EQ(setpriority(PRIO_PROCESS, 0, started), 0);
    Start({"/s"});
    setpriority(PRIO_PROCESS, 0, before); // only root gets its old value back
    ASSERT_TRUE(WaitFor([&] { return FindWindow("SCREENSAVER") != 0; }, 30));
    std::vector<int> nice;
    // The render loop runs once the window shows; give it a moment to appear as a thread.
    WaitFor([&] { return (nice = ThreadNiceValues(saver)).size() >= 2; }, 10);
    ASSERT_GE(nice.size(), 2u) << "the saver and its render loop";
    for (int n : nice)
        EXPECT_EQ(n, started) << "running as uid " << getuid();
    kill(saver, SIGTERM);
    EXPECT_EQ(WaitExit(10), 0);
}

TEST_F(SaverTest, SignalsEndTheSaverCleanly) {
    Start({"/s"});
    ASSERT_TRUE(WaitFor([&] { return FindWindow("SCREENSAVER") != 0; }, 30));
    kill(saver, SIGTERM);
    EXPECT_EQ(WaitExit(10), 0);
    EXPECT_FALSE(FindWindow("SCREENSAVER"));

    Start({"--window=320x200"});
    ASSERT_TRUE(WaitFor([&] { return FindWindow("Mirehollow") != 0; }, 30));
    kill(saver, SIGINT);
    EXPECT_EQ(WaitExit(10), 0);
}

TEST_F(SaverTest, WindowModeIgnoresThePointerAndEndsOnAKey) {
    Start({"--window", "320x200"});
    Window w = 0;
    ASSERT_TRUE(WaitFor([&] { return (w = FindWindow("Mirehollow")) != 0; }, 30));
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(dpy, w, &a));
    EXPECT_EQ(a.width, 320);
    EXPECT_EQ(a.height, 200);
    Xdo("mousemove 50 50");
    Xdo("mousemove 100 120");
    Xdo("click 1");
    usleep(500000);
    ASSERT_TRUE(Running());
    Xdo("windowfocus " + std::to_string(w));
    Xdo("key q");
    EXPECT_EQ(WaitExit(5), 0);
}

TEST_F(SaverTest, PreviewDrawsIntoTheGivenWindowUntilItGoes) {
    Window host = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 100, 100, 200, 150, 0, 0, 0);
    XMapWindow(dpy, host);
    XSync(dpy, False);
    Start({"/p", std::to_string(host)});
    ASSERT_TRUE(WaitFor(
        [&] {
            Window root, parent, *children = nullptr;
            unsigned n = 0;
            bool has = XQueryTree(dpy, host, &root, &parent, &children, &n) && n > 0;
            if (children) XFree(children);
            return has;
        },
        30));
    if (HavePackage()) {
        EXPECT_TRUE(WaitFor([&] { return ShowsSomething(host); }, 30)) << "the scene shows";
    }
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    ASSERT_TRUE(XQueryTree(dpy, host, &root, &parent, &children, &n));
    ASSERT_EQ(n, 1u);
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(dpy, children[0], &a));
    XFree(children);
    EXPECT_EQ(a.width, 200);
    EXPECT_EQ(a.height, 150);
    // Input does not end a preview; the window going away does.
    Xdo("mousemove 150 150");
    Xdo("click 1");
    usleep(300000);
    ASSERT_TRUE(Running());
    XDestroyWindow(dpy, host);
    XSync(dpy, False);
    EXPECT_EQ(WaitExit(10), 0);
    EXPECT_FALSE(FileExists(data + "/mhollow.log")) << "a preview writes no log";
}

// As a display mode the saver draws into the window it is given, at that window's size and
// following it, starts from the desktop picture the daemon left on the window (the part under
// the window), takes no input, and ends when the window goes, leaving it to its owner.
TEST_F(SaverTest, DisplayModeDrawsIntoAForeignWindowUntilItGoes) {
    int scr = DefaultScreen(dpy);
    Window root = RootWindow(dpy, scr);
    Window host = XCreateSimpleWindow(dpy, root, 100, 120, 200, 150, 0, 0, 0);
    // The saved desktop: green, and red where the window lies.
    Pixmap saved = XCreatePixmap(dpy, root, 640, 480, (unsigned)DefaultDepth(dpy, scr));
    GC gc = XCreateGC(dpy, saved, 0, nullptr);
    XSetForeground(dpy, gc, 0x00C000);
    XFillRectangle(dpy, saved, gc, 0, 0, 640, 480);
    XSetForeground(dpy, gc, 0xE00000);
    XFillRectangle(dpy, saved, gc, 100, 120, 200, 150);
    XFreeGC(dpy, gc);
    Atom prop = XInternAtom(dpy, "_SCREENSAVER_SCREENSHOT", False);
    XChangeProperty(dpy, host, prop, XA_PIXMAP, 32, PropModeReplace, (unsigned char*)&saved, 1);
    XMapWindow(dpy, host);
    XSync(dpy, False);
    char id[32];
    snprintf(id, sizeof(id), "0x%lx", host);
    Start({"-window-id", id, "-fps", "-visual", "0x21"});

    Window child = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            Window r, parent, *children = nullptr;
            unsigned n = 0;
            if (XQueryTree(dpy, host, &r, &parent, &children, &n) && n > 0) child = children[0];
            if (children) XFree(children);
            return child != 0;
        },
        30));
    unsigned long p = 0;
    EXPECT_TRUE(WaitFor(
        [&] {
            p = PixelAt(host, 100, 60);
            return (p >> 16) > 150 && ((p >> 8) & 0xFF) < 60;
        },
        120)) // the scene's clock starts with its first frame, which a busy machine is slow to show
        << "the saved desktop under the window shows, last pixel 0x" << std::hex << p;
    // The frame rate, white on its dark backing in the bottom-left corner.
    EXPECT_TRUE(WaitFor(
        [&] {
            for (int y = 150 - 26; y < 150 - 8; y++)
                for (int x = 10; x < 60; x++)
                    if (PixelAt(host, x, y) == 0xFFFFFF) return true;
            return false;
        },
        60));

    XResizeWindow(dpy, host, 260, 180);
    XSync(dpy, False);
    EXPECT_TRUE(WaitFor(
        [&] {
            XWindowAttributes a;
            return XGetWindowAttributes(dpy, child, &a) && a.width == 260 && a.height == 180;
        },
        60))
        << "the picture follows the window's size";

    // Input belongs to the daemon: no grab, and nothing ends the mode.
    EXPECT_EQ(XGrabKeyboard(dpy, root, True, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
    XUngrabKeyboard(dpy, CurrentTime);
    XSync(dpy, False);
    Xdo("mousemove 150 170");
    Xdo("click 1");
    Xdo("key a");
    usleep(300000);
    ASSERT_TRUE(Running());
    XDestroyWindow(dpy, host);
    XSync(dpy, False);
    EXPECT_EQ(WaitExit(60), 0);
    XFreePixmap(dpy, saved);
    EXPECT_NE(ReadFile(data + "/mhollow.log").find("options ignored: --visual 0x21"), std::string::npos);
}

TEST_F(SaverTest, LogGoesToTheStateDirectoryWhenTheDataDirectoryIsMissing) {
    std::string conf = std::string(getenv("XDG_CONFIG_HOME")) + "/vesk3d/Screensavers/Mirehollow.conf";
    std::ofstream(conf) << "path=" << data << "/does/not/exist\n";
    Start({"/s"});
    ASSERT_TRUE(WaitFor([&] { return FindWindow("SCREENSAVER") != 0; }, 30));
    kill(saver, SIGTERM);
    EXPECT_EQ(WaitExit(10), 0);
    std::string log = ReadFile(std::string(getenv("XDG_STATE_HOME")) + "/mirehollow/mhollow.log");
    EXPECT_NE(log.find("OpenGL info:"), std::string::npos);
}

TEST_F(SaverTest, PreviewOfNoWindowDoesNothing) {
    Start({"/p", "0x7ffffff0"});
    EXPECT_EQ(WaitExit(10), 0);
    Start({"/p"});
    EXPECT_EQ(WaitExit(10), 0);
}

} // namespace
