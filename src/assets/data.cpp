#include "assets/data.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/package.h"
#include "base/paths.h"
#include "base/trace.h"
#include "geometry/mesh.h"

// Streams that cannot report their length (pipes) are read up to this many bytes per block.
static const long long kMaxUnsizedBlock = 1ll << 28;

static bool localFileHolds(FILE* f, long long n) {
    long long left = fxFileBytesLeft(f);
    return left < 0 ? n <= kMaxUnsizedBlock : n <= left;
}

// ---------------------------------------------------------------------------------------------
// FXNumPool

FXNumPool::FXNumPool() : FXNumPool(1) {}

FXNumPool::FXNumPool(int step)
    : data(nullptr), readPtr(nullptr), readPos(0), used(0), capacity(0), growStep(step > 0 ? step : 1) {}

FXNumPool::~FXNumPool() {
    DestroyBuf();
}

void FXNumPool::DestroyBuf() {
    free(data);
    data = readPtr = nullptr;
    readPos = used = capacity = 0;
}

int FXNumPool::Realloc(int n) {
    if (n <= capacity) return capacity;
    long long step = growStep > 0 ? growStep : 1;
    long long want = capacity + ((long long)n - capacity + step - 1) / step * step;
    if (want > INT_MAX) want = n;
    unsigned char* block = (unsigned char*)realloc(data, (size_t)want);
    if (!block) return capacity;
    memset(block + capacity, 0, (size_t)(want - capacity));
    readPtr = block + (readPtr ? readPtr - data : 0);
    data = block;
    capacity = (int)want;
    return capacity;
}

// An empty pool takes a block of exactly n bytes that the caller fills at once.
bool FXNumPool::Adopt(int n) {
    data = (unsigned char*)malloc((size_t)n);
    if (!data) return false;
    readPtr = data;
    capacity = n;
    return true;
}

bool FXNumPool::Push(const void* v, int n) {
    if (used > INT_MAX - n || Realloc(used + n) < used + n) return false;
    memcpy(data + used, v, (size_t)n);
    used += n;
    return true;
}

int FXNumPool::PushByte(unsigned char v) {
    Push(&v, 1);
    return used;
}

int FXNumPool::PushWord(unsigned short v) {
    Push(&v, 2);
    return used;
}

int FXNumPool::PushInt(int v) {
    int32_t w = v;
    Push(&w, 4);
    return used;
}

void FXNumPool::Reseek() {
    readPtr = data;
    readPos = 0;
}

bool FXNumPool::Next(void* out, int n) {
    if (!data || readPos < 0 || readPos > used - n) return false;
    memcpy(out, data + readPos, (size_t)n);
    readPos += n;
    readPtr = data + readPos;
    return true;
}

bool FXNumPool::GetNextByte(unsigned char* out) {
    return Next(out, 1);
}

bool FXNumPool::GetNextWord(unsigned short* out) {
    return Next(out, 2);
}

bool FXNumPool::GetNextInt(int* out) {
    return Next(out, 4);
}

bool FXNumPool::Save(FILE* f) {
    int32_t n = used;
    return fwrite(&n, 4, 1, f) == 1 && (used <= 0 || fwrite(data, 1, (size_t)used, f) == (size_t)used);
}

bool FXNumPool::Load(FILE* f) {
    DestroyBuf();
    int32_t n = 0;
    if (fread(&n, 4, 1, f) != 1 || n < 0 || !localFileHolds(f, n)) {
        err("FXNumPool::Load -> damaged index stream\n");
        return false;
    }
    if (n > 0 && (!Adopt(n) || fread(data, 1, (size_t)n, f) != (size_t)n)) {
        DestroyBuf();
        err("FXNumPool::Load -> index stream cut short\n");
        return false;
    }
    used = n;
    return true;
}

bool FXNumPool::LoadC(FXPackage*, FXPackageData* d) {
    DestroyBuf();
    if (!d || d->left < 4) return false;
    int n = d->ReadInt();
    if (n < 0 || n > d->left) {
        err("FXNumPool::LoadC -> index stream of %d bytes in %d\n", n, d->left);
        return false;
    }
    if (n > 0 && (!Adopt(n) || !d->ReadCopyBlc(data, n))) {
        DestroyBuf();
        return false;
    }
    used = n;
    return true;
}

