#include "base/arrays.h"
#include "base/memfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void PutInt(std::vector<unsigned char>& v, int32_t x) {
    for (int i = 0; i < 4; i++)
        v.push_back(static_cast<unsigned char>(static_cast<uint32_t>(x) >> (8 * i)));
}

void* P(intptr_t v) {
    return reinterpret_cast<void*>(v);
}

} // namespace

TEST(FXArray, GrowthByStep) {
    FXArray one;
    for (int i = 1; i <= 3; i++)
        one.Push(P(i));
    EXPECT_EQ(one.capacity, 3);
    EXPECT_EQ(one.count, 3);

    FXArray sixteen(16);
    for (int i = 1; i <= 3; i++)
        sixteen.Push(P(i));
    EXPECT_EQ(sixteen.capacity, 16);
    for (int i = 3; i < 16; i++)
        EXPECT_EQ(sixteen.items[i], nullptr);

    // RemoveAll keeps the block; pushing again reuses it.
    void** block = sixteen.items;
    sixteen.RemoveAll();
    sixteen.Push(P(9));
    EXPECT_EQ(sixteen.items, block);
    EXPECT_EQ(sixteen.capacity, 16);

    // Realloc never shrinks and keeps the elements.
    EXPECT_EQ(one.Realloc(2), 3);
    EXPECT_EQ(one.Realloc(10), 10);
    EXPECT_EQ(one.items[2], P(3));
    EXPECT_EQ(one.items[9], nullptr);

    // PushVoid keeps what the slot held.
    FXArray v(4);
    v.Push(P(7));
    v.Pop();
    v.PushVoid();
    EXPECT_EQ(v.Last(), P(7));
}

TEST(FXArray, InsertMoveRemove) {
    FXArray a;
    a.Insert(0, P(1));
    EXPECT_EQ(a.First(), P(1));
    a.Insert(-1, P(3));
    a.Insert(a.count + 5, P(4));
    a.Insert(1, P(2));
    a.Insert(a.count, P(5));
    ASSERT_EQ(a.count, 5);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(a.items[i], P(i + 1));

    a.MovePos(a.count - 1, 1);
    a.MovePos(0, -1);
    a.MovePos(2, 0);
    a.MovePos(7, -1);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(a.items[i], P(i + 1));
    a.MovePos(0, 1);
    EXPECT_EQ(a.items[0], P(2));
    EXPECT_EQ(a.items[1], P(1));
    a.MovePos(4, -1);
    EXPECT_EQ(a.items[3], P(5));
    EXPECT_EQ(a.items[4], P(4));

    a.RemovePos(-1);
    a.RemovePos(5);
    EXPECT_EQ(a.count, 5);
    a.RemovePos(0);
    EXPECT_EQ(a.count, 4);
    EXPECT_EQ(a.First(), P(1));
    EXPECT_EQ(a.Findpos(P(5)), 2);
    EXPECT_EQ(a.Remove(P(5)), 2);
    EXPECT_EQ(a.Remove(P(5)), -1);
    EXPECT_EQ(a.count, 3);
    EXPECT_EQ(a.Pop(), P(4));
    EXPECT_EQ(a.Pop(), P(3));
    EXPECT_EQ(a.Pop(), P(1));
    EXPECT_EQ(a.Pop(), nullptr);
    EXPECT_EQ(a.First(), nullptr);
    EXPECT_EQ(a.Last(), nullptr);
    EXPECT_TRUE(a.IsEmpty());
}

TEST(FXArray, IntegersAndStreamForm) {
    FXArray a;
    a.PushInt(5);
    a.PushInt(-1);
    a.PushInt(0x7FFFFFFF);
    EXPECT_EQ(a.GetInt(1), -1);
    MemFile out;
    EXPECT_TRUE(a.Save(out.f));
    std::vector<unsigned char> bytes = out.Bytes();
    std::vector<unsigned char> expect;
    PutInt(expect, 3);
    PutInt(expect, 5);
    PutInt(expect, -1);
    PutInt(expect, 0x7FFFFFFF);
    EXPECT_EQ(bytes, expect);

    MemFile in(bytes);
    FXArray b;
    b.PushInt(99);
    EXPECT_TRUE(b.Load(in.f));
    ASSERT_EQ(b.count, 3);
    EXPECT_EQ(b.GetInt(0), 5);
    EXPECT_EQ(b.GetInt(1), -1);
    EXPECT_EQ(b.GetInt(2), 0x7FFFFFFF);

    MemFile empty;
    FXArray none;
    none.Save(empty.f);
    EXPECT_EQ(empty.Bytes(), std::vector<unsigned char>({0, 0, 0, 0}));
}

