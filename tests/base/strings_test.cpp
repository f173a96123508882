#include "base/memfile.h"
#include "base/paths.h"
#include "base/strings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Record(int32_t count, const std::string& body) {
    std::vector<unsigned char> v;
    for (int i = 0; i < 4; i++)
        v.push_back(static_cast<unsigned char>(static_cast<uint32_t>(count) >> (8 * i)));
    v.insert(v.end(), body.begin(), body.end());
    return v;
}

} // namespace

TEST(FXStr, SetAppendAndCharsStayWithinCapacity) {
    std::string longText(2000, 'x');
    FXStr s;
    EXPECT_EQ(s.Set(longText.c_str()), 1023);
    EXPECT_EQ(s.length, 1023);
    EXPECT_EQ(s.text[1023], 0);

    s.AppendChar('y');
    s.InsertChar('y');
    s.Append("more");
    EXPECT_EQ(s.length, 1023);
    EXPECT_EQ(s.text[0], 'x');

    FXStr a("abc");
    a.AppendChar(0);
    EXPECT_EQ(a.length, 3);
    a.InsertChar('>');
    a.AppendChar('<');
    EXPECT_STREQ(a.text, ">abc<");

    FXStr b(std::string(1020, 'b').c_str());
    b.Append("12345");
    EXPECT_EQ(b.length, 1023);
    EXPECT_EQ(std::string(b.text + 1020), "123");

    a.Set(nullptr);
    EXPECT_TRUE(a.IsEmpty());
    a.RemoveLast();
    EXPECT_EQ(a.length, 0);
    a.Set("abc");
    a.RemoveLast();
    EXPECT_STREQ(a.text, "ab");
    EXPECT_EQ(a.length, 2);
}

TEST(FXStr, SetFromItsOwnText) {
    FXStr s("  name");
    s.Set(s.text + 2);
    EXPECT_STREQ(s.text, "name");
    s.Append(s.text);
    EXPECT_STREQ(s.text, "namename");
}

TEST(FXStr, FormatCutsLongOutput) {
    FXStr s;
    EXPECT_EQ(s.Format("%d-%s", 42, "x"), 4);
    EXPECT_STREQ(s.text, "42-x");
    std::string longText(5000, 'z');
    EXPECT_EQ(s.Format("%s!", longText.c_str()), 1023);
    EXPECT_EQ(strlen(s.text), 1023u);
    EXPECT_EQ(s.Format("%s", ""), 0);
}

TEST(FXStr, Comparisons) {
    FXStr empty, ab("ab");
    EXPECT_TRUE(empty.Compare(nullptr));
    EXPECT_TRUE(empty.Compare(""));
    EXPECT_TRUE(empty.iCompare(nullptr));
    EXPECT_FALSE(ab.Compare(nullptr));
    EXPECT_FALSE(ab.iCompare(""));
    EXPECT_FALSE(empty.Compare("ab"));
    EXPECT_TRUE(ab.Compare("ab"));
    EXPECT_FALSE(ab.Compare("abc"));
    EXPECT_TRUE(ab.iCompare("AB"));
    EXPECT_FALSE(ab.iCompare("AC"));

    FXStr abcd("abcd");
    EXPECT_TRUE(abcd.nCompare("abcX", 3));
    EXPECT_FALSE(abcd.nCompare("abX", 3));

    // Only the first 1023 characters count.
    std::string a(1500, 'q'), b(1500, 'q');
    b[1400] = 'r';
    FXStr q(a.c_str());
    EXPECT_TRUE(q.Compare(b.c_str()));
    EXPECT_TRUE(q.iCompare(b.c_str()));
}

TEST(FXStr, TrimCaseAndExchange) {
    FXStr s("  ab c \t");
    EXPECT_EQ(s.TrimSpaces(), 4);
    EXPECT_STREQ(s.text, "ab c");
    s.Set(" \t\r\n\v\f ");
    EXPECT_EQ(s.TrimSpaces(), 0);
    EXPECT_STREQ(s.text, "");
    s.Clear();
    EXPECT_EQ(s.TrimSpaces(), 0);
    s.Set("x  ");
    EXPECT_EQ(s.TrimSpaces(), 1);
    EXPECT_STREQ(s.text, "x");

    s.Set("MiX\xC4 9");
    s.ToLower();
    EXPECT_STREQ(s.text, "mix\xC4 9");
    s.ToUpper();
    EXPECT_STREQ(s.text, "MIX\xC4 9");
    s.Set("a\\b\\c");
    s.ExchangeChars('\\', '/');
    EXPECT_STREQ(s.text, "a/b/c");
}

