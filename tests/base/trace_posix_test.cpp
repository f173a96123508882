#include "base/trace.h"
#include "render/other.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const std::string kRule(48, '-');

std::string Scratch(const char* name) {
    const char* t = getenv("MH_TEST_TMP");
    std::string dir = t ? t : "/tmp/mh_trace_test";
    std::string cmd = "mkdir -p '" + dir + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
    return dir + "/" + name;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string ThreadPrefix() {
    char buf[32];
    snprintf(buf, sizeof(buf), "%08x: ", static_cast<unsigned>(syscall(SYS_gettid)));
    return buf;
}

// Replaces every time prefix "[<digits>.<3 digits>] " by "[T] "; leaves malformed ones alone.
std::string MaskTimes(const std::string& s) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        size_t j = i + 1;
        if (s[i] == '[') {
            while (j < s.size() && isdigit(static_cast<unsigned char>(s[j])))
                j++;
            bool ok = j > i + 1 && j + 5 < s.size() && s[j] == '.' &&
                      isdigit(static_cast<unsigned char>(s[j + 1])) &&
                      isdigit(static_cast<unsigned char>(s[j + 2])) &&
                      isdigit(static_cast<unsigned char>(s[j + 3])) && s[j + 4] == ']' && s[j + 5] == ' ';
            if (ok) {
                out += "[T] ";
                i = j + 6;
                continue;
            }
        }
        out += s[i++];
    }
    return out;
}

} // namespace

TEST(Traces, OffByDefaultAndHarmless) {
    ASSERT_FALSE(fxTracesOpened());
    trc("nothing %d\n", 1);
    trc1("nothing\n");
    err("nothing\n");
    fxCloseTraces();
    EXPECT_FALSE(fxTracesOpened());
}

TEST(Traces, FileFormat) {
    std::string path = Scratch("format.log");
    ASSERT_TRUE(fxOpenTraces(path.c_str()));
    EXPECT_TRUE(fxTracesOpened());
    double before = fxGetTime();
    trc("loading %s\n", "devil");
    double after = fxGetTime();
    trc("no line feed, ");
    trc1("bare %d\n", 7);
    err("broken %s\n", "thing");
    fxCloseTraces();
    EXPECT_FALSE(fxTracesOpened());
    trc("after close\n");

    std::string log = ReadAll(path);
    std::string head = kRule + "\n fxOpenTraces (filename:" + path + ")\n" + kRule + "\n\n";
    ASSERT_EQ(log.substr(0, head.size()), head);
    std::string tail = "\n" + kRule + "\n end of traces\n" + kRule + "\n\n";
    ASSERT_GE(log.size(), head.size() + tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    std::string body = log.substr(head.size(), log.size() - head.size() - tail.size());

    // Time prefixes vary: replace each "[digits.ddd] " by "[T] " before comparing.
    std::string t = ThreadPrefix();
    EXPECT_EQ(MaskTimes(body), t + "[T] loading devil\n" + t + "[T] no line feed, bare 7\n#ERROR: " + t +
                                   "[T] broken thing\n");
    EXPECT_EQ(log.find('\r'), std::string::npos);

    // The time prefix is the saver's clock in seconds (kept in single precision).
    double stamp = -1;
    ASSERT_EQ(sscanf(body.c_str() + t.size(), "[%lf] ", &stamp), 1) << body;
    double slack = 0.002 + after * 1.2e-7;
    EXPECT_GE(stamp, before - slack);
    EXPECT_LE(stamp, after + slack);
}

TEST(Traces, SecondOpenIsRefusedAndNoted) {
    std::string first = Scratch("first.log"), second = Scratch("second.log");
    unlink(second.c_str());
    ASSERT_TRUE(fxOpenTraces(first.c_str()));
    EXPECT_FALSE(fxOpenTraces(second.c_str()));
    EXPECT_TRUE(fxTracesOpened());
    trc("still here\n");
    fxCloseTraces();
    EXPECT_NE(access(second.c_str(), F_OK), 0);

    std::string log = ReadAll(first);
    std::string block = kRule + "\nfxOpenTraces - attempt to open another traces\n" +
                        "               (filename:" + second + ")\n" + kRule + "\n\n";
    size_t at = log.find(block);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_LT(at, log.find("still here"));
}

TEST(Traces, FailedOpenLeavesTracesOff) {
    EXPECT_FALSE(fxOpenTraces("/no/such/dir/x.log"));
    EXPECT_FALSE(fxTracesOpened());
    EXPECT_FALSE(fxOpenTraces(nullptr));
    EXPECT_FALSE(fxTracesOpened());
}

TEST(Traces, LongMessagesAreCut) {
    std::string path = Scratch("long.log");
    ASSERT_TRUE(fxOpenTraces(path.c_str()));
    std::string big(10000, 'L');
    trc1("%s|", big.c_str());
    trc1("end\n");
    fxCloseTraces();
    std::string log = ReadAll(path);
    size_t first = log.find('L');
    ASSERT_NE(first, std::string::npos);
    size_t end = log.find("end\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(end - first, 4096u);
    EXPECT_EQ(trcTrcText[4096], 0);
}

TEST(Traces, ErrorMessageIsLoggedAndShown) {
    std::string path = Scratch("errmsg.log");
    ASSERT_TRUE(fxOpenTraces(path.c_str()));
    testing::internal::CaptureStderr();
    EXPECT_NE(errmsg("driver lacks %s\n", "multitexture"), 0);
    std::string shown = testing::internal::GetCapturedStderr();
    fxCloseTraces();
    EXPECT_NE(shown.find("driver lacks multitexture"), std::string::npos);
    std::string log = ReadAll(path);
    EXPECT_NE(log.find("#ERROR: " + ThreadPrefix()), std::string::npos);
    EXPECT_NE(log.find("driver lacks multitexture\n"), std::string::npos);

    // With traces off the text is still shown.
    testing::internal::CaptureStderr();
    errmsg("alone %d", 3);
    shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("alone 3"), std::string::npos);
    EXPECT_STREQ(trcDynamicError, "alone 3");
}
