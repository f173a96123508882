// Wavefront OBJ import: the reader and the meshes built from it.
#include "geometry/model_obj.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "assets/model.h"
#include "assets/package.h"
#include "base/trace.h"
#include "geometry/mesh.h"
#include "support/pkgbuild.h"
#include "support/testenv.h"

namespace {

std::string Write(const std::string& name, const std::string& text) {
    std::string path = mhtest::TestTmpPath(name);
    mhtest::WriteFileBytes(path, mhtest::Bytes(text.begin(), text.end()));
    return path;
}

// The trace log is a text file: on Windows its lines end in CR LF.
std::string ReadText(const std::string& path) {
    mhtest::Bytes b = mhtest::ReadFileBytes(path);
    std::string text(b.begin(), b.end());
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

const MObjTriangle* Tri(FXObjModel& o, int k) {
    return (const MObjTriangle*)o.triangles.GetItemPtr(k);
}

TEST(ObjReader, FacesFormsGroupsAndUnknownTokens) {
    mhtest::ScopedTestEnv env;
    std::string log = mhtest::TestTmpPath("obj.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    std::string path = Write("forms.obj",
                             "# corners in every form\n"
                             "v 1 2 3\nv 4 5 6\nv 7 8 9\nv 1 1 1\n"
                             "vt 0.25 0.75\nvn 0 0 1\n"
                             "f 1 2 3 4\n"
                             "g   wall  \n"
                             "f 1//1 2//1 3//1\n"
                             "usemtl bark\n"
                             "g\n"
                             "f 1/1 2/1 -1/-1\n"
                             "g wall\n"
                             "f 1/1/1 2/1/1 3/1/1\n"
                             "l 1 2 3\n"
                             "s 1\n"
                             "vp 1\n"
                             "f 1 2\n"
                             "mtx 1\n");
    FXObjModel o;
    ASSERT_TRUE(o.Load(path.c_str()));
    fxCloseTraces();

    float* p = (float*)o.positions.GetItemPtr(0);
    EXPECT_EQ(p[2], -3.0f); // z negated
    EXPECT_EQ(((float*)o.texCoords.GetItemPtr(0))[1], 0.75f);
    ASSERT_EQ(o.triangles.count, 7); // 2 + 1 + 1 + 1 triangles, 2 segments
    ASSERT_EQ(o.groups.count, 2);
    // Quad fan (0,1,2), (0,2,3); in the default group with the v/vt face.
    EXPECT_EQ(Tri(o, 1)->pos[1], 2);
    EXPECT_EQ(Tri(o, 1)->pos[2], 3);
    EXPECT_EQ(Tri(o, 2)->tex[0], -1);    // v//vn
    EXPECT_EQ(Tri(o, 2)->normal[0], 0);
    EXPECT_EQ(Tri(o, 3)->normal[0], -1); // v/vt
    EXPECT_EQ(Tri(o, 3)->pos[2], 3);     // -1: the last position so far
    EXPECT_EQ(Tri(o, 3)->material, 0);
    EXPECT_TRUE(Tri(o, 5)->isLine);
    MObjGroup* g0 = (MObjGroup*)o.groups.items[0];
    MObjGroup* wall = (MObjGroup*)o.groups.items[1];
    EXPECT_STREQ(wall->name.text, "wall");
    EXPECT_EQ(g0->triangleList.count, 3);
    EXPECT_EQ(wall->triangleList.count, 4);
    EXPECT_EQ(*(int*)wall->triangleList.GetItemPtr(1), 4);

    std::string text = ReadText(log);
    EXPECT_NE(text.find("localPrepareModel -> unknown token(3): s 1\n"), std::string::npos);
    EXPECT_NE(text.find("localPrepareModel -> unknown token(0): vp\n"), std::string::npos);
    // m/u tokens are reported in both passes.
    size_t first = text.find("unknown token(1): mtx\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find("unknown token(1): mtx\n", first + 1), std::string::npos);
}

// The corners of an OBJ text resolved independently of the reader: (position, normal, tex)
// values per triangle corner, in mesh order (default group first) for a single material.
struct Expected {
    std::vector<std::array<float, 8>> corners;
};

std::string Sphere(int rings, int segs, Expected* want) {
    std::ostringstream s;
    s.precision(9);
    std::vector<std::array<float, 3>> pos, nrm;
    std::vector<std::array<float, 2>> tex;
    for (int r = 0; r <= rings; r++)
        for (int k = 0; k <= segs; k++) {
            float a = 3.14159265f * r / rings, b = 6.2831853f * k / segs;
            std::array<float, 3> v = {sinf(a) * cosf(b), cosf(a), sinf(a) * sinf(b)};
            pos.push_back(v);
            nrm.push_back(v);
            tex.push_back({(float)k / segs, (float)r / rings});
            s << "v " << v[0] << " " << v[1] << " " << v[2] << "\nvn " << v[0] << " " << v[1] << " " << v[2]
              << "\nvt " << tex.back()[0] << " " << tex.back()[1] << "\n";
        }
    auto id = [&](int r, int k) { return r * (segs + 1) + k; };
    for (int r = 0; r < rings; r++)
        for (int k = 0; k < segs; k++) {
            int q[4] = {id(r, k), id(r + 1, k), id(r + 1, k + 1), id(r, k + 1)};
            s << "f";
            for (int c : q)
                s << " " << c + 1 << "/" << c + 1 << "/" << c + 1;
            s << "\n";
            for (int t : {0, 1, 2, 0, 2, 3}) {
                int c = q[t];
                want->corners.push_back({pos[c][0], pos[c][1], -pos[c][2], nrm[c][0], nrm[c][1], -nrm[c][2],
                                         tex[c][0], tex[c][1]});
            }
        }
    return s.str();
}

TEST(ObjImport, RoundTripThroughXm03AndPackageKeepsEveryCorner) {
    mhtest::ScopedTestEnv env;
    Expected want;
    std::string obj = Write("sphere.obj", Sphere(12, 16, &want));
    // The expected values as the file holds them (printed with 9 digits, read back as floats).
    for (auto& c : want.corners)
        for (float& f : c) {
            char buf[64];
            snprintf(buf, sizeof buf, "%.9g", f);
            f = strtof(buf, nullptr);
        }
    FXModel m;
    ASSERT_TRUE(m.ImportObj(obj.c_str()));
    ASSERT_EQ(m.loadedMeshes.count, 1); // no materials: one mesh
    m.UpdateMeshes();
    FXMesh* mesh = m.EnumMeshes(0);
    ASSERT_EQ(mesh->indexCount, (int)want.corners.size());
    // Shared corners: one vertex per OBJ vertex.
    EXPECT_EQ(mesh->vertexCount, 13 * 17);

    std::string xm = mhtest::TestTmpPath("sphere.xm");
    ASSERT_TRUE(m.Save(xm.c_str()));
    std::string pkgPath = mhtest::TestTmpPath("sphere.dat");
    ASSERT_TRUE(mhtest::WritePackageFiles(pkgPath, {{40, xm}}));
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(pkgPath.c_str()));
    FXModel back;
    ASSERT_TRUE(back.LoadCN(&pkg, 40));
    back.UpdateMeshes();
    FXMesh* b = back.EnumMeshes(0);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->indexCount, (int)want.corners.size());
    for (int i = 0; i < b->indexCount; i++) {
        const tagFXVertex& v = b->vertices[b->indices[i]];
        float got[8] = {v.pos[0], v.pos[1], v.pos[2], v.normal[0], v.normal[1], v.normal[2], v.tex[0], v.tex[1]};
        for (int k = 0; k < 8; k++)
            ASSERT_EQ(got[k], want.corners[i][k]) << i << " " << k;
    }
}

TEST(ObjImport, MaterialsGiveMeshesAndPasses) {
    mhtest::ScopedTestEnv env;
    std::string mtl = Write("two.mtl", "newmtl bark\nKd 1 1 1\nnewmtl glass\nKd 1 1 1\nd 0.5\n");
    std::string obj = Write("two.obj", "mtllib " + mtl +
                                           "\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                           "f 1 2 3\nusemtl glass\nf 3 2 1\nusemtl bark\nf 1 3 2\n"
                                           "usemtl nowhere\nf 1 2 3\nusemtl\nf 2 3 1\n");
    FXModel m;
    ASSERT_TRUE(m.ImportObj(obj.c_str()));
    ASSERT_EQ(m.loadedMeshes.count, 3);
    m.UpdateMeshes();
    // Material 0 is the first named: glass, which got the face before any usemtl.
    EXPECT_STREQ(m.EnumMeshNames(0), "glass");
    EXPECT_EQ(m.EnumMeshes(0)->drawPass, 1);
    EXPECT_EQ(m.EnumMeshes(0)->indexCount, 9); // with the face after the empty usemtl
    EXPECT_EQ(m.EnumMeshes(1)->drawPass, 0);
    EXPECT_EQ(m.EnumMeshNames(2), nullptr); // unknown material: a mesh without material
    EXPECT_EQ(m.EnumMeshes(2)->indexCount, 3);
    EXPECT_FALSE(m.ImportObj(mhtest::TestTmpPath("missing.obj").c_str()));
    EXPECT_EQ(m.loadedMeshes.count, 0);
}

TEST(ObjImport, HostileTextNeverReadsOutsideThePools) {
    mhtest::ScopedTestEnv env;
    std::mt19937 rng(4);
    const char* pieces[] = {"v 1 2 3\n", "vt 0.5\n", "vn 1 0 0\n", "f 1 2 3\n", "f 9 -9 0\n", "f 1/2/3 4/5/6 7/8/9\n",
                            "f 2147483647 -2147483648 5\n", "f 1//1 2//\n", "l 5 6\n", "g x\n", "usemtl a\n",
                            "f -1 -2 -3 -4\n", "f 1/1 2/2 3/3 4/4 5\n", "\n", "# f 1 2 3\n", "f\n", "v\n", "f 1/"};
    for (int round = 0; round < 200; round++) {
        std::string text;
        for (int k = 0; k < 20; k++)
            text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
        std::string path = Write("hostile.obj", text);
        FXModel m;
        ASSERT_TRUE(m.ImportObj(path.c_str()));
        for (int i = 0; i < m.loadedMeshes.count; i++)
            ASSERT_TRUE(((FXMesh*)m.loadedMeshes.items[i])->IndicesValid());
    }
}

} // namespace
