#include "geometry/mesh.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <psapi.h>
#else
#include <unistd.h>
#endif

#include "assets/material.h"
#include "assets/matlib.h"
#include "assets/package.h"
#include "base/trace.h"

namespace {

std::string TmpPath(const char* name) {
    const char* dir = getenv("MH_TEST_TMP");
    std::string d = dir ? dir : "/tmp";
    std::string cmd = "mkdir -p '" + d + "'";
    if (system(cmd.c_str()) != 0) return "/tmp/" + std::string(name);
    return d + "/" + name;
}

std::vector<unsigned char> ReadAll(const std::string& path) {
    std::vector<unsigned char> b;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return b;
    int c;
    while ((c = fgetc(f)) != EOF)
        b.push_back((unsigned char)c);
    fclose(f);
    return b;
}

void WriteAll(const std::string& path, const std::vector<unsigned char>& b) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!b.empty()) fwrite(b.data(), 1, b.size(), f);
    fclose(f);
}

template <class T> void Put(std::vector<unsigned char>& b, T v) {
    unsigned char tmp[sizeof(T)];
    memcpy(tmp, &v, sizeof(T));
    b.insert(b.end(), tmp, tmp + sizeof(T));
}

// A triangle strip of n vertices with distinct, recognisable fields.
void FillMesh(FXMesh& m, int n, int triangles) {
    ASSERT_TRUE(m.Realloc(n, triangles * 3));
    for (int i = 0; i < n; i++) {
        tagFXVertex& v = m.vertices[i];
        memset(&v, 0, sizeof v);
        for (int k = 0; k < 3; k++)
            v.pos[k] = (float)(i * 10 + k);
        v.normal[2] = -1;
        v.tex[0] = 0.25f * (float)i;
        v.tex[1] = 0.5f;
        for (int k = 0; k < 4; k++)
            v.color[k] = 0.1f * (float)(k + 1);
        v.mark = 100 + i;
        v.srcPos = -i;
    }
    for (int t = 0; t < triangles; t++)
        for (int k = 0; k < 3; k++)
            m.indices[t * 3 + k] = (t + k) % n;
}

bool SameVertices(const FXMesh& a, const FXMesh& b) {
    return a.vertexCount == b.vertexCount &&
           (a.vertexCount == 0 || memcmp(a.vertices, b.vertices, sizeof(tagFXVertex) * a.vertexCount) == 0);
}

bool SameIndices(const FXMesh& a, const FXMesh& b) {
    return a.indexCount == b.indexCount &&
           (a.indexCount == 0 || memcmp(a.indices, b.indices, sizeof(int32_t) * a.indexCount) == 0);
}

bool Empty(const FXMesh& m) {
    return m.vertexCount == 0 && m.indexCount == 0 && m.vertices == nullptr && m.indices == nullptr;
}

} // namespace

TEST(Mesh, VertexRecordLayout) {
    EXPECT_EQ(sizeof(tagFXVertex), 76u);
    EXPECT_EQ(offsetof(tagFXVertex, normal), 12u);
    EXPECT_EQ(offsetof(tagFXVertex, tex), 24u);
    EXPECT_EQ(offsetof(tagFXVertex, color), 32u);
    EXPECT_EQ(offsetof(tagFXVertex, normalSum), 48u);
    EXPECT_EQ(offsetof(tagFXVertex, mark), 60u);
    EXPECT_EQ(offsetof(tagFXVertex, srcPos), 64u);
}

TEST(Mesh, ReallocReusesBlocksThatFitAndNeverShrinks) {
    FXMesh m;
    ASSERT_TRUE(m.Realloc(4, 6));
    tagFXVertex* v = m.vertices;
    int32_t* i = m.indices;
    ASSERT_TRUE(m.Realloc(2, 3));
    EXPECT_EQ(m.vertices, v);
    EXPECT_EQ(m.indices, i);
    EXPECT_EQ(m.vertexCapacity, 4);
    EXPECT_EQ(m.indexCapacity, 6);
    EXPECT_EQ(m.vertexCount, 2);
    EXPECT_EQ(m.indexCount, 3);
    ASSERT_TRUE(m.Realloc(8, 6));
    EXPECT_EQ(m.indices, i);
    EXPECT_EQ(m.vertexCapacity, 8);
    EXPECT_EQ(m.vertexCount, 8);

    // A negative count is refused and leaves an empty mesh, never a block smaller than its count.
    EXPECT_FALSE(m.Realloc(-1, 3));
    EXPECT_TRUE(Empty(m));
    EXPECT_EQ(m.vertexCapacity, 0);
    m.Destroy();
    m.Destroy();
    EXPECT_TRUE(Empty(m));
}

