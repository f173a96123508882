#include "assets/package.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/pkgbuild.h"

using mhtest::Bytes;
using mhtest::Transposed;

namespace {

Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Header(bool transposed) {
    Bytes b;
    mhtest::PutString(&b, transposed ? "pck01s" : "pck01");
    return b;
}

Bytes IntArray(std::initializer_list<int> v) {
    Bytes b;
    mhtest::PutInt(&b, (int)v.size());
    for (int x : v)
        mhtest::PutInt(&b, x);
    return b;
}

Bytes Item(FXPackage* p, int id) {
    FXPackageData* d = p->GetDataPtr(id);
    if (!d) return Bytes();
    const unsigned char* b = static_cast<const unsigned char*>(d->ReadBlc(d->size));
    return Bytes(b, b + d->size);
}

std::string Tmp(const std::string& name) {
    return mhtest::TestTmpPath(name);
}

} // namespace

TEST(Package, PlainLayoutByteForByte) {
    std::string path = Tmp("plain.dat");
    Bytes a = Str("abc"), b = {1, 2, 3, 4, 5};
    ASSERT_TRUE(mhtest::WritePackageItems(path, {{7, "bin", a}, {3, "PNG", b}}, 0));
    Bytes expect = Cat(
        {Header(false), IntArray({7, 3}), IntArray({0, 3}), IntArray({3, 5}), IntArray({-1, 1066}), a, b});
    EXPECT_EQ(mhtest::ReadFileBytes(path), expect);
    EXPECT_EQ(Bytes(expect.begin(), expect.begin() + 9), Bytes({5, 0, 0, 0, 'p', 'c', 'k', '0', '1'}));

    FXPackage p;
    ASSERT_TRUE(p.Load(path.c_str()));
    EXPECT_EQ(Item(&p, 7), a);
    EXPECT_EQ(Item(&p, 3), b);
    EXPECT_EQ(p.GetDataType(3), 1066);
    EXPECT_EQ(p.GetDataType(7), -1);
    EXPECT_EQ(p.GetDataType(4), -1);
    EXPECT_EQ(p.GetDataPtr(4), nullptr);
    EXPECT_EQ(p.names.firstId, 8);
}

TEST(Package, TransposedLayoutIsTheTranspose) {
    std::string path = Tmp("transposed.dat");
    Bytes a = Str("abc"), b = {1, 2, 3, 4, 5};
    ASSERT_TRUE(mhtest::WritePackageItems(path, {{7, "", a}, {3, "png", b}}, 1));
    Bytes plain = Cat({IntArray({7, 3}), IntArray({0, 3}), IntArray({3, 5}), IntArray({-1, 1066}), a, b});
    ASSERT_EQ(plain.size(), 56u); // 7 * 7 + 7: not a square
    Bytes file = mhtest::ReadFileBytes(path);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 10), Bytes({6, 0, 0, 0, 'p', 'c', 'k', '0', '1', 's'}));
    EXPECT_EQ(file, Cat({Header(true), Transposed(plain)}));

    FXPackage p;
    ASSERT_TRUE(p.Load(path.c_str()));
    EXPECT_EQ(Item(&p, 7), a);
    EXPECT_EQ(Item(&p, 3), b);
}

TEST(Package, TenBytePayloadTransposesAsThreeByThree) {
    // Only the layout matters here: the ten bytes are no valid directory.
    Bytes plain = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(Transposed(plain), Bytes({0, 3, 6, 1, 4, 7, 2, 5, 8, 9}));
    std::string path = Tmp("ten.dat");
    ASSERT_TRUE(mhtest::WriteFileBytes(path, Cat({Header(true), Transposed(plain)})));
    FXPackage p;
    p.Load(path.c_str());
    EXPECT_EQ(p.itemIds.count, 0);
}

TEST(Package, RoundTripsEveryPayloadSize) {
    // Item sizes 0..40 walk the payload through squares and non-squares.
    for (int flags = 0; flags < 2; flags++) {
        std::vector<mhtest::PackageItem> items;
        for (int k = 0; k <= 40; k += 3) {
            Bytes b;
            for (int i = 0; i < k; i++)
                b.push_back((unsigned char)(k * 7 + i * 13));
            items.push_back({100 + k, "", b});
            std::string path = Tmp("sizes.dat");
            ASSERT_TRUE(mhtest::WritePackageItems(path, items, flags));
            FXPackage p;
            ASSERT_TRUE(p.Load(path.c_str()));
            ASSERT_EQ(p.itemIds.count, (int)items.size());
            EXPECT_FALSE(p.damagedDirectory);
            EXPECT_EQ(p.transposedLayout, flags == 1);
            for (const auto& it : items)
                EXPECT_EQ(Item(&p, it.id), it.bytes) << flags << " " << k;
        }
    }
}

