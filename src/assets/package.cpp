#include "assets/package.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctype.h>
#include <string>
#include <vector>

#include "base/trace.h"

// ---- FXNameServer

// Ids are index + firstId with wrap-around, so a hostile firstId cannot overflow.
static int localAddId(int index, int firstId) {
    return (int)(uint32_t)((uint32_t)index + (uint32_t)firstId);
}

int FXNameServer::BuildId(const char* name) {
    int pos = names.Findpos(name);
    if (pos < 0) {
        names.Push(name);
        pos = names.count - 1;
    }
    return localAddId(pos, firstId);
}

int FXNameServer::FindId(const char* name) {
    int pos = names.Findpos(name);
    return pos < 0 ? -1 : localAddId(pos, firstId);
}

void FXNameServer::Destroy() {
    names.DestroyBuf();
    firstId = 0;
}

// ---- FXPackageData

void FXPackageData::InitData(void* p, int n) {
    if (!p || n < 0) n = 0;
    begin = cur = static_cast<unsigned char*>(p);
    size = left = n;
}

void FXPackageData::Reseek() {
    cur = begin;
    left = size;
}

const void* FXPackageData::ReadBlc(int n) {
    if (n < 0 || left < n) return nullptr;
    const void* p = cur;
    cur += n;
    left -= n;
    return p;
}

const void* FXPackageData::ReadCopyBlc(void* dst, int n) {
    if (n < 0 || left < n) return nullptr;
    if (n > 0) memcpy(dst, cur, (size_t)n);
    return ReadBlc(n);
}

bool FXPackageData::ReadBool() {
    if (left < 1) return false;
    unsigned char c = *cur;
    cur++;
    left--;
    return c == 1;
}

int FXPackageData::ReadInt() {
    int32_t v = 0;
    return ReadCopyBlc(&v, 4) ? v : 0;
}

void FXPackageData::WriteInt(int v) {
    if (left < 4) return;
    int32_t w = v;
    memcpy(cur, &w, 4);
    cur += 4;
    left -= 4;
}

float FXPackageData::ReadFloat() {
    float v = 0.0f;
    return ReadCopyBlc(&v, 4) ? v : 0.0f;
}

void FXPackageData::ReadFloat4(float* dst) {
    ReadCopyBlc(dst, 16);
}

double FXPackageData::ReadDouble() {
    double v = 0.0;
    return ReadCopyBlc(&v, 8) ? v : 0.0;
}

void FXPackageData::ReadString(FXStr* s) {
    s->Clear();
    if (left < 4) return;
    int len = ReadInt();
    if (len <= 0) return;
    if (len > left) {
        // The length runs past the item: nothing after it can be trusted.
        cur += left;
        left = 0;
        return;
    }
    int keep = len < (int)FXStr::MaxLength ? len : (int)FXStr::MaxLength;
    memcpy(s->text, cur, (size_t)keep);
    s->text[keep] = 0;
    s->length = (int)strlen(s->text);
    cur += len;
    left -= len;
}

// Every element takes at least four bytes, which bounds how many can follow.
int FXPackageData::ReadCount() {
    if (left < 4) return -1;
    int n = ReadInt();
    if (n < 0) n = 0;
    if (n > left / 4) n = left / 4;
    return n;
}

void FXPackageData::ReadStringArray(FXStrArray* a) {
    a->RemoveAll();
    int n = ReadCount();
    if (n <= 0) return;
    a->Realloc(n);
    FXStr s;
    for (int i = 0; i < n; i++) {
        ReadString(&s);
        a->Push(s.text);
    }
}

void FXPackageData::ReadArray(FXArray* a) {
    a->RemoveAll();
    int n = ReadCount();
    if (n <= 0) return;
    a->Realloc(n);
    for (int i = 0; i < n; i++)
        a->PushInt(ReadInt());
}

void FXPackageData::ReadFloatArray(FXFloatArray* a) {
    a->RemoveAll();
    int n = ReadCount();
    if (n <= 0) return;
    a->Realloc(n);
    for (int i = 0; i < n; i++)
        a->Push(ReadFloat());
}

void FXPackageData::WriteArray(FXArray* a) {
    if (left < 4) return;
    int n = a->count > 0 ? a->count : 0;
    WriteInt(n);
    for (int i = 0; i < n; i++)
        WriteInt(a->GetInt(i));
}

// ---- FXPackage helpers

static const char localMagic[] = "pck01";

// Side of the square block that the transposed layout turns: floor(sqrt(size)).
static int localSquareSide(int size) {
    if (size <= 0) return 0;
    int n = (int)sqrt((double)size);
    while (n > 0 && (int64_t)n * n > size)
        n--;
    while ((int64_t)(n + 1) * (n + 1) <= size)
        n++;
    return n;
}

