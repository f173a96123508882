// The trace log on Windows: text-mode line ends and the system's thread ids.
#include "base/trace.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

TEST(TraceW32, LinesEndInCrLfAndCarryTheThreadId) {
    const char* t = getenv("MH_TEST_TMP");
    std::string dir = t && *t ? t : ".";
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string path = dir + "/trace.log";
    ASSERT_TRUE(fxOpenTraces(path.c_str()));
    trc("hello %d\n", 7);
    err("bad\n");
    errmsg("shown\n"); // the test environment keeps the message box from blocking
    fxCloseTraces();

    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    char id[16];
    snprintf(id, sizeof id, "%08x: ", static_cast<unsigned>(GetCurrentThreadId()));
    EXPECT_NE(std::string::npos, text.find(std::string(id) + "[")) << text;
    EXPECT_NE(std::string::npos, text.find("hello 7\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\r\n#ERROR: " + std::string(id))) << text;
    EXPECT_NE(std::string::npos, text.find("message box not shown")) << text;
    for (size_t i = 0; i < text.size(); i++)
        ASSERT_TRUE(text[i] != '\n' || (i > 0 && text[i - 1] == '\r')) << "bare line feed at " << i;
}