TEST(Package, EmptyPackage) {
    std::string path = Tmp("empty.dat");
    FXPackage w;
    ASSERT_TRUE(w.Save(path.c_str(), 0));
    EXPECT_EQ(mhtest::ReadFileBytes(path), Cat({Header(false), Bytes(16, 0)}));
    FXPackage p;
    p.names.firstId = 55;
    ASSERT_TRUE(p.Load(path.c_str()));
    EXPECT_EQ(p.itemIds.count, 0);
    EXPECT_EQ(p.names.firstId, 0);
    EXPECT_EQ(p.dataSize, 0);
    EXPECT_FALSE(p.damagedDirectory);
}

TEST(Package, LoadingSetsTheFirstFreeId) {
    std::string path = Tmp("ids.dat");
    ASSERT_TRUE(mhtest::WritePackage(path, {{5, {1}}, {2, {2}}, {9, {3}}}));
    FXPackage p;
    ASSERT_TRUE(p.Load(path.c_str()));
    EXPECT_EQ(p.names.firstId, 10);
    EXPECT_EQ(p.names.BuildId("new.png"), 10);
    EXPECT_EQ(p.names.BuildId("other.png"), 11);
    EXPECT_EQ(p.names.BuildId("new.png"), 10);
    EXPECT_EQ(p.names.FindId("other.png"), 11);
    EXPECT_EQ(p.names.FindId("New.png"), -1);

    ASSERT_TRUE(mhtest::WritePackage(path, {{-4, {1}}, {-1, {2}}}));
    ASSERT_TRUE(p.Load(path.c_str()));
    EXPECT_EQ(p.names.firstId, 0);
    EXPECT_EQ(Item(&p, -4), Bytes({1}));
}

TEST(Package, CursorIsSharedAndRewound) {
    std::string path = Tmp("cursor.dat");
    ASSERT_TRUE(mhtest::WritePackage(path, {{1, {10, 0, 0, 0, 20, 0, 0, 0}}}));
    FXPackage p;
    ASSERT_TRUE(p.Load(path.c_str()));
    FXPackageData* d = p.GetDataPtr(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ReadInt(), 10);
    EXPECT_EQ(d->left, 4);
    FXPackageData* again = p.GetDataPtr(1);
    EXPECT_EQ(again, d);
    EXPECT_EQ(d->left, 8);
    EXPECT_EQ(d->ReadInt(), 10);

    // Loading again replaces the contents.
    ASSERT_TRUE(mhtest::WritePackage(path, {{2, {1}}}));
    ASSERT_TRUE(p.Load(path.c_str()));
    EXPECT_EQ(p.GetDataPtr(1), nullptr);
    EXPECT_EQ(Item(&p, 2), Bytes({1}));
}

TEST(Package, SaveAddsQueuedFilesToWhatIsLoaded) {
    std::string path = Tmp("grow.dat");
    ASSERT_TRUE(mhtest::WritePackage(path, {{1, Str("first")}}));
    FXPackage p;
    ASSERT_TRUE(p.Load(path.c_str()));
    std::string extra = Tmp("extra.gif");
    ASSERT_TRUE(mhtest::WriteFileBytes(extra, Str("GIF89a")));
    p.AddDataFile(2, extra.c_str());
    p.AddDataFile(3, Tmp("missing.bin").c_str()); // cannot be read: left out
    std::string out = Tmp("grown.dat");
    ASSERT_TRUE(p.Save(out.c_str(), 1));
    EXPECT_EQ(p.pendingIds.count, 0);
    EXPECT_EQ(p.pendingFiles.count, 0);
    EXPECT_EQ(Item(&p, 2), Str("GIF89a")); // the package in memory holds them too

    FXPackage q;
    ASSERT_TRUE(q.Load(out.c_str()));
    EXPECT_EQ(q.itemIds.count, 2);
    EXPECT_EQ(Item(&q, 1), Str("first"));
    EXPECT_EQ(Item(&q, 2), Str("GIF89a"));
    EXPECT_EQ(q.GetDataType(2), 1078);
    EXPECT_EQ(q.GetDataPtr(3), nullptr);

    EXPECT_FALSE(p.Save(Tmp("no/such/dir/x.dat").c_str(), 0));
}