// Transposes the leading n*n bytes as an n-by-n matrix and copies the rest; applying
// it twice gives back the input.
static void localTranspose(const unsigned char* src, unsigned char* dst, int size) {
    int n = localSquareSide(size);
    for (int a = 0; a < n; a++) {
        for (int b = 0; b < n; b++)
            dst[(size_t)b * n + a] = src[(size_t)a * n + b];
    }
    size_t sq = (size_t)n * n;
    if ((size_t)size > sq) memcpy(dst + sq, src + sq, (size_t)size - sq);
}

// Reads the whole file; false when it cannot be opened or read completely, or does
// not fit the format's 32-bit sizes.
static bool localReadFile(const char* path, std::string* out) {
    out->clear();
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    bool ok = false;
    if (fseek(f, 0, SEEK_END) == 0) {
        long len = ftell(f);
        if (len >= 0 && len <= INT_MAX && fseek(f, 0, SEEK_SET) == 0) {
            out->resize((size_t)len);
            ok = len == 0 || fread(&(*out)[0], 1, (size_t)len, f) == (size_t)len;
        }
    }
    fclose(f);
    if (!ok) out->clear();
    return ok;
}

int FXPackage::EntryCount() const {
    int n = itemIds.count;
    if (itemOffsets.count < n) n = itemOffsets.count;
    if (itemSizes.count < n) n = itemSizes.count;
    if (itemTypes.count < n) n = itemTypes.count;
    return n;
}

// ---- FXPackage

// Reads one directory array; *declared is the count the file states (-1 when missing),
// which a damaged file may not back with entries.
static void localReadDirectoryArray(FXPackageData* c, FXArray* a, int* declared) {
    int32_t n = -1;
    if (c->left >= 4) memcpy(&n, c->cur, 4);
    *declared = n;
    c->ReadArray(a);
}

bool FXPackage::Load(const char* path) {
    Destroy();
    if (!path) return false;
    FILE* f = fopen(path, "rb");
    if (!f) {
        err("package: cannot open \"%s\"\n", path);
        return false;
    }
    FXStr header;
    bool ok = header.Load(f) && header.length >= 5 && strncmp(header.text, localMagic, 5) == 0;
    bool transposed = false;
    for (int i = 5; ok && i < header.length; i++) {
        if (header.text[i] == 's') transposed = true;
    }
    long payload = -1;
    if (ok) {
        long pos = ftell(f);
        if (pos >= 0 && fseek(f, 0, SEEK_END) == 0) {
            long end = ftell(f);
            if (end >= pos && fseek(f, pos, SEEK_SET) == 0) payload = end - pos;
        }
        ok = payload >= 0 && payload <= INT_MAX;
    }
    int S = ok ? (int)payload : 0;
    unsigned char* buf = ok ? static_cast<unsigned char*>(malloc(S > 0 ? (size_t)S : 1)) : nullptr;
    if (buf && S > 0 && fread(buf, 1, (size_t)S, f) != (size_t)S) ok = false;
    fclose(f);
    if (!ok || !buf) {
        err("package: \"%s\" is not a readable package\n", path);
        free(buf);
        return false;
    }
    if (transposed && S > 0) {
        unsigned char* plain = static_cast<unsigned char*>(malloc((size_t)S));
        if (!plain) {
            free(buf);
            return false;
        }
        localTranspose(buf, plain, S);
        free(buf);
        buf = plain;
    }

    FXPackageData cursor;
    cursor.InitData(buf, S);
    FXArray ids, offsets, sizes, types;
    int declared[4];
    localReadDirectoryArray(&cursor, &ids, &declared[0]);
    localReadDirectoryArray(&cursor, &offsets, &declared[1]);
    localReadDirectoryArray(&cursor, &sizes, &declared[2]);
    localReadDirectoryArray(&cursor, &types, &declared[3]);

    int entries = ids.count;
    if (offsets.count < entries) entries = offsets.count;
    if (sizes.count < entries) entries = sizes.count;
    if (types.count < entries) entries = types.count;

    // Ids built after loading must not collide with any id the file uses.
    int maxId = -1;
    for (int i = 0; i < entries; i++) {
        if (ids.GetInt(i) > maxId) maxId = ids.GetInt(i);
    }
    names.firstId = maxId < 0 ? 0 : (maxId == INT_MAX ? INT_MAX : maxId + 1);

    dataSize = cursor.left;
    if (dataSize > 0) {
        dataBlock = static_cast<unsigned char*>(malloc((size_t)dataSize));
        if (!dataBlock) {
            dataSize = 0;
            free(buf);
            return false;
        }
        memcpy(dataBlock, cursor.cur, (size_t)dataSize);
    }
    free(buf);

    if (entries != ids.count || entries != offsets.count || entries != sizes.count || entries != types.count)
        err("package: \"%s\" has a damaged directory, %d entries kept\n", path, entries);
    // Entries whose bytes do not lie inside the data block are left out.
    for (int i = 0; i < entries; i++) {
        int off = offsets.GetInt(i);
        int sz = sizes.GetInt(i);
        if (off < 0 || sz < 0 || (int64_t)off + sz > dataSize) {
            err("package: item %d of \"%s\" lies outside the data, left out\n", ids.GetInt(i), path);
            continue;
        }
        itemIds.PushInt(ids.GetInt(i));
        itemOffsets.PushInt(off);
        itemSizes.PushInt(sz);
        itemTypes.PushInt(types.GetInt(i));
    }
    transposedLayout = transposed;
    for (int k = 0; k < 4; k++) {
        if (declared[k] != itemIds.count) damagedDirectory = true;
    }
    RecompClasses();
    return true;
}

