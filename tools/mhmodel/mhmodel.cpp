#include "mhmodel.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "assets/canvas.h"
#include "assets/light.h"
#include "assets/material.h"
#include "assets/matlib.h"
#include "assets/model.h"
#include "elements/3dmath.h"
#include "geometry/mesh.h"
#include "render/gl.h"

namespace fs = std::filesystem;

namespace mhmodel {
namespace {

// ---- command line

struct Options {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool Flag(const char* name) const { return flags.count(name) > 0; }
    std::string Value(const char* name, const std::string& otherwise = "") const {
        auto it = values.find(name);
        return it == values.end() ? otherwise : it->second;
    }
};

struct Command {
    const char* name;
    const char* help;
    std::vector<std::string> valueOptions; // each takes the next word
    std::vector<std::string> flagOptions;
    std::vector<std::string> required; // value options that must be given
    int (*run)(const Options&, FILE* out, FILE* err);
    const char* moreHelp = "";
};

bool Parse(const Command& c, int argc, const char* const* argv, Options* o, std::string* error) {
    auto known = [](const std::vector<std::string>& list, const std::string& w) {
        for (const std::string& s : list)
            if (s == w) return true;
        return false;
    };
    for (int i = 0; i < argc; i++) {
        std::string w = argv[i];
        if (w == "-o") w = "--output";
        if (w == "--help" || w == "-h") {
            o->flags.insert("--help");
        } else if (known(c.valueOptions, w)) {
            if (i + 1 >= argc) {
                *error = "option " + w + " needs a value";
                return false;
            }
            o->values[w] = argv[++i];
        } else if (known(c.flagOptions, w)) {
            o->flags.insert(w);
        } else if (w.size() > 1 && w[0] == '-') {
            *error = "unknown option " + w;
            return false;
        } else {
            o->positional.push_back(w);
        }
    }
    if (o->Flag("--help")) return true;
    if (o->positional.size() != 1) {
        *error = o->positional.empty() ? "a model file is needed" : "one model file at a time";
        return false;
    }
    for (const std::string& r : c.required)
        if (!o->values.count(r)) {
            *error = r + " is needed";
            return false;
        }
    return true;
}

// ---- files and directories

// Enters a directory for as long as it lives: model files name their material library, and
// libraries their textures, relative to the model's own directory.
class WorkDir {
  public:
    explicit WorkDir(const fs::path& dir) {
        std::error_code ec;
        previous = fs::current_path(ec);
        entered = !dir.empty() && !ec && (fs::current_path(dir, ec), !ec);
    }
    ~WorkDir() {
        std::error_code ec;
        if (entered) fs::current_path(previous, ec);
    }

