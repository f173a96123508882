#include "base/arrays.h"

#include "base/paths.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// Grows a block of slots to n, keeping the first min(count, capacity) and zeroing the rest.
template <typename T> int localGrow(T*& items, int count, int& capacity, int n) {
    if (n <= capacity) return capacity;
    if (static_cast<size_t>(n) > SIZE_MAX / sizeof(T)) return capacity;
    // realloc often grows in place, which keeps step-1 pushing from copying every time.
    T* block = static_cast<T*>(realloc(items, static_cast<size_t>(n) * sizeof(T)));
    if (!block) return capacity;
    int k = count < capacity ? count : capacity;
    if (k < 0) k = 0;
    memset(block + k, 0, static_cast<size_t>(n - k) * sizeof(T));
    items = block;
    capacity = n;
    return capacity;
}

// Room for one more element; false when the block cannot grow.
template <typename T> bool localRoomForPush(T*& items, int count, int& capacity, int step) {
    if (count < capacity) return true;
    long long want = static_cast<long long>(capacity) + (step > 0 ? step : 1);
    if (want > INT_MAX) return false;
    localGrow(items, count, capacity, static_cast<int>(want));
    return count < capacity;
}

template <typename T> bool localInsertSlot(T*& items, int& count, int& capacity, int pos) {
    if (count >= capacity) {
        if (count == INT_MAX) return false;
        localGrow(items, count, capacity, count + 1);
        if (count >= capacity) return false;
    }
    memmove(items + pos + 1, items + pos, static_cast<size_t>(count - pos) * sizeof(T));
    count++;
    return true;
}

template <typename T> void localMovePos(T* items, int count, int pos, int dir) {
    int other;
    if (dir > 0 && pos >= 0 && pos < count - 1)
        other = pos + 1;
    else if (dir < 0 && pos > 0 && pos < count)
        other = pos - 1;
    else
        return;
    T t = items[pos];
    items[pos] = items[other];
    items[other] = t;
}

template <typename T> void localRemoveSlot(T* items, int& count, int pos) {
    memmove(items + pos, items + pos + 1, static_cast<size_t>(count - pos - 1) * sizeof(T));
    count--;
}

bool localWriteInt(FILE* f, int32_t v) {
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return fwrite(b, 1, 4, f) == 4;
}

bool localReadInt(FILE* f, int32_t& v) {
    unsigned char b[4];
    if (fread(b, 1, 4, f) != 4) return false;
    v = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                             (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
    return true;
}

// Writes the count (0 without a block) and then each element with put(i).
template <typename Put> bool localSaveSlots(FILE* f, bool hasBlock, int count, Put put) {
    if (!f) return false;
    int n = (hasBlock && count > 0) ? count : 0;
    bool ok = localWriteInt(f, n);
    for (int i = 0; i < n && ok; i++)
        ok = put(i);
    return ok;
}

// Reads the count and then each element into the next slot with get(slot), which
// leaves the slot alone when it fails. Stored counts are not trusted: the block grows
// with what was really read, in batches, so a hostile count cannot make us allocate
// more than the data holds. False on a short read; count then says how far it got.
template <typename T, typename Get>
bool localLoadSlots(FILE* f, T*& items, int& count, int& capacity, Get get) {
    const int kLoadBatch = 16384;
    int32_t n;
    if (!f || !localReadInt(f, n)) return false;
    while (count < n) {
        int batch = n - count < kLoadBatch ? n - count : kLoadBatch;
        localGrow(items, count, capacity, count + batch);
        if (capacity < count + batch) return false;
        for (int i = 0; i < batch; i++) {
            if (!get(items[count])) return false;
            count++;
        }
    }
    return true;
}

// Makes the first n slots a copy of `from`; empty when the block cannot grow.
template <typename T> void localCopySlots(T*& items, int& count, int& capacity, const T* from, int n) {
    count = 0;
    if (n <= 0) return;
    localGrow(items, count, capacity, n);
    if (capacity < n) return;
    memcpy(items, from, static_cast<size_t>(n) * sizeof(T));
    count = n;
}

// The stream form of one string: its length, then its bytes (0 for null or empty).
bool localWriteText(FILE* f, const char* s) {
    size_t len = s ? strlen(s) : 0;
    return localWriteInt(f, static_cast<int32_t>(len)) && (len == 0 || fwrite(s, 1, len, f) == len);
}

// Reads a string of n bytes into a new zero-terminated heap block; null on a short read.
char* localReadText(FILE* f, int32_t n) {
    size_t have = 0, cap = 0;
    char* block = nullptr;
    while (have < static_cast<size_t>(n)) {
        size_t chunk = static_cast<size_t>(n) - have;
        if (chunk > (1u << 20)) chunk = 1u << 20;
        if (have + chunk + 1 > cap) {
            cap = have + chunk + 1;
            char* grown = static_cast<char*>(realloc(block, cap));
            if (!grown) {
                free(block);
                return nullptr;
            }
            block = grown;
        }
        if (fread(block + have, 1, chunk, f) != chunk) {
            free(block);
            return nullptr;
        }
        have += chunk;
    }
    block[have] = 0;
    return block;
}

char* localDup(const char* s) {
    size_t n = strlen(s);
    char* p = static_cast<char*>(malloc(n + 1));
    if (p) memcpy(p, s, n + 1);
    return p;
}

} // namespace

