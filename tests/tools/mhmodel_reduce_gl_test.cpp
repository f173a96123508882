// Reduction through the model tool: a finely tessellated model keeps its picture with a small
// part of its triangles, and transparent triangles are found in a saved model's texture.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "../../tools/mhmodel/mhmodel.cpp"
#include "assets/canvas.h"
#include "support/pkgbuild.h"

namespace {

void WriteText(const std::string& path, const std::string& text) {
    mhtest::WriteFileBytes(path, mhtest::Bytes(text.begin(), text.end()));
}

int Tool(std::vector<const char*> args, std::string* out) {
    FILE* o = tmpfile();
    int status = mhmodel::Run((int)args.size(), args.data(), o, stderr);
    rewind(o);
    out->clear();
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, o)) > 0)
        out->append(buf, n);
    fclose(o);
    return status;
}

// "before -> after" of "reduced: T0 -> T1 triangles, V0 -> V1 vertices".
void Counts(const std::string& text, int* t0, int* t1, int* v0, int* v1) {
    size_t at = text.find("reduced: ");
    *t0 = *t1 = *v0 = *v1 = -1;
    if (at != std::string::npos)
        sscanf(text.c_str() + at, "reduced: %d -> %d triangles, %d -> %d vertices", t0, t1, v0, v1);
}

bool WritePicture(const std::string& path, int w, int h, unsigned (*texel)(int x, int y)) {
    FXCanvas c;
    if (!c.pixmap.Realloc(w, h) || !c.pixmap.pixels) return false;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            c.pixmap.pixels[y * c.pixmap.stride + x] = texel(x, y);
    return c.SaveToPict2(path.c_str(), 0, 0, w, h);
}

// A 2 x 1.4 x 1 box, each face an n x n grid of quads split along alternating diagonals, with
// flat normals and texture coordinates across each face.
std::string TessellatedBox(int n) {
    std::string obj = "mtllib box.mtl\nusemtl checker\n";
    const float half[3] = {1.0f, 0.7f, 0.5f};
    int base = 1;
    char line[160];
    for (int axis = 0; axis < 3; axis++)
        for (int sign = -1; sign <= 1; sign += 2) {
            int ua = (axis + 1) % 3, va = (axis + 2) % 3;
            float nrm[3] = {0, 0, 0};
            nrm[axis] = (float)sign;
            snprintf(line, sizeof line, "vn %g %g %g\n", nrm[0], nrm[1], nrm[2]);
            obj += line;
            int normal = axis * 2 + (sign > 0) + 1;
            for (int j = 0; j <= n; j++)
                for (int i = 0; i <= n; i++) {
                    float p[3];
                    p[axis] = sign * half[axis];
                    p[ua] = half[ua] * (2.0f * i / n - 1);
                    p[va] = half[va] * (2.0f * j / n - 1);
                    snprintf(line, sizeof line, "v %g %g %g\nvt %g %g\n", p[0], p[1], p[2], (double)i / n,
                             (double)j / n);
                    obj += line;
                }
            for (int j = 0; j < n; j++)
                for (int i = 0; i < n; i++) {
                    int a = base + j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
                    // Both windings face outwards: mirror the order on the negative side.
                    int q[2][3] = {{a, b, d}, {a, d, c}};
                    if ((i + j) % 2) q[0][2] = c, q[1][0] = b, q[1][1] = d, q[1][2] = c;
                    for (auto& t : q) {
                        if (sign < 0) std::swap(t[1], t[2]);
                        snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", t[0], t[0], normal, t[1], t[1],
                                 normal, t[2], t[2], normal);
                        obj += line;
                    }
                }
            base += (n + 1) * (n + 1);
        }
    return obj;
}

struct Still {
    int w = 0, h = 0;
    std::vector<float> rgb;
    bool Load(const std::string& path) {
        FXCanvas c;
        if (!c.CreateFromPict(path.c_str())) return false;
        w = c.pixmap.width, h = c.pixmap.height;
        rgb.clear();
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                float col[4];
                c.GetColor((x + 0.5f) / w, (y + 0.5f) / h, col);
                rgb.insert(rgb.end(), col, col + 3);
            }
        return true;
    }
};

