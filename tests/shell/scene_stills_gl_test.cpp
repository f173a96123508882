#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "assets/canvas.h"
#include "shell/scene.h"
#include "shell/stills.h"
#include "support/pkgbuild.h"

namespace {

uint32_t PixelAt(FXCanvas& c, int x, int y) {
    return c.pixmap.pixels[(size_t)y * c.pixmap.stride + x];
}

TEST(Stills, WithoutAPackageTheDesktopDarkensAndFilesAreWritten) {
    std::string empty = mhtest::TestTmpDir() + "/nodata";
    mkdir(empty.c_str(), 0755);
    std::string out = mhtest::TestTmpPath("still_%d.png");
    FXStillsArgs a;
    a.renderAt = "15,0";
    a.size = "96x64";
    a.data = empty.c_str();
    a.step = "0.5";
    a.output = out.c_str();
    ASSERT_EQ(fxStillsMain(a), 0);

    ASSERT_TRUE(fxLoadDevil());
    FXCanvas card, s0, s15;
    ASSERT_TRUE(fxMakeTestCard(&card, 96, 64));
    ASSERT_TRUE(s0.CreateFromPict(fxStillName(out, 0).c_str()));
    ASSERT_TRUE(s15.CreateFromPict(fxStillName(out, 15).c_str()));
    ASSERT_EQ(s0.GetWidth(), 96);
    ASSERT_EQ(s0.GetHeight(), 64);
    // Nothing but the desktop stand-in, at full brightness and then at half.
    for (int y = 0; y < 64; y += 5)
        for (int x = 0; x < 96; x += 5) {
            uint32_t c = PixelAt(card, x, y), p0 = PixelAt(s0, x, y), p15 = PixelAt(s15, x, y);
            for (int k = 0; k < 24; k += 8) {
                int want = (c >> k) & 0xFF;
                EXPECT_NEAR((int)((p0 >> k) & 0xFF), want, 1) << x << "," << y;
                EXPECT_NEAR((int)((p15 >> k) & 0xFF), want * 0.5, 1.5) << x << "," << y;
            }
            EXPECT_EQ(p0 >> 24, 255u);
        }
    // Every picture item was reported missing.
    EXPECT_GE(sceneMissingItems.count, 13);
    fxUnloadDevil();
}

TEST(Stills, UnreadableDesktopPictureFails) {
    std::string out = mhtest::TestTmpPath("never.png");
    std::string missing = mhtest::TestTmpPath("no_such_picture.png");
    FXStillsArgs a;
    a.renderAt = "1";
    a.size = "32x32";
    a.desktop = missing.c_str();
    a.output = out.c_str();
    EXPECT_NE(fxStillsMain(a), 0);
    EXPECT_NE(access(fxStillName(out, 1).c_str(), F_OK), 0);
}

} // namespace
