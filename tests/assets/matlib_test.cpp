#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "assets/material.h"
#include "assets/matlib.h"
#include "assets/package.h"
#include "support/pkgbuild.h"
#include "support/testenv.h"

using namespace mhtest;

static std::string WriteText(const std::string& name, const std::string& text) {
    std::string path = TestTmpPath(name);
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    return path;
}

TEST(Matlib, MembershipLookupAndRelease) {
    FXMatlib parent, lib;
    FXMaterial a, b, shadow;
    a.name.Set("stone");
    b.name.Set("moss");
    shadow.name.Set("stone");
    EXPECT_EQ(0, lib.AddMaterial(&a));
    EXPECT_EQ(1, lib.AddMaterial(&b));
    EXPECT_EQ(0, lib.AddMaterial(&a)) << "a material is listed once";
    EXPECT_EQ(2, lib.GetCount());
    EXPECT_EQ(&b, lib.FindMaterial("moss"));
    EXPECT_EQ(nullptr, lib.FindMaterial("Moss")) << "names are case-sensitive";

    parent.AddMaterial(&shadow);
    lib.parent = &parent;
    EXPECT_EQ(&shadow, lib.FindMaterial("stone")) << "the parent is searched first";
    EXPECT_EQ(&b, lib.FindMaterial("moss"));
    parent.parent = &lib; // a loop must not hang the lookup
    EXPECT_EQ(nullptr, lib.FindMaterial("fern"));
    parent.parent = nullptr;

    lib.RemoveMaterial(&b);
    EXPECT_EQ(nullptr, lib.FindMaterial("moss"));
    // Materials added by hand stay their owner's.
    lib.Destroy();
    EXPECT_EQ(0, lib.GetCount());
    EXPECT_TRUE(a.name.Compare("stone"));

    FXMatlib* shared = new FXMatlib;
    shared->refCount = 2;
    shared->Release();
    EXPECT_EQ(1, shared->refCount);
    shared->Release(); // deletes it; the sanitizer build catches a leak or a double free
}

TEST(Matlib, BinaryFilesRoundTripAndRefuseDamage) {
    FXMatlib lib;
    lib.name.Set("woods");
    for (const char* n : {"bark", "leaf", "rock"}) {
        FXMaterial* m = new FXMaterial;
        m->libOwned = true;
        m->name.Set(n);
        m->diffuse[1] = 0.5f;
        lib.AddMaterial(m);
    }
    std::string path = TestTmpPath("woods.lib");
    ASSERT_TRUE(lib.Save(path.c_str()));

    FXMatlib back;
    ASSERT_TRUE(back.Load(path.c_str()));
    EXPECT_TRUE(back.name.Compare("woods"));
    ASSERT_EQ(3, back.GetCount());
    EXPECT_TRUE(back.GetMaterial(2)->name.Compare("rock"));
    EXPECT_EQ(0.5f, back.GetMaterial(1)->diffuse[1]);
    // Load appends to what is there.
    ASSERT_TRUE(back.Load(path.c_str()));
    EXPECT_EQ(6, back.GetCount());

    FXMatlib none;
    EXPECT_FALSE(none.Load(TestTmpPath("missing.lib").c_str()));
    EXPECT_EQ(0, none.GetCount());

    // Truncated in the middle of the third record: two materials, and a failure.
    Bytes bytes = ReadFileBytes(path);
    bytes.resize(bytes.size() - 10);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    FXMatlib cut;
    EXPECT_FALSE(cut.Load(path.c_str()));
    EXPECT_EQ(2, cut.GetCount());

    // A huge count ends with the data.
    Bytes huge;
    PutInt(&huge, 0);
    PutInt(&huge, 0x7FFFFFFF);
    ASSERT_TRUE(WriteFileBytes(path, huge));
    FXMatlib big;
    EXPECT_FALSE(big.Load(path.c_str()));
    EXPECT_EQ(0, big.GetCount());
}