FXPackageData* FXPackage::GetDataPtr(int id) {
    int n = EntryCount();
    if (itemCursors.count < n) n = itemCursors.count;
    for (int i = 0; i < n; i++) {
        if (itemIds.GetInt(i) == id) {
            FXPackageData* d = static_cast<FXPackageData*>(itemCursors.items[i]);
            d->Reseek();
            return d;
        }
    }
    return nullptr;
}

int FXPackage::GetDataType(int id) {
    int n = EntryCount();
    for (int i = 0; i < n; i++) {
        if (itemIds.GetInt(i) == id) return itemTypes.GetInt(i);
    }
    return -1;
}

void FXPackage::Destroy() {
    free(dataBlock);
    dataBlock = nullptr;
    dataSize = 0;
    itemIds.RemoveAll();
    itemOffsets.RemoveAll();
    itemSizes.RemoveAll();
    itemTypes.RemoveAll();
    for (int i = 0; i < itemCursors.count; i++)
        delete static_cast<FXPackageData*>(itemCursors.items[i]);
    itemCursors.DestroyBuf();
    pendingIds.RemoveAll();
    pendingFiles.RemoveAll();
    tmpFiles.RemoveAll();
    transposedLayout = false;
    damagedDirectory = false;
}

void FXPackage::RecompClasses() {
    for (int i = 0; i < itemCursors.count; i++)
        delete static_cast<FXPackageData*>(itemCursors.items[i]);
    itemCursors.RemoveAll();
    int n = EntryCount();
    itemCursors.Realloc(n);
    for (int i = 0; i < n; i++) {
        FXPackageData* d = new FXPackageData;
        int off = itemOffsets.GetInt(i);
        int sz = itemSizes.GetInt(i);
        // A cursor never covers memory outside the data block.
        if (dataBlock && off >= 0 && sz >= 0 && (int64_t)off + sz <= dataSize)
            d->InitData(dataBlock + off, sz);
        itemCursors.Push(d);
    }
}

void FXPackage::AddDataFile(int id, const char* path) {
    pendingIds.PushInt(id);
    pendingFiles.Push(path);
}

void FXPackage::AddDataFile1(FXStr* name) {
    if (!name || name->IsEmpty()) return;
    int id = names.FindId(name->text);
    if (id == -1) {
        id = names.BuildId(name->text);
        AddDataFile(id, name->text);
    }
    name->Format("%d", id);
}

void FXPackage::AddTmpFile(const char* path) {
    tmpFiles.Push(path);
}

void FXPackage::DeleteTmpFiles() {
    for (int i = 0; i < tmpFiles.count; i++) {
        if (tmpFiles.items[i]) remove(tmpFiles.items[i]);
    }
    tmpFiles.RemoveAll();
}

// Type code from the extension: walking back from the last character down to index 2,
// the characters after the first "." met, compared without regard to case.
static int localTypeOf(const char* path) {
    int len = (int)strlen(path);
    int start = len;
    for (int i = len - 1; i > 1; i--) {
        if (path[i] == '.') break;
        start = i;
    }
    std::string ext(path + start);
    for (char& c : ext)
        c = (char)tolower((unsigned char)c);
    if (ext == "jpg") return FXPCK_TYPE_JPG;
    if (ext == "png") return FXPCK_TYPE_PNG;
    if (ext == "tga") return FXPCK_TYPE_TGA;
    if (ext == "bmp") return FXPCK_TYPE_BMP;
    if (ext == "gif") return FXPCK_TYPE_GIF;
    return FXPCK_TYPE_RAW;
}

void FXPackage::CheckFile(const char* path, int* size, int* type) {
    *size = -1;
    *type = FXPCK_TYPE_RAW;
    if (!path) return;
    *type = localTypeOf(path);
    FILE* f = fopen(path, "rb");
    if (!f) return;
    if (fseek(f, 0, SEEK_END) == 0) {
        long len = ftell(f);
        if (len >= 0 && len <= INT_MAX) *size = (int)len;
    }
    fclose(f);
}

