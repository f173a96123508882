// A private X server (Xvfb) on a display number it picks itself, for tests that must not
// disturb the shared display: full-screen windows, keyboard grabs, screens of odd depths.
//
//   XServer x;
//   ASSERT_TRUE(x.Start(640, 480));   // x.display is ":N"
//   ... XOpenDisplay(x.display.c_str()) ...
//   // stopped by the destructor
#ifndef MH_TESTS_SUPPORT_XSERVER_H
#define MH_TESTS_SUPPORT_XSERVER_H

#include <sys/types.h>

#include <string>

class XServer {
  public:
    XServer() = default;
    ~XServer();

    // Starts a server with one screen of the given size and depth; false when none could be
    // started (Xvfb missing or failing).
    bool Start(int width, int height, int depth = 24);
    void Stop();

    pid_t pid = -1;
    std::string display; // ":N" while running, else empty

    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
};

#endif
