// The saver ended at awkward moments of its start-up and first frames, when the render loop
// and the event loop are both getting going. In the ThreadSanitizer build the saver started
// is that build's too, so a race between them fails the run.
#include "support/saver_fixture.h"

namespace {

// The saver's own error output shows no sanitizer report.
void ExpectNoReport(const std::string& err, int round) {
    EXPECT_EQ(err.find("ThreadSanitizer"), std::string::npos) << "round " << round << "\n" << err;
    EXPECT_EQ(err.find("AddressSanitizer"), std::string::npos) << "round " << round << "\n" << err;
}

// SIGTERM at moments across the start-up: before the handler may be in place (the default
// action ends the process), while the scene is built, around the first frames.
TEST_F(SaverTest, SigtermDuringStartUpEndsIt) {
    int round = 0;
    for (int ms : {0, 150, 1200}) {
        Start({"--window=320x200"});
        usleep(ms * 1000);
        kill(saver, SIGTERM);
        int status = WaitExit(60);
        EXPECT_TRUE(status == 0 || status == 1000 + SIGTERM) << "after " << ms << " ms: " << status;
        ExpectNoReport(ReadFile(errFile), round++);
    }
}

// The window manager's close request and the window destroyed from outside, as soon as the
// window shows and a few frames later.
TEST_F(SaverTest, WindowClosedDuringTheFirstFramesEndsIt) {
    Atom protocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
    Atom deleteWindow = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    int round = 0;
    for (bool destroy : {false, true}) {
        for (int ms : {0, 300}) {
            if (destroy && ms) continue;
            Start({"--window=320x200"});
            Window w = 0;
            ASSERT_TRUE(WaitFor([&] { return (w = FindWindow("Mirehollow")) != 0; }, 60));
            usleep(ms * 1000);
            if (destroy) {
                XDestroyWindow(dpy, w);
            } else {
                XEvent ev;
                memset(&ev, 0, sizeof ev);
                ev.xclient.type = ClientMessage;
                ev.xclient.window = w;
                ev.xclient.message_type = protocols;
                ev.xclient.format = 32;
                ev.xclient.data.l[0] = (long)deleteWindow;
                ev.xclient.data.l[1] = CurrentTime;
                XSendEvent(dpy, w, False, NoEventMask, &ev);
            }
            XSync(dpy, False);
            EXPECT_EQ(WaitExit(60), 0) << (destroy ? "destroyed" : "close request") << " after " << ms << " ms";
            ExpectNoReport(ReadFile(errFile), round++);
        }
    }
}

} // namespace
