#include "base/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Scratch() {
    const char* t = getenv("MH_TEST_TMP");
    std::string dir = t ? t : "/tmp/mh_paths_test";
    std::string cmd = "mkdir -p '" + dir + "/sub/deeper'";
    EXPECT_EQ(system(cmd.c_str()), 0);
    return dir;
}

} // namespace

TEST(Paths, TypePathsAlwaysEndWithASeparator) {
    fxSetTypePath(1, "/data/");
    EXPECT_STREQ(fxGetTypePath(1), "/data/");
    fxSetTypePath(1, "/data");
    EXPECT_STREQ(fxGetTypePath(1), "/data/");
    fxSetTypePath(1, "C:\\data");
    EXPECT_STREQ(fxGetTypePath(1), "C:\\data\\");
    fxSetTypePath(2, "");
    EXPECT_STREQ(fxGetTypePath(2), "./");
    fxSetTypePath(2, nullptr);
    EXPECT_STREQ(fxGetTypePath(2), "./");

    const std::string before = fxGetTypePath(1);
    fxSetTypePath(3, "/elsewhere");
    EXPECT_EQ(fxGetTypePath(3), nullptr);
    EXPECT_EQ(fxGetTypePath(0), nullptr);
    EXPECT_EQ(before, fxGetTypePath(1));

    // Over-long text is cut so that the separator still fits the buffer.
    std::string longPath = "/" + std::string(400, 'p');
    fxSetTypePath(1, longPath.c_str());
    const char* got = fxGetTypePath(1);
    EXPECT_EQ(strlen(got), static_cast<size_t>(FX_MAX_PATH - 1));
    EXPECT_EQ(got[FX_MAX_PATH - 2], '/');
}

TEST(Paths, InitUsesTheCurrentAndFontsDirectories) {
    std::string dir = Scratch();
    ASSERT_TRUE(fxSetActPath(dir.c_str()));
    fxInitPaths();
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    EXPECT_EQ(std::string(fxGetTypePath(1)), std::string(cwd) + "/");
    std::string fonts = fxGetTypePath(2);
    ASSERT_FALSE(fonts.empty());
    EXPECT_EQ(fonts.back(), '/');
    EXPECT_TRUE(fxPathExists(fonts.c_str()));
    EXPECT_EQ(std::string(fxGetActPath()), std::string(cwd) + "/");
}

TEST(Paths, SwitchingDirectories) {
    std::string dir = Scratch();
    fxSetTypePath(1, dir.c_str());
    ASSERT_TRUE(fxSetPath(1));
    ASSERT_TRUE(fxSetSubPath(1, "sub"));
    std::string act = fxGetActPath();
    EXPECT_EQ(act.substr(act.size() - 5), "/sub/");
    EXPECT_TRUE(fxSetSubPath(1, "\\sub\\deeper"));
    EXPECT_TRUE(fxPathExists("../deeper"));
    EXPECT_TRUE(fxPathExists("..\\deeper"));
    EXPECT_FALSE(fxSetSubPath(1, "missing"));
    EXPECT_FALSE(fxSetPath(3));
    EXPECT_FALSE(fxSetActPath(nullptr));
    EXPECT_FALSE(fxPathExists("no/such/file"));
    EXPECT_FALSE(fxPathExists(""));
}

TEST(Paths, CombineResolvesDotsAndSharesItsBuffer) {
    EXPECT_STREQ(fxCombinePaths("/data", "a.png"), "/data/a.png");
    EXPECT_STREQ(fxCombinePaths("/data/", "/a.png"), "/data/a.png");
    EXPECT_STREQ(fxCombinePaths("/data/", "\\a.png"), "/data/a.png");
    EXPECT_STREQ(fxCombinePaths("/data/x/", "../y/./b.png"), "/data/y/b.png");
    EXPECT_STREQ(fxCombinePaths("/data", "../../../b"), "/b");
    EXPECT_STREQ(fxCombinePaths("C:\\data\\", "tex\\a.png"), "C:/data/tex/a.png");
    EXPECT_STREQ(fxCombinePaths("rel", "../../a"), "../a");
    EXPECT_STREQ(fxCombinePaths("/data/", nullptr), "/data/");
    EXPECT_STREQ(fxCombinePaths(nullptr, "a/b"), "a/b");
    EXPECT_EQ(fxCombinePaths(nullptr, ""), nullptr);

    const char* first = fxCombinePaths("/one", "a");
    const char* second = fxCombinePaths("/two", "b");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "/two/b");
    // Its own result may be fed back in.
    EXPECT_STREQ(fxCombinePaths(fxCombinePaths("/a", "b"), "c"), "/a/b/c");

    std::string huge(300, 'n');
    EXPECT_EQ(fxCombinePaths("/d", huge.c_str()), nullptr);
}

