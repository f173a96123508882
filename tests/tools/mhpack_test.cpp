// The package tool: manifest parsing, building, listing and extracting, and its failures.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "../../tools/mhpack/mhpack.cpp"
#include "support/pkgbuild.h"

namespace {

// A 3 x 2 RGBA picture.
const unsigned char kPng[] = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49,
                              0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x06,
                              0x00, 0x00, 0x00, 0x9d, 0x74, 0x66, 0x1a, 0x00, 0x00, 0x00, 0x14, 0x49, 0x44,
                              0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xf0, 0x1f, 0x08, 0x1b, 0x40,
                              0x14, 0x03, 0x32, 0x07, 0x00, 0x7b, 0x2a, 0x08, 0xf9, 0xe2, 0xc6, 0xb2, 0xa3,
                              0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

std::string Dir() {
    const char* t = getenv("MH_TEST_TMP");
    std::string d = t ? t : "/tmp/mh_tools_mhpack";
    for (size_t i = 1; i <= d.size(); i++)
        if (i == d.size() || d[i] == '/') mkdir(d.substr(0, i).c_str(), 0755);
    return d;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct Result {
    int status;
    std::string out, err;
};

Result Mhpack(std::vector<std::string> args) {
    args.insert(args.begin(), "mhpack");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    Result r;
    r.status = mhpack::Run(int(argv.size()), argv.data(), out, err);
    for (auto [f, s] : {std::pair<FILE*, std::string*>{out, &r.out}, {err, &r.err}}) {
        rewind(f);
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            s->append(buf, n);
        fclose(f);
    }
    return r;
}

class MhpackTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = Dir() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        mkdir(dir.c_str(), 0755);
        mkdir((dir + "/pics").c_str(), 0755);
        png = std::string(reinterpret_cast<const char*>(kPng), sizeof kPng);
        WriteFile(dir + "/pics/sky.png", png);
        WriteFile(dir + "/pics/tree-01 (b).png", png);
        WriteFile(dir + "/settings.bin", std::string("\x01\x02\x00\x03", 4));
        WriteFile(dir + "/items.txt", "# woodland test\n"
                                      "\n"
                                      "12 pics/sky.png\r\n"
                                      "  5   pics/tree-01 (b).png  \n"
                                      "6 settings.bin\n");
    }
    std::string dir, png;
};

TEST(MhpackManifest, ReadsIdsAndPathsSkippingCommentsAndBlankLines) {
    std::vector<mhpack::ManifestEntry> e;
    std::string error;
    ASSERT_TRUE(mhpack::ParseManifestText("# header\n\n  3 a.png\n0\tdir/b c.jpg \r\n7 /abs/x.bin\n# end",
                                          "base", &e, &error))
        << error;
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].id, 3);
    EXPECT_EQ(e[0].path, "base/a.png");
    EXPECT_EQ(e[0].line, 3);
    EXPECT_EQ(e[1].id, 0);
    EXPECT_EQ(e[1].path, "base/dir/b c.jpg");
    EXPECT_EQ(e[2].path, "/abs/x.bin");
}

TEST(MhpackManifest, RejectsBadLinesNamingTheLine) {
    struct Case {
        const char* text;
        const char* expect;
    } cases[] = {
        {"1 a.png\n2 b.png\n1 c.png\n", "line 3: item id 1 is already used on line 1"},
        {"x a.png\n", "line 1: 'x' is not an item id"},
        {"-4 a.png\n", "'-4' is not an item id"},
        {"+4 a.png\n", "'+4' is not an item id"},
        {"12a a.png\n", "'12a' is not an item id"},
        {"99999999999 a.png\n", "'99999999999' is not an item id"},
        {"\n\n7\n", "line 3: item 7 names no file"},
        {"7   \n", "line 1: item 7 names no file"},
    };
    for (const Case& c : cases) {
        std::vector<mhpack::ManifestEntry> e;
        std::string error;
        EXPECT_FALSE(mhpack::ParseManifestText(c.text, ".", &e, &error)) << c.text;
        EXPECT_NE(error.find(c.expect), std::string::npos) << error;
    }
}

