// The model tool end to end: import from another directory, info, convert, packing the
// model with its library and texture, and a rendered still.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../tools/mhmodel/mhmodel.cpp"
#include "../../tools/mhpack/mhpack.cpp"
#include "assets/canvas.h"
#include "assets/material.h"
#include "support/pkgbuild.h"

namespace {

// A 2 x 2 RGBA picture: red, green / blue, white.
bool WriteTexture(const std::string& path) {
    FXCanvas c;
    if (!c.pixmap.Realloc(2, 2) || !c.pixmap.pixels) return false;
    const unsigned px[4] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 2; x++)
            c.pixmap.pixels[y * c.pixmap.stride + x] = px[y * 2 + x];
    return c.SaveToPict(path.c_str());
}

void WriteText(const std::string& path, const std::string& text) {
    mhtest::WriteFileBytes(path, mhtest::Bytes(text.begin(), text.end()));
}

int Tool(int (*run)(int, const char* const*, FILE*, FILE*), std::vector<const char*> args, std::string* out) {
    FILE* o = tmpfile();
    int status = run((int)args.size(), args.data(), o, stderr);
    rewind(o);
    out->clear();
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, o)) > 0)
        out->append(buf, n);
    fclose(o);
    return status;
}

const char* kCube = "mtllib cube.mtl\nusemtl paint\n"
                    "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
                    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                    "f 5/1 6/2 7/3 8/4\nf 2/1 1/2 4/3 3/4\nf 6/1 2/2 3/3 7/4\n"
                    "f 1/1 5/2 8/3 4/4\nf 8/1 7/2 3/3 4/4\nf 1/1 2/2 6/3 5/4\n";

TEST(MhModel, ImportInfoConvertPackAndRender) {
    ASSERT_TRUE(fxLoadDevil());
    std::string art = mhtest::TestTmpDir() + "/art", out = mhtest::TestTmpDir() + "/out";
    mkdir(art.c_str(), 0755);
    mkdir(out.c_str(), 0755);
    ASSERT_TRUE(WriteTexture(art + "/paint.png"));
    WriteText(art + "/cube.mtl", "newmtl paint\nKd 1 1 1\nmap_Kd paint.png\n");
    WriteText(art + "/cube.obj", kCube);

    std::string text;
    std::string xm = out + "/cube.xm";
    ASSERT_EQ(Tool(mhmodel::Run,
                   {"mhmodel", "import", (art + "/cube.obj").c_str(), "-o", xm.c_str(), "--unitize", "--normals"},
                   &text),
              0);
    ASSERT_EQ(Tool(mhmodel::Run, {"mhmodel", "info", xm.c_str()}, &text), 0);
    EXPECT_NE(text.find("library: ../art/cube.mtl\n"), std::string::npos) << text;
    EXPECT_NE(text.find("material \"paint\", pass 0"), std::string::npos) << text;
    EXPECT_NE(text.find("triangles: 12\n"), std::string::npos) << text;
    EXPECT_NE(text.find("bounds: x -1 .. 1"), std::string::npos) << text;

    std::string xm02 = art + "/cube02.xm";
    ASSERT_EQ(Tool(mhmodel::Run, {"mhmodel", "convert", xm.c_str(), "-o", xm02.c_str(), "--format", "xm02"}, &text),
              0);
    ASSERT_EQ(Tool(mhmodel::Run, {"mhmodel", "info", xm02.c_str()}, &text), 0);
    EXPECT_NE(text.find("format: xm02\nlibrary: cube.mtl\n"), std::string::npos) << text;
    EXPECT_EQ(Tool(mhmodel::Run, {"mhmodel", "import", "x.obj", "-o", "y.xm", "--axes", "x,x,y"}, &text), 2);

    // Packed with fixed ids up to 80: the library and the texture come after them.
    WriteText(out + "/pack.manifest", "80 ../art/paint.png\nmodel 73 cube.xm\n");
    std::string pkgPath = out + "/pack.dat";
    ASSERT_EQ(Tool(mhpack::Run, {"mhpack", "build", (out + "/pack.manifest").c_str(), "-o", pkgPath.c_str()}, &text),
              0);
    ASSERT_EQ(Tool(mhpack::Run, {"mhpack", "list", pkgPath.c_str()}, &text), 0);
    EXPECT_NE(text.find("model, 1 mesh"), std::string::npos) << text;
    {
        ASSERT_TRUE(fxLoadDevil()); // the listing unloads it
        FXHeadlessEnv env;
        fxSetEnv(&env);
        FXPackage pkg;
        ASSERT_TRUE(pkg.Load(pkgPath.c_str()));
        EXPECT_EQ(pkg.itemIds.count, 4);
        FXModel m;
        ASSERT_TRUE(m.LoadCN(&pkg, 73));
        EXPECT_GT(atoi(m.matlibRef.text), 80);
        m.UpdateMeshes();
        FXMesh* mesh = m.EnumMeshes(0);
        ASSERT_TRUE(mesh && mesh->material);
        EXPECT_GT(atoi(mesh->material->texName.text), 80);
        EXPECT_TRUE(mesh->material->textured);
        EXPECT_EQ(mesh->indexCount, 36);
        m.Destroy();
        fxSetEnv(nullptr);
    }

    // The still: the lit cube in the middle, the background at the corners.
    std::string png = out + "/cube.png";
    ASSERT_EQ(Tool(mhmodel::Run, {"mhmodel", "render", xm.c_str(), "--size", "64x48", "--output", png.c_str()}, &text),
              0);
    FXCanvas still;
    ASSERT_TRUE(still.CreateFromPict(png.c_str()));
    float corner[4], middle[4];
    still.GetColor(0.02f, 0.02f, corner);
    still.GetColor(0.5f, 0.5f, middle);
    EXPECT_NEAR(corner[0], 0.18f, 0.02f);
    EXPECT_GT(std::max(middle[0], std::max(middle[1], middle[2])), 0.3f);
}

} // namespace