  private:
    fs::path previous;
    bool entered = false;
};

fs::path Absolute(const std::string& p) {
    std::error_code ec;
    fs::path a = fs::absolute(p, ec);
    return ec ? fs::path(p) : a.lexically_normal();
}

bool IsItemId(const char* s) {
    if (!*s) return false;
    for (; *s; s++)
        if (*s < '0' || *s > '9') return false;
    return true;
}

// A library reference relative to `fromDir` made relative to `toDir` (package item ids and
// empty references stay as they are).
std::string MoveReference(const char* ref, const fs::path& fromDir, const fs::path& toDir) {
    if (!*ref || IsItemId(ref) || fromDir == toDir) return ref;
    fs::path lib = fs::path(ref).is_absolute() ? fs::path(ref) : (fromDir / ref).lexically_normal();
    fs::path rel = lib.lexically_relative(toDir);
    return rel.empty() ? lib.string() : rel.generic_string();
}

bool LoadModel(const std::string& path, FXModel* m, FILE* err) {
    fs::path abs = Absolute(path);
    bool ok;
    {
        WorkDir wd(abs.parent_path());
        ok = m->Load(abs.string().c_str());
    }
    if (!ok) {
        fprintf(err, "mhmodel: %s: cannot be read or is damaged\n", path.c_str());
        return false;
    }
    m->UpdateMeshes();
    return true;
}

bool SaveModel(FXModel* m, const fs::path& out, bool v02, FILE* err) {
    FILE* f = fopen(out.string().c_str(), "wb");
    bool ok = f && (v02 ? m->Save_v02(f) : m->Save_v03(f));
    if (f) ok = fclose(f) == 0 && ok;
    if (!ok) fprintf(err, "mhmodel: cannot write %s\n", out.string().c_str());
    return ok;
}

bool ParseFormat(const Options& o, bool* v02, FILE* err) {
    std::string f = o.Value("--format", "xm03");
    if (f != "xm02" && f != "xm03") {
        fprintf(err, "mhmodel: --format is xm02 or xm03, not '%s'\n", f.c_str());
        return false;
    }
    *v02 = f == "xm02";
    return true;
}

// "x,-z,y": the old axis that becomes each new axis, a minus sign mirroring it.
bool ParseAxes(const std::string& text, int* axis, bool* neg) {
    size_t start = 0;
    for (int k = 0; k < 3; k++) {
        size_t end = text.find(',', start);
        if ((k < 2) != (end != std::string::npos)) return false;
        std::string w = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        neg[k] = !w.empty() && w[0] == '-';
        if (neg[k]) w.erase(0, 1);
        axis[k] = w.size() == 1 ? FXMesh::TextToIndi(w.c_str()) : -1;
        if (axis[k] < 0) return false;
        start = end + 1;
    }
    return axis[0] != axis[1] && axis[1] != axis[2] && axis[0] != axis[2];
}

void EnsureImageLibrary(FILE* err) {
    static bool tried = false;
    if (!tried && !fxLoadDevil()) fprintf(err, "mhmodel: the image library is missing; textures are not read\n");
    tried = true;
}

// ---- reduction

struct Reduction {
    bool reduce = false;
    float tolerance = 0;
    bool untilStable = false;
    bool discard = false;
    float alpha = 0;
};

bool ParseNumber(const std::string& text, float lo, float hi, float* value) {
    char* end = nullptr;
    float f = strtof(text.c_str(), &end);
    if (text.empty() || *end || !(f >= lo && f <= hi)) return false;
    *value = f;
    return true;
}

bool ParseReduction(const Options& o, const char* command, Reduction* r, FILE* err) {
    if (o.values.count("--tolerance")) {
        if (!ParseNumber(o.Value("--tolerance"), 0, 90, &r->tolerance)) {
            fprintf(err, "mhmodel %s: --tolerance wants degrees from 0 to 90\n", command);
            return false;
        }
        r->reduce = true;
    }
    r->untilStable = o.Flag("--until-stable");
    if (r->untilStable && !r->reduce) {
        fprintf(err, "mhmodel %s: --until-stable repeats a reduction: give --tolerance too\n", command);
        return false;
    }
    if (o.values.count("--discard-transparent")) {
        if (!ParseNumber(o.Value("--discard-transparent"), 0, 1, &r->alpha)) {
            fprintf(err, "mhmodel %s: --discard-transparent wants an alpha from 0 to 1\n", command);
            return false;
        }
        r->discard = true;
    }
    return true;
}

void CountModel(FXModel* m, int* triangles, int* vertices) {
    *triangles = *vertices = 0;
    for (int i = 0; FXMesh* mesh = m->EnumMeshes(i); i++) {
        *triangles += mesh->indexCount / 3;
        *vertices += mesh->vertexCount;
    }
}

// Transparent triangles go first, so that the reduction never joins them to opaque ones.
// Each pass of --until-stable runs on the compacted mesh of the one before and stops at the
// first that removes nothing; a pass removes at least one vertex, so the passes are bounded.
void ReduceModel(FXModel* m, const Reduction& r, FILE* out) {
    if (!r.reduce && !r.discard) return;
    int triangles0, vertices0;
    CountModel(m, &triangles0, &vertices0);
    int passes = 0;
    for (int i = 0; FXMesh* mesh = m->EnumMeshes(i); i++) {
        if (r.discard) mesh->DiscardTrianglesTransp(0, r.alpha);
        if (!r.reduce) continue;
        int p = 0;
        for (;;) {
            int before = mesh->indexCount + mesh->vertexCount;
            mesh->ReduceVertices(r.tolerance);
            p++;
            if (!r.untilStable || mesh->indexCount + mesh->vertexCount >= before) break;
        }
        passes = std::max(passes, p);
    }
    int triangles, vertices;
    CountModel(m, &triangles, &vertices);
    fprintf(out, "reduced: %d -> %d triangles, %d -> %d vertices", triangles0, triangles, vertices0, vertices);
    if (r.untilStable) fprintf(out, " (at most %d passes on a mesh)", passes);
    fputs("\n", out);
}

const char* kReduceOptionsHelp =
    "  --tolerance DEG    remove vertices in the middle of straight edges inside flat regions,\n"
    "                     with edges and faces counted straight and flat within DEG degrees\n"
    "  --until-stable     repeat the reduction on its own result until a pass removes nothing\n"
    "                     (each pass starts afresh: the dependency pairs kept with the meshes\n"
    "                     are those of the last pass)\n"
    "  --discard-transparent ALPHA\n"
    "                     first drop the triangles none of whose corners is more opaque than\n"
    "                     ALPHA (0 to 1) in the mesh's texture; meshes without one keep theirs\n";

// ---- commands

const char* kImportHelp =
    "usage: mhmodel import IN.obj -o OUT.xm [--format xm02|xm03] [--unitize | --stretch | --stretch1]\n"
    "                      [--axes x,-z,y] [--flip-h] [--normals] [--front-texcoords] [--flip-v]\n"
    "                      [--tolerance DEG [--until-stable]] [--discard-transparent ALPHA]\n"
    "  Converts a Wavefront OBJ file (with the MTL library it names) into a model file.\n"
    "  The model refers to its library by a path relative to OUT.xm.\n"
    "  --format F         xm03 (shared vectors, the default) or xm02 (meshes whole)\n"
    "  --axes A,B,C       new x, y, z from the old axes A, B, C; '-' mirrors one\n"
    "  --flip-h           mirror x\n"
    "  --unitize          fit into -1..1 keeping the proportions\n"
    "  --stretch          fit each axis into -1..1\n"
    "  --stretch1         fit x and y into -1..1, only centre z\n"
    "  --normals          compute smooth normals from the faces\n"
    "  --front-texcoords  texture coordinates from the front view of the fitted model\n"
    "  --flip-v           use 1 - v for the texture coordinates: for files that count v from\n"
    "                     the bottom of the picture (the usual OBJ convention), so that the\n"
    "                     textures show the right way up\n"
    "  and the options of 'mhmodel reduce', applied to the fitted model:\n";

int Import(const Options& o, FILE* out, FILE* err) {
    bool v02;
    if (!ParseFormat(o, &v02, err)) return 2;
    int fits = o.Flag("--unitize") + o.Flag("--stretch") + o.Flag("--stretch1");
    if (fits > 1) {
        fprintf(err, "mhmodel import: choose one of --unitize, --stretch and --stretch1\n");
        return 2;
    }
    int axis[3];
    bool neg[3];
    if (o.values.count("--axes") && !ParseAxes(o.Value("--axes"), axis, neg)) {
        fprintf(err, "mhmodel import: --axes wants three different axes such as x,-z,y\n");
        return 2;
    }
    Reduction r;
    if (!ParseReduction(o, "import", &r, err)) return 2;
    EnsureImageLibrary(err);
    fs::path in = Absolute(o.positional[0]), dst = Absolute(o.Value("--output"));
    FXModel m;
    bool ok;
    {
        WorkDir wd(in.parent_path());
        ok = m.ImportObj(in.filename().string().c_str());
    }
    if (!ok) {
        fprintf(err, "mhmodel: %s: cannot be read\n", o.positional[0].c_str());
        return 1;
    }
    m.UpdateMeshes();
    m.name.Set(in.stem().string().c_str());
    if (o.values.count("--axes")) m.Transform(axis[0], axis[1], axis[2], neg[0], neg[1], neg[2]);
    if (o.Flag("--flip-h")) m.FlipHoriz();
    if (o.Flag("--unitize")) m.Unitize();
    if (o.Flag("--stretch")) m.UnitizeStretch();
    if (o.Flag("--stretch1")) m.UnitizeStretch1();
    if (o.Flag("--normals"))
        for (int i = 0; m.EnumMeshes(i); i++)
            m.EnumMeshes(i)->ComputeNormals(false);
    if (o.Flag("--front-texcoords")) m.ComputeFrontTexCoords(-1);
    m.flipV = o.Flag("--flip-v");
    for (int i = 0; FXMesh* mesh = m.EnumMeshes(i); i++)
        mesh->flipV = m.flipV;
    ReduceModel(&m, r, out);
    // Texture coordinates are stored for the textures' scales, which the file records.
    m.ResizeTextCoords();
    m.matlibRef.Set(MoveReference(m.matlibRef.text, in.parent_path(), dst.parent_path()).c_str());
    if (!SaveModel(&m, dst, v02, err)) return 1;
    fprintf(out, "%s: %d meshes, %d vertices\n", dst.string().c_str(), m.meshes.count, m.GetTotalVertices());
    return 0;
}

const char* kInfoHelp = "usage: mhmodel info MODEL.xm\n"
                        "  The model's name, format, library reference, each mesh (material, draw pass,\n"
                        "  vertices and triangles) and the bounds of the whole model.\n";

int Info(const Options& o, FILE* out, FILE* err) {
    const std::string& path = o.positional[0];
    FILE* f = fopen(path.c_str(), "rb");
    FXStr header;
    if (!f || !header.Load(f)) header.Set("unknown");
    if (f) fclose(f);
    FXModel m;
    if (!LoadModel(path, &m, err)) return 1;
    fprintf(out, "model: %s\nformat: %s\n", m.name.text, header.text);
    fprintf(out, "library: %s%s\n", m.matlibRef.IsEmpty() ? "(none)" : m.matlibRef.text,
            m.matlib && m.matlib->GetCount() == 0 && !m.matlibRef.IsEmpty() ? " (not found)" : "");
    fprintf(out, "meshes: %d\n", m.meshes.count);
    int triangles = 0;
    for (int i = 0; FXMesh* mesh = m.EnumMeshes(i); i++) {
        fprintf(out, "  %d: material \"%s\"%s, pass %d, %d vertices, %d triangles\n", i, mesh->materialName.text,
                mesh->material ? "" : " (not in the library)", mesh->drawPass, mesh->vertexCount,
                mesh->indexCount / 3);
        triangles += mesh->indexCount / 3;
    }
    float box[6];
    m.FindMaxims(box);
    fprintf(out, "vertices: %d\ntriangles: %d\n", m.GetTotalVertices(), triangles);
    fprintf(out, "bounds: x %g .. %g, y %g .. %g, z %g .. %g\n", box[0], box[1], box[2], box[3], box[4], box[5]);
    return 0;
}

const char* kConvertHelp = "usage: mhmodel convert IN.xm -o OUT.xm [--format xm02|xm03]\n"
                           "  Writes the model in the format (xm03 when none is given), its library\n"
                           "  reference made relative to OUT.xm.\n";

int Convert(const Options& o, FILE* out, FILE* err) {
    bool v02;
    if (!ParseFormat(o, &v02, err)) return 2;
    EnsureImageLibrary(err);
    FXModel m;
    if (!LoadModel(o.positional[0], &m, err)) return 1;
    fs::path in = Absolute(o.positional[0]), dst = Absolute(o.Value("--output"));
    m.matlibRef.Set(MoveReference(m.matlibRef.text, in.parent_path(), dst.parent_path()).c_str());
    if (!SaveModel(&m, dst, v02, err)) return 1;
    fprintf(out, "%s: %d meshes, %d vertices\n", dst.string().c_str(), m.meshes.count, m.GetTotalVertices());
    return 0;
}

const char* kReduceHelp =
    "usage: mhmodel reduce IN.xm -o OUT.xm --tolerance DEG [--until-stable] [--discard-transparent ALPHA]\n"
    "                      [--format xm02|xm03]\n"
    "  Removes the vertices and triangles that add nothing to the model's picture and reports\n"
    "  the triangles and vertices before and after. --tolerance or --discard-transparent (or\n"
    "  both) says what to remove.\n"
    "  --format F         xm03 (shared vectors, the default) or xm02 (meshes whole)\n";

int Reduce(const Options& o, FILE* out, FILE* err) {
    bool v02;
    if (!ParseFormat(o, &v02, err)) return 2;
    Reduction r;
    if (!ParseReduction(o, "reduce", &r, err)) return 2;
    if (!r.reduce && !r.discard) {
        fprintf(err, "mhmodel reduce: nothing to do: give --tolerance, --discard-transparent or both\n");
        return 2;
    }
    EnsureImageLibrary(err);
    FXModel m;
    if (!LoadModel(o.positional[0], &m, err)) return 1;
    ReduceModel(&m, r, out);
    fs::path in = Absolute(o.positional[0]), dst = Absolute(o.Value("--output"));
    m.matlibRef.Set(MoveReference(m.matlibRef.text, in.parent_path(), dst.parent_path()).c_str());
    if (!SaveModel(&m, dst, v02, err)) return 1;
    fprintf(out, "%s: %d meshes, %d vertices\n", dst.string().c_str(), m.meshes.count, m.GetTotalVertices());
    return 0;
}

const char* kRenderHelp = "usage: mhmodel render MODEL.xm --size WxH [--turn DEGREES] --output OUT.png\n"
                          "  A lit still of the model, fitted into the picture, turned about the vertical\n"
                          "  axis by DEGREES (default 30) and seen slightly from above.\n";

bool ParseSize(const std::string& s, int* w, int* h) {
    char tail;
    return sscanf(s.c_str(), "%dx%d%c", w, h, &tail) == 2 && *w > 0 && *h > 0 && *w <= 8192 && *h <= 8192;
}

int Render(const Options& o, FILE* out, FILE* err) {
    int w, h;
    if (!ParseSize(o.Value("--size"), &w, &h)) {
        fprintf(err, "mhmodel render: --size wants WIDTHxHEIGHT, such as 640x480\n");
        return 2;
    }
    float turn = 30.0f;
    std::string t = o.Value("--turn", "30");
    char* end = nullptr;
    turn = strtof(t.c_str(), &end);
    if (end == t.c_str() || *end) {
        fprintf(err, "mhmodel render: --turn wants a number of degrees\n");
        return 2;
    }
    std::string png = o.Value("--output");
    if (png.size() < 4 || strcasecmp(png.c_str() + png.size() - 4, ".png") != 0) {
        fprintf(err, "mhmodel render: --output must name a .png file\n");
        return 2;
    }
    if (!fxLoadDevil()) {
        fprintf(err, "mhmodel render: the image library is needed to write the picture\n");
        return 1;
    }
    FXGL gl;
    if (!gl.Create(fxCreateOffscreenBinding(w, h))) {
        fprintf(err, "mhmodel render: no offscreen OpenGL device\n");
        return 1;
    }
    gl.SetAct(true);
    PEnv* previous = fxglobalEnv;
    fxSetEnv(&gl);
    int status = 1;
    {
        FXModel m;
        if (LoadModel(o.positional[0], &m, err)) {
            m.ResizeTextCoords();
            float box[6];
            m.FindMaxims(box);
            float size = std::max(box[1] - box[0], std::max(box[3] - box[2], box[5] - box[4]));
            // The largest extent fits into 0.55 of the smaller side, whatever the turn.
            float s = size > 0 ? 1.1f / size : 1.0f;
            FXMatrix aspect, tilt, spin, scale, move;
            aspect.SetScaleF(w > h ? (float)h / w : 1.0f, h > w ? (float)w / h : 1.0f, 0.5f);
            tilt.SetRotateX(-20.0f);
            spin.SetRotateY(turn);
            scale.SetScaleF(s, s, s);
            move.SetMoveF(-(box[0] + box[1]) / 2, -(box[2] + box[3]) / 2, -(box[4] + box[5]) / 2);

            float grey[4] = {0.18f, 0.2f, 0.24f, 1.0f};
            gl.SetClrColor(grey);
            gl.Clrscr(true, true, false);
            FXLight key;
            // From the upper left, on the viewer's side (smaller z is nearer).
            key.position[0] = -0.5f, key.position[1] = 0.7f, key.position[2] = -1.0f, key.position[3] = 0.0f;
            gl.RegisterLight(&key);
            gl.ApplyMatrixIdentity();
            gl.UpdateLights();
            float ambient[4] = {0.3f, 0.3f, 0.3f, 1.0f};
            gl.SetAmbient(ambient);
            gl.EnableLights(true);
            gl.ApplyMatrix(&aspect);
            gl.MultiplyMatrix(&tilt);
            gl.MultiplyMatrix(&spin);
            gl.MultiplyMatrix(&scale);
            gl.MultiplyMatrix(&move);
            m.OnRender(&gl, 0);
            gl.EnableLights(false);
            gl.UnregisterLight(&key);

            std::vector<unsigned char> rgba((size_t)w * h * 4);
            FXCanvas c;
            bool ok = gl.ReadFrame(rgba.data()) && c.pixmap.Realloc(w, h) && c.pixmap.pixels;
            for (int y = 0; ok && y < h; y++)
                memcpy(c.pixmap.pixels + (size_t)y * c.pixmap.stride, rgba.data() + (size_t)y * w * 4, (size_t)w * 4);
            std::error_code ec;
            fs::remove(png, ec);
            if (ok && c.SaveToPict(png.c_str())) {
                fprintf(out, "%s: %dx%d\n", png.c_str(), w, h);
                status = 0;
            } else {
                fprintf(err, "mhmodel render: cannot write %s\n", png.c_str());
            }
        }
    }
    fxSetEnv(previous);
    gl.Destroy();
    return status;
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> list = {
        {"import", kImportHelp, {"--output", "--format", "--axes", "--tolerance", "--discard-transparent"},
         {"--unitize", "--stretch", "--stretch1", "--flip-h", "--normals", "--front-texcoords", "--flip-v",
          "--until-stable"},
         {"--output"}, Import, kReduceOptionsHelp},
        {"info", kInfoHelp, {}, {}, {}, Info},
        {"convert", kConvertHelp, {"--output", "--format"}, {}, {"--output"}, Convert},
        {"reduce", kReduceHelp, {"--output", "--format", "--tolerance", "--discard-transparent"}, {"--until-stable"},
         {"--output"}, Reduce, kReduceOptionsHelp},
        {"render", kRenderHelp, {"--size", "--turn", "--output"}, {}, {"--size", "--output"}, Render},
    };
    return list;
}

void Usage(FILE* f) {
    fputs("usage: mhmodel COMMAND ...\n", f);
    for (const Command& c : Commands()) {
        const char* line = strchr(c.help, ' ') + 1;
        fprintf(f, "  %.*s", (int)(strchr(line, '\n') - line + 1), line);
    }
    fputs("Run 'mhmodel COMMAND --help' for the details of a command.\n", f);
}

} // namespace

int Run(int argc, const char* const* argv, FILE* out, FILE* err) {
    if (argc < 2) {
        Usage(err);
        return 2;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        Usage(out);
        return 0;
    }
    for (const Command& c : Commands()) {
        if (name != c.name) continue;
        Options o;
        std::string error;
        if (!Parse(c, argc - 2, argv + 2, &o, &error)) {
            fprintf(err, "mhmodel %s: %s\n%s%s", c.name, error.c_str(), c.help, c.moreHelp);
            return 2;
        }
        if (o.Flag("--help")) {
            fputs(c.help, out);
            fputs(c.moreHelp, out);
            return 0;
        }
        if (c.run == Render) return c.run(o, out, err);
        // The other commands need no device: libraries and textures load all the same.
        FXHeadlessEnv env;
        PEnv* previous = fxglobalEnv;
        fxSetEnv(&env);
        int status = c.run(o, out, err);
        fxSetEnv(previous);
        return status;
    }
    fprintf(err, "mhmodel: unknown command '%s'\n", name.c_str());
    Usage(err);
    return 2;
}

} // namespace mhmodel
