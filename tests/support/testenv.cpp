#include "support/testenv.h"

#include <algorithm>

#include "assets/material.h"
#include "render/thread.h"

namespace mhtest {

TestEnv::TestEnv() {}

TestEnv::~TestEnv() {
    TestEnv::Destroy();
}

void TestEnv::Record(const std::string& name) {
    calls.push_back(name);
}

int TestEnv::Count(const std::string& name) const {
    return (int)std::count(calls.begin(), calls.end(), name);
}

bool TestEnv::CreateChild(void* w) {
    Destroy();
    Record("CreateChild");
    mutex = fxCreateMutex();
    window = w;
    width = screenWidth = 640;
    height = screenHeight = 480;
    return w != nullptr;
}

void TestEnv::Destroy() {
    PEnv::Destroy();
    Record("Destroy");
}

void TestEnv::ApplyMaterial(FXMaterial* m) {
    Record("ApplyMaterial");
    if (testingMaterial) return;
    applied.push_back(m);
    textureOn = m->textured && m->texId != 0;
}

void TestEnv::ApplyMatrix(FXMatrix* m) {
    Record("ApplyMatrix");
    matrix = *m;
}

void TestEnv::MultiplyMatrix(FXMatrix* m) {
    Record("MultiplyMatrix");
    FXMatrix product;
    product.Multiply(&matrix, m);
    matrix = product;
}

void TestEnv::ApplyMatrixIdentity() {
    Record("ApplyMatrixIdentity");
    matrix.SetIdentity();
}

void TestEnv::RenderMesh(FXMesh* mesh) {
    Record("RenderMesh");
    drawn.push_back({mesh, matrix});
}

bool TestEnv::PrepareTexture(FXMaterial* m) {
    Record("PrepareTexture");
    if (!prepareResult) return false;
    if (m->texId == 0) {
        m->texId = nextTexId++;
        liveTextures++;
    }
    return true;
}

void TestEnv::UnprepareTexture(FXMaterial* m) {
    Record("UnprepareTexture");
    if (m->texId != 0) {
        m->texId = 0;
        liveTextures--;
    }
}

ScopedTestEnv::ScopedTestEnv() : previous(fxglobalEnv) {
    fxSetEnv(&env);
}

ScopedTestEnv::~ScopedTestEnv() {
    env.Destroy();
    fxSetEnv(previous);
}

} // namespace mhtest