// ---------------------------------------------------------------------------------------------
// FXVecIndex

static uint32_t localKeyBits(float f) {
    uint32_t b;
    if (f == 0.0f) return 0; // -0 equals +0
    memcpy(&b, &f, 4);
    return b;
}

uint32_t FXVecIndex::Tag(const float* v) const {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < dims; i++) {
        h ^= localKeyBits(v[i]);
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    return (uint32_t)(h >> 32);
}

size_t FXVecIndex::Home(uint32_t tag) {
    return tag;
}

bool FXVecIndex::Equal(const float* a, const float* b) const {
    for (int i = 0; i < dims; i++)
        if (!(a[i] == b[i])) return false;
    return true;
}

bool FXVecIndex::HasNaN(const float* v) const {
    for (int i = 0; i < dims; i++)
        if (std::isnan(v[i])) return true;
    return false;
}

void FXVecIndex::Clear() {
    slots.clear();
    slots.shrink_to_fit();
    stored = 0;
    built = false;
}

// Each slot keeps the upper half of its vector's hash: probing and growing compare and place
// vectors without reading their values.
void FXVecIndex::Grow() {
    size_t size = slots.empty() ? 64 : slots.size() * 2;
    std::vector<Slot> old;
    old.swap(slots);
    slots.assign(size, Slot{-1, 0});
    size_t mask = size - 1;
    for (const Slot& s : old) {
        if (s.k < 0) continue;
        size_t i = Home(s.tag) & mask;
        while (slots[i].k >= 0)
            i = (i + 1) & mask;
        slots[i] = s;
    }
}

void FXVecIndex::Rebuild(const float* values, int count) {
    Clear();
    size_t size = 64;
    while (size < (size_t)count * 2)
        size *= 2;
    slots.assign(size, Slot{-1, 0});
    built = true;
    for (int k = 0; k < count; k++)
        Insert(values, k);
}

void FXVecIndex::Insert(const float* values, int k) {
    const float* v = values + (size_t)k * dims;
    if (HasNaN(v)) return;
    if ((size_t)(stored + 1) * 2 > slots.size()) Grow();
    uint32_t tag = Tag(v);
    size_t mask = slots.size() - 1;
    size_t i = Home(tag) & mask;
    while (slots[i].k >= 0)
        i = (i + 1) & mask;
    slots[i] = Slot{k, tag};
    stored++;
}

void FXVecIndex::Remove(const float* values, int k) {
    const float* v = values + (size_t)k * dims;
    if (HasNaN(v) || slots.empty()) return;
    size_t mask = slots.size() - 1;
    size_t i = Home(Tag(v)) & mask;
    while (slots[i].k >= 0 && slots[i].k != k)
        i = (i + 1) & mask;
    if (slots[i].k != k) return;
    // Backward-shift deletion keeps every probe run unbroken.
    size_t j = i;
    for (;;) {
        j = (j + 1) & mask;
        if (slots[j].k < 0) break;
        size_t home = Home(slots[j].tag) & mask;
        bool between = i <= j ? (home > i && home <= j) : (home > i || home <= j);
        if (!between) {
            slots[i] = slots[j];
            i = j;
        }
    }
    slots[i] = Slot{-1, 0};
    stored--;
}

void FXVecIndex::Find(const float* values, const float* v, std::vector<int>* out) const {
    out->clear();
    if (slots.empty() || HasNaN(v)) return;
    uint32_t tag = Tag(v);
    size_t mask = slots.size() - 1;
    for (size_t i = Home(tag) & mask; slots[i].k >= 0; i = (i + 1) & mask)
        if (slots[i].tag == tag && Equal(values + (size_t)slots[i].k * dims, v)) out->push_back(slots[i].k);
    if (out->size() > 1) std::sort(out->begin(), out->end());
}

// ---------------------------------------------------------------------------------------------
// FXTripleIndex

