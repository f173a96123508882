#include "assets/data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "assets/package.h"
#include "geometry/mesh.h"
#include "support/pkgbuild.h"

namespace {

tagFXVertex Vertex(float x, float y, float z, float u = 0, float v = 0) {
    tagFXVertex t;
    memset(&t, 0, sizeof t);
    t.pos[0] = x, t.pos[1] = y, t.pos[2] = z;
    t.normal[0] = x, t.normal[1] = y, t.normal[2] = z;
    t.tex[0] = u, t.tex[1] = v;
    return t;
}

TEST(NumPool, ByteLayoutReadBackAndGrowth) {
    FXNumPool p;
    p.PushByte(0x12);
    p.PushWord(0x3456);
    EXPECT_EQ(p.PushInt(-1), 7);
    const unsigned char want[] = {0x12, 0x56, 0x34, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(p.used, 7);
    EXPECT_EQ(memcmp(p.data, want, 7), 0);

    p.Reseek();
    unsigned char b;
    unsigned short w;
    int i;
    ASSERT_TRUE(p.GetNextByte(&b) && p.GetNextWord(&w));
    EXPECT_EQ(b, 0x12);
    EXPECT_EQ(w, 0x3456);
    // With 4 bytes left, a word then an int must not fit: the failed read moves nothing.
    ASSERT_TRUE(p.GetNextWord(&w));
    EXPECT_FALSE(p.GetNextInt(&i));
    EXPECT_EQ(p.readPos, 5);
    ASSERT_TRUE(p.GetNextWord(&w));
    EXPECT_EQ(w, 0xFFFF);
    EXPECT_FALSE(p.GetNextByte(&b));

    FXNumPool big(800000);
    big.PushByte(1);
    EXPECT_EQ(big.capacity, 800000);
    for (int k = 1; k < 800000; k++)
        big.PushByte((unsigned char)k);
    EXPECT_EQ(big.capacity, 800000);
    big.PushByte(0);
    EXPECT_EQ(big.capacity, 1600000);
    EXPECT_EQ(big.data[799999], (unsigned char)799999);
    // Reading goes on where it was after the pool grows under it.
    big.Reseek();
    for (int k = 0; k < 10; k++)
        ASSERT_TRUE(big.GetNextByte(&b));
    for (int k = 0; k < 800000; k++)
        big.PushByte(0);
    EXPECT_EQ(big.capacity, 2400000);
    ASSERT_TRUE(big.GetNextByte(&b));
    EXPECT_EQ(b, 10);
    EXPECT_EQ(big.data[1600000], 0);
}

TEST(NumPool, LoadRefusesLengthsTheInputCannotHold) {
    std::string path = mhtest::TestTmpPath("pool.bin");
    for (int stored : {-5, 100, 0x7FFFFFFF}) {
        mhtest::Bytes b;
        mhtest::PutInt(&b, stored);
        b.resize(b.size() + 10, 0xAB);
        ASSERT_TRUE(mhtest::WriteFileBytes(path, b));
        FILE* f = fopen(path.c_str(), "rb");
        FXNumPool p;
        EXPECT_FALSE(p.Load(f)) << stored;
        EXPECT_EQ(p.used, 0);
        fclose(f);

        FXPackageData d;
        d.InitData(b.data(), (int)b.size());
        EXPECT_FALSE(p.LoadC(nullptr, &d)) << stored;
        EXPECT_EQ(p.used, 0);
    }
}

// Refuses to share with vectors whose key A differs (one pool of vectors per mesh number).
class SameMesh : public PMeshSaveClb {
  public:
    bool AcceptShared(int a, int, int otherA, int) override {
        asked.push_back(otherA);
        return a == otherA;
    }
    std::vector<int> asked;
};

// A small model's map reserves little (every xm03 save builds one); a large one still grows
// and keeps every vector.
TEST(VectorMap, GrowsWithWhatItHolds) {
    FXVectorMap m;
    tagFXVertex v = Vertex(1, 2, 3);
    m.PushVecPos(&v, nullptr, 0, 0);
    m.PushVecTex(&v, nullptr, 0, 0);
    EXPECT_LE(m.positions.capacity, 1024);
    EXPECT_LE(m.texCoords.capacity, 1024);
    for (int i = 1; i < 5000; i++) {
        v = Vertex((float)i, 0, 0);
        ASSERT_EQ(m.PushVecPos(&v, nullptr, 0, 0), i);
    }
    EXPECT_LE(m.positions.capacity, 2 * 15000);
    float out[3];
    m.GetVecPos(4999, out);
    EXPECT_EQ(out[0], 4999.0f);
    m.GetVecPos(0, out);
    EXPECT_EQ(out[2], 3.0f);
}

TEST(VectorMap, SharingFollowsValuesCallbackAndChanges) {
    FXVectorMap m;
    tagFXVertex a = Vertex(1, 2, 3), b = Vertex(4, 5, 6);
    EXPECT_EQ(m.PushVecPos(&a, nullptr, 0, 0), 0);
    EXPECT_EQ(m.PushVecPos(&b, nullptr, 0, 1), 1);
    EXPECT_EQ(m.PushVecPos(&a, nullptr, 0, 2), 0);
    EXPECT_EQ(m.posCount, 2);

    // A refusing callback stores the equal value again; later askers see candidates in order.
    SameMesh clb;
    EXPECT_EQ(m.PushVecPos(&a, &clb, 7, 0), 2);
    EXPECT_EQ(m.PushVecPos(&a, &clb, 7, 1), 2);
    EXPECT_EQ(clb.asked, (std::vector<int>{0, 0, 7}));

    // -0 equals +0; NaN equals nothing, not even itself.
    tagFXVertex negZero = Vertex(-0.0f, 0, 0), zero = Vertex(0, 0, 0), nan = Vertex(NAN, 0, 0);
    int z = m.PushVecPos(&zero, nullptr, 0, 0);
    EXPECT_EQ(m.PushVecPos(&negZero, nullptr, 0, 0), z);
    int n1 = m.PushVecPos(&nan, nullptr, 0, 0);
    EXPECT_NE(m.PushVecPos(&nan, nullptr, 0, 0), n1);

    // Overwriting a vector moves it in the look-up: the old value is gone, the new one found.
    tagFXVertex c = Vertex(9, 9, 9);
    m.SetVecPos(&c, 1);
    EXPECT_EQ(m.FindVecPos(0, 0, &b, nullptr), -1);
    EXPECT_EQ(m.FindVecPos(0, 0, &c, nullptr), 1);
    float out[3];
    m.GetVecPos(1, out);
    EXPECT_EQ(out[0], 9.0f);
}

// The look-up against the plain definition: a scan from vector 0 with the callback asked
// candidate by candidate, over random pushes, overwrites and a difference round trip.
TEST(VectorMap, LookupMatchesLinearScan) {
    std::mt19937 rng(7);
    FXVectorMap m;
    std::vector<std::array<float, 3>> ref;
    std::vector<int> refKey;
    struct Parity : PMeshSaveClb {
        bool AcceptShared(int a, int, int oa, int) override { return (a + oa) % 3 != 0; }
    } clb;
    auto scan = [&](const float* v, int key) {
        for (size_t k = 0; k < ref.size(); k++)
            if (ref[k][0] == v[0] && ref[k][1] == v[1] && ref[k][2] == v[2] && (key + refKey[k]) % 3 != 0)
                return (int)k;
        return -1;
    };
    for (int step = 0; step < 20000; step++) {
        tagFXVertex v = Vertex((float)(rng() % 6), (float)(rng() % 5) * ((rng() & 1) ? -0.0f : 0.5f),
                               (float)(rng() % 4));
        int key = (int)(rng() % 5);
        if (step % 50 == 49 && !ref.empty()) {
            int k = (int)(rng() % ref.size());
            m.SetVecPos(&v, k);
            ref[k] = {v.pos[0], v.pos[1], v.pos[2]};
            continue;
        }
        int want = scan(v.pos, key);
        int got = m.PushVecPos(&v, &clb, key, 0);
        ASSERT_EQ(got, want == -1 ? (int)ref.size() : want) << step;
        if (want == -1) {
            ref.push_back({v.pos[0], v.pos[1], v.pos[2]});
            refKey.push_back(key);
        }
        if (step == 10000) {
            m.ManglePos(true);
            m.ManglePos(false);
            for (size_t k = 0; k < ref.size(); k++)
                m.GetVecPos((int)k, ref[k].data());
        }
    }
}

TEST(VectorMap, StreamFormRoundTripAndDamage) {
    FXVectorMap m;
    tagFXVertex a = Vertex(1, 2, 3, 0.25f, 0.75f), b = Vertex(4, 5, 6);
    m.PushVecPos(&a, nullptr, 0, 0);
    m.PushVecPos(&b, nullptr, 0, 0);
    m.PushVecNorm(&a, nullptr, 0, 0);
    m.PushVecNorm(&b, nullptr, 0, 0);
    m.PushVecTex(&a, nullptr, 0, 0);
    std::string path = mhtest::TestTmpPath("map.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(m.Save(f));
    fclose(f);
    mhtest::Bytes bytes = mhtest::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 68u);

    FXPackageData d;
    d.InitData(bytes.data(), (int)bytes.size());
    FXVectorMap r;
    ASSERT_TRUE(r.LoadC(nullptr, &d));
    EXPECT_EQ(r.posCount, 2);
    EXPECT_EQ(r.normCount, 2);
    EXPECT_EQ(r.texCount, 1);
    float t[2];
    r.GetVecTex(0, t);
    EXPECT_EQ(t[1], 0.75f);
    // Loaded vectors are found by value.
    EXPECT_EQ(r.FindVecPos(0, 0, &b, nullptr), 1);

    // Every cut and a count far beyond the data are refused with an empty map.
    for (size_t cut = 0; cut < bytes.size(); cut++) {
        mhtest::Bytes part(bytes.begin(), bytes.begin() + cut);
        ASSERT_TRUE(mhtest::WriteFileBytes(path, part));
        f = fopen(path.c_str(), "rb");
        EXPECT_FALSE(r.Load(f)) << cut;
        fclose(f);
        EXPECT_EQ(r.posCount + r.normCount + r.texCount, 0);
    }
    mhtest::Bytes huge = bytes;
    huge[28] = 0xFF, huge[29] = 0xFF, huge[30] = 0xFF, huge[31] = 0x1F;
    d.InitData(huge.data(), (int)huge.size());
    EXPECT_FALSE(r.LoadC(nullptr, &d));
}

TEST(VectorMap, DifferenceTransformRoundTrip) {
    FXVectorMap m;
    tagFXVertex a = Vertex(1, 2, 3), b = Vertex(4, 5, 6);
    m.PushVecPos(&a, nullptr, 0, 0);
    m.PushVecPos(&b, nullptr, 0, 0);
    m.ManglePos(true);
    // (1-4, 2-5, 3-6, 4, 5, 6) = (-3,-3,-3,4,5,6), then each float minus the next.
    EXPECT_EQ(m.positions.items[0], 0.0f);
    EXPECT_EQ(m.positions.items[2], -7.0f);
    EXPECT_EQ(m.positions.items[5], 6.0f);
    m.ManglePos(false);
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(m.positions.items[k], (float)(k + 1));
}

// The user tables against the plain definition (lists scanned in order), over random
// records that also put one vertex under several triples.
TEST(VectorMap, UsedMatchesListDefinition) {
    FXVectorMap m;
    for (int k = 0; k < 12; k++) {
        tagFXVertex v = Vertex((float)k, (float)k, (float)k, (float)k, 0);
        m.PushVecPos(&v, nullptr, 0, 0);
        m.PushVecNorm(&v, nullptr, 0, 0);
        m.PushVecTex(&v, nullptr, 0, 0);
    }
    m.PushUsed(3, 5, 7, 10);
    m.PushUsed(3, 6, 7, 11);
    EXPECT_EQ(m.GetUsed(3, 6, 7), 11);
    EXPECT_EQ(m.GetUsed(3, 5, 7), 10);
    m.ClearUsed();
    EXPECT_EQ(m.GetUsed(3, 5, 7), -1);

    std::mt19937 rng(3);
    for (int round = 0; round < 40; round++) {
        m.ClearUsed();
        std::vector<std::array<int, 4>> recs;
        bool repeat = round % 2 == 1;
        // Every fourth round crowds the users onto two positions (long user lists).
        int positions = round % 4 == 0 ? 2 : 12;
        for (int i = 0; i < 60; i++) {
            std::array<int, 4> r = {(int)(rng() % positions), (int)(rng() % 3), (int)(rng() % 4),
                                    repeat ? (int)(rng() % 20) : i};
            recs.push_back(r);
            m.PushUsed(r[0], r[1], r[2], r[3]);
        }
        auto users = [&](int kind, int k) {
            std::vector<int> u;
            for (auto& r : recs)
                if (r[kind] == k) u.push_back(r[3]);
            return u;
        };
        auto has = [](const std::vector<int>& u, int v) { return std::find(u.begin(), u.end(), v) != u.end(); };
        for (int p = 0; p < 12; p++)
            for (int n = 0; n < 3; n++)
                for (int t = 0; t < 4; t++) {
                    int want = -1;
                    for (int v : users(0, p))
                        if (has(users(1, n), v) && has(users(2, t), v)) {
                            want = v;
                            break;
                        }
                    ASSERT_EQ(m.GetUsed(p, n, t), want) << round << " " << p << n << t;
                }
    }
}

} // namespace