TEST(FXArray, LoadRefusesCountsTheDataDoesNotHold) {
    std::vector<unsigned char> bytes;
    PutInt(bytes, 0x7FFFFFFF);
    PutInt(bytes, 1);
    MemFile in(bytes);
    FXArray a;
    EXPECT_FALSE(a.Load(in.f));
    EXPECT_EQ(a.count, 0);
    // The block only grew as far as the data went, not to the stored count.
    EXPECT_LE(a.capacity, 16384);

    std::vector<unsigned char> neg;
    PutInt(neg, -5);
    MemFile in2(neg);
    EXPECT_TRUE(a.Load(in2.f));
    EXPECT_EQ(a.count, 0);
}

TEST(FXArray, CopyIsIndependent) {
    FXArray a;
    a.PushInt(1);
    FXArray b(a);
    b.PushInt(2);
    EXPECT_EQ(a.count, 1);
    EXPECT_EQ(b.count, 2);
    a = b;
    EXPECT_EQ(a.count, 2);
    EXPECT_NE(a.items, b.items);
}

TEST(FXStrArray, OwnsCopiesAndTreatsEmptyAsNull) {
    FXStrArray s;
    char text[] = "alpha";
    s.Push(text);
    text[0] = 'X';
    EXPECT_STREQ(s.items[0], "alpha");
    s.Push("");
    s.Push(nullptr);
    EXPECT_EQ(s.items[1], nullptr);
    EXPECT_EQ(s.Findpos(""), 1);
    EXPECT_EQ(s.Findpos(nullptr), 1);
    EXPECT_EQ(s.Findpos("alpha"), 0);
    EXPECT_EQ(s.Findpos("ALPHA"), -1);

    s.Change(1, "");
    ASSERT_NE(s.items[1], nullptr);
    EXPECT_STREQ(s.items[1], "");
    s.Change(1, "beta");
    EXPECT_STREQ(s.items[1], "beta");
    s.Change(7, "ignored");

    s.Insert(0, "zero");
    s.Insert(99, "last");
    EXPECT_STREQ(s.First(), "zero");
    EXPECT_STREQ(s.Last(), "last");
    EXPECT_EQ(s.Remove("beta"), 2);
    EXPECT_EQ(s.count, 4);
    EXPECT_EQ(s.items[4], nullptr);
    s.MovePos(0, 1);
    EXPECT_STREQ(s.items[0], "alpha");
    s.Pop();
    EXPECT_EQ(s.count, 3);
    EXPECT_EQ(s.items[3], nullptr);

    FXStrArray copy(s);
    copy.Change(0, "other");
    EXPECT_STREQ(s.items[0], "alpha");
    s.RemoveAll();
    EXPECT_EQ(s.count, 0);
    EXPECT_NE(s.items, nullptr);
}

TEST(FXStrArray, StreamForm) {
    FXStrArray s;
    s.Push(nullptr);
    s.Push("a");
    MemFile out;
    EXPECT_TRUE(s.Save(out.f));
    std::vector<unsigned char> bytes = out.Bytes();
    EXPECT_EQ(bytes, std::vector<unsigned char>({2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'a'}));

    MemFile in(bytes);
    FXStrArray t;
    t.Push("old");
    EXPECT_TRUE(t.Load(in.f));
    ASSERT_EQ(t.count, 2);
    EXPECT_EQ(t.items[0], nullptr);
    EXPECT_STREQ(t.items[1], "a");

    MemFile zero(std::vector<unsigned char>({0, 0, 0, 0}));
    EXPECT_TRUE(t.Load(zero.f));
    EXPECT_EQ(t.count, 0);
}

TEST(FXStrArray, LoadRefusesHostileLengths) {
    const int32_t lengths[] = {-1, 0x7FFFFFFF, 100};
    for (int32_t len : lengths) {
        std::vector<unsigned char> bytes;
        PutInt(bytes, 2);
        PutInt(bytes, 1);
        bytes.push_back('x');
        PutInt(bytes, len);
        bytes.push_back('y');
        MemFile in(bytes);
        FXStrArray t;
        EXPECT_FALSE(t.Load(in.f)) << len;
        EXPECT_EQ(t.count, 0);
    }
}