bool FXPackage::Save(const char* path, int flags) {
    // Keep the directory arrays parallel before entries are appended.
    int entries = EntryCount();
    itemIds.count = itemOffsets.count = itemSizes.count = itemTypes.count = entries;

    // Queued files are read whole first, so an entry's size always matches its bytes.
    std::vector<std::string> contents;
    std::vector<int> newIds, newTypes;
    int64_t total = dataSize;
    for (int k = 0; k < pendingFiles.count && k < pendingIds.count; k++) {
        const char* file = pendingFiles.items[k];
        std::string bytes;
        int size = -1, type = FXPCK_TYPE_RAW;
        if (file) CheckFile(file, &size, &type);
        if (!file || size < 0 || !localReadFile(file, &bytes)) {
            err("package: cannot read \"%s\", item %d left out\n", file ? file : "", pendingIds.GetInt(k));
            continue;
        }
        total += (int64_t)bytes.size();
        contents.push_back(std::move(bytes));
        newIds.push_back(pendingIds.GetInt(k));
        newTypes.push_back(type);
    }
    pendingFiles.RemoveAll();
    pendingIds.RemoveAll();

    int allEntries = entries + (int)contents.size();
    int64_t payload64 = total + 16 * ((int64_t)allEntries + 1);
    if (payload64 > INT_MAX) {
        err("package: \"%s\" would exceed the format's size limit\n", path ? path : "");
        RecompClasses();
        return false;
    }
    if (!contents.empty()) {
        unsigned char* block = static_cast<unsigned char*>(malloc(total > 0 ? (size_t)total : 1));
        if (!block) {
            RecompClasses();
            return false;
        }
        if (dataSize > 0) memcpy(block, dataBlock, (size_t)dataSize);
        int offset = dataSize;
        for (size_t k = 0; k < contents.size(); k++) {
            int size = (int)contents[k].size();
            if (size > 0) memcpy(block + offset, contents[k].data(), (size_t)size);
            itemIds.PushInt(newIds[k]);
            itemOffsets.PushInt(offset);
            itemSizes.PushInt(size);
            itemTypes.PushInt(newTypes[k]);
            offset += size;
        }
        free(dataBlock);
        dataBlock = block;
        dataSize = (int)total;
    }
    RecompClasses();

    int S = (int)payload64;
    unsigned char* plain = static_cast<unsigned char*>(malloc((size_t)S));
    if (!plain) return false;
    FXPackageData cursor;
    cursor.InitData(plain, S);
    cursor.WriteArray(&itemIds);
    cursor.WriteArray(&itemOffsets);
    cursor.WriteArray(&itemSizes);
    cursor.WriteArray(&itemTypes);
    if (dataSize > 0) memcpy(cursor.cur, dataBlock, (size_t)dataSize);
    unsigned char* out = plain;
    if (flags & 1) {
        out = static_cast<unsigned char*>(malloc((size_t)S));
        if (!out) {
            free(plain);
            return false;
        }
        localTranspose(plain, out, S);
        free(plain);
    }

    bool ok = false;
    FILE* f = path ? fopen(path, "wb") : nullptr;
    if (f) {
        FXStr header(localMagic);
        if (flags & 1) header.AppendChar('s');
        ok = header.Save(f);
        ok = fwrite(out, 1, (size_t)S, f) == (size_t)S && ok;
        ok = fclose(f) == 0 && ok;
    }
    free(out);
    if (!ok) err("package: cannot write \"%s\"\n", path ? path : "");
    return ok;
}

bool FXPackage::SaveNames(const char* path) {
    FILE* f = path ? fopen(path, "wb") : nullptr;
    if (!f) return false;
    bool ok = names.names.Save(f);
    return fclose(f) == 0 && ok;
}

bool FXPackage::LoadNames(const char* path) {
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f) return false;
    bool ok = names.names.Load(f);
    fclose(f);
    return ok;
}

// "C:\art\tree-01.png" -> "TREE_01_PNG"
static std::string localDefineName(const char* name) {
    if (!name) return std::string();
    const char* part = name;
    for (const char* p = name; *p; p++) {
        if (*p == '/' || *p == '\\') part = p + 1;
    }
    std::string out(part);
    for (char& c : out) {
        c = (char)toupper((unsigned char)c);
        if (strchr(".\\/ +-()[]", c)) c = '_';
    }
    return out;
}

bool FXPackage::SaveNamesCpp(const char* path) {
    FILE* f = path ? fopen(path, "wb") : nullptr;
    if (!f) return false;
    bool ok = true;
    for (int i = 0; i < names.names.count; i++) {
        std::string def = localDefineName(names.names.items[i]);
        if (fprintf(f, "#define FXNAME_%s  %d\n", def.c_str(), localAddId(i, names.firstId)) < 0) ok = false;
    }
    return fclose(f) == 0 && ok;
}
