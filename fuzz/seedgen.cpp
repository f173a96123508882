// Writes the generated part of the seed corpora with the system's own writers:
// seedgen OUT_DIR. make_seeds.sh adds the real pictures and the manifest.
#include "assets/canvas.h"
#include "assets/material.h"
#include "assets/data.h"
#include "assets/matlib.h"
#include "assets/model.h"
#include "assets/package.h"
#include "geometry/mesh.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string out;

std::vector<unsigned char> ReadAll(const std::string& path) {
    std::vector<unsigned char> b;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        int c;
        while ((c = fgetc(f)) != EOF)
            b.push_back((unsigned char)c);
        fclose(f);
    }
    return b;
}

// Writes `head` and then the file's bytes as a seed.
void SeedBytes(const std::string& target, const std::string& name, const std::vector<unsigned char>& head,
               const std::string& from) {
    std::vector<unsigned char> b = ReadAll(from);
    std::string path = out + "/" + target + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "seedgen: cannot write %s\n", path.c_str());
        return;
    }
    fwrite(head.data(), 1, head.size(), f);
    fwrite(b.data(), 1, b.size(), f);
    fclose(f);
}

// Writes `prefix` (a selector byte, or none when negative) and the file's bytes as a seed.
void Seed(const std::string& target, const std::string& name, int prefix, const std::string& from) {
    std::vector<unsigned char> head;
    if (prefix >= 0) head.push_back((unsigned char)prefix);
    SeedBytes(target, name, head, from);
}

void Material(FXMaterial* m, const char* name, const char* tex, float shine) {
    m->SetDefSpecular(1.0f);
    m->name.Set(name);
    m->texName.Set(tex);
    m->shininess = shine;
}