TEST(FXStrArray, SaveShortPaths) {
    FXStrArray s;
    s.Push("/pk/img/a.png");
    s.Push(nullptr);
    s.Push("/pk/b.png");
    MemFile out;
    EXPECT_TRUE(s.SaveShortPaths(out.f, "/pk/img"));
    std::vector<unsigned char> expect;
    PutInt(expect, 3);
    PutInt(expect, 7);
    for (char c : std::string("./a.png"))
        expect.push_back(c);
    PutInt(expect, 0);
    PutInt(expect, 8);
    for (char c : std::string("../b.png"))
        expect.push_back(c);
    EXPECT_EQ(out.Bytes(), expect);
}

TEST(FXFloatArray, PushPopAndStreamForm) {
    FXFloatArray f(4);
    EXPECT_EQ(f.Pop(), 0.0f);
    EXPECT_EQ(f.First(), 0.0f);
    f.Push(1.5f);
    f.Push(-2.0f);
    f.Insert(0, 0.25f);
    EXPECT_EQ(f.capacity, 4);
    MemFile out;
    EXPECT_TRUE(f.Save(out.f));
    std::vector<unsigned char> bytes = out.Bytes();
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(bytes[4 + 3], 0x3E); // 0.25f = 0x3E800000
    EXPECT_EQ(bytes[4 + 2], 0x80);

    MemFile in(bytes);
    FXFloatArray g;
    EXPECT_TRUE(g.Load(in.f));
    ASSERT_EQ(g.count, 3);
    EXPECT_EQ(g.items[0], 0.25f);
    EXPECT_EQ(g.items[2], -2.0f);
    EXPECT_EQ(g.Pop(), -2.0f);
    g.RemovePos(0);
    EXPECT_EQ(g.First(), 1.5f);

    std::vector<unsigned char> cut(bytes.begin(), bytes.end() - 1);
    MemFile bad(cut);
    EXPECT_FALSE(g.Load(bad.f));
    EXPECT_EQ(g.count, 0);
}

TEST(FXMemory, RecordsAndBounds) {
    FXMemory m(12);
    EXPECT_EQ(m.GetItemPtr(0), nullptr);
    EXPECT_EQ(m.Realloc(4), 4);
    m.count = 2;
    unsigned char* p = static_cast<unsigned char*>(m.GetItemPtr(1));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p - m.data, 12);
    memset(p, 0xAB, 12);
    EXPECT_EQ(m.GetItemPtr(2), nullptr);
    EXPECT_EQ(m.GetItemPtr(-1), nullptr);
    EXPECT_EQ(m.Realloc(8), 8);
    p = static_cast<unsigned char*>(m.GetItemPtr(1));
    EXPECT_EQ(p[11], 0xAB);
    for (int i = 24; i < 8 * 12; i++)
        EXPECT_EQ(m.data[i], 0) << i;
    m.DestroyBuf();
    EXPECT_EQ(m.data, nullptr);
    EXPECT_EQ(m.count, 0);
    EXPECT_EQ(FXMemory().itemSize, 1);
}

TEST(Helpers, Power2MallocAndRect) {
    EXPECT_EQ(fxPower2(-7), 1);
    EXPECT_EQ(fxPower2(0), 1);
    EXPECT_EQ(fxPower2(1), 1);
    EXPECT_EQ(fxPower2(5), 8);
    EXPECT_EQ(fxPower2(256), 256);
    EXPECT_EQ(fxPower2(257), 512);
    EXPECT_EQ(fxPower2(1 << 30), 1 << 30);
    EXPECT_EQ(fxPower2((1 << 30) + 1), 0);

    unsigned char* z = static_cast<unsigned char*>(fxMalloc(64));
    ASSERT_NE(z, nullptr);
    for (int i = 0; i < 64; i++)
        EXPECT_EQ(z[i], 0);
    free(z);

    FXRect a(0, 0, 10, 10), b(10, 0, 20, 10);
    FXRect c = a;
    EXPECT_FALSE(c.CombineAnd(&b));
    EXPECT_TRUE(c.IsEmpty());
    c = a;
    FXRect d(5, 5, 15, 15);
    EXPECT_TRUE(c.CombineAnd(&d));
    EXPECT_EQ(c.left, 5);
    EXPECT_EQ(c.bottom, 10);
    c = a;
    c.CombineOr(&b);
    EXPECT_EQ(c.right, 20);
    EXPECT_EQ(c.left, 0);
    c.SetZero();
    EXPECT_TRUE(c.IsEmpty());
}