// ---- FXArray -----------------------------------------------------------

FXArray::FXArray(const FXArray& o) : items(nullptr), count(0), capacity(0), growStep(o.growStep) {
    *this = o;
}

FXArray& FXArray::operator=(const FXArray& o) {
    if (this == &o) return *this;
    growStep = o.growStep;
    localCopySlots(items, count, capacity, o.items, o.count);
    return *this;
}

void FXArray::DestroyBuf() {
    free(items);
    items = nullptr;
    count = 0;
    capacity = 0;
}

int FXArray::Realloc(int n) {
    return localGrow(items, count, capacity, n);
}

void FXArray::Push(void* v) {
    if (!localRoomForPush(items, count, capacity, growStep)) return;
    items[count++] = v;
}

void FXArray::PushVoid() {
    if (!localRoomForPush(items, count, capacity, growStep)) return;
    count++;
}

void* FXArray::Pop() {
    if (count <= 0) return nullptr;
    return items[--count];
}

void FXArray::Insert(int pos, void* v) {
    if (pos < 0 || pos > count) {
        Push(v);
        return;
    }
    if (localInsertSlot(items, count, capacity, pos)) items[pos] = v;
}

void FXArray::MovePos(int pos, int dir) {
    localMovePos(items, count, pos, dir);
}

void FXArray::RemovePos(int pos) {
    if (pos >= 0 && pos < count) localRemoveSlot(items, count, pos);
}

int FXArray::Findpos(const void* v) const {
    for (int i = 0; i < count; i++)
        if (items[i] == v) return i;
    return -1;
}

int FXArray::Remove(const void* v) {
    int pos = Findpos(v);
    if (pos >= 0) RemovePos(pos);
    return pos;
}

bool FXArray::Save(FILE* f) const {
    return localSaveSlots(f, items != nullptr, count, [&](int i) {
        return localWriteInt(f, static_cast<int32_t>(reinterpret_cast<intptr_t>(items[i])));
    });
}

bool FXArray::Load(FILE* f) {
    count = 0;
    bool ok = localLoadSlots(f, items, count, capacity, [&](void*& slot) {
        int32_t v;
        if (!localReadInt(f, v)) return false;
        slot = reinterpret_cast<void*>(static_cast<intptr_t>(v));
        return true;
    });
    if (!ok) count = 0;
    return ok;
}

// ---- FXStrArray --------------------------------------------------------

FXStrArray::FXStrArray(const FXStrArray& o) : items(nullptr), count(0), capacity(0), growStep(o.growStep) {
    *this = o;
}

FXStrArray& FXStrArray::operator=(const FXStrArray& o) {
    if (this == &o) return *this;
    RemoveAll();
    growStep = o.growStep;
    if (o.count > 0) Realloc(o.count);
    for (int i = 0; i < o.count && count < capacity; i++)
        items[count++] = o.items[i] ? localDup(o.items[i]) : nullptr;
    return *this;
}

void FXStrArray::DestroyBuf() {
    RemoveAll();
    free(items);
    items = nullptr;
    count = 0;
    capacity = 0;
}

int FXStrArray::Realloc(int n) {
    return localGrow(items, count, capacity, n);
}

void FXStrArray::Push(const char* v) {
    if (!localRoomForPush(items, count, capacity, growStep)) return;
    items[count++] = (v && *v) ? localDup(v) : nullptr;
}

void FXStrArray::Pop() {
    if (count <= 0) return;
    count--;
    free(items[count]);
    items[count] = nullptr;
}

void FXStrArray::Insert(int pos, const char* v) {
    if (pos < 0 || pos > count) {
        Push(v);
        return;
    }
    if (localInsertSlot(items, count, capacity, pos)) items[pos] = (v && *v) ? localDup(v) : nullptr;
}

void FXStrArray::MovePos(int pos, int dir) {
    localMovePos(items, count, pos, dir);
}

void FXStrArray::RemovePos(int pos) {
    if (pos < 0 || pos >= count) return;
    free(items[pos]);
    localRemoveSlot(items, count, pos);
    items[count] = nullptr;
}

void FXStrArray::RemoveAll() {
    for (int i = 0; i < count; i++) {
        free(items[i]);
        items[i] = nullptr;
    }
    count = 0;
}

int FXStrArray::Findpos(const char* v) const {
    bool vEmpty = !v || !*v;
    for (int i = 0; i < count; i++) {
        const char* e = items[i];
        if (e == v) return i;
        bool eEmpty = !e || !*e;
        if (eEmpty && vEmpty) return i;
        if (!eEmpty && !vEmpty && strcmp(e, v) == 0) return i;
    }
    return -1;
}