uint64_t FXTripleIndex::Hash(int p, int n, int t) {
    uint64_t h = (uint64_t)(uint32_t)p * 0x9E3779B97F4A7C15ull;
    h ^= (uint64_t)(uint32_t)n * 0xC2B2AE3D27D4EB4Full;
    h ^= (uint64_t)(uint32_t)t * 0x165667B19E3779F9ull;
    h ^= h >> 31;
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 29);
}

void FXTripleIndex::Grow() {
    std::vector<Slot> old;
    old.swap(slots);
    slots.assign(old.empty() ? 1024 : old.size() * 2, Slot{0, 0, 0, 0, 0});
    size_t mask = slots.size() - 1;
    for (const Slot& s : old) {
        if (s.generation != generation) continue;
        size_t i = Hash(s.p, s.n, s.t) & mask;
        while (slots[i].generation == generation)
            i = (i + 1) & mask;
        slots[i] = s;
    }
}

void FXTripleIndex::Insert(int p, int n, int t, int vertex) {
    if ((size_t)(stored + 1) * 2 > slots.size()) Grow();
    size_t mask = slots.size() - 1;
    size_t i = Hash(p, n, t) & mask;
    for (; slots[i].generation == generation; i = (i + 1) & mask)
        if (slots[i].p == p && slots[i].n == n && slots[i].t == t) return;
    slots[i] = Slot{p, n, t, vertex, generation};
    stored++;
}

int FXTripleIndex::Find(int p, int n, int t) const {
    if (slots.empty()) return -1;
    size_t mask = slots.size() - 1;
    for (size_t i = Hash(p, n, t) & mask; slots[i].generation == generation; i = (i + 1) & mask)
        if (slots[i].p == p && slots[i].n == n && slots[i].t == t) return slots[i].vertex;
    return -1;
}

void FXTripleIndex::Clear() {
    if (stored == 0) return;
    stored = 0;
    // A new generation frees every slot without touching the table.
    if (++generation == 0) {
        std::fill(slots.begin(), slots.end(), Slot{0, 0, 0, 0, 0});
        generation = 1;
    }
}

void FXTripleIndex::Destroy() {
    slots.clear();
    slots.shrink_to_fit();
    stored = 0;
    generation = 1;
}

// ---------------------------------------------------------------------------------------------
// FXVectorMap

struct FXVectorMap::Kind {
    FXFloatArray* values;
    int* count;
    int dims;
    FXArray* keyA;
    FXArray* keyB;
    FXArray* firstUser;
    FXArray* moreUsers;
    FXVecIndex* index;
    std::vector<int>* touched;
    bool* touchedAll;
};

FXVectorMap::Kind FXVectorMap::KindPos() {
    return {&positions, &posCount, 3, &posKeyA, &posKeyB, &posFirstUser, &posMoreUsers, &posIndex, &touchedPos, &touchedAll[0]};
}
FXVectorMap::Kind FXVectorMap::KindNorm() {
    return {&normals,        &normCount,     3,          &normKeyA,    &normKeyB,
            &normFirstUser, &normMoreUsers, &normIndex, &touchedNorm, &touchedAll[1]};
}
FXVectorMap::Kind FXVectorMap::KindTex() {
    return {&texCoords, &texCount, 2, &texKeyA, &texKeyB, &texFirstUser, &texMoreUsers, &texIndex, &touchedTex, &touchedAll[2]};
}

FXVectorMap::FXVectorMap()
    : positions(3000000), normals(3000000), texCoords(2000000), posCount(0), normCount(0), texCount(0),
      posIndex(3), normIndex(3), texIndex(2), vertexRepeated(false), userSetsBuilt(false) {}

FXVectorMap::~FXVectorMap() {
    Destroy();
}

