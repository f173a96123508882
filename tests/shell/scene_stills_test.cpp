#include <gtest/gtest.h>

#include "shell/main_x11.h"
#include "shell/stills.h"

namespace {

bool Parse(std::vector<const char*> words, FXSaverArgs* args, std::string* error) {
    std::vector<char*> argv = {(char*)"mhollow"};
    for (const char* w : words)
        argv.push_back((char*)w);
    char buf[256];
    bool ok = fxParseSaverArgs((int)argv.size(), argv.data(), args, buf, sizeof(buf));
    *error = buf;
    return ok;
}

TEST(StillsCommandLine, RenderAtSelectsStillsWithItsOptions) {
    FXSaverArgs args;
    std::string error;
    ASSERT_TRUE(Parse({"--render-at", "5,20.5", "--size=320x240", "--seed", "7", "--data", "/d", "--step",
                       "0.1", "--desktop", "pic.png", "--output", "out_%d.png"},
                      &args, &error))
        << error;
    EXPECT_EQ(args.mode, fxModeStills);
    EXPECT_STREQ(args.stills.renderAt, "5,20.5");
    EXPECT_STREQ(args.stills.size, "320x240");
    EXPECT_STREQ(args.stills.seed, "7");
    EXPECT_STREQ(args.stills.data, "/d");
    EXPECT_STREQ(args.stills.step, "0.1");
    EXPECT_STREQ(args.stills.desktop, "pic.png");
    EXPECT_STREQ(args.stills.output, "out_%d.png");

    // The desktop picture also serves the windowed saver.
    ASSERT_TRUE(Parse({"--window", "--desktop", "pic.png"}, &args, &error)) << error;
    EXPECT_EQ(args.mode, fxModeWindow);
    EXPECT_STREQ(args.stills.desktop, "pic.png");

    ASSERT_TRUE(Parse({"--desktop=pic.png", "--fullscreen"}, &args, &error)) << error;
    EXPECT_EQ(args.mode, fxModeFullScreen);
    EXPECT_STREQ(args.stills.desktop, "pic.png");

    EXPECT_FALSE(Parse({"--window", "--size", "10x10"}, &args, &error));
    EXPECT_NE(error.find("--render-at"), std::string::npos);
    EXPECT_FALSE(Parse({"--render-at", "5", "--window"}, &args, &error));
    EXPECT_FALSE(Parse({"--render-at"}, &args, &error));
}

FXStillsJob Job(FXStillsArgs a, bool ok = true) {
    FXStillsJob job;
    std::string error;
    EXPECT_EQ(fxParseStills(a, &job, &error), ok) << error;
    if (!ok) {
        EXPECT_FALSE(error.empty());
    }
    return job;
}

TEST(StillsOptions, ConvertsAndChecksEveryValue) {
    FXStillsArgs a;
    a.renderAt = "45,5,20,5";
    a.output = "shot.png";
    FXStillsJob job = Job(a);
    EXPECT_EQ(job.times, (std::vector<double>{5, 20, 45}));
    EXPECT_EQ(job.width, 1024);
    EXPECT_EQ(job.height, 768);
    EXPECT_DOUBLE_EQ(job.step, 1.0 / 30);
    EXPECT_FALSE(job.seeded);

    a.size = "320X200";
    a.step = "0.25";
    a.seed = "4294967295";
    job = Job(a);
    EXPECT_EQ(job.width, 320);
    EXPECT_EQ(job.height, 200);
    EXPECT_DOUBLE_EQ(job.step, 0.25);
    EXPECT_TRUE(job.seeded);
    EXPECT_EQ(job.seed, 4294967295u);

    const char* badTimes[] = {"", "5,", "x", "-1", "nan", "inf", "1e9", "5;6", "1,,2"};
    for (const char* t : badTimes) {
        FXStillsArgs b = a;
        b.renderAt = t;
        Job(b, false);
    }
    const char* badSizes[] = {"0x10", "10x", "x10", "10x10x", "9000x10", "-5x10", "10*10"};
    for (const char* s : badSizes) {
        FXStillsArgs b = a;
        b.size = s;
        Job(b, false);
    }
    const char* badSteps[] = {"0", "-0.1", "61", "fast"};
    for (const char* s : badSteps) {
        FXStillsArgs b = a;
        b.step = s;
        Job(b, false);
    }
    const char* badSeeds[] = {"-1", "4294967296", "12a", ""};
    for (const char* s : badSeeds) {
        FXStillsArgs b = a;
        b.seed = s;
        Job(b, false);
    }
    FXStillsArgs b = a;
    b.output = nullptr;
    Job(b, false);
    b.output = "shot.jpg";
    Job(b, false);
    // Too many frames for the step.
    b = a;
    b.renderAt = "80000";
    b.step = "0.001";
    Job(b, false);
}

TEST(StillsOptions, NamesCarryTheTime) {
    EXPECT_EQ(fxStillName("shot_%d.png", 5), "shot_5.png");
    EXPECT_EQ(fxStillName("shot_%d.png", 17.25), "shot_17.25.png");
    EXPECT_EQ(fxStillName("a%d/b%d.png", 2), "a2/b2.png");
    EXPECT_EQ(fxStillName("dir.v2/shot.png", 40), "dir.v2/shot-40.png");
    EXPECT_EQ(fxStillName("%s_100%%.png", 1), "%s_100%%-1.png");

    // Two times that would share a file are refused.
    FXStillsArgs a;
    a.renderAt = "1.0000001,1.0000002";
    a.output = "s_%d.png";
    Job(a, false);
}

} // namespace
