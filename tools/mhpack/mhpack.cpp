#include "mhpack.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "assets/canvas.h"
#include "assets/model.h"
#include "assets/package.h"
#include "render/env.h"

namespace mhpack {

namespace {

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return std::string();
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string DirOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool ReadWholeFile(const std::string& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *out = ss.str();
    return !in.bad();
}

const char* TypeName(int type) {
    switch (type) {
    case FXPCK_TYPE_JPG:
        return "jpg";
    case FXPCK_TYPE_PNG:
        return "png";
    case FXPCK_TYPE_TGA:
        return "tga";
    case FXPCK_TYPE_BMP:
        return "bmp";
    case FXPCK_TYPE_GIF:
        return "gif";
    case FXPCK_TYPE_RAW:
        return "raw";
    default:
        return nullptr;
    }
}

// Command-line words after the command: positional arguments and the options we know.
struct Args {
    std::vector<std::string> positional;
    std::string output;
    std::string namesHeader;
    bool transposed = false;
    bool help = false;
};

bool ParseArgs(int argc, const char* const* argv, bool allowBuildOptions, Args* a, std::string* error) {
    for (int i = 0; i < argc; i++) {
        std::string w = argv[i];
        if (w == "--help" || w == "-h") {
            a->help = true;
        } else if (w == "-o" || w == "--output") {
            if (i + 1 >= argc) {
                *error = "option " + w + " needs a file name";
                return false;
            }
            a->output = argv[++i];
        } else if (allowBuildOptions && w == "--transposed") {
            a->transposed = true;
        } else if (allowBuildOptions && w == "--names-header") {
            if (i + 1 >= argc) {
                *error = "option --names-header needs a file name";
                return false;
            }
            a->namesHeader = argv[++i];
        } else if (w.size() > 1 && w[0] == '-') {
            *error = "unknown option " + w;
            return false;
        } else {
            a->positional.push_back(w);
        }
    }
    return true;
}

const char* kUsage = "usage: mhpack COMMAND ...\n"
                     "  build MANIFEST -o OUT.dat [--transposed] [--names-header FILE]\n"
                     "  list PKG\n"
                     "  extract PKG ID -o FILE\n"
                     "Run 'mhpack COMMAND --help' for the details of a command.\n";

const char* kBuildHelp =
    "usage: mhpack build MANIFEST -o OUT.dat [--transposed] [--names-header FILE]\n"
    "  Packs the files named by MANIFEST into the package OUT.dat.\n"
    "  MANIFEST has one 'ID PATH' per line: ID is the item id (0 to 2147483647, each used\n"
    "  once), PATH the rest of the line, spaces included and no quoting, relative to the\n"
    "  manifest's directory. Blank lines and lines starting with '#' are ignored. The item\n"
    "  type comes from the file extension (png, jpg, tga, bmp, gif; anything else is stored\n"
    "  as raw data).\n"
    "  A line 'model ID PATH' stores the model file PATH as item ID together with its\n"
    "  material library and the library's textures, which get ids above the largest id of\n"
    "  the manifest.\n"
    "  --transposed         write the transposed payload layout\n"
    "  --names-header FILE  also write '#define FXNAME_<NAME>  <id>' lines for the items\n";

const char* kListHelp = "usage: mhpack list PKG\n"
                        "  The layout (plain or transposed), then one line per item: id, type, size in\n"
                        "  bytes and, for pictures, the decoded width x height (for models, the mesh\n"
                        "  count); then a summary. Fails\n"
                        "  when a picture does not decode or the directory is damaged.\n";

const char* kExtractHelp = "usage: mhpack extract PKG ID -o FILE\n"
                           "  Writes the bytes of item ID of the package PKG to FILE.\n";

// Loads the package, saying why when it cannot, and when its directory is damaged.
bool LoadPackage(const char* path, FXPackage* pkg, FILE* err) {
    if (!pkg->Load(path)) {
        FILE* f = fopen(path, "rb");
        if (!f) {
            fprintf(err, "mhpack: cannot open %s: %s\n", path, strerror(errno));
            return false;
        }
        FXStr header;
        bool magic = header.Load(f) && header.length >= 5 && strncmp(header.text, "pck01", 5) == 0;
        fclose(f);
        if (magic)
            fprintf(err, "mhpack: cannot read the package %s\n", path);
        else
            fprintf(err, "mhpack: %s is not a package (no pck01 header)\n", path);
        return false;
    }
    if (pkg->damagedDirectory) {
        int n = pkg->itemIds.count;
        fprintf(err, "mhpack: %s has a damaged directory; %d item%s could be read\n", path, n,
                n == 1 ? "" : "s");
    }
    return true;
}

// True when both names lead to one existing file.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Compiles a model into the package: its library and textures become items (resolved
// against the model's directory), the model itself item e.id.
bool AddModel(const ManifestEntry& e, FXPackage* pkg, FILE* err) {
    FXHeadlessEnv env;
    PEnv* previous = fxglobalEnv;
    fxSetEnv(&env);
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(e.path, ec).lexically_normal();
    std::filesystem::path start = std::filesystem::current_path(ec);
    bool ok = false;
    {
        FXModel m;
        std::filesystem::current_path(path.parent_path(), ec);
        if (!ec && m.Load(path.string().c_str()) && !m.loadedMeshes.IsEmpty()) {
            m.UpdateMeshes();
            pkg->basePath.Set(path.parent_path().string().c_str());
            if (m.matlibRef.IsEmpty() || m.Compile(pkg)) {
                std::string file = (std::filesystem::temp_directory_path(ec) /
                                    ("mhpack-model-" + std::to_string(e.id) + "-" + std::to_string(getpid()) + ".xm"))
                                       .string();
                pkg->AddTmpFile(file.c_str());
                ok = m.Save(file.c_str());
                if (ok) pkg->AddDataFile(e.id, file.c_str());
            }
        } else if (!ec) {
            fprintf(err, "mhpack: %s is not a model file or holds no meshes\n", e.path.c_str());
        }
        std::filesystem::current_path(start, ec);
    }
    fxSetEnv(previous);
    return ok;
}

int Build(const Args& a, FILE* out, FILE* err) {
    if (a.positional.size() != 1 || a.output.empty()) {
        fputs(kBuildHelp, err);
        return 2;
    }
    std::vector<ManifestEntry> entries;
    std::string error;
    const std::string& manifest = a.positional[0];
    if (!ParseManifest(manifest.c_str(), &entries, &error)) {
        fprintf(err, "mhpack: %s\n", error.c_str());
        return 1;
    }
    bool missing = false;
    for (const ManifestEntry& e : entries) {
        int size = -1, type = 0;
        FXPackage::CheckFile(e.path.c_str(), &size, &type);
        if (size < 0) {
            fprintf(err, "mhpack: %s: line %d: cannot read %s\n", manifest.c_str(), e.line, e.path.c_str());
            missing = true;
        } else if (SameFile(e.path, a.output) ||
                   (!a.namesHeader.empty() && SameFile(e.path, a.namesHeader))) {
            fprintf(err, "mhpack: %s: line %d: %s is written by this build\n", manifest.c_str(), e.line,
                    e.path.c_str());
            missing = true;
        }
    }
    if (missing) return 1;

    std::string header;
    if (!a.namesHeader.empty() && !MakeNamesHeader(entries, a.namesHeader + ".part", &header, &error)) {
        fprintf(err, "mhpack: %s\n", error.c_str());
        return 1;
    }

    // Written beside the target and renamed at the end, so a failed build never leaves a
    // half-written package where the saver would pick it up.
    std::string tmp = a.output + ".part";
    FXPackage pkg;
    int largest = -1;
    for (const ManifestEntry& e : entries)
        largest = std::max(largest, e.id);
    // Libraries and textures of models are numbered after every fixed id.
    pkg.names.firstId = largest < INT_MAX ? largest + 1 : INT_MAX;
    for (const ManifestEntry& e : entries) {
        if (e.model && largest == INT_MAX) {
            fprintf(err, "mhpack: %s: line %d: no ids are left above %d for the model's library and textures\n",
                    manifest.c_str(), e.line, largest);
            return 1;
        }
        if (e.model) {
            if (!AddModel(e, &pkg, err)) {
                pkg.DeleteTmpFiles();
                fprintf(err, "mhpack: %s: line %d: model %s cannot be compiled\n", manifest.c_str(), e.line,
                        e.path.c_str());
                return 1;
            }
        } else {
            pkg.AddDataFile(e.id, e.path.c_str());
        }
    }
    int expected = int(entries.size()) + pkg.names.names.count;
    bool saved = pkg.Save(tmp.c_str(), a.transposed ? 1 : 0);
    pkg.DeleteTmpFiles();
    if (!saved || pkg.itemIds.count != expected) {
        remove(tmp.c_str());
        fprintf(err, "mhpack: could not write the package %s\n", a.output.c_str());
        return 1;
    }
    if (rename(tmp.c_str(), a.output.c_str()) != 0) {
        fprintf(err, "mhpack: cannot create %s: %s\n", a.output.c_str(), strerror(errno));
        remove(tmp.c_str());
        return 1;
    }
    if (!a.namesHeader.empty()) {
        FILE* f = fopen(a.namesHeader.c_str(), "w");
        bool ok = f && fwrite(header.data(), 1, header.size(), f) == header.size();
        if (f && fclose(f) != 0) ok = false;
        if (!ok) {
            fprintf(err, "mhpack: cannot write %s\n", a.namesHeader.c_str());
            return 1;
        }
    }
    fprintf(out, "%s: %d items, %d bytes of data%s\n", a.output.c_str(), expected, pkg.dataSize,
            a.transposed ? ", transposed layout" : "");
    return 0;
}

// The mesh count of a model item, -1 for other items (and damaged models).
int ModelMeshes(FXPackage* pkg, int id) {
    FXPackageData* d = pkg->GetDataPtr(id);
    if (!d || d->left < 8) return -1;
    if (memcmp(d->cur, "\x04\0\0\0xm02", 8) != 0 && memcmp(d->cur, "\x04\0\0\0xm03", 8) != 0) return -1;
    FXHeadlessEnv env;
    PEnv* previous = fxglobalEnv;
    fxSetEnv(&env);
    int n = -1;
    {
        FXModel m;
        if (m.LoadCN(pkg, id)) n = m.loadedMeshes.count;
    }
    fxSetEnv(previous);
    return n;
}

int List(const Args& a, FILE* out, FILE* err) {
    if (a.positional.size() != 1 || !a.output.empty()) {
        fputs(kListHelp, err);
        return 2;
    }
    const char* path = a.positional[0].c_str();
    FXPackage pkg;
    if (!LoadPackage(path, &pkg, err)) return 1;
    bool devil = fxLoadDevil();
    if (!devil) fprintf(err, "mhpack: the image library is missing; pictures are not decoded\n");
    int n = pkg.itemIds.count, pictures = 0, broken = 0;
    fprintf(out, "%s: %s layout, %d items\n", path, pkg.transposedLayout ? "transposed" : "plain", n);
    fprintf(out, "%8s  %-6s %10s  %s\n", "id", "type", "bytes", "picture");
    for (int i = 0; i < n; i++) {
        int id = pkg.itemIds.GetInt(i), type = pkg.itemTypes.GetInt(i), size = pkg.itemSizes.GetInt(i);
        const char* name = TypeName(type);
        char typeText[16];
        if (!name) snprintf(typeText, sizeof typeText, "%d", type);
        std::string picture;
        int meshes = ModelMeshes(&pkg, id);
        if (meshes >= 0) picture = "model, " + std::to_string(meshes) + (meshes == 1 ? " mesh" : " meshes");
        if (type != FXPCK_TYPE_RAW) {
            pictures++;
            FXCanvas canvas;
            if (!devil) {
                picture = "-";
            } else if (i < pkg.itemCursors.count && pkg.GetDataPtr(id) != pkg.itemCursors.items[i]) {
                picture = "hidden by an earlier item with the same id";
            } else if (canvas.CreateFromPictCN(&pkg, id)) {
                picture = std::to_string(canvas.GetWidth()) + " x " + std::to_string(canvas.GetHeight());
            } else {
                picture = "does not decode";
                broken++;
            }
        }
        fprintf(out, "%8d  %-6s %10d  %s\n", id, name ? name : typeText, size, picture.c_str());
    }
    fprintf(out, "%d items, %d bytes of data, %d pictures", n, pkg.dataSize, pictures);
    if (!devil)
        fprintf(out, " (not decoded)\n");
    else if (broken)
        fprintf(out, ", %d of them do not decode\n", broken);
    else
        fprintf(out, ", all decodable\n");
    if (devil) fxUnloadDevil();
    return broken || pkg.damagedDirectory ? 1 : 0;
}

int Extract(const Args& a, FILE* out, FILE* err) {
    if (a.positional.size() != 2 || a.output.empty()) {
        fputs(kExtractHelp, err);
        return 2;
    }
    const char* path = a.positional[0].c_str();
    char* end = nullptr;
    errno = 0;
    long id = strtol(a.positional[1].c_str(), &end, 10);
    if (a.positional[1].empty() || *end || errno || id < INT_MIN || id > INT_MAX) {
        fprintf(err, "mhpack: '%s' is not an item id\n", a.positional[1].c_str());
        return 2;
    }
    if (SameFile(path, a.output)) {
        fprintf(err, "mhpack: %s is the package itself\n", a.output.c_str());
        return 1;
    }
    FXPackage pkg;
    if (!LoadPackage(path, &pkg, err)) return 1;
    FXPackageData* data = pkg.GetDataPtr(int(id));
    if (!data) {
        fprintf(err, "mhpack: %s has no item %ld\n", path, id);
        return 1;
    }
    FILE* f = fopen(a.output.c_str(), "wb");
    if (!f) {
        fprintf(err, "mhpack: cannot create %s: %s\n", a.output.c_str(), strerror(errno));
        return 1;
    }
    bool ok = data->size == 0 || fwrite(data->begin, 1, size_t(data->size), f) == size_t(data->size);
    if (fclose(f) != 0) ok = false;
    if (!ok) {
        fprintf(err, "mhpack: could not write %s\n", a.output.c_str());
        remove(a.output.c_str());
        return 1;
    }
    fprintf(out, "%s: item %ld, %d bytes\n", a.output.c_str(), id, data->size);
    return 0;
}

} // namespace

bool ParseManifestText(const std::string& text, const std::string& baseDir,
                       std::vector<ManifestEntry>* entries, std::string* error) {
    entries->clear();
    std::istringstream in(text);
    std::string raw;
    for (int line = 1; std::getline(in, raw); line++) {
        std::string s = Trim(raw);
        if (s.empty() || s[0] == '#') continue;
        bool model = s.compare(0, 5, "model") == 0 && s.size() > 5 && (s[5] == ' ' || s[5] == '\t');
        if (model) s = Trim(s.substr(5));
        size_t gap = s.find_first_of(" \t");
        std::string idText = s.substr(0, gap);
        std::string path = gap == std::string::npos ? std::string() : Trim(s.substr(gap));
        char* end = nullptr;
        errno = 0;
        long id = strtol(idText.c_str(), &end, 10);
        if (*end || errno || id < 0 || id > INT_MAX || !isdigit((unsigned char)idText[0])) {
            *error = "line " + std::to_string(line) + ": '" + idText +
                     "' is not an item id (a number from 0 to " + std::to_string(INT_MAX) + ")";
            return false;
        }
        if (path.empty()) {
            *error =
                "line " + std::to_string(line) + ": item " + idText + " names no file (expected 'ID PATH')";
            return false;
        }
        for (const ManifestEntry& e : *entries) {
            if (e.id == int(id)) {
                *error = "line " + std::to_string(line) + ": item id " + std::to_string(id) +
                         " is already used on line " + std::to_string(e.line);
                return false;
            }
        }
        if (path[0] != '/' && !baseDir.empty()) path = baseDir + "/" + path;
        entries->push_back({int(id), path, line, model});
    }
    return true;
}

bool ParseManifest(const char* manifestPath, std::vector<ManifestEntry>* entries, std::string* error) {
    std::string text;
    if (!ReadWholeFile(manifestPath, &text)) {
        *error = std::string("cannot read the manifest ") + manifestPath + ": " + strerror(errno);
        return false;
    }
    if (!ParseManifestText(text, DirOf(manifestPath), entries, error)) {
        *error = std::string(manifestPath) + ": " + *error;
        return false;
    }
    return true;
}

bool MakeNamesHeader(const std::vector<ManifestEntry>& entries, const std::string& scratchPath,
                     std::string* text, std::string* error) {
    // The package's header writer numbers names consecutively from firstId; the manifest's
    // ids may have gaps, so each run of consecutive ids is written by its own name list.
    text->clear();
    size_t i = 0;
    while (i < entries.size()) {
        FXPackage run;
        run.names.firstId = entries[i].id;
        size_t j = i;
        while (j < entries.size() && int64_t(entries[j].id) - entries[i].id == int64_t(j - i) &&
               run.names.FindId(entries[j].path.c_str()) < 0) {
            run.names.BuildId(entries[j].path.c_str());
            j++;
        }
        std::string part;
        bool ok = run.SaveNamesCpp(scratchPath.c_str()) && ReadWholeFile(scratchPath, &part);
        remove(scratchPath.c_str());
        if (!ok) {
            *error = "cannot write " + scratchPath;
            return false;
        }
        *text += part;
        i = j;
    }
    // Two files that differ only in their folder or punctuation would define one name twice.
    std::istringstream lines(*text);
    std::string line;
    std::vector<std::pair<std::string, std::string>> seen;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string define, name, id;
        words >> define >> name >> id;
        for (const auto& s : seen) {
            if (s.first == name) {
                *error = "items " + s.second + " and " + id + " would both be named " + name +
                         " in the names header";
                return false;
            }
        }
        seen.emplace_back(name, id);
    }
    return true;
}

int Run(int argc, const char* const* argv, FILE* out, FILE* err) {
    if (argc < 2) {
        fputs(kUsage, err);
        return 2;
    }
    std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        fputs(kUsage, out);
        return 0;
    }
    bool build = cmd == "build";
    if (!build && cmd != "list" && cmd != "extract") {
        fprintf(err, "mhpack: unknown command '%s'\n%s", cmd.c_str(), kUsage);
        return 2;
    }
    Args a;
    std::string error;
    if (!ParseArgs(argc - 2, argv + 2, build, &a, &error)) {
        fprintf(err, "mhpack %s: %s\n", cmd.c_str(), error.c_str());
        return 2;
    }
    if (a.help) {
        fputs(build ? kBuildHelp : (cmd == "list" ? kListHelp : kExtractHelp), out);
        return 0;
    }
    if (build) return Build(a, out, err);
    if (cmd == "list") return List(a, out, err);
    return Extract(a, out, err);
}

} // namespace mhpack
