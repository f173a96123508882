#pragma once
// A render environment without a device: every device operation is recorded by name,
// texture names are handed out from a counter, and PrepareTexture's answer can be set.
// The current matrix is kept as the device keeps it, and each drawn mesh is noted with it.

#include <string>
#include <vector>

#include "render/env.h"

namespace mhtest {

class TestEnv : public PEnv {
  public:
    TestEnv();
    ~TestEnv() override;

    bool CreateChild(void* window) override;
    void Destroy() override;
    void ClrParams() override { Record("ClrParams"); }
    void SetAct(bool on) override { Record(on ? "SetAct(1)" : "SetAct(0)"); }
    bool RenderStart() override {
        Record("RenderStart");
        return true;
    }
    void RenderEnd() override { Record("RenderEnd"); }
    void SetClrColor(float*) override { Record("SetClrColor"); }
    void Clrscr(bool, bool, bool) override { Record("Clrscr"); }
    void Enlarge(bool) override { Record("Enlarge"); }
    void UpdateLights() override { Record("UpdateLights"); }
    void ApplyMaterial(FXMaterial* m) override;
    void ApplyMaterial2(FXMaterial*) override { Record("ApplyMaterial2"); }
    void ApplyMatrix(FXMatrix* m) override;
    void MultiplyMatrix(FXMatrix* m) override;
    void ApplyMatrixIdentity() override;
    void EnableLights(bool) override { Record("EnableLights"); }
    void EnableLight(bool, FXLight*) override { Record("EnableLight"); }
    void DisableAllLights() override { Record("DisableAllLights"); }
    void SetAmbient(float*) override { Record("SetAmbient"); }
    void EnableDepthTest(bool) override { Record("EnableDepthTest"); }
    void EnableDepthWrite(bool) override { Record("EnableDepthWrite"); }
    void EnableCullface(bool, bool) override { Record("EnableCullface"); }
    bool PrepareTexture(FXMaterial* m) override;
    bool FastPrepareTexture(FXMaterial*, FXPixmap*) override {
        Record("FastPrepareTexture");
        return true;
    }
    bool PrepareCubeTexture(FXMaterial*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*,
                            FXPixmap*) override {
        Record("PrepareCubeTexture");
        return false;
    }
    void UnprepareTexture(FXMaterial* m) override;
    bool PrepareMesh(FXMesh*) override {
        Record("PrepareMesh");
        return true;
    }
    void UnprepareMesh(FXMesh*) override { Record("UnprepareMesh"); }
    void RenderMesh(FXMesh* mesh) override;

    // How often an operation was called.
    int Count(const std::string& name) const;

    std::vector<std::string> calls;
    std::vector<FXMaterial*> applied; // materials passed to ApplyMaterial (while not testing)
    // Each RenderMesh: the mesh and the current matrix (kept as the device keeps it).
    struct Drawn {
        FXMesh* mesh;
        FXMatrix matrix;
    };
    std::vector<Drawn> drawn;
    bool prepareResult = true;
    int nextTexId = 1;
    int liveTextures = 0; // prepared and not yet unprepared

  private:
    void Record(const std::string& name);
};

// Publishes a TestEnv as the process environment for one test and restores the previous one.
class ScopedTestEnv {
  public:
    ScopedTestEnv();
    ~ScopedTestEnv();
    TestEnv env;

  private:
    PEnv* previous;
};

} // namespace mhtest