int FXVectorMap::FindVec(const Kind& k, const float* v, PMeshSaveClb* clb, int keyA, int keyB) {
    if (*k.count <= 0) return -1;
    if (!k.index->built) k.index->Rebuild(k.values->items, *k.count);
    std::vector<int>& hits = findHits;
    k.index->Find(k.values->items, v, &hits);
    for (int n : hits) {
        if (n >= *k.count) continue;
        if (!clb) return n;
        int otherA = n < k.keyA->count ? k.keyA->GetInt(n) : 0;
        int otherB = n < k.keyB->count ? k.keyB->GetInt(n) : 0;
        if (clb->AcceptShared(keyA, keyB, otherA, otherB)) return n;
    }
    return -1;
}

int FXVectorMap::PushVec(const Kind& k, const float* v, PMeshSaveClb* clb, int keyA, int keyB) {
    int hit = FindVec(k, v, clb, keyA, keyB);
    if (hit >= 0) return hit;
    int n = *k.count;
    // Floats beyond the vectors (a stored count not divisible by the width) are dropped first.
    k.values->count = n * k.dims;
    // The map grows by millions of floats at a time for large models; up to that step it
    // doubles, so a small model's map never reserves (and zeroes) megabytes it does not use.
    FXFloatArray* a = k.values;
    if (a->count + k.dims > a->capacity) {
        long long step = std::min<long long>(std::max(a->growStep, 1), std::max(a->capacity, 256));
        a->Realloc((int)std::min<long long>(std::max<long long>(a->capacity + step, a->count + k.dims), INT_MAX));
    }
    for (int i = 0; i < k.dims; i++)
        k.values->Push(v[i]);
    if (k.values->count != (n + 1) * k.dims) {
        k.values->count = n * k.dims;
        return -1;
    }
    k.keyA->count = std::min(k.keyA->count, n);
    k.keyB->count = std::min(k.keyB->count, n);
    while (k.keyA->count < n)
        k.keyA->PushInt(0);
    while (k.keyB->count < n)
        k.keyB->PushInt(0);
    k.keyA->PushInt(keyA);
    k.keyB->PushInt(keyB);
    *k.count = n + 1;
    if (k.index->built) k.index->Insert(k.values->items, n);
    return n;
}

int FXVectorMap::PushVecPos(tagFXVertex* v, PMeshSaveClb* clb, int keyA, int keyB) {
    return PushVec(KindPos(), v->pos, clb, keyA, keyB);
}
int FXVectorMap::PushVecNorm(tagFXVertex* v, PMeshSaveClb* clb, int keyA, int keyB) {
    return PushVec(KindNorm(), v->normal, clb, keyA, keyB);
}
int FXVectorMap::PushVecTex(tagFXVertex* v, PMeshSaveClb* clb, int keyA, int keyB) {
    return PushVec(KindTex(), v->tex, clb, keyA, keyB);
}

int FXVectorMap::FindVecPos(int keyA, int keyB, tagFXVertex* v, PMeshSaveClb* clb) {
    return FindVec(KindPos(), v->pos, clb, keyA, keyB);
}
int FXVectorMap::FindVecNorm(int keyA, int keyB, tagFXVertex* v, PMeshSaveClb* clb) {
    return FindVec(KindNorm(), v->normal, clb, keyA, keyB);
}
int FXVectorMap::FindVecTex(int keyA, int keyB, tagFXVertex* v, PMeshSaveClb* clb) {
    return FindVec(KindTex(), v->tex, clb, keyA, keyB);
}

void FXVectorMap::GetVecPos(int k, float* out) {
    if (k >= 0 && k < posCount) memcpy(out, positions.items + (size_t)k * 3, 12);
}
void FXVectorMap::GetVecNorm(int k, float* out) {
    if (k >= 0 && k < normCount) memcpy(out, normals.items + (size_t)k * 3, 12);
}
void FXVectorMap::GetVecTex(int k, float* out) {
    if (k >= 0 && k < texCount) memcpy(out, texCoords.items + (size_t)k * 2, 8);
}

void FXVectorMap::SetVec(const Kind& k, const float* v, int n) {
    if (n < 0 || n >= *k.count) return;
    if (k.index->built) k.index->Remove(k.values->items, n);
    memcpy(k.values->items + (size_t)n * k.dims, v, sizeof(float) * (size_t)k.dims);
    if (k.index->built) k.index->Insert(k.values->items, n);
}