TEST_F(MhpackTool, BuildsThePackageWithTheManifestIdsAndNamesHeader) {
    Result r =
        Mhpack({"build", dir + "/items.txt", "-o", dir + "/out.dat", "--names-header", dir + "/names.h"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(Exists(dir + "/out.dat.part"));

    FXPackage pkg;
    ASSERT_TRUE(pkg.Load((dir + "/out.dat").c_str()));
    EXPECT_EQ(pkg.itemIds.count, 3);
    EXPECT_EQ(pkg.GetDataType(12), FXPCK_TYPE_PNG);
    EXPECT_EQ(pkg.GetDataType(6), FXPCK_TYPE_RAW);
    FXPackageData* d = pkg.GetDataPtr(5);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(d->begin), d->size), png);
    d = pkg.GetDataPtr(6);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(d->begin), d->size), std::string("\x01\x02\x00\x03", 4));
    EXPECT_EQ(ReadFile(dir + "/out.dat").substr(0, 9), std::string("\x05\0\0\0pck01", 9));

    // Ids with gaps; names from the file name, upper case, punctuation turned into '_'.
    EXPECT_EQ(ReadFile(dir + "/names.h"), "#define FXNAME_SKY_PNG  12\n"
                                          "#define FXNAME_TREE_01__B__PNG  5\n"
                                          "#define FXNAME_SETTINGS_BIN  6\n");
}

