// The saver's registry value on Windows: read back as stored, and refused when it is not text
// or does not fit, without touching the caller's buffer.
#include "shell/config.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const char kKey[] = "Software\\vesk3d\\Screensavers\\MirehollowTest";

void Store(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k,
                                             nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(k);
}
} // namespace

TEST(ConfigW32, RegistryValuesAreReadOnlyWhenTheyAreWholeText) {
    const char dir[] = "C:\\Program Files\\Mirehollow";
    Store("path", REG_SZ, dir, sizeof dir);
    Store("number", REG_DWORD, "\x01\x02\x03\x04", 4);
    Store("unterminated", REG_SZ, "abc", 3);
    std::string longText(700, 'x');
    Store("long", REG_SZ, longText.c_str(), static_cast<DWORD>(longText.size() + 1));

    char value[520] = "untouched";
    ASSERT_TRUE(fxReadConfigValue(kKey, "path", value, sizeof value));
    EXPECT_STREQ(dir, value);
    ASSERT_TRUE(fxReadConfigValue(kKey, "unterminated", value, sizeof value));
    EXPECT_STREQ("abc", value);

    strcpy(value, "untouched");
    EXPECT_FALSE(fxReadConfigValue(kKey, "number", value, sizeof value));
    EXPECT_FALSE(fxReadConfigValue(kKey, "long", value, sizeof value));
    EXPECT_FALSE(fxReadConfigValue(kKey, "missing", value, sizeof value));
    EXPECT_FALSE(fxReadConfigValue("Software\\NoSuchKey\\Anywhere", "path", value, sizeof value));
    EXPECT_STREQ("untouched", value);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

TEST(ConfigW32, TheLogStaysBesideAWritableDataDirectory) {
    char cwd[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, cwd), 0u);
    EXPECT_STREQ("mhollow.log", fxLogFile(cwd, "mhollow.log"));
    std::string elsewhere = fxLogFile("Q:\\no\\such\\folder", "mhollow.log");
    EXPECT_NE(std::string::npos, elsewhere.find("\\Mirehollow\\mhollow.log")) << elsewhere;
}