void FXVectorMap::SetVecPos(tagFXVertex* v, int k) {
    SetVec(KindPos(), v->pos, k);
}
void FXVectorMap::SetVecNorm(tagFXVertex* v, int k) {
    SetVec(KindNorm(), v->normal, k);
}
void FXVectorMap::SetVecTex(tagFXVertex* v, int k) {
    SetVec(KindTex(), v->tex, k);
}

// ---- user tables

void FXVectorMap::SizeUserTables() {
    for (const Kind& k : {KindPos(), KindNorm(), KindTex()}) {
        int n = std::max(*k.count, 0);
        if (k.firstUser->count >= n && k.moreUsers->count >= n) continue;
        k.firstUser->Realloc(n);
        k.moreUsers->Realloc(n);
        while (k.firstUser->count < n)
            k.firstUser->PushInt(-1);
        while (k.moreUsers->count < n)
            k.moreUsers->Push(nullptr);
    }
}

// Records the vertex as a user of vector k, noting k for ClearUsed until so many are noted
// that resetting the whole table is as cheap.
static void localRecord(FXArray* first, FXArray* more, std::vector<int>* touched, bool* touchedAll, int k,
                        int vertex) {
    int f = first->GetInt(k);
    if (f == -1) {
        first->items[k] = reinterpret_cast<void*>(static_cast<intptr_t>(vertex));
        if (*touchedAll) return;
        if (touched->size() * 8 > (size_t)first->count + 64) {
            *touchedAll = true;
            touched->clear();
        } else {
            touched->push_back(k);
        }
        return;
    }
    FXArray* list = (FXArray*)more->items[k];
    if (!list) {
        list = new FXArray;
        list->PushInt(f);
        more->items[k] = list;
    }
    // Lists grow geometrically: every vertex may share one normal.
    if (list->count == list->capacity && (long long)list->capacity * 2 < INT_MAX) list->Realloc(list->capacity * 2);
    list->PushInt(vertex);
}

// Positions with more users than this answer GetUsed from the triple table.
static const int kShortUserList = 8;

static uint64_t localUserKey(int k, int vertex) {
    return ((uint64_t)(uint32_t)k << 32) | (uint32_t)vertex;
}

void FXVectorMap::PushUsed(int pos, int norm, int tex, int vertex) {
    if (pos < 0 || pos >= posCount || norm < 0 || norm >= normCount || tex < 0 || tex >= texCount) return;
    SizeUserTables();
    if (posFirstUser.count <= pos || normFirstUser.count <= norm || texFirstUser.count <= tex) return;
    localRecord(&posFirstUser, &posMoreUsers, &touchedPos, &touchedAll[0], pos, vertex);
    localRecord(&normFirstUser, &normMoreUsers, &touchedNorm, &touchedAll[1], norm, vertex);
    localRecord(&texFirstUser, &texMoreUsers, &touchedTex, &touchedAll[2], tex, vertex);
    if (vertex < 0 || vertex >= (1 << 28)) {
        vertexRepeated = true;
    } else if (!vertexRepeated) {
        if ((size_t)vertex >= vertexTriple.size())
            vertexTriple.resize(std::max<size_t>(vertex + 1, vertexTriple.size() * 2), VertexTriple{-1, -1});
        if (vertexTriple[vertex].norm != -1) vertexRepeated = true;
        vertexTriple[vertex] = VertexTriple{norm, tex};
        FXArray* list = pos < posMoreUsers.count ? (FXArray*)posMoreUsers.items[pos] : nullptr;
        if (list && list->count == kShortUserList + 1) {
            // The position's list has just grown long: index all its users, oldest first.
            for (int i = 0; i < list->count; i++) {
                int u = list->GetInt(i);
                firstByTriple.Insert(pos, vertexTriple[u].norm, vertexTriple[u].tex, u);
            }
        } else if (list && list->count > kShortUserList) {
            firstByTriple.Insert(pos, norm, tex, vertex);
        }
    }
    if (userSetsBuilt) {
        normUserSet.insert(localUserKey(norm, vertex));
        texUserSet.insert(localUserKey(tex, vertex));
    }
}

