// The file system and path texts as the Windows module sees them: drive letters,
// backslashes, the module's own folder.
#include "base/paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Scratch() {
    const char* t = getenv("MH_TEST_TMP");
    std::string dir = t && *t ? t : "C:\\mh_paths_w32_test";
    for (char& c : dir)
        if (c == '/') c = '\\';
    EXPECT_TRUE(fxMakeDirs(dir.c_str()));
    return dir;
}

} // namespace

TEST(PathsW32, DirectoriesWithDriveLettersAndBackslashes) {
    std::string dir = Scratch();
    std::string deep = dir + "\\a\\b/c";
    ASSERT_TRUE(fxMakeDirs(deep.c_str()));
    EXPECT_TRUE(fxMakeDirs(deep.c_str())) << "an existing directory is fine";
    ASSERT_TRUE(fxSetActPath(deep.c_str()));
    std::string act = fxGetActPath();
    EXPECT_EQ('\\', act.back());
    EXPECT_EQ(':', act[1]) << act;
    EXPECT_NE(std::string::npos, act.find("\\a\\b\\c\\")) << act;

    // Relative names open against the current directory, whatever separators they use.
    FILE* f = fopen("..\\..\\b/probe.bin", "wb");
    ASSERT_NE(nullptr, f);
    fputs("12345", f);
    fclose(f);
    std::string probe = dir + "\\a\\b\\probe.bin";
    EXPECT_TRUE(fxPathExists(probe.c_str()));
    EXPECT_TRUE(fxIsReadableFile(probe.c_str()));
    EXPECT_FALSE(fxIsReadableFile(dir.c_str())) << "a directory is not a readable file";
    EXPECT_TRUE(fxIsWritableDir(dir.c_str()));
    EXPECT_FALSE(fxIsWritableDir(probe.c_str()));

    f = fopen(probe.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    fgetc(f);
    EXPECT_EQ(4, fxFileBytesLeft(f));
    fclose(f);

    char full[FX_MAX_PATH];
    ASSERT_TRUE(fxGetFullPath("..\\..\\b\\..\\b\\probe.bin", full, sizeof full));
    EXPECT_STREQ(probe.c_str() + 2, full + 2); // the drive letter's case may differ
    EXPECT_FALSE(fxGetFullPath("no-such-file", full, sizeof full));

    EXPECT_TRUE(fxRemoveFile(probe.c_str()));
    EXPECT_FALSE(fxPathExists(probe.c_str()));
    EXPECT_FALSE(fxRemoveFile(probe.c_str()));
    fxSetActPath(dir.c_str());
}

TEST(PathsW32, TextsWithDrivesStayUsable) {
    // A relative path exists only on the same drive; otherwise the target comes back as it is.
    const char* rel = fxBuildRelativePath("C:\\data", false, "C:\\data\\tex\\a.png", true);
    ASSERT_NE(nullptr, rel);
    std::string r = rel;
    for (char& c : r)
        if (c == '\\') c = '/';
    EXPECT_EQ("./tex/a.png", r);
    const char* other = "D:\\x.png";
    EXPECT_EQ(other, fxBuildRelativePath("C:\\data\\", false, other, true));

    std::string combined = fxCombinePaths("C:\\data", "\\tex\\a.png");
    EXPECT_EQ(combined, std::string(fxCombinePaths("C:\\data", "tex\\a.png")));
    EXPECT_STREQ("a.png", fxGetFilename("C:\\data\\tex\\a.png"));
    EXPECT_STREQ("C:\\data\\model.xm", fxChangeExt("C:\\data\\model.obj", "xm"));

    fxSetTypePath(1, "C:\\data");
    EXPECT_STREQ("C:\\data\\", fxGetTypePath(1));
}

TEST(PathsW32, DefaultDataIsTheModuleFolderAndFontsAreTheSystems) {
    char exe[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, exe, MAX_PATH), 0u);
    std::string folder = exe;
    folder.erase(folder.find_last_of("\\/"));
    EXPECT_EQ(folder, fxDefaultDataDir());
    std::string fonts = fxGetSysFontsDir();
    EXPECT_FALSE(fonts.empty());
    EXPECT_TRUE(fxPathExists(fonts.c_str())) << fonts;
}