int FXStrArray::Remove(const char* v) {
    int pos = Findpos(v);
    if (pos >= 0) RemovePos(pos);
    return pos;
}

void FXStrArray::Change(int pos, const char* s) {
    if (pos < 0 || pos >= count) return;
    char* copy = localDup(s ? s : "");
    free(items[pos]);
    items[pos] = copy;
}

bool FXStrArray::Save(FILE* f) const {
    return localSaveSlots(f, items != nullptr, count, [&](int i) { return localWriteText(f, items[i]); });
}

bool FXStrArray::SaveShortPaths(FILE* f, const char* base) const {
    return localSaveSlots(f, items != nullptr, count, [&](int i) {
        const char* e = items[i];
        return localWriteText(f, (e && *e) ? fxBuildRelativePath(base, false, e, true) : nullptr);
    });
}

bool FXStrArray::Load(FILE* f) {
    RemoveAll();
    bool ok = localLoadSlots(f, items, count, capacity, [&](char*& slot) {
        int32_t len;
        if (!localReadInt(f, len) || len < 0) return false;
        char* s = nullptr;
        if (len > 0 && !(s = localReadText(f, len))) return false;
        slot = s;
        return true;
    });
    if (!ok) RemoveAll();
    return ok;
}

// ---- FXFloatArray ------------------------------------------------------

FXFloatArray::FXFloatArray(const FXFloatArray& o)
    : items(nullptr), count(0), capacity(0), growStep(o.growStep) {
    *this = o;
}

FXFloatArray& FXFloatArray::operator=(const FXFloatArray& o) {
    if (this == &o) return *this;
    growStep = o.growStep;
    localCopySlots(items, count, capacity, o.items, o.count);
    return *this;
}

void FXFloatArray::DestroyBuf() {
    free(items);
    items = nullptr;
    count = 0;
    capacity = 0;
}

int FXFloatArray::Realloc(int n) {
    return localGrow(items, count, capacity, n);
}

void FXFloatArray::Push(float v) {
    if (!localRoomForPush(items, count, capacity, growStep)) return;
    items[count++] = v;
}

float FXFloatArray::Pop() {
    if (count <= 0) return 0.0f;
    return items[--count];
}

void FXFloatArray::Insert(int pos, float v) {
    if (pos < 0 || pos > count) {
        Push(v);
        return;
    }
    if (localInsertSlot(items, count, capacity, pos)) items[pos] = v;
}

void FXFloatArray::MovePos(int pos, int dir) {
    localMovePos(items, count, pos, dir);
}

void FXFloatArray::RemovePos(int pos) {
    if (pos >= 0 && pos < count) localRemoveSlot(items, count, pos);
}

bool FXFloatArray::Save(FILE* f) const {
    return localSaveSlots(f, items != nullptr, count, [&](int i) {
        uint32_t bits;
        memcpy(&bits, &items[i], 4);
        return localWriteInt(f, static_cast<int32_t>(bits));
    });
}

bool FXFloatArray::Load(FILE* f) {
    count = 0;
    bool ok = localLoadSlots(f, items, count, capacity, [&](float& slot) {
        int32_t v;
        if (!localReadInt(f, v)) return false;
        memcpy(&slot, &v, 4);
        return true;
    });
    if (!ok) count = 0;
    return ok;
}

// ---- FXMemory ----------------------------------------------------------

FXMemory::FXMemory(const FXMemory& o) : data(nullptr), count(0), capacity(0), itemSize(o.itemSize) {
    *this = o;
}

FXMemory& FXMemory::operator=(const FXMemory& o) {
    if (this == &o) return *this;
    DestroyBuf();
    itemSize = o.itemSize;
    if (o.data && o.capacity > 0) {
        Realloc(o.capacity);
        if (capacity == o.capacity) {
            memcpy(data, o.data, static_cast<size_t>(o.capacity) * itemSize);
            count = o.count;
        }
    }
    return *this;
}

void FXMemory::DestroyBuf() {
    free(data);
    data = nullptr;
    count = 0;
    capacity = 0;
}

int FXMemory::Realloc(int n) {
    if (n <= capacity || itemSize <= 0) return capacity;
    size_t size = static_cast<size_t>(itemSize);
    if (static_cast<size_t>(n) > SIZE_MAX / size) return capacity;
    unsigned char* block = static_cast<unsigned char*>(realloc(data, static_cast<size_t>(n) * size));
    if (!block) return capacity;
    int k = count < capacity ? count : capacity;
    if (k < 0) k = 0;
    memset(block + k * size, 0, (static_cast<size_t>(n) - k) * size);
    data = block;
    capacity = n;
    return capacity;
}

void* FXMemory::GetItemPtr(int i) const {
    if (!data || i < 0 || i >= count || i >= capacity) return nullptr;
    return data + static_cast<size_t>(i) * itemSize;
}
