#include <gtest/gtest.h>

#include <string>

#include "assets/light.h"
#include "assets/material.h"
#include "assets/matlib.h"
#include "assets/package.h"
#include "render/env.h"
#include "support/pkgbuild.h"
#include "support/testenv.h"

using namespace mhtest;

TEST(Env, StartsEmptyWithItsDefaultMaterial) {
    TestEnv env;
    EXPECT_EQ(0, env.width);
    EXPECT_EQ(nullptr, env.render.load());
    EXPECT_TRUE(env.lockWhileRendering);
    EXPECT_TRUE(env.depthWrite);
    EXPECT_TRUE(env.depthTest);
    EXPECT_FALSE(env.cullBack);
    EXPECT_FALSE(env.loopRunning);
    EXPECT_NE(nullptr, env.mutex);
    EXPECT_EQ(nullptr, env.thread);
    for (FXLight* l : env.lights)
        EXPECT_EQ(nullptr, l);
    EXPECT_EQ(1.0f, env.matrix.m[0]);
    EXPECT_EQ(1.0f, env.matrix.m[15]);
    EXPECT_EQ(0.0f, env.matrix.m[1]);
    EXPECT_EQ(&env.defaultMaterial, env.GetDefaultMaterial());
    EXPECT_EQ(&env.defaultMatlib, env.GetDefaultMatlib());
    EXPECT_FALSE(env.defaultMatlib.autoDelete);
    EXPECT_EQ(&env.defaultMaterial, env.defaultMatlib.FindMaterial(""));
}

TEST(Env, LightSlots) {
    TestEnv env;
    FXLight l[9];
    EXPECT_TRUE(env.RegisterLight(&l[0]));
    EXPECT_TRUE(env.RegisterLight(&l[0]));
    EXPECT_EQ(nullptr, env.lights[1]) << "the same light keeps one slot";
    for (int i = 1; i < 8; i++)
        EXPECT_TRUE(env.RegisterLight(&l[i]));
    EXPECT_FALSE(env.RegisterLight(&l[8]));
    env.UnregisterLight(&l[3]);
    EXPECT_EQ(nullptr, env.lights[3]);
    EXPECT_TRUE(env.RegisterLight(&l[8]));
    EXPECT_EQ(&l[8], env.lights[3]) << "the first free slot is taken";
    // A light met before the free slot is not stored twice.
    env.UnregisterLight(&l[5]);
    EXPECT_TRUE(env.RegisterLight(&l[1]));
    EXPECT_EQ(nullptr, env.lights[5]);
    env.UnregisterLight(&l[5]);
}

TEST(Env, MaterialOperations) {
    ScopedTestEnv scoped;
    TestEnv& env = scoped.env;
    env.ApplyDefaultMaterial();
    ASSERT_EQ(1u, env.applied.size());
    EXPECT_EQ(&env.defaultMaterial, env.applied[0]);
    env.EnableTestingMaterial(true);
    EXPECT_TRUE(env.testingMaterial);
    env.ApplyDefaultMaterial();
    EXPECT_EQ(1u, env.applied.size());
    env.EnableTestingMaterial(false);

    FXMaterial extra;
    extra.name.Set("extra");
    env.AddMaterial(&extra);
    EXPECT_EQ(&extra, env.defaultMatlib.FindMaterial("extra"));
    env.defaultMatlib.RemoveMaterial(&extra);
}