TEST_F(MhpackTool, NamesHeaderRefusesTwoItemsWithOneName) {
    WriteFile(dir + "/same.txt", "3 pics/sky.png\n4 other/SKY.png\n");
    mkdir((dir + "/other").c_str(), 0755);
    WriteFile(dir + "/other/SKY.png", png);
    Result r = Mhpack({"build", dir + "/same.txt", "-o", dir + "/s.dat", "--names-header", dir + "/s.h"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("items 3 and 4 would both be named FXNAME_SKY_PNG"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(dir + "/s.dat"));
    EXPECT_FALSE(Exists(dir + "/s.h"));

    // One file under two ids is fine without a header, and names each id with a header
    // only when the names differ.
    WriteFile(dir + "/twice.txt", "3 pics/sky.png\n4 pics/sky.png\n");
    EXPECT_EQ(Mhpack({"build", dir + "/twice.txt", "-o", dir + "/t.dat"}).status, 0);
    EXPECT_EQ(
        Mhpack({"build", dir + "/twice.txt", "-o", dir + "/t.dat", "--names-header", dir + "/t.h"}).status,
        1);
}

TEST_F(MhpackTool, TransposedBuildListsAndExtractsTheSameBytes) {
    ASSERT_EQ(Mhpack({"build", dir + "/items.txt", "-o", dir + "/t.dat", "--transposed"}).status, 0);
    EXPECT_EQ(ReadFile(dir + "/t.dat").substr(0, 10), std::string("\x06\0\0\0pck01s", 10));

    Result list = Mhpack({"list", dir + "/t.dat"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("transposed layout, 3 items"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("12  png"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("3 x 2"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("6  raw"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("3 items, " + std::to_string(2 * png.size() + 4) +
                            " bytes of data, 2 pictures, all decodable"),
              std::string::npos)
        << list.out;

    Result ex = Mhpack({"extract", dir + "/t.dat", "5", "-o", dir + "/five.png"});
    ASSERT_EQ(ex.status, 0) << ex.err;
    EXPECT_EQ(ReadFile(dir + "/five.png"), png);
}

TEST_F(MhpackTool, ListFailsOnAPictureThatDoesNotDecode) {
    WriteFile(dir + "/pics/broken.png", "this is not a picture");
    WriteFile(dir + "/bad.txt", "1 pics/sky.png\n2 pics/broken.png\n");
    ASSERT_EQ(Mhpack({"build", dir + "/bad.txt", "-o", dir + "/bad.dat"}).status, 0);
    Result r = Mhpack({"list", dir + "/bad.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("does not decode"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 of them do not decode"), std::string::npos) << r.out;
}

TEST_F(MhpackTool, BuildRefusesMissingFilesAndDuplicateIdsWithoutWritingAnything) {
    WriteFile(dir + "/missing.txt", "1 pics/sky.png\n2 pics/nowhere.png\n3 gone.bin\n");
    Result r = Mhpack({"build", dir + "/missing.txt", "-o", dir + "/m.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.txt: line 2: cannot read " + dir + "/pics/nowhere.png"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("missing.txt: line 3: cannot read"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(dir + "/m.dat"));

    WriteFile(dir + "/dup.txt", "1 pics/sky.png\n1 settings.bin\n");
    r = Mhpack({"build", dir + "/dup.txt", "-o", dir + "/d.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("line 2: item id 1 is already used on line 1"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(dir + "/d.dat"));

    r = Mhpack({"build", dir + "/no-such-manifest.txt", "-o", dir + "/x.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read the manifest"), std::string::npos) << r.err;

    // An output directory that does not exist: a clear failure and no leftovers.
    r = Mhpack({"build", dir + "/items.txt", "-o", dir + "/no/such/dir/out.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("could not write the package"), std::string::npos) << r.err;
}

TEST_F(MhpackTool, UnreadablePackagesAndUnknownItemsFail) {
    WriteFile(dir + "/notpkg.dat", "\x05\0\0\0PCK01 and more");
    Result r = Mhpack({"list", dir + "/notpkg.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not a package"), std::string::npos) << r.err;

    WriteFile(dir + "/short.dat", std::string("\xff\xff\xff\x7f", 4));
    EXPECT_EQ(Mhpack({"list", dir + "/short.dat"}).status, 1);

    r = Mhpack({"list", dir + "/absent.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;

    ASSERT_EQ(Mhpack({"build", dir + "/items.txt", "-o", dir + "/ok.dat"}).status, 0);
    r = Mhpack({"extract", dir + "/ok.dat", "99", "-o", dir + "/x.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("has no item 99"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(dir + "/x.bin"));
    EXPECT_EQ(Mhpack({"extract", dir + "/ok.dat", "5x", "-o", dir + "/x.bin"}).status, 2);
}

// A package file made by hand: the header, the four directory arrays as given (count
// first), then the data bytes; the transposed layout swaps the payload's largest square.
std::string HandMadePackage(const std::vector<std::vector<int>>& arrays, const std::string& data,
                            bool transposed = false) {
    mhtest::Bytes b;
    for (const std::vector<int>& a : arrays)
        for (int v : a)
            mhtest::PutInt(&b, v);
    b.insert(b.end(), data.begin(), data.end());
    if (transposed) b = mhtest::Transposed(b);
    mhtest::Bytes h;
    mhtest::PutString(&h, transposed ? "pck01s" : "pck01");
    return std::string(h.begin(), h.end()) + std::string(b.begin(), b.end());
}

TEST_F(MhpackTool, DamagedDirectoriesAreReportedAndOnlySoundItemsServed) {
    const std::string data = "0123456789";
    struct Case {
        const char* name;
        std::vector<std::vector<int>> arrays;
        bool transposed;
        int readable;
    } cases[] = {
        {"cut off", {{3, 1}}, false, 0},
        {"huge counts", {{0x7fffffff, 1, 2}, {0x7fffffff, 0}, {-5}, {0x7fffffff, -1}}, false, 0},
        {"outside the data", {{3, 1, 2, 3}, {3, 0, 100, -1}, {3, 4, 5, 2}, {3, -1, -1, -1}}, false, 1},
        {"offset and size overflow",
         {{2, 1, 2}, {2, 0, 0x7ffffff0}, {2, 4, 0x7ffffff0}, {2, -1, -1}},
         false,
         1},
        {"uneven arrays", {{2, 1, 2}, {1, 0}, {2, 4, 4}, {2, -1, -1}}, false, 1},
        {"transposed", {{2, 1, 2}, {2, 0, 8}, {2, 4, 9}, {2, -1, -1}}, true, 1},
    };
    for (const Case& c : cases) {
        std::string pkg = dir + "/damaged.dat";
        WriteFile(pkg, HandMadePackage(c.arrays, data, c.transposed));
        Result r = Mhpack({"list", pkg});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_NE(r.err.find("has a damaged directory; " + std::to_string(c.readable) + " item"),
                  std::string::npos)
            << c.name << ": " << r.err;
        EXPECT_NE(r.out.find(std::to_string(c.readable) + " items,"), std::string::npos)
            << c.name << ": " << r.out;

        // Extracting warns but still serves the item whose bytes are sound.
        r = Mhpack({"extract", pkg, "1", "-o", dir + "/one.bin"});
        EXPECT_EQ(r.status, c.readable ? 0 : 1) << c.name << ": " << r.err;
        if (c.readable) {
            EXPECT_EQ(ReadFile(dir + "/one.bin"), "0123") << c.name;
        }
        remove((dir + "/one.bin").c_str());
    }

    // The same directory intact, in both layouts, is sound.
    for (bool transposed : {false, true}) {
        WriteFile(dir + "/sound.dat",
                  HandMadePackage({{2, 1, 2}, {2, 0, 4}, {2, 4, 6}, {2, -1, -1}}, data, transposed));
        Result r = Mhpack({"list", dir + "/sound.dat"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(MhpackTool, NothingIsPackedIntoItselfOrExtractedOverItsPackage) {
    ASSERT_EQ(Mhpack({"build", dir + "/items.txt", "-o", dir + "/self.dat"}).status, 0);
    std::string before = ReadFile(dir + "/self.dat");
    WriteFile(dir + "/self.txt", "1 pics/sky.png\n2 self.dat\n");
    Result r = Mhpack({"build", dir + "/self.txt", "-o", dir + "/self.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("line 2: " + dir + "/self.dat is written by this build"), std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(dir + "/self.dat"), before);

    WriteFile(dir + "/names.h", "");
    WriteFile(dir + "/header.txt", "1 names.h\n");
    r = Mhpack({"build", dir + "/header.txt", "-o", dir + "/h.dat", "--names-header", dir + "/names.h"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is written by this build"), std::string::npos) << r.err;

    r = Mhpack({"extract", dir + "/self.dat", "12", "-o", dir + "/./self.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is the package itself"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir + "/self.dat"), before);

    r = Mhpack({"extract", dir + "/self.dat", "12", "-o", dir + "/no/such/dir/x.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot create"), std::string::npos) << r.err;
}

TEST_F(MhpackTool, NamesHeaderTakesIdsUpToTheLargest) {
    WriteFile(dir + "/top.txt", "2147483646 pics/sky.png\n2147483647 settings.bin\n3 pics/tree-01 (b).png\n");
    Result r = Mhpack({"build", dir + "/top.txt", "-o", dir + "/top.dat", "--names-header", dir + "/top.h"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir + "/top.h"), "#define FXNAME_SKY_PNG  2147483646\n"
                                        "#define FXNAME_SETTINGS_BIN  2147483647\n"
                                        "#define FXNAME_TREE_01__B__PNG  3\n");
    r = Mhpack({"extract", dir + "/top.dat", "2147483647", "-o", dir + "/top.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir + "/top.bin"), std::string("\x01\x02\x00\x03", 4));
}

TEST(MhpackCommandLine, HelpUsageAndUnknownWords) {
    for (const char* cmd : {"build", "list", "extract"}) {
        Result r = Mhpack({cmd, "--help"});
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_NE(r.out.find(std::string("usage: mhpack ") + cmd), std::string::npos) << r.out;
    }
    EXPECT_EQ(Mhpack({"--help"}).status, 0);
    EXPECT_EQ(Mhpack({}).status, 2);
    Result r = Mhpack({"pack", "x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command 'pack'"), std::string::npos);
    EXPECT_EQ(Mhpack({"build", "manifest.txt"}).status, 2);         // no -o
    EXPECT_EQ(Mhpack({"build", "m.txt", "-o"}).status, 2);          // -o without a name
    EXPECT_EQ(Mhpack({"list", "a.dat", "--transposed"}).status, 2); // build-only option
    EXPECT_EQ(Mhpack({"extract", "a.dat", "-o", "x"}).status, 2);   // no id
}

} // namespace