// A unit quad with one triangle pair; materials by name.
void Quad(FXMesh* m, const char* material) {
    m->Realloc(4, 6);
    for (int i = 0; i < 4; i++) {
        tagFXVertex& v = m->vertices[i];
        memset(&v, 0, sizeof v);
        v.pos[0] = (float)(i & 1);
        v.pos[1] = (float)(i >> 1);
        v.normal[2] = 1.0f;
        v.tex[0] = v.pos[0];
        v.tex[1] = v.pos[1];
        for (float& c : v.color)
            c = 1.0f;
    }
    const int32_t idx[6] = {0, 1, 2, 2, 1, 3};
    memcpy(m->indices, idx, sizeof idx);
    m->materialName.Set(material);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: seedgen OUT_DIR\n");
        return 2;
    }
    out = argv[1];
    std::string tmp = out + "/.seedgen.tmp";

    // Materials: one record (file and package item forms) and a binary library.
    FXMaterial bark, leaf;
    Material(&bark, "bark", "", 64.0f);
    Material(&leaf, "leaf", "leaf.png", 12.0f);
    for (FXMaterial* m : {&bark, &leaf}) {
        FILE* f = fopen(tmp.c_str(), "wb");
        m->Save(f);
        fclose(f);
        std::string n = m->name.text;
        Seed("material", "record_file_" + n, 0, tmp);
        Seed("material", "record_item_" + n, 1, tmp);
    }
    FXMatlib lib;
    lib.name.Set("woods");
    lib.AddMaterial(&bark);
    lib.AddMaterial(&leaf);
    lib.Save(tmp.c_str());
    Seed("material", "library", 2, tmp);

    // Meshes in every form.
    FXMesh quad;
    Quad(&quad, "bark");
    FILE* f = fopen(tmp.c_str(), "wb");
    quad.SaveMesh(f);
    fclose(f);
    Seed("mesh", "full_file", 0, tmp);
    Seed("mesh", "full_item", 2, tmp);
    f = fopen(tmp.c_str(), "wb");
    quad.SaveMeshI(f);
    fclose(f);
    Seed("mesh", "header_file", 1, tmp);
    Seed("mesh", "header_item", 3, tmp);

    // Small packages of raw items, plain and transposed, and their names file.
    std::vector<std::string> items;
    const char* texts[] = {"pck01 a short raw item", "", "0123456789abcdef0123456789abcdef"};
    for (int i = 0; i < 3; i++) {
        std::string p = out + "/.seedgen.item" + std::to_string(i) + ".bin";
        FILE* g = fopen(p.c_str(), "wb");
        fputs(texts[i], g);
        if (i == 2) bark.Save(g);
        fclose(g);
        items.push_back(p);
    }
    for (int flags = 0; flags < 2; flags++) {
        FXPackage pkg;
        for (size_t i = 0; i < items.size(); i++)
            pkg.AddDataFile((int)i * 3, items[i].c_str());
        pkg.Save(tmp.c_str(), flags);
        Seed("package", flags ? "small_transposed" : "small_plain", -1, tmp);
    }
    FXPackage named;
    named.names.firstId = 5;
    for (const char* n : {"tree.png", "C:\\art\\fern-01.png", "sky (night).jpg"})
        named.names.BuildId(n);
    named.SaveNames(tmp.c_str());
    Seed("names", "three", -1, tmp);
    for (const std::string& p : items)
        remove(p.c_str());

    // Small pictures in every format the canvas decodes.
    if (fxLoadDevil()) {
        FXCanvas c;
        c.pixmap.Realloc(5, 3);
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 5; x++)
                c.pixmap.pixels[y * c.pixmap.stride + x] = 0x80000000u | (uint32_t)(x * 40 + y * 1000);
        const char* exts[] = {"png", "jpg", "tga", "bmp"};
        for (int k = 0; k < 4; k++) {
            std::string p = tmp + "." + exts[k];
            if (!c.SaveToPict(p.c_str())) continue;
            Seed("canvas", std::string("item_") + exts[k], k, p);
            Seed("canvas", std::string("file_") + exts[k], 5 + (k), p);
            Seed("canvas", std::string("mask_") + exts[k], 10 + (k), p);
            remove(p.c_str());
        }
    }
    // Models: two quads in both formats, from a file and as an item beside their library.
    FXModel model;
    model.name.Set("quads");
    model.matlibRef.Set("2");
    for (const char* mat : {"bark", "leaf"}) {
        FXMesh* m = new FXMesh;
        Quad(m, mat);
        m->vertices[3].pos[2] = mat[0] == 'l' ? 0.5f : 0.0f;
        model.meshes.Push(m);
    }
    lib.Save(tmp.c_str());
    std::vector<unsigned char> libBytes = ReadAll(tmp);
    for (int v3 = 0; v3 < 2; v3++) {
        f = fopen(tmp.c_str(), "wb");
        v3 ? model.Save_v03(f) : model.Save_v02(f);
        fclose(f);
        std::string n = v3 ? "xm03" : "xm02";
        Seed("model", n + "_file", 0, tmp);
        std::vector<unsigned char> head = {1, (unsigned char)(libBytes.size() & 255), (unsigned char)(libBytes.size() >> 8)};
        head.insert(head.end(), libBytes.begin(), libBytes.end());
        SeedBytes("model", n + "_item", head, tmp);
    }
    // The vector map and the index stream of the quad, alone and as the stream target's input.
    FXVectorMap map;
    FXNumPool pool;
    quad.ToVMap(&map, &pool, nullptr, 0, nullptr);
    f = fopen(tmp.c_str(), "wb");
    map.Save(f);
    fclose(f);
    Seed("vmap", "quad", -1, tmp);
    f = fopen(tmp.c_str(), "wb");
    pool.Save(f);
    fclose(f);
    Seed("numpool", "quad", -1, tmp);
    f = fopen(tmp.c_str(), "wb");
    fwrite(pool.data, 1, (size_t)pool.used, f);
    fclose(f);
    SeedBytes("stream", "quad", {(unsigned char)map.posCount, (unsigned char)map.normCount,
                                 (unsigned char)map.texCount, (unsigned char)quad.vertexCount,
                                 (unsigned char)(quad.indexCount / 3)}, tmp);
    remove(tmp.c_str());
    return 0;
}