void FXVectorMap::BuildUserSets() {
    normUserSet.clear();
    texUserSet.clear();
    struct {
        FXArray* first;
        FXArray* more;
        std::unordered_set<uint64_t>* set;
    } kinds[2] = {{&normFirstUser, &normMoreUsers, &normUserSet}, {&texFirstUser, &texMoreUsers, &texUserSet}};
    for (auto& k : kinds) {
        for (int i = 0; i < k.first->count; i++) {
            int f = k.first->GetInt(i);
            if (f != -1) k.set->insert(localUserKey(i, f));
            FXArray* list = i < k.more->count ? (FXArray*)k.more->items[i] : nullptr;
            for (int j = 0; list && j < list->count; j++)
                k.set->insert(localUserKey(i, list->GetInt(j)));
        }
    }
    userSetsBuilt = true;
}

bool FXVectorMap::Recorded(FXArray* first, FXArray* more, int k, int vertex) {
    if (k < 0 || k >= first->count) return false;
    FXArray* list = k < more->count ? (FXArray*)more->items[k] : nullptr;
    if (!list) return first->GetInt(k) == vertex;
    if (!userSetsBuilt) BuildUserSets();
    return (first == &normFirstUser ? normUserSet : texUserSet).count(localUserKey(k, vertex)) > 0;
}

int FXVectorMap::GetUsed1(int vertex, int norm, int tex) {
    if (!Recorded(&normFirstUser, &normMoreUsers, norm, vertex)) return -1;
    if (!Recorded(&texFirstUser, &texMoreUsers, tex, vertex)) return -1;
    return vertex;
}

int FXVectorMap::GetUsed(int pos, int norm, int tex) {
    if (pos < 0 || pos >= posFirstUser.count) return -1;
    if (!vertexRepeated) {
        // Every vertex was recorded under one triple: a vertex uses all three vectors exactly
        // when it was recorded under this triple, and the first such is the answer.
        int first = posFirstUser.GetInt(pos);
        if (first == -1) return -1;
        FXArray* list = pos < posMoreUsers.count ? (FXArray*)posMoreUsers.items[pos] : nullptr;
        if (!list) return vertexTriple[first].norm == norm && vertexTriple[first].tex == tex ? first : -1;
        if (list->count > kShortUserList) return firstByTriple.Find(pos, norm, tex);
        for (int i = 0; i < list->count; i++) {
            int u = list->GetInt(i);
            if (vertexTriple[u].norm == norm && vertexTriple[u].tex == tex) return u;
        }
        return -1;
    }
    FXArray* list = pos < posMoreUsers.count ? (FXArray*)posMoreUsers.items[pos] : nullptr;
    if (!list) {
        int c = posFirstUser.GetInt(pos);
        return c == -1 ? -1 : GetUsed1(c, norm, tex);
    }
    for (int i = 0; i < list->count; i++) {
        int r = GetUsed1(list->GetInt(i), norm, tex);
        if (r != -1) return r;
    }
    return -1;
}

void FXVectorMap::ClearUsed() {
    for (const Kind& k : {KindPos(), KindNorm(), KindTex()}) {
        auto reset = [&](int i) {
            if (i >= k.firstUser->count) return;
            k.firstUser->items[i] = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
            if (i < k.moreUsers->count) {
                delete (FXArray*)k.moreUsers->items[i];
                k.moreUsers->items[i] = nullptr;
            }
        };
        if (*k.touchedAll) {
            for (int i = 0; i < k.firstUser->count; i++)
                reset(i);
        } else {
            for (int i : *k.touched)
                reset(i);
        }
        k.touched->clear();
        *k.touchedAll = false;
    }
    firstByTriple.Clear();
    vertexTriple.clear();
    vertexRepeated = false;
    normUserSet.clear();
    texUserSet.clear();
    userSetsBuilt = false;
}

// ---- difference transform