TEST(Package, CheckFileTypesByExtension) {
    std::string photo = Tmp("photo.JPG");
    ASSERT_TRUE(mhtest::WriteFileBytes(photo, Bytes(17, 1)));
    int size = 0, type = 0;
    FXPackage::CheckFile(photo.c_str(), &size, &type);
    EXPECT_EQ(size, 17);
    EXPECT_EQ(type, 1061);
    struct {
        const char* name;
        int type;
    } cases[] = {{"data.bin", -1},         {"a.png", 1066},      {"x.Tga", 1069},
                 {"dir.v2/pic.bmp", 1056}, {"dir.png/file", -1}, {"noext", -1},
                 {"pic.gif", 1078},        {"pic.", -1},         {"", -1}};
    for (const auto& c : cases) {
        FXPackage::CheckFile(c.name, &size, &type);
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(size, -1) << c.name; // none of them exists
    }
}

TEST(Package, AuthoringQueueAndNames) {
    FXPackage p;
    FXStr a("tex/bark.png"), b("tex/bark.png"), empty;
    p.AddDataFile1(&a);
    p.AddDataFile1(&b);
    p.AddDataFile1(&empty);
    EXPECT_STREQ(a.text, "0");
    EXPECT_STREQ(b.text, "0");
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(p.pendingIds.count, 1);
    ASSERT_EQ(p.pendingFiles.count, 1);
    EXPECT_STREQ(p.pendingFiles.items[0], "tex/bark.png");

    p.names.Destroy();
    p.names.firstId = 0;
    for (const char* n : {"a.bin", "b.bin", "c.bin", "C:\\art\\tree-01.png", "/x/y/my file(2)+[x].jpg"})
        p.names.BuildId(n);
    std::string cpp = Tmp("names.h");
    ASSERT_TRUE(p.SaveNamesCpp(cpp.c_str()));
    Bytes text = mhtest::ReadFileBytes(cpp);
    EXPECT_EQ(std::string(text.begin(), text.end()), "#define FXNAME_A_BIN  0\n"
                                                     "#define FXNAME_B_BIN  1\n"
                                                     "#define FXNAME_C_BIN  2\n"
                                                     "#define FXNAME_TREE_01_PNG  3\n"
                                                     "#define FXNAME_MY_FILE_2___X__JPG  4\n");

    std::string names = Tmp("names.bin");
    ASSERT_TRUE(p.SaveNames(names.c_str()));
    FXPackage q;
    q.names.firstId = 20;
    ASSERT_TRUE(q.LoadNames(names.c_str()));
    EXPECT_EQ(q.names.firstId, 20);
    EXPECT_EQ(q.names.FindId("C:\\art\\tree-01.png"), 23);

    std::string t1 = Tmp("tmp1.mtl"), t2 = Tmp("tmp2.mtl");
    ASSERT_TRUE(mhtest::WriteFileBytes(t1, {1}));
    ASSERT_TRUE(mhtest::WriteFileBytes(t2, {2}));
    p.AddTmpFile(t1.c_str());
    p.AddTmpFile(t2.c_str());
    p.DeleteTmpFiles();
    EXPECT_EQ(p.tmpFiles.count, 0);
    EXPECT_EQ(fopen(t1.c_str(), "rb"), nullptr);
    EXPECT_EQ(fopen(t2.c_str(), "rb"), nullptr);
}

