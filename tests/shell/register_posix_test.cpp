#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "shell/register_posix.h"
#include "support/endtoend.h"

namespace {

std::string Dir() {
    const char* t = getenv("MH_TEST_TMP");
    std::string d = std::string(t ? t : "/tmp/mh_register_test");
    std::string cmd = "mkdir -p '" + d + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
    return d;
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

const char* kHead = "# XScreenSaver Preferences File\n"
                    "# Written by xscreensaver-settings 6.06 for user on Mon Dec  7 10:00:00 2026.\n"
                    "# https://www.jwz.org/xscreensaver/man1.html\n\n"
                    "timeout:\t0:10:00\n"
                    "mode:\t\trandom\n"
                    "selected:\t-1\n\n"
                    "textProgram:\tfortune\n\n";
const char* kList = "programs:\t\t\t\t\t\t\t\t      \\\n"
                    "\t\t\t\tmaze -root\t\t\t\t    \\n\\\n"
                    "-\t\t\t\tattraction -root\t\t\t    \\n\\\n"
                    "  GL: \t\t\t\tsuperquadrics -root\t\t\t    \\n\\\n";
const char* kTail = "\n\npointerPollTime:\t0:00:05\n";

} // namespace

// The entry goes to the top of the list; every other byte stays, the file keeps its mode, and
// a second registration changes nothing.
TEST(RegisterXScreenSaver, AddsOnceAndKeepsTheRestOfTheFile) {
    std::string file = Dir() + "/prefs";
    std::string before = std::string(kHead) + kList + kTail;
    Write(file, before);
    chmod(file.c_str(), 0640);
    char msg[512];
    ASSERT_EQ(fxAddXScreenSaverMode(file.c_str(), "/opt/mh/bin/mhollow -root", msg, sizeof(msg)),
              fxRegisterAdded)
        << msg;
    std::string after = mhtest::ReadFile(file);
    std::string entry = "  GL: \t\t\t\t/opt/mh/bin/mhollow -root\t\t\t\t\t    \\n\\\n";
    size_t firstEntry = strlen(kHead) + strlen("programs:\t\t\t\t\t\t\t\t      \\\n");
    std::string expected = before.substr(0, firstEntry) + entry + before.substr(firstEntry);
    EXPECT_EQ(after, expected);
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_NE(std::string(msg).find("added"), std::string::npos);

    // The same program, by name or by another path, disabled or not, is already there.
    EXPECT_EQ(fxAddXScreenSaverMode(file.c_str(), "mhollow -root", msg, sizeof(msg)), fxRegisterPresent);
    EXPECT_EQ(mhtest::ReadFile(file), expected);
    Write(file, std::string(kHead) + kList + "-  GL: \t\tmirehollow -root -fps \\n\n" + kTail);
    EXPECT_EQ(fxAddXScreenSaverMode(file.c_str(), "/usr/libexec/xscreensaver/mirehollow -root", msg,
                                    sizeof(msg)),
              fxRegisterPresent);
    // A mode whose arguments merely mention the name is another program.
    Write(file, std::string(kHead) + "programs: xmatrix -text mirehollow \\n\n");
    EXPECT_EQ(fxAddXScreenSaverMode(file.c_str(), "mirehollow -root", msg, sizeof(msg)), fxRegisterAdded);
    EXPECT_EQ(mhtest::ReadFile(file), std::string(kHead) + "programs: \\\n  GL: \t\t\t\tmirehollow -root\t\t\t\t\t    \\n\\\n"
                                               "\t\t\t\txmatrix -text mirehollow \\n\n");
}

// Without a settings file, or without a list in it, nothing is written: a file holding only our
// line would replace the user's whole list of modes.
TEST(RegisterXScreenSaver, NeverCreatesAListOfItsOwn) {
    std::string dir = Dir();
    std::string file = dir + "/missing";
    unlink(file.c_str());
    char msg[512];
    EXPECT_EQ(fxAddXScreenSaverMode(file.c_str(), "mirehollow -root", msg, sizeof(msg)), fxRegisterNoSettings);
    EXPECT_NE(access(file.c_str(), F_OK), 0);
    EXPECT_NE(std::string(msg).find("xscreensaver-settings"), std::string::npos) << msg;

    // "programs:" inside another value's continuation is not the list.
    file = dir + "/nolist";
    std::string text = std::string(kHead) + "textLiteral:\tfoo \\\nprograms: bar\n";
    Write(file, text);
    EXPECT_EQ(fxAddXScreenSaverMode(file.c_str(), "mirehollow -root", msg, sizeof(msg)), fxRegisterNoSettings);
    EXPECT_EQ(mhtest::ReadFile(file), text);
}