TEST(MhModelReduce, TessellatedModelRendersTheSameWithAFractionOfItsTriangles) {
    ASSERT_TRUE(fxLoadDevil());
    std::string dir = mhtest::TestTmpDir() + "/box";
    mkdir(dir.c_str(), 0755);
    ASSERT_TRUE(WritePicture(dir + "/checker.png", 8, 8, [](int x, int y) {
        return ((x / 2 + y / 2) % 2) ? 0xFF3060E0u : 0xFFE0C040u;
    }));
    WriteText(dir + "/box.mtl", "newmtl checker\nKd 1 1 1\nmap_Kd checker.png\n");
    WriteText(dir + "/box.obj", TessellatedBox(12));

    std::string text, full = dir + "/full.xm", once = dir + "/once.xm", stable = dir + "/stable.xm";
    ASSERT_EQ(Tool({"mhmodel", "import", (dir + "/box.obj").c_str(), "-o", full.c_str(), "--unitize"}, &text), 0);
    ASSERT_EQ(Tool({"mhmodel", "reduce", full.c_str(), "-o", once.c_str(), "--tolerance", "0.5"}, &text), 0);
    int t0, t1, v0, v1;
    Counts(text, &t0, &t1, &v0, &v1);
    EXPECT_EQ(t0, 6 * 12 * 12 * 2) << text;
    EXPECT_LT(t1, t0) << text;
    ASSERT_EQ(
        Tool({"mhmodel", "reduce", full.c_str(), "-o", stable.c_str(), "--tolerance", "0.5", "--until-stable"}, &text),
        0);
    int s0, s1, sv0, sv1;
    Counts(text, &s0, &s1, &sv0, &sv1);
    EXPECT_LE(s1, t1) << text;
    EXPECT_LT(s1, t0 / 10) << "a flat face needs only a few triangles: " << text;
    EXPECT_LT(sv1, sv0 / 5) << text;

    // The fixed point: another pass removes nothing.
    std::string again = dir + "/again.xm";
    ASSERT_EQ(Tool({"mhmodel", "reduce", stable.c_str(), "-o", again.c_str(), "--tolerance", "0.5"}, &text), 0);
    Counts(text, &t0, &t1, &v0, &v1);
    EXPECT_EQ(t0, t1) << text;
    EXPECT_EQ(v0, v1) << text;

    // The same reduction as an import option.
    std::string imported = dir + "/imported.xm";
    ASSERT_EQ(Tool({"mhmodel", "import", (dir + "/box.obj").c_str(), "-o", imported.c_str(), "--unitize",
                    "--tolerance", "0.5", "--until-stable"},
                   &text),
              0);
    Counts(text, &t0, &t1, &v0, &v1);
    EXPECT_EQ(t1, s1) << text;

    // Rendered from two sides: the same silhouette and shading, texture included.
    for (const char* turn : {"30", "-120"}) {
        Still before, after;
        std::string a = dir + "/full.png", b = dir + "/stable.png";
        ASSERT_EQ(Tool({"mhmodel", "render", full.c_str(), "--size", "160x120", "--turn", turn, "--output", a.c_str()},
                       &text),
                  0);
        ASSERT_EQ(Tool({"mhmodel", "render", stable.c_str(), "--size", "160x120", "--turn", turn, "--output",
                        b.c_str()},
                       &text),
                  0);
        ASSERT_TRUE(before.Load(a) && after.Load(b));
        ASSERT_EQ(before.rgb.size(), after.rgb.size());
        int background = 0, differing = 0;
        for (size_t p = 0; p < before.rgb.size(); p += 3) {
            float d = 0;
            for (int k = 0; k < 3; k++)
                d = std::max(d, std::fabs(before.rgb[p + k] - after.rgb[p + k]));
            if (d > 6 / 255.0f) differing++;
            if (std::fabs(before.rgb[p] - 0.18f) < 0.01f && std::fabs(before.rgb[p + 2] - 0.24f) < 0.01f) background++;
        }
        int pixels = before.w * before.h;
        EXPECT_GT(background, pixels / 2) << "the box stands on the background";
        EXPECT_GT(pixels - background, pixels / 10) << "the box fills a good part of the picture";
        EXPECT_LE(differing, pixels / 200) << "turn " << turn;
    }
}

TEST(MhModelReduce, TransparentTrianglesAreFoundInTheTextureTheModelWasSavedWith) {
    ASSERT_TRUE(fxLoadDevil());
    std::string dir = mhtest::TestTmpDir() + "/strip";
    mkdir(dir.c_str(), 0755);
    // Five texels, stored padded to eight: the last two are clear.
    ASSERT_TRUE(WritePicture(dir + "/fade.png", 5, 1, [](int x, int) { return x < 3 ? 0xFF808080u : 0x00808080u; }));
    WriteText(dir + "/strip.mtl", "newmtl fade\nKd 1 1 1\nmap_Kd fade.png\n");
    // Four quads across the texel centres 0.1, 0.3, 0.5, 0.7 and 0.9: the last is all clear.
    std::string obj = "mtllib strip.mtl\nusemtl fade\n";
    const float u[5] = {0.1f, 0.3f, 0.5f, 0.7f, 0.9f};
    char line[96];
    for (int i = 0; i < 5; i++) {
        snprintf(line, sizeof line, "v %d 0 0\nv %d 1 0\nvt %g 0.5\n", i, i, u[i]);
        obj += line;
    }
    for (int i = 0; i < 4; i++) {
        int a = 2 * i + 1;
        snprintf(line, sizeof line, "f %d/%d %d/%d %d/%d\nf %d/%d %d/%d %d/%d\n", a, i + 1, a + 2, i + 2, a + 3,
                 i + 2, a, i + 1, a + 3, i + 2, a + 1, i + 1);
        obj += line;
    }
    WriteText(dir + "/strip.obj", obj);

    std::string text, xm = dir + "/strip.xm", out = dir + "/kept.xm";
    ASSERT_EQ(Tool({"mhmodel", "import", (dir + "/strip.obj").c_str(), "-o", xm.c_str()}, &text), 0);
    ASSERT_EQ(Tool({"mhmodel", "reduce", xm.c_str(), "-o", out.c_str(), "--discard-transparent", "0.5"}, &text), 0);
    int t0, t1, v0, v1;
    Counts(text, &t0, &t1, &v0, &v1);
    EXPECT_EQ(t0, 8) << text;
    EXPECT_EQ(t1, 6) << text;
    EXPECT_EQ(v1, v0 - 2) << text;

    // Nothing to do, or values out of range: refused before anything is written.
    EXPECT_EQ(Tool({"mhmodel", "reduce", xm.c_str(), "-o", out.c_str()}, &text), 2);
    EXPECT_EQ(Tool({"mhmodel", "reduce", xm.c_str(), "-o", out.c_str(), "--tolerance", "nan"}, &text), 2);
    EXPECT_EQ(Tool({"mhmodel", "reduce", xm.c_str(), "-o", out.c_str(), "--discard-transparent", "2"}, &text), 2);
    EXPECT_EQ(Tool({"mhmodel", "import", "x.obj", "-o", out.c_str(), "--until-stable"}, &text), 2);
}

} // namespace
