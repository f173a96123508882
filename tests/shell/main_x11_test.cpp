// The saver's command line and its window procedure, called directly.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "render/other.h"
#include "shell/config.h"
#include "shell/config_posix.h"
#include "shell/main_x11.h"

namespace {

struct Parsed {
    bool ok;
    FXSaverArgs args;
    char error[256];
};

Parsed Parse(std::initializer_list<const char*> words) {
    std::vector<char*> argv;
    argv.push_back((char*)"mhollow");
    for (const char* w : words)
        argv.push_back((char*)w);
    argv.push_back(nullptr);
    Parsed p;
    p.ok = fxParseSaverArgs((int)argv.size() - 1, argv.data(), &p.args, p.error, sizeof(p.error));
    return p;
}

TEST(SaverArgs, FirstModeLetterWins) {
    for (auto words :
         {std::vector<const char*>{"/s"}, {"-s"}, {"s"}, {"/S"}, {"register_scrsaver"}, {"x", "/s"}}) {
        std::vector<char*> argv = {(char*)"mhollow"};
        for (const char* w : words)
            argv.push_back((char*)w);
        FXSaverArgs a;
        char error[64];
        ASSERT_TRUE(fxParseSaverArgs((int)argv.size(), argv.data(), &a, error, sizeof(error))) << words[0];
        EXPECT_EQ(a.mode, fxModeFullScreen) << words[0];
    }
    EXPECT_EQ(Parse({"/c"}).args.mode, fxModeConfigure);
    EXPECT_EQ(Parse({"/c:1234"}).args.mode, fxModeConfigure);
    EXPECT_EQ(Parse({}).args.mode, fxModeConfigure) << "no letter: configuration";
    EXPECT_EQ(Parse({"/x"}).args.mode, fxModeConfigure);
    EXPECT_EQ(Parse({"/a"}).args.mode, fxModePassword);
    EXPECT_EQ(Parse({"/cs"}).args.mode, fxModeConfigure) << "the first letter met decides";
}

TEST(SaverArgs, PreviewTakesADecimalOrHexWindow) {
    Parsed p = Parse({"/p", "1234"});
    EXPECT_EQ(p.args.mode, fxModePreview);
    EXPECT_EQ(p.args.previewParent, 1234u);
    EXPECT_EQ(Parse({"/p", "0x2a00007"}).args.previewParent, 0x2a00007u);
    EXPECT_EQ(Parse({"/p:77"}).args.previewParent, 77u);
    EXPECT_EQ(Parse({"/P77"}).args.previewParent, 77u);
    // Not a number, or none: a preview of no window, which the host turns into nothing.
    EXPECT_EQ(Parse({"/p"}).args.previewParent, 0u);
    EXPECT_EQ(Parse({"/p", "12ab"}).args.previewParent, 0u);
    EXPECT_EQ(Parse({"/p", "window"}).args.previewParent, 0u);
    EXPECT_EQ(Parse({"/p", "010"}).args.previewParent, 10u) << "a leading zero is still decimal";
    EXPECT_EQ(Parse({"/p", "0X1f"}).args.previewParent, 0x1fu);
    EXPECT_EQ(Parse({"/p", "-5"}).args.previewParent, 0u);
    EXPECT_EQ(Parse({"/p", "99999999999999999999999"}).args.previewParent, 0u);
}

TEST(SaverArgs, OwnOptionsTurnTheLetterScanOff) {
    Parsed p = Parse({"--window"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.args.mode, fxModeWindow);
    EXPECT_EQ(p.args.windowWidth, 1280);
    EXPECT_EQ(p.args.windowHeight, 720);
    p = Parse({"--window=800x600"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.args.windowWidth, 800);
    EXPECT_EQ(p.args.windowHeight, 600);
    p = Parse({"--window", "640x480"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.args.windowWidth, 640);
    EXPECT_EQ(p.args.windowHeight, 480);
    EXPECT_EQ(Parse({"--help"}).args.mode, fxModeHelp);
    EXPECT_EQ(Parse({"--window", "--help"}).args.mode, fxModeHelp);

    for (auto bad : {"--window=0x600", "--window=800", "--window=800x", "--window=axb", "--window=99999x10",
                     "--windows", "--help=yes", "--"}) {
        Parsed b = Parse({bad});
        EXPECT_FALSE(b.ok) << bad;
        EXPECT_NE(b.error[0], 0) << bad;
    }
    p = Parse({"--window", "--max-fps", "25"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.args.maxFps, 25);
    EXPECT_EQ(Parse({"--max-fps=0", "--window"}).args.maxFps, 0);
    EXPECT_EQ(Parse({"--window"}).args.maxFps, 60);
    for (auto bad : {"--max-fps=-1", "--max-fps=1001", "--max-fps=6x", "--max-fps="})
        EXPECT_FALSE(Parse({"--window", bad}).ok) << bad;
    // A stray word next to our options is an error, not a mode letter.
    EXPECT_FALSE(Parse({"--window", "/s"}).ok);
    EXPECT_FALSE(Parse({"/s", "--window"}).ok);
}

// The options display modes are started with are whole words, with one dash or two, taken
// before the letter scan: "-visual" and "-install" hold an s, "-delay" and hex ids an a, "-fps"
// a p, and none of them may start full screen, a password dialog or a preview.
TEST(SaverArgs, DisplayModeWordsBeforeTheLetterScan) {
    for (auto words : {std::vector<const char*>{"-root"}, {"--root"}, {"-root", "-visual", "0x21", "-install"},
                       {"--root", "--delay", "20000", "--fps"}, {"-install", "-delay", "5", "-root"},
                       {"--visual=default", "--root"}}) {
        std::vector<char*> argv = {(char*)"mhollow"};
        for (const char* w : words)
            argv.push_back((char*)w);
        FXSaverArgs a;
        char error[128];
        ASSERT_TRUE(fxParseSaverArgs((int)argv.size(), argv.data(), &a, error, sizeof(error)))
            << words[0] << ": " << error;
        EXPECT_EQ(a.mode, fxModeDisplay) << words[0];
        EXPECT_EQ(a.displayWindow, 0u) << words[0];
    }
    Parsed p = Parse({"-window-id", "0x4a0000a", "-fps", "-visual", "0x21"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.args.mode, fxModeDisplay);
    EXPECT_EQ(p.args.displayWindow, 0x4a0000au);
    EXPECT_TRUE(p.args.showFps);
    EXPECT_EQ(p.args.ignored, "--visual 0x21");
    EXPECT_EQ(Parse({"--window-id=4194312"}).args.displayWindow, 4194312u);
    EXPECT_FALSE(Parse({"-window-id"}).ok);
    EXPECT_FALSE(Parse({"--window-id", "sa"}).ok);
    EXPECT_FALSE(Parse({"-root=1"}).ok);
    // Alone, the ignored words and -fps leave the letter scan an empty line: configuration.
    p = Parse({"-fps", "-visual", "sa", "-install", "-delay", "pa"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.args.mode, fxModeConfigure);
    EXPECT_TRUE(p.args.showFps);
    // Other words still go through the letter scan, and our own options take the display ones.
    p = Parse({"-fps", "/s"});
    EXPECT_EQ(p.args.mode, fxModeFullScreen);
    EXPECT_TRUE(p.args.showFps);
    EXPECT_EQ(Parse({"-delay", "1", "/p", "12"}).args.previewParent, 12u);
    EXPECT_EQ(Parse({"-rooted"}).args.mode, fxModeConfigure) << "not the word -root: its letters count";
    p = Parse({"--window=640x480", "-fps"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.args.mode, fxModeWindow);
    EXPECT_TRUE(p.args.showFps);
    EXPECT_FALSE(Parse({"--root", "--render-at", "5"}).ok);
}

TEST(SaverConfig, FileFollowsTheXdgVariables) {
    char path[512];
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    ASSERT_TRUE(fxGetConfigFile(scrRegName, path, sizeof(path)));
    EXPECT_STREQ(path, "/tmp/cfg/vesk3d/Screensavers/Mirehollow.conf");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    ASSERT_TRUE(fxGetConfigFile(scrRegName, path, sizeof(path)));
    EXPECT_STREQ(path, "/home/someone/.config/vesk3d/Screensavers/Mirehollow.conf");
    EXPECT_FALSE(fxGetConfigFile(scrRegName, path, 10)) << "a path that does not fit is refused, not cut";
}

// Values come from whole lines: the end of a line longer than the reader's buffer is not
// read as a line of its own (it once could set the data directory from inside a comment).
TEST(SaverConfig, ValuesComeFromWholeLines) {
    char dir[] = "/tmp/mh_config_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("XDG_CONFIG_HOME", dir, 1);
    char path[512];
    ASSERT_TRUE(fxGetConfigFile(scrRegName, path, sizeof(path)));
    std::string sub = std::string("mkdir -p ") + dir + "/vesk3d/Screensavers";
    ASSERT_EQ(system(sub.c_str()), 0);
    auto read = [&](const std::string& text, int size = 520) {
        FILE* f = fopen(path, "wb");
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        char value[520];
        strcpy(value, "unchanged");
        return fxReadConfigValue(scrRegName, "path", value, size) ? std::string(value) : "none: " + std::string(value);
    };
    for (size_t pad : {2046, 2047, 4094})
        EXPECT_EQ(read("#" + std::string(pad, 'x') + "path=/evil\n"), "none: unchanged") << pad;
    EXPECT_EQ(read("# " + std::string(3000, 'x') + "\n  path = /art dir \r\npath=/second\n"), "/art dir ");
    EXPECT_EQ(read("path=/" + std::string(3000, 'x') + "\npath=/second\n"), "none: unchanged") << "too long: ignored";
    EXPECT_EQ(read("path=/abc\n", 4), "none: unchanged") << "does not fit the buffer";
    EXPECT_EQ(read("paths=/a\npath\t=\t/b"), "/b") << "a last line without its end";
    unsetenv("XDG_CONFIG_HOME");
    std::string rm = std::string("rm -rf ") + dir;
    ASSERT_EQ(system(rm.c_str()), 0);
}

// The window procedure on a window the host never created: destroying it only runs the
// destroy message (an empty scene stops and releases nothing).
class SaverProc : public testing::Test {
  protected:
    FXHostWindow window;
    void SetUp() override {
        escapeHit = false;
        started = false;
        startTime = 0;
        fChildPreview = 0;
    }
    void TearDown() override {
        fChildPreview = 0;
        fxSaverClock = fxGetTime;
    }
};

double fakeNow = 0;
double FakeClock() {
    return fakeNow;
}

TEST_F(SaverProc, CloseRequestsWaitFourSeconds) {
    started = true;
    startTime = 100.0;
    EXPECT_FALSE(fxSaverMayClose(100.0));
    EXPECT_FALSE(fxSaverMayClose(103.999));
    EXPECT_FALSE(fxSaverMayClose(104.0)) << "exactly four seconds is not more than four";
    EXPECT_TRUE(fxSaverMayClose(104.001));
    started = false;
    EXPECT_FALSE(fxSaverMayClose(1000.0)) << "not armed before the scene has started";

    started = true;
    startTime = fxGetTime() - 1.0;
    EXPECT_EQ(ScreenSaverProc(&window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(window.destroyed) << "an early close request is dropped";
    EXPECT_EQ(ScreenSaverProc(&window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(window.destroyed) << "and so is the next one";
    startTime = fxGetTime() - 5.0;
    EXPECT_EQ(ScreenSaverProc(&window, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(window.destroyed);
}

// A full-screen run's input, through the host's rules and its message queue, at exact times
// of the close rule's clock: motion away from where the pointer was, a button, and the focus
// going elsewhere once the pointer moved ask to close; only requests more than four seconds
// after the start pass.
TEST_F(SaverProc, InputEndsAFullScreenRunOnlyAfterFourSeconds) {
    fxSaverClock = FakeClock;
    auto at = [&](FXHostWindow* w, double now, UINT message, WPARAM wParam, LPARAM lParam) {
        fakeNow = now;
        ScreenSaverProc(w, message, wParam, lParam);
        fxHostDeliverPosted();
        return w->destroyed;
    };
    started = true;
    startTime = 100.0;

    FXHostWindow moved;
    fxHostWatchInput(10, 10);
    EXPECT_FALSE(at(&moved, 100.5, WM_MOUSEMOVE, 0, fxMakePointParam(11, 10)));
    EXPECT_FALSE(at(&moved, 104.0, WM_MOUSEMOVE, 0, fxMakePointParam(12, 10))) << "exactly four seconds";
    EXPECT_FALSE(at(&moved, 104.001, WM_MOUSEMOVE, 0, fxMakePointParam(10, 10))) << "back where it started";
    EXPECT_TRUE(at(&moved, 104.002, WM_MOUSEMOVE, 0, fxMakePointParam(10, 11)));

    for (UINT button : {WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN}) {
        FXHostWindow clicked;
        fxHostWatchInput(10, 10);
        EXPECT_FALSE(at(&clicked, 103.9, button, 0, fxMakePointParam(10, 10))) << button;
        EXPECT_TRUE(at(&clicked, 104.5, button, 0, fxMakePointParam(10, 10))) << button;
    }

    FXHostWindow still;
    fxHostWatchInput(10, 10);
    EXPECT_FALSE(at(&still, 110.0, WM_ACTIVATE, 0, 0)) << "the pointer never moved";
    FXHostWindow focus;
    fxHostWatchInput(10, 10);
    EXPECT_FALSE(at(&focus, 101.0, WM_MOUSEMOVE, 0, fxMakePointParam(30, 30)));
    EXPECT_FALSE(at(&focus, 101.5, WM_ACTIVATE, 0, 0));
    EXPECT_FALSE(at(&focus, 104.5, WM_ACTIVATE, 1, 0)) << "gaining the focus";
    EXPECT_TRUE(at(&focus, 104.5, WM_ACTIVATE, 0, 0));
}

TEST_F(SaverProc, PreviewAlwaysCloses) {
    fChildPreview = 1;
    started = true;
    startTime = fxGetTime();
    ScreenSaverProc(&window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(window.destroyed);
}

TEST_F(SaverProc, KeyboardEndsAtOnceAndArmsCloseRequests) {
    for (unsigned m : {WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSCHAR}) {
        FXHostWindow w;
        escapeHit = false;
        started = true;
        startTime = fxGetTime();
        ScreenSaverProc(&w, m, 'a', 0);
        EXPECT_TRUE(w.destroyed) << m;
        EXPECT_TRUE(escapeHit) << m;
        FXHostWindow other;
        ScreenSaverProc(&other, WM_CLOSE, 0, 0);
        EXPECT_TRUE(other.destroyed) << "after a key, close requests pass at once";
    }
    FXHostWindow dead;
    escapeHit = false;
    ScreenSaverProc(&dead, WM_DEADCHAR, 'a', 0);
    EXPECT_FALSE(dead.destroyed) << "a dead key is not a key press";
    EXPECT_FALSE(escapeHit);
}

TEST_F(SaverProc, PaintingIsLeftToTheRenderLoop) {
    EXPECT_EQ(ScreenSaverProc(&window, WM_ERASEBKGND, 0, 0), 1);
    EXPECT_EQ(ScreenSaverProc(&window, WM_PAINT, 0, 0), 0);
    EXPECT_EQ(ScreenSaverProc(&window, WM_MOUSEMOVE, 0, fxMakePointParam(5, 5)), 0);
    EXPECT_FALSE(window.destroyed);
    EXPECT_FALSE(ScreenSaverConfigureDialog(&window, WM_CREATE, 0, 0));
    EXPECT_TRUE(RegisterDialogClasses(nullptr));
    EXPECT_FALSE(DestroyWindow(nullptr));
    ASSERT_TRUE(DestroyWindow(&window));
    EXPECT_FALSE(DestroyWindow(&window)) << "a window is destroyed once";
}

} // namespace
