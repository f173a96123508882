// The Windows host: the command line's mode letters, and the preview as Windows runs it, a
// child of a window another program owns that ends when that window goes.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "shell/main_w32.h"

namespace {

FXW32Args Parse(std::vector<std::string> words, bool* ok = nullptr) {
    words.insert(words.begin(), "mhollow.scr");
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    FXW32Args args;
    char error[256];
    bool parsed = fxParseSaverArgsW32((int)argv.size(), argv.data(), &args, error, sizeof(error));
    if (ok) *ok = parsed;
    return args;
}

TEST(HostW32, TheFirstModeLetterInAnyArgumentWins) {
    EXPECT_EQ(Parse({"/s"}).mode, fxW32FullScreen);
    EXPECT_EQ(Parse({"-S"}).mode, fxW32FullScreen);
    EXPECT_EQ(Parse({"/c:1234"}).mode, fxW32Configure);
    EXPECT_EQ(Parse({"/a"}).mode, fxW32Password);
    EXPECT_EQ(Parse({}).mode, fxW32Configure);
    EXPECT_EQ(Parse({"/x", "/y"}).mode, fxW32Configure);
    // "register_scrsaver": its first mode letter is the s in fifth place.
    EXPECT_EQ(Parse({"register_scrsaver"}).mode, fxW32FullScreen);
    EXPECT_EQ(Parse({"/P", "4242"}).mode, fxW32Preview);
    EXPECT_EQ(Parse({"/P", "4242"}).previewParent, 4242u);
    EXPECT_EQ(Parse({"/p:77"}).previewParent, 77u);
    EXPECT_EQ(Parse({"/p"}).previewParent, 0u);
    EXPECT_EQ(Parse({"/p", "window"}).previewParent, 0u);
}

TEST(HostW32, StillsOptionsAreCheckedBeforeTheLetters) {
    bool ok = false;
    FXW32Args a = Parse({"--render-at", "5,20", "--size=320x200", "--output", "s.png"}, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(a.mode, fxW32Stills);
    EXPECT_STREQ(a.stills.renderAt, "5,20");
    EXPECT_STREQ(a.stills.size, "320x200");
    EXPECT_STREQ(a.stills.output, "s.png");
    a = Parse({"/s", "--desktop", "picture.png"}, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(a.mode, fxW32FullScreen);
    EXPECT_STREQ(a.stills.desktop, "picture.png");
    Parse({"--output", "s.png"}, &ok);
    EXPECT_FALSE(ok);
    Parse({"--render-at"}, &ok);
    EXPECT_FALSE(ok);
    Parse({"/s", "--render-at", "5"}, &ok);
    EXPECT_FALSE(ok);
    Parse({"--frobnicate"}, &ok);
    EXPECT_FALSE(ok);
}

// Runs the module with a command line; false when it cannot be started.
bool StartSaver(const std::string& args, PROCESS_INFORMATION* pi) {
    const char* module = getenv("MH_SAVER_MODULE");
    if (!module || !*module) return false;
    std::string line = std::string("\"") + module + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, pi) != 0;
}

// The preview's parent, as the display settings' little screen would be.
LRESULT CALLBACK ParentProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

TEST(HostW32, PreviewDrawsIntoTheGivenWindowAndEndsWithIt) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "MirehollowPreviewParent";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, wc.lpszClassName, "preview", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                  160, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(parent, nullptr);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(StartSaver("/p " + std::to_string((unsigned long long)(uintptr_t)parent), &pi))
        << "MH_SAVER_MODULE names no module that starts";
    // Generous: the saver builds its scene before the window is complete.
    HWND child = nullptr;
    for (int i = 0; i < 1200 && !child; i++) {
        Pump();
        child = FindWindowExA(parent, nullptr, "WindowsScreenSaverClass", nullptr);
        if (!child) Sleep(100);
    }
    ASSERT_NE(child, nullptr) << "no preview window in the parent";
    RECT pr, cr;
    GetClientRect(parent, &pr);
    GetClientRect(child, &cr);
    EXPECT_EQ(cr.right, pr.right);
    EXPECT_EQ(cr.bottom, pr.bottom);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 2000), (DWORD)WAIT_TIMEOUT) << "the preview ended on its own";
    DestroyWindow(parent);
    DWORD waited = WAIT_TIMEOUT;
    for (int i = 0; i < 600 && waited == WAIT_TIMEOUT; i++) {
        Pump();
        waited = WaitForSingleObject(pi.hProcess, 100);
    }
    EXPECT_EQ(waited, (DWORD)WAIT_OBJECT_0) << "the preview outlives its parent";
    if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

TEST(HostW32, PreviewOfSomethingThatIsNoWindowShowsNothing) {
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(StartSaver("/p 12345", &pi));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), (DWORD)WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

} // namespace