void FXVectorMap::Mangle(const Kind& k, bool encode) {
    int n = *k.count, d = k.dims;
    if (n <= 0) return;
    float* f = k.values->items;
    long long m = (long long)n * d;
    if (encode) {
        for (int i = 0; i + 1 < n; i++)
            for (int c = 0; c < d; c++)
                f[(size_t)i * d + c] = f[(size_t)i * d + c] - f[(size_t)(i + 1) * d + c];
        for (long long j = 0; j + 1 < m; j++)
            f[j] = f[j] - f[j + 1];
    } else {
        for (long long j = m - 2; j >= 0; j--)
            f[j] = f[j] + f[j + 1];
        for (int i = n - 2; i >= 0; i--)
            for (int c = 0; c < d; c++)
                f[(size_t)i * d + c] = f[(size_t)i * d + c] + f[(size_t)(i + 1) * d + c];
    }
    k.index->Clear();
}

void FXVectorMap::ManglePos(bool encode) {
    Mangle(KindPos(), encode);
}
void FXVectorMap::MangleNorm(bool encode) {
    Mangle(KindNorm(), encode);
}
void FXVectorMap::MangleTex(bool encode) {
    Mangle(KindTex(), encode);
}

// ---- stream forms

bool FXVectorMap::Save(FILE* f) {
    for (const Kind& k : {KindPos(), KindNorm(), KindTex()}) {
        int32_t n = *k.count * k.dims;
        if (fwrite(&n, 4, 1, f) != 1) return false;
        if (n > 0 && fwrite(k.values->items, 4, (size_t)n, f) != (size_t)n) return false;
    }
    return true;
}

// Reads one kind: the float count and the floats; false when they cannot be there.
template <class ReadCount, class ReadFloats>
static bool localLoadKind(FXFloatArray* a, int* count, int dims, ReadCount readCount, ReadFloats readFloats) {
    int32_t n = 0;
    if (!readCount(&n) || n < 0) return false;
    if (a->Realloc(n) < n) return false;
    if (n > 0 && !readFloats(a->items, n)) return false;
    a->count = n;
    *count = n / dims;
    return true;
}

bool FXVectorMap::Load(FILE* f) {
    Destroy();
    for (const Kind& k : {KindPos(), KindNorm(), KindTex()}) {
        bool ok = localLoadKind(
            k.values, k.count, k.dims, [&](int32_t* n) { return fread(n, 4, 1, f) == 1 && *n >= 0 && localFileHolds(f, 4ll * *n); },
            [&](float* p, int n) { return fread(p, 4, (size_t)n, f) == (size_t)n; });
        if (!ok) {
            err("FXVectorMap::Load -> damaged vector map\n");
            Destroy();
            return false;
        }
    }
    SizeUserTables();
    return true;
}

bool FXVectorMap::LoadC(FXPackage*, FXPackageData* d) {
    Destroy();
    if (!d) return false;
    for (const Kind& k : {KindPos(), KindNorm(), KindTex()}) {
        bool ok = localLoadKind(
            k.values, k.count, k.dims,
            [&](int32_t* n) {
                if (d->left < 4) return false;
                *n = d->ReadInt();
                return *n >= 0 && (long long)*n * 4 <= d->left;
            },
            [&](float* p, int n) { return d->ReadCopyBlc(p, n * 4) != nullptr; });
        if (!ok) {
            err("FXVectorMap::LoadC -> damaged vector map\n");
            Destroy();
            return false;
        }
    }
    SizeUserTables();
    return true;
}

void FXVectorMap::Destroy() {
    ClearUsed();
    firstByTriple.Destroy();
    vertexTriple.shrink_to_fit();
    for (const Kind& k : {KindPos(), KindNorm(), KindTex()}) {
        for (int i = 0; i < k.moreUsers->count; i++)
            delete (FXArray*)k.moreUsers->items[i];
        k.values->DestroyBuf();
        k.keyA->DestroyBuf();
        k.keyB->DestroyBuf();
        k.firstUser->DestroyBuf();
        k.moreUsers->DestroyBuf();
        k.index->Clear();
        *k.count = 0;
    }
}