TEST(PackageData, ReadsStayWithinTheItem) {
    Bytes buf = {2, 1, 0x78, 0x56, 0x34};
    FXPackageData d;
    d.InitData(buf.data(), (int)buf.size());
    EXPECT_FALSE(d.ReadBool()); // byte 2
    EXPECT_TRUE(d.ReadBool());
    EXPECT_EQ(d.ReadInt(), 0); // 3 bytes left
    EXPECT_EQ(d.left, 3);
    EXPECT_EQ(d.ReadFloat(), 0.0f);
    EXPECT_EQ(d.ReadDouble(), 0.0);
    float f4[4] = {7, 7, 7, 7};
    d.ReadFloat4(f4);
    EXPECT_EQ(f4[0], 7.0f);
    EXPECT_EQ(d.ReadBlc(4), nullptr);
    EXPECT_EQ(d.ReadBlc(-1), nullptr);
    unsigned char two[2] = {0, 0};
    EXPECT_EQ(d.ReadCopyBlc(two, -5), nullptr);
    EXPECT_EQ(d.ReadCopyBlc(two, 2), buf.data() + 2);
    EXPECT_EQ(two[1], 0x56);
    EXPECT_EQ(d.left, 1);
    d.Reseek();
    EXPECT_EQ(d.left, 5);
    EXPECT_EQ(d.cur, buf.data());

    Bytes w(10, 0xEE);
    d.InitData(w.data(), 10);
    d.WriteInt(0x01020304);
    d.WriteInt(-2);
    d.WriteInt(5); // no room
    EXPECT_EQ(w, Bytes({4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 0xEE, 0xEE}));

    Bytes small(4 + 8, 0);
    FXArray arr;
    arr.PushInt(1);
    arr.PushInt(2);
    arr.PushInt(3);
    d.InitData(small.data(), (int)small.size());
    d.WriteArray(&arr); // count and two elements fit
    Bytes expect;
    for (int v : {3, 1, 2})
        mhtest::PutInt(&expect, v);
    EXPECT_EQ(small, expect);
}

TEST(PackageData, Strings) {
    Bytes b;
    mhtest::PutInt(&b, 0);
    mhtest::PutInt(&b, -7);
    mhtest::PutString(&b, "hi");
    std::string longText(1500, 'x');
    longText[1023] = 'y';
    mhtest::PutString(&b, longText);
    mhtest::PutString(&b, "after");
    mhtest::PutInt(&b, 100); // runs past the end
    b.push_back('z');
    FXPackageData d;
    d.InitData(b.data(), (int)b.size());
    FXStr s("old");
    d.ReadString(&s);
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(d.left, (int)b.size() - 4);
    d.ReadString(&s);
    EXPECT_TRUE(s.IsEmpty());
    d.ReadString(&s);
    EXPECT_STREQ(s.text, "hi");
    EXPECT_EQ(s.length, 2);
    d.ReadString(&s); // cut to the capacity, the rest skipped
    EXPECT_EQ(s.length, 1023);
    EXPECT_EQ(s.text[1022], 'x');
    EXPECT_EQ(s.text[1023], 0);
    d.ReadString(&s);
    EXPECT_STREQ(s.text, "after");
    d.ReadString(&s);
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(d.left, 0);

    Bytes e;
    mhtest::PutInt(&e, 3);
    mhtest::PutString(&e, "one");
    mhtest::PutInt(&e, 0);
    mhtest::PutString(&e, "three");
    FXStrArray sa;
    sa.Push("stale");
    d.InitData(e.data(), (int)e.size());
    d.ReadStringArray(&sa);
    ASSERT_EQ(sa.count, 3);
    EXPECT_STREQ(sa.items[0], "one");
    EXPECT_EQ(sa.items[1], nullptr);
    EXPECT_STREQ(sa.items[2], "three");
}

TEST(PackageData, ArraysWithHostileCounts) {
    Bytes b;
    mhtest::PutInt(&b, 2);
    mhtest::PutInt(&b, 11);
    mhtest::PutInt(&b, -12);
    FXArray a;
    a.PushInt(99);
    FXPackageData d;
    d.InitData(b.data(), (int)b.size());
    d.ReadArray(&a);
    ASSERT_EQ(a.count, 2);
    EXPECT_EQ(a.GetInt(0), 11);
    EXPECT_EQ(a.GetInt(1), -12);

    // Counts far beyond the item are cut to the elements that can follow.
    for (int count : {INT_MAX, 1 << 30, 5}) {
        Bytes h;
        mhtest::PutInt(&h, count);
        mhtest::PutFloat(&h, 1.5f);
        mhtest::PutFloat(&h, 2.5f);
        FXFloatArray fa;
        d.InitData(h.data(), (int)h.size());
        d.ReadFloatArray(&fa);
        ASSERT_EQ(fa.count, 2) << count;
        EXPECT_EQ(fa.items[1], 2.5f);
        d.Reseek();
        d.ReadArray(&a);
        EXPECT_EQ(a.count, 2);
        FXStrArray sa;
        d.Reseek();
        d.ReadStringArray(&sa);
        EXPECT_LE(sa.count, 2);
    }
    Bytes neg;
    mhtest::PutInt(&neg, -3);
    d.InitData(neg.data(), 4);
    d.ReadArray(&a);
    EXPECT_EQ(a.count, 0);
    d.InitData(nullptr, 50);
    EXPECT_EQ(d.left, 0);
    d.ReadArray(&a);
    EXPECT_EQ(a.count, 0);
}