TEST(Paths, RelativePaths) {
    EXPECT_STREQ(fxBuildRelativePath("/data", false, "/data/tex/a.png", true), "./tex/a.png");
    EXPECT_STREQ(fxBuildRelativePath("/data/", false, "/data/a.png", true), "./a.png");
    EXPECT_STREQ(fxBuildRelativePath("/data/models", false, "/data/tex/a.png", true), "../tex/a.png");
    EXPECT_STREQ(fxBuildRelativePath("/data/a/b", false, "/data/c.png", true), "../../c.png");
    EXPECT_STREQ(fxBuildRelativePath("/data/pkg.dat", true, "/data/tex/a.png", true), "./tex/a.png");
    EXPECT_STREQ(fxBuildRelativePath("C:\\data", false, "C:\\data\\tex\\a.png", true), "./tex/a.png");
    const char* otherDrive = "D:\\x.png";
    EXPECT_EQ(fxBuildRelativePath("C:\\data\\", false, otherDrive, true), otherDrive);
    const char* driveRoot = "C:\\x.png";
    EXPECT_EQ(fxBuildRelativePath("C:\\data\\", false, driveRoot, true), driveRoot);
    EXPECT_STREQ(fxBuildRelativePath("/data", false, "/data", false), ".");
    EXPECT_STREQ(fxBuildRelativePath("/", false, "/x.png", true), "./x.png");

    // Sharing nothing but the root: the target comes back unchanged, itself.
    const char* target = "/other/x.png";
    EXPECT_EQ(fxBuildRelativePath("/data/", false, target, true), target);
    EXPECT_EQ(fxBuildRelativePath("", false, target, true), target);
    EXPECT_EQ(fxBuildRelativePath(nullptr, false, target, true), target);

    // A relative target is taken from the current directory.
    std::string dir = Scratch();
    ASSERT_TRUE(fxSetActPath(dir.c_str()));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    EXPECT_STREQ(fxBuildRelativePath(cwd, false, "sub/a.png", true), "./sub/a.png");
}

TEST(Paths, FileNamesAndExtensions) {
    const char* p = "/data/models/model.obj";
    EXPECT_EQ(fxGetFilename(p), p + 13);
    EXPECT_STREQ(fxGetFilename("C:\\x\\y.png"), "y.png");
    EXPECT_STREQ(fxGetFilename("plain"), "plain");
    EXPECT_STREQ(fxGetFilename("dir/"), "");

    EXPECT_STREQ(fxChangeExt(p, "xm"), "/data/models/model.xm");
    EXPECT_STREQ(fxChangeExt(p, ".xm"), "/data/models/model.xm");
    EXPECT_STREQ(fxChangeExt("/d.x/name", "png"), "/d.x/name.png");
    EXPECT_STREQ(fxChangeExt("a.tar.gz", ""), "a.tar");
    EXPECT_STREQ(fxChangeExt(fxChangeExt("m.obj", "mtl"), "xm"), "m.xm");

    EXPECT_STREQ(fxAppenfFname("/img/file.png", "_n"), "/img/file_n.png");
    EXPECT_STREQ(fxAppenfFname("C:\\img\\file", "_n"), "C:\\img\\file_n");
    EXPECT_STREQ(fxAppenfFname("file.png", nullptr), "file.png");

    std::string huge = "/" + std::string(300, 'f') + ".obj";
    const char* cut = fxChangeExt(huge.c_str(), "xm");
    EXPECT_EQ(strlen(cut), static_cast<size_t>(FX_MAX_PATH - 1));
}
