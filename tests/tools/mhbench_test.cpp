// The benchmark program's figures and command line.

#include <gtest/gtest.h>

#include "../../tools/mhbench/stats.cpp"

namespace {

using mhbench::Options;
using mhbench::ParseOptions;
using mhbench::Summarise;

TEST(MhbenchSummary, MedianMinMaxOfUnsortedSamples) {
    mhbench::Summary odd = Summarise({9, 1, 5, 7, 3});
    EXPECT_EQ(5, odd.count);
    EXPECT_DOUBLE_EQ(5, odd.median);
    EXPECT_DOUBLE_EQ(1, odd.min);
    EXPECT_DOUBLE_EQ(9, odd.max);

    // An even count: the mean of the two middle samples, not either one of them.
    mhbench::Summary even = Summarise({10, 2, 4, 100});
    EXPECT_DOUBLE_EQ(7, even.median);
    EXPECT_DOUBLE_EQ(2, even.min);
    EXPECT_DOUBLE_EQ(100, even.max);

    mhbench::Summary one = Summarise({0.25});
    EXPECT_DOUBLE_EQ(0.25, one.median);
    EXPECT_DOUBLE_EQ(0.25, one.min);
    EXPECT_DOUBLE_EQ(0.25, one.max);

    mhbench::Summary none = Summarise({});
    EXPECT_EQ(0, none.count);
    EXPECT_DOUBLE_EQ(0, none.median);
}

bool Parse(std::vector<const char*> args, Options* o, std::string* error) {
    args.insert(args.begin(), "mhbench");
    return ParseOptions((int)args.size(), args.data(), o, error);
}

TEST(MhbenchOptions, AcceptsTheOptionsAndRunsEverythingByDefault) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({}, &o, &error));
    EXPECT_EQ(20, o.reps);
    for (const std::string& name : mhbench::BenchNames())
        EXPECT_TRUE(o.Wants(name)) << name;

    ASSERT_TRUE(Parse({"--reps", "100000", "--data", "/d", "--only", "text,capture", "--only", "text",
                       "--frame-png", "f.png"},
                      &o, &error))
        << error;
    EXPECT_EQ(100000, o.reps);
    EXPECT_EQ("/d", o.dataDir);
    EXPECT_EQ(std::vector<std::string>({"text", "capture"}), o.only);
    EXPECT_TRUE(o.Wants("capture"));
    EXPECT_FALSE(o.Wants("frame"));
    EXPECT_EQ("f.png", o.framePng);
}

TEST(MhbenchOptions, RejectsBadValuesWithTheirName) {
    Options o;
    std::string error;
    for (const char* reps : {"0", "-3", "5x", "", "100001", "99999999999999999999"}) {
        EXPECT_FALSE(Parse({"--reps", reps}, &o, &error)) << reps;
        EXPECT_NE(std::string::npos, error.find("--reps")) << error;
    }
    EXPECT_FALSE(Parse({"--only", "frame,fps"}, &o, &error));
    EXPECT_NE(std::string::npos, error.find("\"fps\"")) << error;
    EXPECT_FALSE(Parse({"--only", "frame,"}, &o, &error)) << "an empty name";
    EXPECT_FALSE(Parse({"--reps"}, &o, &error));
    EXPECT_NE(std::string::npos, error.find("needs a value")) << error;
    EXPECT_FALSE(Parse({"--data", ""}, &o, &error));
    EXPECT_FALSE(Parse({"--repz", "3"}, &o, &error));
    EXPECT_NE(std::string::npos, error.find("--repz")) << error;
}

} // namespace