TEST(Mesh, DiscardVerticesKeepsReferencedInOrder) {
    FXMesh m;
    FillMesh(m, 5, 0);
    ASSERT_TRUE(m.Realloc(5, 3));
    m.indices[0] = 4;
    m.indices[1] = 2;
    m.indices[2] = 4;
    tagFXVertex v2 = m.vertices[2], v4 = m.vertices[4];
    m.DiscardVertices();
    ASSERT_EQ(m.vertexCount, 2);
    EXPECT_EQ(m.vertexCapacity, 2);
    EXPECT_EQ(m.indices[0], 1);
    EXPECT_EQ(m.indices[1], 0);
    EXPECT_EQ(m.indices[2], 1);
    EXPECT_EQ(memcmp(m.vertices[0].pos, v2.pos, 48), 0);
    EXPECT_EQ(memcmp(m.vertices[1].pos, v4.pos, 48), 0);
    EXPECT_EQ(m.vertices[0].mark, 0);
    EXPECT_EQ(m.vertices[1].mark, 1);

    // No index: every vertex goes.
    FXMesh lone;
    FillMesh(lone, 3, 0);
    lone.DiscardVertices();
    EXPECT_EQ(lone.vertexCount, 0);
    EXPECT_EQ(lone.vertices, nullptr);

    // A corrupt index leaves the mesh alone instead of writing outside the block.
    FXMesh bad;
    FillMesh(bad, 3, 1);
    bad.indices[1] = 7;
    bad.DiscardVertices();
    EXPECT_EQ(bad.vertexCount, 3);
    EXPECT_EQ(bad.indices[1], 7);
}

TEST(Mesh, CopyTakesGeometryAndHeaderButNotTheDrawingFlags) {
    FXMaterial mat;
    FXMesh src;
    FillMesh(src, 4, 2);
    src.material = &mat;
    src.materialName.Set("bark");
    src.loadedU = 0.5f;
    src.loadedV = 0.25f;
    src.drawPass = 2;
    src.colorMode = 1;
    src.disabled = true;
    src.flipV = true;

    FXMesh other, dst;
    dst.secondMesh = &other;
    dst.Copy(&src);
    EXPECT_TRUE(SameVertices(src, dst));
    EXPECT_TRUE(SameIndices(src, dst));
    EXPECT_EQ(dst.material, &mat);
    EXPECT_TRUE(dst.materialName.Compare("bark"));
    EXPECT_EQ(dst.loadedU, 0.5f);
    EXPECT_EQ(dst.loadedV, 0.25f);
    EXPECT_EQ(dst.drawPass, 2);
    EXPECT_EQ(dst.colorMode, 1);
    EXPECT_FALSE(dst.disabled);
    EXPECT_FALSE(dst.flipV);
    EXPECT_EQ(dst.secondMesh, &other);

    FXMesh head;
    head.CopyMeshI(&src);
    EXPECT_EQ(head.vertexCount, 4);
    EXPECT_EQ(head.indexCount, 6);
    EXPECT_EQ(head.drawPass, 2);
    EXPECT_TRUE(head.materialName.Compare("bark"));
}

TEST(Mesh, TexCoordRescaling) {
    FXMaterial mat;
    mat.texScaleU = 1.0f;
    mat.texScaleV = 0.5f;
    FXMesh m;
    FillMesh(m, 3, 1);
    m.loadedU = 0.5f;
    m.loadedV = 0;
    m.material = &mat;
    m.ResizeTexCoords();
    EXPECT_FLOAT_EQ(m.vertices[2].tex[0], 1.0f);  // 0.5 doubled
    EXPECT_FLOAT_EQ(m.vertices[2].tex[1], 0.25f); // loadedV 0: scaled by the material's 0.5
    m.ResizeTexCoords();
    EXPECT_FLOAT_EQ(m.vertices[2].tex[0], 2.0f); // the loaded scales are not updated

    m.flipV = true;
    m.vertices[0].tex[1] = 0.25f;
    m.ResizeTexCoords1();
    EXPECT_FLOAT_EQ(m.vertices[0].tex[1], 0.375f); // (1 - 0.25) * 0.5
    EXPECT_FLOAT_EQ(m.vertices[2].tex[0], 2.0f);   // u scaled by 1

    // Without a usable material nothing changes.
    mat.texScaleV = 0;
    m.ResizeTexCoords();
    EXPECT_FLOAT_EQ(m.vertices[2].tex[0], 2.0f);
    m.material = nullptr;
    m.ResizeTexCoords1();
    EXPECT_FLOAT_EQ(m.vertices[2].tex[0], 2.0f);

    float c[4] = {0.2f, 0.4f, 0.6f, 0.8f};
    m.SetVerticesCol(c);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(memcmp(m.vertices[i].color, c, 16), 0);
}