// ---- damaged and hostile package files

namespace {

Bytes Directory(std::initializer_list<int> ids, std::initializer_list<int> offs,
                std::initializer_list<int> sizes, std::initializer_list<int> types) {
    return Cat({IntArray(ids), IntArray(offs), IntArray(sizes), IntArray(types)});
}

FXPackage* LoadBytes(FXPackage* p, const Bytes& file) {
    std::string path = Tmp("hostile.dat");
    EXPECT_TRUE(mhtest::WriteFileBytes(path, file));
    p->Load(path.c_str());
    return p;
}

} // namespace

TEST(PackageHostile, DirectoryArraysOfDifferentCounts) {
    FXPackage p;
    Bytes data = Str("aabbbcccc");
    LoadBytes(&p, Cat({Header(false), Directory({1, 2, 3}, {0, 2}, {2, 3, 4}, {-1, -1, -1}), data}));
    EXPECT_EQ(p.itemIds.count, 2);
    EXPECT_EQ(Item(&p, 1), Str("aa"));
    EXPECT_EQ(Item(&p, 2), Str("bbb"));
    EXPECT_EQ(p.GetDataPtr(3), nullptr);
    EXPECT_EQ(p.GetDataType(3), -1);
    EXPECT_TRUE(p.damagedDirectory);
    EXPECT_FALSE(p.transposedLayout);

    LoadBytes(&p, Cat({Header(true), Transposed(Cat({Directory({1, 2}, {0, 2}, {2, 3}, {}), data}))}));
    EXPECT_EQ(p.itemIds.count, 0);
    EXPECT_TRUE(p.damagedDirectory);
    EXPECT_TRUE(p.transposedLayout);

    // A directory cut off inside its second array, and a count larger than the file.
    LoadBytes(&p, Cat({Header(false), IntArray({1, 2}), Bytes({1, 0, 0, 0})}));
    EXPECT_TRUE(p.damagedDirectory);
    LoadBytes(&p, Cat({Header(false), Directory({1}, {0}, {1}, {-1}), Bytes({42})}));
    ASSERT_FALSE(p.damagedDirectory);
    Bytes huge;
    mhtest::PutInt(&huge, INT_MAX);
    LoadBytes(&p, Cat({Header(false), huge}));
    EXPECT_TRUE(p.damagedDirectory);
    p.Destroy();
    EXPECT_FALSE(p.damagedDirectory);
}

TEST(PackageHostile, ItemsOutsideTheDataBlock) {
    FXPackage p;
    Bytes data = Str("0123456789");
    LoadBytes(&p, Cat({Header(false),
                       Directory({1, 2, 3, 4, 5, 6, 7}, {0, 8, -1, 2, INT_MAX, 10, 3}, {4, 3, 2, -1, 2, 0, 7},
                                 {-1, -1, -1, -1, -1, -1, -1}),
                       data}));
    EXPECT_EQ(Item(&p, 1), Str("0123"));
    EXPECT_EQ(p.GetDataPtr(2), nullptr); // 8 + 3 > 10
    EXPECT_EQ(p.GetDataPtr(3), nullptr); // negative offset
    EXPECT_EQ(p.GetDataPtr(4), nullptr); // negative size
    EXPECT_EQ(p.GetDataPtr(5), nullptr); // offset overflows
    ASSERT_NE(p.GetDataPtr(6), nullptr); // empty item at the very end
    EXPECT_EQ(p.GetDataPtr(6)->size, 0);
    EXPECT_EQ(Item(&p, 7), Str("3456789"));
    EXPECT_EQ(p.names.firstId, 8);
    EXPECT_TRUE(p.damagedDirectory);

    // Cursors rebuilt from a directory edited in memory stay inside the block as well.
    p.itemSizes.items[0] = reinterpret_cast<void*>((intptr_t)1000);
    p.RecompClasses();
    EXPECT_EQ(p.GetDataPtr(1)->size, 0);
}