TEST(FXStr, StreamForm) {
    {
        MemFile m;
        FXStr().Save(m.f);
        EXPECT_EQ(m.Bytes(), std::vector<unsigned char>({0, 0, 0, 0}));
    }
    {
        MemFile m;
        FXStr("ab").Save(m.f);
        EXPECT_EQ(m.Bytes(), std::vector<unsigned char>({2, 0, 0, 0, 'a', 'b'}));
    }
    {
        MemFile m(Record(0, "next"));
        FXStr s("old");
        EXPECT_TRUE(s.Load(m.f));
        EXPECT_TRUE(s.IsEmpty());
        EXPECT_EQ(ftell(m.f), 4);
    }
    {
        MemFile m(Record(3, "abcdef"));
        FXStr s;
        EXPECT_TRUE(s.Load(m.f));
        EXPECT_STREQ(s.text, "abc");
        EXPECT_EQ(s.length, 3);
    }
    {
        std::string full(1023, 'k');
        MemFile m(Record(1023, full));
        FXStr s;
        EXPECT_TRUE(s.Load(m.f));
        EXPECT_EQ(s.length, 1023);
    }
}

TEST(FXStr, LoadRefusesHostileRecords) {
    const int32_t bad[] = {-1, 1024, 0x7FFFFFFF, static_cast<int32_t>(0x80000000u)};
    for (int32_t count : bad) {
        MemFile m(Record(count, std::string(2000, 'h')));
        FXStr s("old");
        EXPECT_FALSE(s.Load(m.f)) << count;
        EXPECT_TRUE(s.IsEmpty());
        EXPECT_EQ(s.text[0], 0);
    }
    // Truncated data and a truncated count.
    MemFile shortBody(Record(10, "abc"));
    FXStr s;
    EXPECT_FALSE(s.Load(shortBody.f));
    EXPECT_TRUE(s.IsEmpty());
    MemFile shortCount(std::vector<unsigned char>{1, 0});
    EXPECT_FALSE(s.Load(shortCount.f));
    // An embedded zero shortens the text but the whole record is consumed.
    MemFile zero(Record(3, std::string("a\0b", 3) + "Z"));
    EXPECT_TRUE(s.Load(zero.f));
    EXPECT_STREQ(s.text, "a");
    EXPECT_EQ(s.length, 1);
    EXPECT_EQ(fgetc(zero.f), 'Z');
}

TEST(FXStr, SaveShortPath) {
    {
        MemFile m;
        FXStr().SaveShortPath(m.f, "/data");
        EXPECT_EQ(m.Bytes(), std::vector<unsigned char>({0, 0, 0, 0}));
    }
    MemFile m;
    FXStr("/data/tex/a.png").SaveShortPath(m.f, "/data");
    std::vector<unsigned char> bytes = m.Bytes();
    EXPECT_EQ(bytes, Record(11, "./tex/a.png"));
}