TEST(Mesh, FullPayloadByteForByte) {
    FXMesh m;
    FillMesh(m, 2, 1);
    m.indices[2] = 1;
    m.materialName.Set("ab");
    m.drawPass = 1;
    m.colorMode = 1;
    std::string path = TmpPath("full.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(m.SaveMesh(f));
    fclose(f);

    std::vector<unsigned char> want;
    Put<int32_t>(want, 2);
    want.push_back('a');
    want.push_back('b');
    Put<float>(want, 0); // no material: scales 0
    Put<float>(want, 0);
    Put<int32_t>(want, 1);
    Put<int32_t>(want, 1);
    Put<int32_t>(want, 2);
    const unsigned char* rec = (const unsigned char*)m.vertices;
    want.insert(want.end(), rec, rec + 2 * 76);
    Put<int32_t>(want, 3);
    Put<int32_t>(want, 0);
    Put<int32_t>(want, 1);
    Put<int32_t>(want, 1);
    EXPECT_EQ(ReadAll(path), want);

    // With a material its scales are written.
    FXMaterial mat;
    mat.texScaleU = 0.75f;
    mat.texScaleV = 0.5f;
    m.material = &mat;
    f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(m.SaveMesh(f));
    fclose(f);
    std::vector<unsigned char> got = ReadAll(path);
    float u, v;
    memcpy(&u, &got[6], 4);
    memcpy(&v, &got[10], 4);
    EXPECT_EQ(u, 0.75f);
    EXPECT_EQ(v, 0.5f);
}

TEST(Mesh, HeaderPayloadTakesLoadedScalesAndTracesU) {
    std::string log = TmpPath("header.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    FXMesh m;
    FillMesh(m, 4, 2);
    m.materialName.Set("x");
    m.loadedU = 0.625f;
    m.loadedV = 0.5f;
    std::string path = TmpPath("header.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(m.SaveMeshI(f));
    fclose(f);
    fxCloseTraces();

    std::vector<unsigned char> want;
    Put<int32_t>(want, 1);
    want.push_back('x');
    Put<float>(want, 0.625f);
    Put<float>(want, 0.5f);
    Put<int32_t>(want, 0);
    Put<int32_t>(want, 0);
    Put<int32_t>(want, 4);
    Put<int32_t>(want, 6);
    EXPECT_EQ(ReadAll(path), want);
    std::vector<unsigned char> text = ReadAll(log);
    EXPECT_NE(std::string(text.begin(), text.end()).find("save u from loaded_u (0.625)"), std::string::npos);

    // Read back from a file and from a package item: header only, blocks sized.
    FXMatlib lib;
    FXMaterial* mat = new FXMaterial;
    mat->name.Set("x");
    mat->libOwned = true;
    lib.AddMaterial(mat);
    FXMesh a, b;
    f = fopen(path.c_str(), "rb");
    ASSERT_TRUE(a.LoadMeshI(f, &lib));
    fclose(f);
    FXPackageData d;
    d.InitData(want.data(), (int)want.size());
    ASSERT_TRUE(b.LoadMeshIC(nullptr, &d, &lib));
    for (FXMesh* r : {&a, &b}) {
        EXPECT_EQ(r->material, mat);
        EXPECT_EQ(r->loadedU, 0.625f);
        EXPECT_EQ(r->vertexCount, 4);
        EXPECT_EQ(r->indexCount, 6);
        EXPECT_GE(r->vertexCapacity, 4);
        EXPECT_GE(r->indexCapacity, 6);
        EXPECT_TRUE(r->IndicesValid());
    }
}

TEST(Mesh, FullPayloadRoundTripFromFileAndItem) {
    FXMatlib lib;
    FXMaterial* mat = new FXMaterial;
    mat->name.Set("leaf");
    mat->libOwned = true;
    lib.AddMaterial(mat);

    FXMesh m;
    FillMesh(m, 5, 3);
    m.materialName.Set("leaf");
    m.drawPass = 2;
    m.colorMode = 1;
    std::string path = TmpPath("round.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(m.SaveMesh(f));
    fclose(f);

    FXMesh a;
    f = fopen(path.c_str(), "rb");
    ASSERT_TRUE(a.LoadMesh(f, &lib));
    fclose(f);
    std::vector<unsigned char> bytes = ReadAll(path);
    FXPackageData d;
    d.InitData(bytes.data(), (int)bytes.size());
    FXMesh b;
    ASSERT_TRUE(b.LoadMeshC(nullptr, &d, &lib));
    EXPECT_EQ(d.left, 0);
    for (FXMesh* r : {&a, &b}) {
        EXPECT_TRUE(SameVertices(m, *r));
        EXPECT_TRUE(SameIndices(m, *r));
        EXPECT_EQ(r->material, mat);
        EXPECT_EQ(r->drawPass, 2);
        EXPECT_EQ(r->colorMode, 1);
    }

    // An unknown material name leaves the material null; so does loading without a library.
    FXMatlib none;
    FXMesh c;
    d.Reseek();
    ASSERT_TRUE(c.LoadMeshC(nullptr, &d, &none));
    EXPECT_EQ(c.material, nullptr);
    EXPECT_TRUE(c.materialName.Compare("leaf"));
    d.Reseek();
    ASSERT_TRUE(c.LoadMeshC(nullptr, &d, nullptr));
    EXPECT_EQ(c.material, nullptr);
}

namespace {

// Loads the bytes as a full payload through both readers; checks that a loaded mesh is sound and
// a refused one empty. Returns whether the item reader accepted it.
bool LoadBoth(const std::vector<unsigned char>& bytes, const std::string& path, bool header) {
    WriteAll(path, bytes);
    FXMesh a, b;
    FILE* f = fopen(path.c_str(), "rb");
    bool okFile = header ? a.LoadMeshI(f, nullptr) : a.LoadMesh(f, nullptr);
    fclose(f);
    std::vector<unsigned char> copy = bytes; // exact-size heap block: overreads are caught
    FXPackageData d;
    d.InitData(copy.empty() ? nullptr : copy.data(), (int)copy.size());
    bool okItem = header ? b.LoadMeshIC(nullptr, &d, nullptr) : b.LoadMeshC(nullptr, &d, nullptr);
    EXPECT_EQ(okFile, okItem);
    for (FXMesh* m : {&a, &b}) {
        bool ok = m == &a ? okFile : okItem;
        if (!ok) {
            EXPECT_TRUE(Empty(*m));
        } else if (!header || m->vertexCount > 0) {
            // A header-form mesh is drawable before its indices are filled: they start in range.
            EXPECT_TRUE(m->IndicesValid());
        }
    }
    return okItem;
}

std::vector<unsigned char> SavedPayload(FXMesh& m, const std::string& path, bool header) {
    FILE* f = fopen(path.c_str(), "wb");
    if (header)
        m.SaveMeshI(f);
    else
        m.SaveMesh(f);
    fclose(f);
    return ReadAll(path);
}

} // namespace

TEST(Mesh, TruncatedPayloadsAreRefused) {
    std::string path = TmpPath("trunc.bin");
    FXMesh m;
    FillMesh(m, 4, 2);
    m.materialName.Set("moss");
    for (bool header : {false, true}) {
        std::vector<unsigned char> full = SavedPayload(m, path, header);
        for (size_t n = 0; n < full.size(); n++) {
            std::vector<unsigned char> cut(full.begin(), full.begin() + n);
            EXPECT_FALSE(LoadBoth(cut, path, header)) << "length " << n << (header ? " header" : " full");
        }
        EXPECT_TRUE(LoadBoth(full, path, header));
    }
}

TEST(Mesh, HostileCountsAndIndicesAreRefused) {
    std::string path = TmpPath("hostile.bin");
    FXMesh m;
    FillMesh(m, 3, 1);
    std::vector<unsigned char> good = SavedPayload(m, path, false);
    const size_t nAt = 4 + 16;           // vertex count, after an empty name and four fields
    const size_t mAt = nAt + 4 + 3 * 76; // index count
    auto with = [&](size_t at, int32_t v) {
        std::vector<unsigned char> b = good;
        memcpy(&b[at], &v, 4);
        return b;
    };
    EXPECT_TRUE(LoadBoth(good, path, false));
    std::string log = TmpPath("hostile.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    EXPECT_FALSE(LoadBoth(with(mAt + 4 + 8, 3), path, false)); // index == vertex count
    fxCloseTraces();
    std::vector<unsigned char> bytes = ReadAll(log);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("index outside the vertex block"), std::string::npos);
    EXPECT_FALSE(LoadBoth(with(mAt + 4, -1), path, false));     // negative index
    EXPECT_FALSE(LoadBoth(with(nAt, -1), path, false));         // negative vertex count
    EXPECT_FALSE(LoadBoth(with(nAt, 0x7fffffff), path, false)); // far more vertices than bytes
    EXPECT_FALSE(LoadBoth(with(nAt, 4), path, false));
    EXPECT_FALSE(LoadBoth(with(mAt, 0x40000000), path, false));
    EXPECT_FALSE(LoadBoth(with(mAt, -3), path, false));
    EXPECT_FALSE(LoadBoth(with(0, 5000), path, false)); // name longer than the string type holds
    EXPECT_FALSE(LoadBoth(with(0, -2), path, false));

    // The header form carries bare counts: negative or absurd ones are refused.
    std::vector<unsigned char> head = SavedPayload(m, path, true);
    auto headWith = [&](size_t at, int32_t v) {
        std::vector<unsigned char> b = head;
        memcpy(&b[at], &v, 4);
        return b;
    };
    EXPECT_TRUE(LoadBoth(head, path, true));
    EXPECT_FALSE(LoadBoth(headWith(nAt, -5), path, true));
    EXPECT_FALSE(LoadBoth(headWith(nAt + 4, -5), path, true));
    EXPECT_FALSE(LoadBoth(headWith(nAt, 0x7fffffff), path, true));
}

// Resident memory of this process in KiB.
static long ResidentKB() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    return GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc)) ? (long)(pmc.WorkingSetSize / 1024) : 0;
#else
    long pages = 0, resident = 0;
    if (FILE* f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
#endif
}

// The header form declares bare counts; the index stream fills its blocks later. The largest
// counts it takes, from a few bytes, must cost no resident memory before then (the index
// block used to be written with zeros: 48 MB per such item).
TEST(Mesh, LargestHeaderCountsCostNothingUntilFilled) {
    std::string path = TmpPath("counts.bin");
    FXMesh m;
    FillMesh(m, 3, 1);
    std::vector<unsigned char> head = SavedPayload(m, path, true);
    const size_t nAt = 4 + 16;
    const int32_t n = 1 << 22, k = 3 << 22;
    memcpy(&head[nAt], &n, 4);
    memcpy(&head[nAt + 4], &k, 4);
    FXPackageData d;
    d.InitData(head.data(), (int)head.size());
    long before = ResidentKB();
    FXMesh big;
    ASSERT_TRUE(big.LoadMeshIC(nullptr, &d, nullptr));
    ASSERT_EQ(big.indexCount, k);
    EXPECT_EQ(big.indices[0] | big.indices[k / 2] | big.indices[k - 1], 0);
    EXPECT_LT(ResidentKB() - before, 16 * 1024);
}

TEST(Mesh, CorruptedPayloadsNeverBreakTheLoaders) {
    std::string path = TmpPath("fuzz.bin");
    FXMesh m;
    FillMesh(m, 6, 4);
    m.materialName.Set("fern");
    std::mt19937 rng(1234);
    for (bool header : {false, true}) {
        std::vector<unsigned char> good = SavedPayload(m, path, header);
        for (int round = 0; round < 400; round++) {
            std::vector<unsigned char> b = good;
            int flips = 1 + (int)(rng() % 4);
            for (int k = 0; k < flips; k++) {
                size_t at = rng() % b.size();
                // Small counts and large ones alike: sometimes overwrite a whole word.
                if (rng() % 3 == 0 && at + 4 <= b.size()) {
                    int32_t v = (int32_t)rng() % 16 - 4;
                    if (rng() % 2) v = (int32_t)rng();
                    memcpy(&b[at], &v, 4);
                } else {
                    b[at] ^= (unsigned char)(1u << (rng() % 8));
                }
            }
            if (rng() % 4 == 0) b.resize(rng() % b.size());
            LoadBoth(b, path, header);
        }
    }
}