TEST(Env, LibrariesAreSharedByName) {
    ScopedTestEnv scoped;
    TestEnv& env = scoped.env;
    std::string mtl = TestTmpPath("shared.mtl");
    ASSERT_TRUE(WriteFileBytes(mtl, {'n', 'e', 'w', 'm', 't', 'l', ' ', 'a', '\n'}));

    FXMatlib* a = env.LoadMatlib(mtl.c_str());
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(&env.defaultMatlib, a->parent);
    EXPECT_EQ(2, a->GetCount());
    // The default material is found first for the unnamed lookup.
    EXPECT_EQ(&env.defaultMaterial, a->FindMaterial(""));
    ASSERT_TRUE(WriteFileBytes(mtl, {}));
    FXMatlib* again = env.LoadMatlib(mtl.c_str());
    EXPECT_EQ(a, again);
    EXPECT_EQ(2, a->refCount);
    EXPECT_EQ(2, a->GetCount()) << "no file is read for a shared library";
    EXPECT_EQ(1, env.matlibs.count);

    // A library that cannot be loaded is still kept, shared and returned.
    FXMatlib* missing = env.LoadMatlib(TestTmpPath("missing.mtl").c_str());
    ASSERT_NE(nullptr, missing);
    EXPECT_EQ(0, missing->GetCount());
    EXPECT_EQ(&env.defaultMaterial, missing->FindMaterial(""));
    EXPECT_EQ(missing, env.LoadMatlib(TestTmpPath("missing.mtl").c_str()));
    EXPECT_EQ(2, env.matlibs.count);

    // Releasing the last reference removes the library from the environment.
    a->Release();
    EXPECT_EQ(2, env.matlibs.count);
    a->Release();
    EXPECT_EQ(1, env.matlibs.count);
    EXPECT_EQ(-1, env.matlibs.Findpos(a));

    env.Destroy();
    EXPECT_EQ(0, env.matlibs.count);
    EXPECT_EQ(nullptr, env.mutex);
    env.Destroy();
    EXPECT_EQ(0, env.matlibs.count);
    // The environment stays usable: new libraries still fall back to the default material.
    FXMatlib* later = env.LoadMatlib(TestTmpPath("missing.mtl").c_str());
    EXPECT_EQ(&env.defaultMaterial, later->FindMaterial(""));
}

TEST(Env, PackageLibrariesAreSharedByItemId) {
    ScopedTestEnv scoped;
    TestEnv& env = scoped.env;
    FXMatlib lib;
    lib.name.Set("C:/art/woods.mtl");
    FXMaterial* m = new FXMaterial;
    m->libOwned = true;
    m->name.Set("bark");
    lib.AddMaterial(m);
    std::string file = TestTmpPath("woods.lib");
    ASSERT_TRUE(lib.Save(file.c_str()));
    std::string pkgPath = TestTmpPath("env.dat");
    ASSERT_TRUE(WritePackage(pkgPath, {{7, ReadFileBytes(file)}}));
    FXPackage pkg;
    pkg.Load(pkgPath.c_str());

    FXMatlib* a = env.LoadMatlibCN(&pkg, 7);
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, a->FindMaterial("bark"));
    EXPECT_EQ(a, env.LoadMatlibC(&pkg, "7"));
    EXPECT_EQ(2, a->refCount);
    FXMatlib* none = env.LoadMatlibCN(&pkg, 8);
    EXPECT_NE(a, none);
    EXPECT_EQ(0, none->GetCount());
    EXPECT_EQ(2, env.matlibs.count);
}

TEST(Env, LockAndContextBorrowing) {
    TestEnv env;
    { FXGRAutoAct act(&env); }
    ASSERT_EQ(2u, env.calls.size());
    EXPECT_EQ("SetAct(1)", env.calls[0]);
    EXPECT_EQ("SetAct(0)", env.calls[1]);
    // Without a mutex locking does nothing.
    env.Destroy();
    env.Lock(true);
    env.Lock(false);
}

TEST(Env, StopWithoutALoop) {
    TestEnv env;
    struct Nothing : PRender {
        void OnRender(PEnv*, double) override {}
    } nothing;
    env.render = &nothing;
    env.StopLoop(0.5);
    EXPECT_EQ(nullptr, env.render.load());
    EXPECT_EQ(nullptr, env.thread);
    env.Destroy();
    env.Destroy();
}

TEST(Env, GlobalEnvironment) {
    PEnv* before = fxglobalEnv;
    TestEnv env;
    fxSetEnv(&env);
    EXPECT_EQ(&env, fxglobalEnv);
    fxSetEnv(before);
}
