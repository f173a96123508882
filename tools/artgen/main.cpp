// artgen: paints every picture of the built-in woodland into a directory and writes the
// manifest that mhpack turns into the package.
//
//   artgen OUTDIR [--seed N] [--composite FILE]

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "artlib.h"
#include "icon.h"
#include "medallion.h"
#include "paint.h"
#include "text.h"

using namespace art;

// Leak checking (sanitizer builds): system libraries keep allocations we cannot free
// (fontconfig its parsed configuration, the image library a buffer of a damaged picture).
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libIL.so\n";
}

namespace {

struct Item {
    int id;
    std::string file;
    bool model; // a model file, turned into the package's model item by mhpack
};

void Usage(FILE* f) {
    fprintf(f, "usage: artgen OUTDIR [--seed N] [--composite FILE]\n"
               "  Paints the woodland pictures into OUTDIR, writes the logo medallion there as\n"
               "  medallion.obj (with its .mtl and .png), the Windows module's icon mirehollow.ico,\n"
               "  and OUTDIR/mirehollow.manifest.\n"
               "  --seed N          random seed (default 1); the same seed gives the same pictures\n"
               "  --composite FILE  also write the layers composed on the 1024 x 768 canvas\n");
}

// The layers laid over one another as the scene places them at full strength.
Image Compose(const Image& back, const Image& stars, const Image& farTrees, const Image& leftTrees,
              const Image& grass, const Image& fog, const Image& mask, const Image& rock,
              const Image& needles, const Image& tree, const Image& fern, const Image& firefly) {
    Image out = back;
    CompositeOver(out, stars, 0, 0, stars.width, stars.height, 1);
    CompositeOver(out, farTrees, -0.04f * 1024, 141, farTrees.width * 1.08f, farTrees.height, 1);
    CompositeOver(out, leftTrees, -0.08f * 1024, 0, leftTrees.width * 1.16f, leftTrees.height, 1);
    CompositeOver(out, grass, 0, 502, grass.width, grass.height, 1);
    // The fog shows half of its picture, through the mask, at about a third of its strength.
    Image window = Crop(fog, fog.width / 4, fog.height / 4, fog.width / 2, fog.height / 2);
    Image masked(mask.width, mask.height);
    for (int y = 0; y < mask.height; y++)
        for (int x = 0; x < mask.width; x++) {
            float s[4];
            window.Sample((x + 0.5f) * window.width / mask.width, (y + 0.5f) * window.height / mask.height,
                          s);
            float* p = masked.At(x, y);
            p[0] = p[1] = p[2] = 1;
            p[3] = s[3] * mask.At(x, y)[3] * 0.32f;
        }
    CompositeOver(out, masked, 170, 331, mask.width, mask.height, 1);
    CompositeOver(out, rock, 0, 467, rock.width, rock.height, 1);
    CompositeOver(out, needles, 582, -0.08f * 768, needles.width, needles.height * 1.16f, 1);
    CompositeOver(out, tree, 628, 0, tree.width, tree.height, 1);
    CompositeOver(out, fern, 156, 631, fern.width, fern.height, 1);
    const float flies[][2] = {{520, 520}, {300, 600}, {840, 420}};
    for (const auto& f : flies)
        CompositeOver(out, firefly, f[0], f[1], firefly.width, firefly.height, 1);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const char* outDir = nullptr;
    const char* composite = nullptr;
    uint64_t seed = 1;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            Usage(stdout);
            return 0;
        } else if (!strcmp(argv[i], "--seed") && i + 1 < argc) {
            const char* text = argv[++i];
            char* end = nullptr;
            errno = 0;
            seed = strtoull(text, &end, 10);
            if (!isdigit((unsigned char)text[0]) || *end || errno) {
                fprintf(stderr, "artgen: '%s' is not a seed (a whole number from 0)\n", text);
                return 2;
            }
        } else if (!strcmp(argv[i], "--composite") && i + 1 < argc) {
            composite = argv[++i];
        } else if (argv[i][0] == '-' || outDir) {
            fprintf(stderr, "artgen: unexpected argument '%s'\n", argv[i]);
            Usage(stderr);
            return 2;
        } else {
            outDir = argv[i];
        }
    }
    if (!outDir) {
        Usage(stderr);
        return 2;
    }
    if (mkdir(outDir, 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "artgen: cannot create %s: %s\n", outDir, strerror(errno));
        return 1;
    }
    std::vector<Item> items;
    bool ok = true;
    auto save = [&](int id, const char* name, const Image& img, bool opaque) {
        std::string path = std::string(outDir) + "/" + name;
        if (!WritePng(img, path.c_str(), opaque)) {
            fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
            ok = false;
        }
        items.push_back({id, name, false});
    };

    Image back = PaintBackground(seed);
    save(12, "background.png", back, true);

    std::vector<Image> stars =
        StarFrames(1024, 430, 520, 16, seed + 100, Layout::kMoonX, Layout::kMoonY, 70, 150);
    for (int i = 0; i < 16; i++) {
        char name[32];
        snprintf(name, sizeof name, "stars_%02d.png", i);
        save(25 + i, name, stars[i], false);
    }

    Image farTrees = PaintFarTrees(seed + 200);
    save(10, "far_trees.png", farTrees, false);
    Image leftTrees = PaintLeftTrees(seed + 300);
    save(8, "left_trees.png", leftTrees, false);
    Image tree = PaintRightTree(seed + 400);
    save(2, "tree.png", tree, false);
    Image needles = PaintNeedles(seed + 500);
    save(0, "needles.png", needles, false);
    Image rock = PaintRock(seed + 600);
    save(5, "rock.png", rock, false);
    Image fern = PaintFern(seed + 700);
    save(1, "fern.png", fern, false);
    Image grass = PaintLakeGrass(seed + 800);
    save(7, "lake_grass.png", grass, false);

    Image mask = FogMask(854, 400, 0.3f, 0.7f);
    save(4, "fog_mask.png", mask, false);
    Image fogA = Repeat2x2(FogTile(256, seed + 900, 0.5f));
    save(13, "fog_a.png", fogA, false);
    Image fogB = Repeat2x2(FogTile(256, seed + 901, 0.4f));
    save(14, "fog_b.png", fogB, false);

    std::vector<Image> flies = FireflyFrames(48, 7);
    for (int i = 0; i < 7; i++) {
        char name[32];
        snprintf(name, sizeof name, "firefly_%d.png", i);
        save(16 + i, name, flies[i], false);
    }

    Image full =
        Compose(back, stars[0], farTrees, leftTrees, grass, fogA, mask, rock, needles, tree, fern, flies[6]);
    save(24, "preview.png", Downscale(full, 256, 192), true);
    // The Windows module's icon: the moon over the lake and the trees around it.
    Image square = Crop(full, 184, 16, 512, 512);
    std::string ico = std::string(outDir) + "/mirehollow.ico";
    if (!WriteIco({Downscale(square, 48, 48), Downscale(square, 32, 32), Downscale(square, 16, 16)}, ico.c_str())) {
        fprintf(stderr, "artgen: cannot write %s\n", ico.c_str());
        ok = false;
    }
    if (composite && !WritePng(full, composite, true)) {
        fprintf(stderr, "artgen: cannot write %s\n", composite);
        ok = false;
    }

    Image label, error;
    if (!RenderLabel(&label) || !RenderErrorPanel(&error)) {
        fprintf(stderr, "artgen: text rendering failed (is a font installed?)\n");
        ok = false;
    } else {
        save(23, "label.png", label, false);
        save(74, "error_message.png", error, false);
    }
    save(75, "cube_skin.png", PaintCubeSkin(256), false);
    save(76, "environment.png", PaintEnvironment(256, seed + 1000), true);

    // The logo medallion: the build imports the OBJ into "medallion.xm" before packing.
    if (!WriteMedallion(outDir)) {
        fprintf(stderr, "artgen: cannot write the medallion model into %s\n", outDir);
        ok = false;
    }
    items.push_back({73, "medallion.xm", true});

    std::string manifest = std::string(outDir) + "/mirehollow.manifest";
    FILE* f = fopen(manifest.c_str(), "w");
    if (!f) {
        fprintf(stderr, "artgen: cannot write %s: %s\n", manifest.c_str(), strerror(errno));
        return 1;
    }
    fprintf(f, "# The built-in woodland: item id, then the picture file (written by artgen, seed %llu)\n",
            (unsigned long long)seed);
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.id < b.id; });
    for (const Item& it : items)
        fprintf(f, "%s%d %s\n", it.model ? "model " : "", it.id, it.file.c_str());
    if (fclose(f) != 0) ok = false;
    return ok ? 0 : 1;
}