TEST(FXLongStr, GrowsExactlyAndKeepsItsBlock) {
    FXLongStr s;
    s.Set("");
    EXPECT_EQ(s.text, nullptr);
    EXPECT_EQ(s.capacity, 0);
    s.Append("abc");
    EXPECT_EQ(s.capacity, 4);
    EXPECT_STREQ(s.text, "abc");
    s.Append("de");
    EXPECT_EQ(s.capacity, 6);
    EXPECT_EQ(s.length, 5);
    EXPECT_STREQ(s.text, "abcde");
    s.Set(nullptr);
    EXPECT_NE(s.text, nullptr);
    EXPECT_EQ(s.capacity, 6);
    EXPECT_EQ(s.length, 0);
    EXPECT_TRUE(s.Compare(""));
    s.Set("xy");
    EXPECT_EQ(s.capacity, 6);
    s.Append(s.text); // appending its own text while it grows
    EXPECT_STREQ(s.text, "xyxy");
    s.Append(s.text);
    EXPECT_STREQ(s.text, "xyxyxyxy");
    EXPECT_EQ(s.capacity, 9);
    s.Clear();
    EXPECT_EQ(s.text, nullptr);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(FXLongStr, CompareTrimAndCopy) {
    FXLongStr s("  Hello World \n");
    EXPECT_EQ(s.TrimSpaces(), 11);
    EXPECT_TRUE(s.Compare("Hello World"));
    EXPECT_FALSE(s.Compare("Hello"));
    EXPECT_TRUE(s.iCompare("hello world"));
    s.ToLower();
    EXPECT_STREQ(s.text, "hello world");
    FXLongStr none;
    EXPECT_TRUE(none.Compare(nullptr));
    EXPECT_FALSE(none.Compare("a"));
    EXPECT_FALSE(none.iCompare("a"));

    FXLongStr copy(s);
    copy.Append("!");
    EXPECT_STREQ(s.text, "hello world");
    EXPECT_STREQ(copy.text, "hello world!");
    none = copy;
    EXPECT_STREQ(none.text, "hello world!");
}

TEST(FXLongStrW, AppendCharGrowsOneAtATime) {
    FXLongStrW w;
    w.AppendChar(u'a');
    EXPECT_EQ(w.capacity, 2);
    w.AppendChar(u'\x0144');
    EXPECT_EQ(w.capacity, 3);
    EXPECT_EQ(w.length, 2);
    EXPECT_EQ(w.text[1], u'\x0144');
    EXPECT_EQ(w.text[2], 0);
    w.RemoveLast();
    EXPECT_EQ(w.length, 1);
    EXPECT_EQ(w.text[1], 0);
    w.Set(u"\t Ab Cd \r");
    EXPECT_EQ(w.TrimSpaces(), 5);
    EXPECT_TRUE(w.Compare(u"Ab Cd"));
    EXPECT_TRUE(w.iCompare(u"aB cD"));
    EXPECT_FALSE(w.iCompare(u"aB cE"));
    EXPECT_FALSE(w.iCompare(nullptr));
    w.Append(u"!");
    EXPECT_TRUE(w.Compare(u"Ab Cd!"));
    w.ToLower();
    EXPECT_TRUE(w.Compare(u"ab cd!"));
    FXLongStrW empty;
    EXPECT_TRUE(empty.iCompare(u""));

    // ClearBuf drops the block but keeps the length: the string then acts as empty.
    w.ClearBuf();
    w.RemoveLast();
    w.AppendChar(u'z');
    EXPECT_EQ(w.length, 1);
    EXPECT_TRUE(w.Compare(u"z"));
}

TEST(FXConvert, Utf8AndUtf16RoundTrip) {
    const char* text = "Mire \xC5\x82\xC4\x85ka \xE2\x82\xAC \xF0\x9F\x8C\xB2";
    FXConvertW w(text);
    ASSERT_NE(w.text, nullptr);
    // 12 characters of the basic plane and one surrogate pair.
    EXPECT_EQ(w.length, 14);
    EXPECT_EQ(w.text[5], u'\x0142');
    EXPECT_EQ(w.text[12], 0xD83C);
    EXPECT_EQ(w.text[13], 0xDF32);
    FXConvertC c(w.text);
    ASSERT_NE(c.text, nullptr);
    EXPECT_STREQ(c.text, text);
    EXPECT_EQ(c.length, static_cast<int>(strlen(text)));
}

TEST(FXConvert, EmptyOrMalformedGivesNoResult) {
    FXConvertW w;
    EXPECT_EQ(w.Convert(""), nullptr);
    EXPECT_EQ(w.text, nullptr);
    EXPECT_EQ(w.length, 0);
    EXPECT_EQ(w.Convert(nullptr), nullptr);
    EXPECT_NE(w.Convert("ok"), nullptr);
    EXPECT_EQ(w.Convert("bad \xC3("), nullptr); // a broken sequence drops the earlier result too
    EXPECT_EQ(w.length, 0);
    EXPECT_EQ(w.Convert("\xE2\x82"), nullptr);     // cut at the end
    EXPECT_EQ(w.Convert("\xC0\xAF"), nullptr);     // overlong
    EXPECT_EQ(w.Convert("\xED\xA0\x80"), nullptr); // encoded surrogate

    FXConvertC c;
    EXPECT_EQ(c.Convert(u""), nullptr);
    EXPECT_EQ(c.length, 0);
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(c.Convert(lone), nullptr);
}
