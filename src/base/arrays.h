#pragma once
// Growable arrays of pointers (or integers), owned strings and floats, and a
// growable block of fixed-size records. Slots in memory are pointer-sized; the
// stream forms keep 32-bit values.

#include "base/other.h"

#include <cstdint>
#include <cstdio>

// Untyped pointer slots; does not own what they point to.
class FXArray {
  public:
    void** items;
    int count;
    int capacity;
    int growStep;

    FXArray() : items(nullptr), count(0), capacity(0), growStep(1) {}
    explicit FXArray(int step) : items(nullptr), count(0), capacity(0), growStep(step) {}
    FXArray(const FXArray& o);
    FXArray& operator=(const FXArray& o);
    ~FXArray() { DestroyBuf(); }

    void DestroyBuf();
    int Realloc(int n);
    void Push(void* v);
    void PushVoid();
    void PushInt(int v) { Push(reinterpret_cast<void*>(static_cast<intptr_t>(v))); }
    void* Pop();
    void Insert(int pos, void* v);
    void* First() const { return count > 0 ? items[0] : nullptr; }
    void* Last() const { return count > 0 ? items[count - 1] : nullptr; }
    // The slot at i read back as an integer stored by PushInt.
    int GetInt(int i) const { return static_cast<int>(reinterpret_cast<intptr_t>(items[i])); }
    void MovePos(int pos, int dir);
    void RemovePos(int pos);
    void RemoveAll() { count = 0; }
    bool IsEmpty() const { return count <= 0; }
    int Findpos(const void* v) const;
    int Remove(const void* v);
    // Slots are written as their low 32 bits and read back sign-extended.
    bool Save(FILE* f) const;
    bool Load(FILE* f);
};

// Owned heap copies of narrow strings; an element is null for a null or empty string.
class FXStrArray {
  public:
    char** items;
    int count;
    int capacity;
    int growStep;

    FXStrArray() : items(nullptr), count(0), capacity(0), growStep(1) {}
    explicit FXStrArray(int step) : items(nullptr), count(0), capacity(0), growStep(step) {}
    FXStrArray(const FXStrArray& o);
    FXStrArray& operator=(const FXStrArray& o);
    ~FXStrArray() { DestroyBuf(); }

    void DestroyBuf();
    int Realloc(int n);
    void Push(const char* v);
    void Pop();
    void Insert(int pos, const char* v);
    char* First() const { return count > 0 ? items[0] : nullptr; }
    char* Last() const { return count > 0 ? items[count - 1] : nullptr; }
    void MovePos(int pos, int dir);
    void RemovePos(int pos);
    void RemoveAll();
    bool IsEmpty() const { return count <= 0; }
    int Findpos(const char* v) const;
    int Remove(const char* v);
    void Change(int pos, const char* s);
    bool Save(FILE* f) const;
    bool SaveShortPaths(FILE* f, const char* base) const;
    bool Load(FILE* f);
};

class FXFloatArray {
  public:
    float* items;
    int count;
    int capacity;
    int growStep;

    FXFloatArray() : items(nullptr), count(0), capacity(0), growStep(1) {}
    explicit FXFloatArray(int step) : items(nullptr), count(0), capacity(0), growStep(step) {}
    FXFloatArray(const FXFloatArray& o);
    FXFloatArray& operator=(const FXFloatArray& o);
    ~FXFloatArray() { DestroyBuf(); }

    void DestroyBuf();
    int Realloc(int n);
    void Push(float v);
    float Pop();
    void Insert(int pos, float v);
    float First() const { return count > 0 ? items[0] : 0.0f; }
    float Last() const { return count > 0 ? items[count - 1] : 0.0f; }
    void MovePos(int pos, int dir);
    void RemovePos(int pos);
    void RemoveAll() { count = 0; }
    bool IsEmpty() const { return count <= 0; }
    bool Save(FILE* f) const;
    bool Load(FILE* f);
};

// Growable block of records of itemSize bytes; the owner sets count after growing.
class FXMemory {
  public:
    unsigned char* data;
    int count;
    int capacity;
    int itemSize;

    FXMemory() : data(nullptr), count(0), capacity(0), itemSize(1) {}
    explicit FXMemory(int size) : data(nullptr), count(0), capacity(0), itemSize(size) {}
    FXMemory(const FXMemory& o);
    FXMemory& operator=(const FXMemory& o);
    ~FXMemory() { DestroyBuf(); }

    void DestroyBuf();
    // Zero-fills the new records; returns the capacity afterwards (unchanged when
    // the block cannot be allocated).
    int Realloc(int n);
    void* GetItemPtr(int i) const;
};