TEST(PackageHostile, BadHeaders) {
    FXPackage p;
    Bytes good = Cat({Header(false), Directory({1}, {0}, {1}, {-1}), Bytes({42})});
    LoadBytes(&p, good);
    ASSERT_EQ(Item(&p, 1), Bytes({42}));

    Bytes h;
    mhtest::PutInt(&h, 5000); // longer than the file
    LoadBytes(&p, Cat({h, Str("pck01"), Directory({1}, {0}, {1}, {-1}), Bytes({42})}));
    EXPECT_EQ(p.itemIds.count, 0);
    EXPECT_EQ(p.dataBlock, nullptr);
    h.clear();
    mhtest::PutInt(&h, -5);
    LoadBytes(&p, Cat({h, Str("pck01")}));
    EXPECT_EQ(p.itemIds.count, 0);
    h.clear();
    mhtest::PutString(&h, "pck02");
    LoadBytes(&p, Cat({h, Directory({1}, {0}, {1}, {-1}), Bytes({42})}));
    EXPECT_EQ(p.itemIds.count, 0);
    h.clear();
    mhtest::PutString(&h, "pck");
    LoadBytes(&p, h);
    EXPECT_EQ(p.itemIds.count, 0);
    h.clear();
    mhtest::PutString(&h, "pck01-v2"); // longer headers are accepted
    LoadBytes(&p, Cat({h, Directory({1}, {0}, {1}, {-1}), Bytes({42})}));
    EXPECT_EQ(Item(&p, 1), Bytes({42}));
    LoadBytes(&p, Bytes());
    EXPECT_EQ(p.itemIds.count, 0);
    EXPECT_FALSE(p.Load(Tmp("does-not-exist.dat").c_str()));
}

TEST(PackageHostile, EveryTruncationLoadsSafely) {
    std::string path = Tmp("full.dat");
    for (int flags = 0; flags < 2; flags++) {
        ASSERT_TRUE(
            mhtest::WritePackage(path, {{1, Str("alpha")}, {2, Str("be")}, {3, Bytes(40, 9)}}, flags));
        Bytes full = mhtest::ReadFileBytes(path);
        for (size_t len = 0; len < full.size(); len++) {
            FXPackage p;
            LoadBytes(&p, Bytes(full.begin(), full.begin() + len));
            // Whatever survives is inside the block; plain files keep intact items intact.
            for (int i = 0; i < p.itemCursors.count; i++) {
                FXPackageData* d = static_cast<FXPackageData*>(p.itemCursors.items[i]);
                ASSERT_GE(d->size, 0);
                if (d->size > 0) {
                    ASSERT_GE(d->begin, p.dataBlock);
                    ASSERT_LE(d->begin + d->size, p.dataBlock + p.dataSize);
                }
            }
            if (flags == 0 && p.GetDataPtr(1)) {
                EXPECT_EQ(Item(&p, 1), Str("alpha"));
            }
        }
    }
}

TEST(PackageHostile, TransposedPayloadOfAnySize) {
    unsigned seed = 12345;
    for (int size = 0; size < 300; size++) {
        Bytes payload(size);
        for (auto& c : payload) {
            seed = seed * 1103515245u + 12345u;
            c = (unsigned char)(seed >> 16);
        }
        // Small counts make the directory parse often.
        for (size_t i = 0; i + 3 < payload.size() && i < 16; i += 4) {
            payload[i] %= 4;
            payload[i + 1] = payload[i + 2] = payload[i + 3] = 0;
        }
        FXPackage p;
        LoadBytes(&p, Cat({Header(size % 2 == 0), payload}));
        for (int i = 0; i < p.itemCursors.count; i++) {
            FXPackageData* d = static_cast<FXPackageData*>(p.itemCursors.items[i]);
            const void* all = d->ReadBlc(d->size); // ASan checks the bytes are real
            if (d->size > 0) {
                ASSERT_NE(all, nullptr);
                volatile unsigned char last = static_cast<const unsigned char*>(all)[d->size - 1];
                (void)last;
            }
        }
    }
}
