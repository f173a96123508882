#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "assets/light.h"
#include "assets/material.h"
#include "assets/package.h"
#include "assets/testimages.h"
#include "support/pkgbuild.h"
#include "support/testenv.h"

using namespace mhtest;

static void ExpectColour(const float* c, float r, float g, float b, float a) {
    EXPECT_FLOAT_EQ(r, c[0]);
    EXPECT_FLOAT_EQ(g, c[1]);
    EXPECT_FLOAT_EQ(b, c[2]);
    EXPECT_FLOAT_EQ(a, c[3]);
}

TEST(Material, DefaultsPresetsAndSolidity) {
    FXMaterial m;
    ExpectColour(m.ambient, 0.2f, 0.2f, 0.2f, 0);
    ExpectColour(m.diffuse, 1, 1, 1, 1);
    ExpectColour(m.specular, 0, 0, 0, 0);
    ExpectColour(m.emission, 0, 0, 0, 0);
    EXPECT_EQ(0.0f, m.shininess);
    EXPECT_FALSE(m.libOwned);
    EXPECT_FALSE(m.textured);
    EXPECT_TRUE(m.mipmaps);
    EXPECT_EQ(nullptr, m.texture);
    EXPECT_TRUE(m.IsSolid());

    m.SetDefDiffuse(0.5f);
    EXPECT_FALSE(m.IsSolid());
    m.SetDefSpecular(1.0f);
    EXPECT_EQ(128.0f, m.shininess);
    ExpectColour(m.diffuse, 0.2f, 0.2f, 0.2f, 1);
    m.shininess = 7.0f;
    m.SetDefSpecular1(0.5f);
    m.SetDefEmission(0.5f);
    m.SetBlack(0.5f);
    m.PrepareDarkDiffuse(0.25f);
    EXPECT_EQ(7.0f, m.shininess) << "only SetDefSpecular sets the shininess";
    ExpectColour(m.ambient, 0, 0, 0, 0.25f);
    m.ChangeDarkDiffuse(0.6f);
    ExpectColour(m.diffuse, 0.6f, 0.6f, 0.6f, 0.25f);

    // Multiplying always starts from the preserved colours.
    FXMaterial p;
    p.SetDefSpecular1(1.0f);
    p.PreserveCols();
    float f[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    p.MultiCols(f);
    p.MultiCols(f);
    ExpectColour(p.ambient, 0.1f, 0.1f, 0.1f, 1);
    ExpectColour(p.specular, 0.5f, 0.5f, 0.5f, 1);
}

TEST(Material, TextureStateFollowsTheDevice) {
    ScopedTestEnv scoped;
    TestEnv& env = scoped.env;
    FXCanvas c;
    ASSERT_TRUE(c.pixmap.Realloc(300, 200));
    c.pixmap.Clear(0x7FFFFFFF);
    c.opaque = false;

    FXMaterial m;
    ASSERT_TRUE(m.SetTexture(&c));
    EXPECT_TRUE(m.textured);
    EXPECT_NE(0, m.texId);
    EXPECT_EQ(&c, m.texture);
    EXPECT_FLOAT_EQ(300.0f / 512.0f, m.texScaleU);
    EXPECT_FLOAT_EQ(200.0f / 256.0f, m.texScaleV);
    EXPECT_EQ(300, m.GetWidth());
    EXPECT_EQ(200.0f, m.GetHeightF());
    EXPECT_FALSE(m.IsSolid()) << "a translucent texture makes the material translucent";

    // The device refusing the texture leaves the material untextured, its texture released.
    env.prepareResult = false;
    EXPECT_FALSE(m.SetTexture(&c));
    EXPECT_FALSE(m.textured);
    EXPECT_EQ(0, m.texId);
    EXPECT_EQ(0, env.liveTextures);
    EXPECT_TRUE(m.IsSolid());
    env.prepareResult = true;

    // An empty canvas has no extent: refused before anything is divided or uploaded.
    FXCanvas empty;
    int before = env.Count("PrepareTexture");
    EXPECT_FALSE(m.SetTexture(&empty));
    EXPECT_FALSE(m.SetTexture(nullptr));
    EXPECT_EQ(before, env.Count("PrepareTexture"));
    EXPECT_FALSE(m.textured);
    EXPECT_EQ(nullptr, m.texture);

    ASSERT_TRUE(m.SetTexture(&c));
    m.Destroy();
    EXPECT_EQ(0, env.liveTextures);
    EXPECT_EQ(nullptr, m.texture);
    m.Destroy();
    EXPECT_EQ(0, m.GetWidth());
}

TEST(Material, LoadTextureFromPackageItems) {
    ScopedTestEnv scoped;
    ASSERT_TRUE(fxLoadDevil() || fxSystemImageCodec());
    Picture p = Gradient(30, 20, false);
    std::string path = TestTmpPath("textures.dat");
    ASSERT_TRUE(WritePackageItems(path, {{3, "png", EncodePng(p)}, {4, "png", {0, 1, 2}}}));
    FXPackage pkg;
    pkg.Load(path.c_str());

    FXMaterial m;
    ASSERT_TRUE(m.LoadTextureCN(&pkg, 3));
    EXPECT_EQ(&m.canvas, m.texture);
    EXPECT_TRUE(m.texOpaque);
    EXPECT_FLOAT_EQ(30.0f / 32.0f, m.texScaleU);
    // A failed load drops the texture it had.
    EXPECT_FALSE(m.LoadTextureC(&pkg, "4"));
    EXPECT_FALSE(m.textured);
    EXPECT_EQ(0, scoped.env.liveTextures);
    EXPECT_TRUE(m.LoadTextureC(&pkg, "3"));
    fxUnloadDevil();
}

static std::vector<uint8_t> RecordOf(FXMaterial& m) {
    std::string path = TestTmpPath("record.bin");
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_TRUE(m.Save(f));
    fclose(f);
    return ReadFileBytes(path);
}

TEST(Material, RecordLayoutAndRoundTrip) {
    FXMaterial m;
    m.name.Set("bark");
    m.SetDefSpecular1(0.75f);
    m.emission[2] = 0.125f;
    m.shininess = 33.0f;
    std::vector<uint8_t> rec = RecordOf(m);
    ASSERT_EQ(80u, rec.size());
    Bytes want;
    PutInt(&want, 4);
    want.insert(want.end(), {'b', 'a', 'r', 'k'});
    PutInt(&want, 0);
    for (float* c : {m.ambient, m.diffuse, m.specular, m.emission})
        for (int i = 0; i < 4; i++)
            PutFloat(&want, c[i]);
    PutFloat(&want, 33.0f);
    EXPECT_EQ(want, rec);

    FXMaterial back;
    std::string path = TestTmpPath("record.bin");
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_TRUE(back.Load(f));
    fclose(f);
    EXPECT_TRUE(back.libOwned);
    EXPECT_TRUE(back.name.Compare("bark"));
    EXPECT_EQ(0, memcmp(m.ambient, back.ambient, sizeof m.ambient));
    EXPECT_EQ(0, memcmp(m.emission, back.emission, sizeof m.emission));
    EXPECT_EQ(33.0f, back.shininess);

    // The same record read through a package cursor.
    FXPackageData d;
    d.InitData(rec.data(), (int)rec.size());
    FXMaterial viaCursor;
    ASSERT_TRUE(viaCursor.LoadC(nullptr, &d));
    EXPECT_EQ(0, d.left);
    EXPECT_EQ(0, memcmp(m.specular, viaCursor.specular, sizeof m.specular));
}

TEST(Material, ShortOrDamagedRecordsFail) {
    FXMaterial m;
    m.name.Set("leaf");
    std::vector<uint8_t> rec = RecordOf(m);
    std::string path = TestTmpPath("short.bin");
    // Every cut short of the full record fails, from the file and from a cursor.
    for (size_t cut = 0; cut < rec.size(); cut += 3) {
        std::vector<uint8_t> part(rec.begin(), rec.begin() + cut);
        ASSERT_TRUE(WriteFileBytes(path, part));
        FILE* f = fopen(path.c_str(), "rb");
        FXMaterial back;
        EXPECT_FALSE(back.Load(f)) << cut;
        fclose(f);
        FXPackageData d;
        d.InitData(part.data(), (int)part.size());
        EXPECT_FALSE(back.LoadC(nullptr, &d)) << cut;
    }
    // A name length far past the string's capacity or the data.
    Bytes hostile;
    PutInt(&hostile, 1 << 30);
    hostile.insert(hostile.end(), 100, 'x');
    ASSERT_TRUE(WriteFileBytes(path, hostile));
    FILE* f = fopen(path.c_str(), "rb");
    FXMaterial back;
    EXPECT_FALSE(back.Load(f));
    fclose(f);
    FXPackageData d;
    d.InitData(hostile.data(), (int)hostile.size());
    EXPECT_FALSE(back.LoadC(nullptr, &d));
    EXPECT_FALSE(back.Load(nullptr));
}

TEST(Light, DefaultsAndPresets) {
    FXLight l;
    ExpectColour(l.position, 0, 0, -1, 0);
    ExpectColour(l.spotDirection, 0, 0, 1, 0);
    ExpectColour(l.ambient, 0.2f, 0.2f, 0.2f, 1);
    ExpectColour(l.diffuse, 1, 1, 1, 1);
    EXPECT_EQ(180.0f, l.spotCutoff);
    EXPECT_FALSE(l.disabled);
    l.position[0] = 5.0f;
    l.SetDefSpecular(1.0f);
    EXPECT_EQ(1.0f, l.position[3]);
    EXPECT_EQ(5.0f, l.position[0]) << "presets keep the position";
    EXPECT_EQ(12.0f, l.spotExponent);
    EXPECT_EQ(180.0f, l.spotCutoff);
    EXPECT_FLOAT_EQ(0.4f, l.constantAttenuation);
    EXPECT_FLOAT_EQ(0.4f, l.linearAttenuation);
    EXPECT_EQ(0.0f, l.quadraticAttenuation);
    l.SetDiffuseDark(0.3f, 0.5f);
    EXPECT_EQ(0.0f, l.position[3]);
    ExpectColour(l.diffuse, 0.3f, 0.3f, 0.3f, 0.5f);
    EXPECT_EQ(0.0f, l.linearAttenuation);
    l.SetDefAmbient(1.0f);
    l.MultiColorF(0.5f, 1.0f, 0.25f, 1.0f);
    ExpectColour(l.ambient, 0.5f, 1.0f, 0.25f, 1.0f);
    float m[4] = {2, 2, 2, 2};
    l.MultiColor(m);
    ExpectColour(l.ambient, 1.0f, 2.0f, 0.5f, 2.0f);
}