TEST(Matlib, PackageItems) {
    FXMatlib lib;
    lib.name.Set("woods");
    FXMaterial* m = new FXMaterial;
    m->libOwned = true;
    m->name.Set("bark");
    m->shininess = 12.0f;
    lib.AddMaterial(m);
    std::string file = TestTmpPath("item.lib");
    ASSERT_TRUE(lib.Save(file.c_str()));
    Bytes good = ReadFileBytes(file);

    Bytes shortItem(good.begin(), good.end() - 5);
    Bytes hugeCount;
    PutInt(&hugeCount, 0);
    PutInt(&hugeCount, 0x7FFFFFFF);
    hugeCount.insert(hugeCount.end(), good.begin() + 13, good.end()); // one whole record after it
    Bytes longName;
    PutInt(&longName, 5000);
    longName.insert(longName.end(), 5000, 'n');
    PutInt(&longName, 0);
    std::string pkgPath = TestTmpPath("libs.dat");
    ASSERT_TRUE(
        WritePackage(pkgPath, {{7, good}, {8, shortItem}, {9, hugeCount}, {10, longName}, {11, {1, 0}}}));
    FXPackage pkg;
    pkg.Load(pkgPath.c_str());

    FXMatlib a;
    ASSERT_TRUE(a.LoadC(&pkg, "7"));
    ASSERT_EQ(1, a.GetCount());
    EXPECT_TRUE(a.GetMaterial(0)->libOwned);
    EXPECT_EQ(12.0f, a.GetMaterial(0)->shininess);

    FXMatlib b;
    b.name.Set("kept");
    EXPECT_FALSE(b.LoadC(&pkg, "99"));
    EXPECT_FALSE(b.LoadC(&pkg, "seven"));
    EXPECT_FALSE(b.LoadC(nullptr, "7"));
    EXPECT_TRUE(b.name.Compare("kept")) << "a missing item leaves the library unchanged";
    EXPECT_FALSE(b.LoadC(&pkg, "8"));
    EXPECT_EQ(0, b.GetCount());
    EXPECT_FALSE(b.LoadC(&pkg, "9"));
    EXPECT_EQ(1, b.GetCount()) << "the one record present is read, then the data ends";
    FXMatlib c;
    c.LoadC(&pkg, "10");
    EXPECT_LE(c.name.length, 1023);
    EXPECT_FALSE(c.LoadC(&pkg, "11"));
}

TEST(Matlib, ATextureNamingTheLibraryItemKeepsTheRecordsInOrder) {
    // Fetching the "picture" rewinds the library item's own cursor; the records after it
    // must still be read from where the first one ended.
    Bytes item;
    PutString(&item, "woods");
    PutInt(&item, 2);
    for (const char* n : {"bark", "leaf"}) {
        PutString(&item, n);
        PutString(&item, n[0] == 'b' ? "7" : "");
        for (int i = 0; i < 17; i++)
            PutFloat(&item, 0.5f);
    }
    std::string pkgPath = TestTmpPath("selftex.dat");
    ASSERT_TRUE(WritePackage(pkgPath, {{7, item}}));
    FXPackage pkg;
    pkg.Load(pkgPath.c_str());

    FXMatlib lib;
    ASSERT_TRUE(lib.LoadC(&pkg, "7"));
    ASSERT_EQ(2, lib.GetCount());
    EXPECT_TRUE(lib.GetMaterial(0)->name.Compare("bark"));
    EXPECT_FALSE(lib.GetMaterial(0)->textured);
    EXPECT_TRUE(lib.GetMaterial(1)->name.Compare("leaf"));
    EXPECT_EQ(0.5f, lib.GetMaterial(1)->shininess);

    FXPackageData* d = pkg.GetDataPtr(7);
    d->ReadString(&lib.name);
    d->ReadInt();
    FXMaterial m;
    EXPECT_FALSE(m.LoadC(&pkg, d));
    EXPECT_TRUE(m.name.Compare("bark"));
    ASSERT_TRUE(m.LoadC(&pkg, d));
    EXPECT_TRUE(m.name.Compare("leaf"));
    EXPECT_EQ(0, d->left);
}

TEST(Matlib, WavefrontMaterialFiles) {
    std::string path = WriteText("scene.mtl", "# made by hand\n"
                                              "Ka 0.9 0.9 0.9\n"
                                              "newmtl  Bark  \n"
                                              "Ka 0.1 0.2 0.3\n"
                                              "Kd 0.4 0.5 0.6\n"
                                              "Ks 0.7 0.8 0.9\n"
                                              "Ns 50\n"
                                              "illum 2\n"
                                              "Ni 1.5\n"
                                              "Tf 1 1 1\n"
                                              "\n"
                                              "newmtl Leaf\n"
                                              "d 0.25\n"
                                              "map_Kd   leaf texture.png  \n"
                                              "nonsense here\n");
    FXMatlib lib;
    ASSERT_TRUE(lib.LoadFromMtl(path.c_str()));
    EXPECT_TRUE(lib.name.Compare(path.c_str()));
    ASSERT_EQ(3, lib.GetCount());
    FXMaterial* first = lib.GetMaterial(0);
    EXPECT_TRUE(first->name.IsEmpty());
    EXPECT_FLOAT_EQ(0.9f, first->ambient[0]);
    FXMaterial* bark = lib.FindMaterial("Bark");
    ASSERT_EQ(lib.GetMaterial(1), bark);
    EXPECT_FLOAT_EQ(0.3f, bark->ambient[2]);
    EXPECT_FLOAT_EQ(0.5f, bark->diffuse[1]);
    EXPECT_FLOAT_EQ(0.8f, bark->specular[1]);
    EXPECT_FLOAT_EQ(64.0f, bark->shininess);
    // Alphas keep the values of the specular preset.
    EXPECT_EQ(0.0f, bark->ambient[3]);
    EXPECT_EQ(1.0f, bark->diffuse[3]);
    EXPECT_EQ(1.0f, bark->specular[3]);
    EXPECT_TRUE(bark->libOwned);
    FXMaterial* leaf = lib.GetMaterial(2);
    EXPECT_TRUE(leaf->name.Compare("Leaf"));
    EXPECT_EQ(0.25f, leaf->diffuse[3]);
    EXPECT_TRUE(leaf->texName.Compare("leaf texture.png"));
    EXPECT_FALSE(leaf->textured) << "the texture file does not exist";
    EXPECT_EQ(128.0f, leaf->shininess);

    // Loading again replaces the contents; a missing file empties the library.
    ASSERT_TRUE(lib.LoadFromMtl(path.c_str()));
    EXPECT_EQ(3, lib.GetCount());
    EXPECT_FALSE(lib.LoadFromMtl(TestTmpPath("missing.mtl").c_str()));
    EXPECT_EQ(0, lib.GetCount());
    EXPECT_TRUE(lib.name.Compare(path.c_str()));
}

TEST(Matlib, WavefrontHostileText) {
    // A newmtl the counting pass cannot see (after values on one line, after an N token), an
    // over-long token, numbers that are not numbers, and no final line feed.
    std::string text = "Kd 1 1 1 newmtl hidden\nNx newmtl alsoHidden\nnewmtl real\nKa x y z\nNs\n";
    text += std::string(5000, 'K') + " 1 2 3\nnewmtl " + std::string(3000, 'L') + "\nd";
    std::string path = WriteText("hostile.mtl", text);
    FXMatlib lib;
    ASSERT_TRUE(lib.LoadFromMtl(path.c_str()));
    EXPECT_EQ(5, lib.GetCount());
    EXPECT_TRUE(lib.GetMaterial(1)->name.Compare("hidden"));
    EXPECT_TRUE(lib.GetMaterial(2)->name.Compare("alsoHidden"));
    EXPECT_TRUE(lib.GetMaterial(3)->name.Compare("real"));
    EXPECT_EQ(1023, lib.GetMaterial(4)->name.length);
    EXPECT_EQ(1.0f, lib.GetMaterial(4)->diffuse[3]);

    std::string empty = WriteText("empty.mtl", "");
    ASSERT_TRUE(lib.LoadFromMtl(empty.c_str()));
    EXPECT_EQ(1, lib.GetCount());
}

TEST(Matlib, WavefrontLineEndsAndControlBytesReadAlikeEverywhere) {
    // Files from Windows editors end lines with CR LF; a Ctrl-Z byte ends a text-mode read
    // on Windows. Neither may change what is read.
    const std::string lf = "newmtl Bark\nKd 0.1 0.5 0.9\nd 0.5\nmap_Kd bark.png\nnewmtl Le\x1a" "af\nd 0.25\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    FXMatlib a, b;
    ASSERT_TRUE(a.LoadFromMtl(WriteText("lf.mtl", lf).c_str()));
    ASSERT_TRUE(b.LoadFromMtl(WriteText("crlf.mtl", crlf).c_str()));
    for (FXMatlib* lib : {&a, &b}) {
        ASSERT_EQ(3, lib->GetCount());
        FXMaterial* bark = lib->FindMaterial("Bark");
        ASSERT_NE(nullptr, bark);
        EXPECT_FLOAT_EQ(0.9f, bark->diffuse[2]);
        EXPECT_TRUE(bark->texName.Compare("bark.png"));
        EXPECT_TRUE(lib->GetMaterial(2)->name.Compare("Le\x1a" "af"));
        EXPECT_EQ(0.25f, lib->GetMaterial(2)->diffuse[3]);
    }
}

TEST(Matlib, CompileTurnsTextureNamesIntoItems) {
    FXMatlib lib;
    FXMaterial* a = new FXMaterial;
    FXMaterial* b = new FXMaterial;
    FXMaterial* c = new FXMaterial;
    for (FXMaterial* m : {a, b, c}) {
        m->libOwned = true;
        lib.AddMaterial(m);
    }
    a->texName.Set("bark.png");
    c->texName.Set("bark.png");
    FXPackage pkg;
    pkg.basePath.Set("/art/woods/");
    lib.Compile(&pkg);
    EXPECT_TRUE(a->texName.Compare("0"));
    EXPECT_TRUE(b->texName.IsEmpty());
    EXPECT_TRUE(c->texName.Compare("0"));
    ASSERT_EQ(1, pkg.pendingFiles.count);
    EXPECT_STREQ("/art/woods/bark.png", pkg.pendingFiles.items[0]);
}
