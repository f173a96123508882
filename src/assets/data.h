#ifndef MH_ASSETS_DATA_H
#define MH_ASSETS_DATA_H
// The shared vector pool of a model file and the byte stream of per-mesh indices into it.

#include <cstdint>
#include <cstdio>
#include <unordered_set>
#include <vector>

#include "base/arrays.h"

class FXPackage;
class FXPackageData;
struct tagFXVertex;

// A growable byte buffer: bytes, 16-bit words and 32-bit integers appended little-endian
// without alignment and read back in the same order.
class FXNumPool {
  public:
    FXNumPool();
    explicit FXNumPool(int step);
    ~FXNumPool();

    // Each returns the new length (unchanged when the buffer cannot grow).
    int PushByte(unsigned char v);
    int PushWord(unsigned short v);
    int PushInt(int v);
    void Reseek();
    // False, with nothing consumed, when fewer bytes than the value's size are left.
    bool GetNextByte(unsigned char* out);
    bool GetNextWord(unsigned short* out);
    bool GetNextInt(int* out);
    // Grows the capacity by whole grow steps to at least n bytes; returns the capacity.
    int Realloc(int n);
    void DestroyBuf();
    bool Save(FILE* f);
    // Replace the contents; the read position is not reset. False for a negative length or
    // one the input cannot hold (the pool is then empty).
    bool Load(FILE* f);
    bool LoadC(FXPackage* pkg, FXPackageData* d);

    unsigned char* data;
    unsigned char* readPtr;
    int readPos;
    int used;
    int capacity;
    int growStep;

    FXNumPool(const FXNumPool&) = delete;
    FXNumPool& operator=(const FXNumPool&) = delete;

  private:
    bool Adopt(int n);
    bool Push(const void* v, int n);
    bool Next(void* out, int n);
};

// Asked whether a new vector carrying (keyA, keyB) may reuse an equal stored one.
class PMeshSaveClb {
  public:
    virtual ~PMeshSaveClb() {}
    virtual bool AcceptShared(int keyA, int keyB, int otherKeyA, int otherKeyB) = 0;
};

// Finds the stored vectors of one kind by value without scanning them: an open-addressing
// table of vector numbers hashed on the values (-0 and +0 hash alike; vectors holding a NaN
// equal nothing and are left out).
class FXVecIndex {
  public:
    explicit FXVecIndex(int dims) : dims(dims) {}
    void Clear();
    void Rebuild(const float* values, int count);
    void Insert(const float* values, int k);
    void Remove(const float* values, int k);
    // The numbers of the stored vectors equal to v, in increasing order.
    void Find(const float* values, const float* v, std::vector<int>* out) const;
    bool built = false;

  private:
    struct Slot {
        int32_t k; // vector number, -1 for free
        uint32_t tag;
    };
    uint32_t Tag(const float* v) const;
    static size_t Home(uint32_t tag);
    bool Equal(const float* a, const float* b) const;
    bool HasNaN(const float* v) const;
    void Grow();

    int dims;
    int stored = 0;
    std::vector<Slot> slots; // size a power of two
};

// The first vertex recorded under each (position, normal, texture) triple: an open-addressing
// table whose entries all expire at once when a new generation starts.
class FXTripleIndex {
  public:
    // Keeps the vertex already recorded under the triple, if any.
    void Insert(int p, int n, int t, int vertex);
    // The vertex recorded under the triple, or -1.
    int Find(int p, int n, int t) const;
    void Clear();
    void Destroy();

  private:
    struct Slot {
        int32_t p, n, t, vertex;
        uint32_t generation; // the slot is free unless it equals `generation`
    };
    static uint64_t Hash(int p, int n, int t);
    void Grow();

    std::vector<Slot> slots; // size a power of two
    uint32_t generation = 1;
    int stored = 0;
};

// Distinct positions, normals and texture coordinates shared by the meshes of a model,
// with the bookkeeping that rebuilds one vertex per distinct triple. Change stored vectors
// only through these operations: the look-up indexes follow them.
class FXVectorMap {
  public:
    FXVectorMap();
    ~FXVectorMap();

    // The number of an equal stored vector that may be shared, else of a new one.
    int PushVecPos(tagFXVertex* v, PMeshSaveClb* clb, int keyA, int keyB);
    int PushVecNorm(tagFXVertex* v, PMeshSaveClb* clb, int keyA, int keyB);
    int PushVecTex(tagFXVertex* v, PMeshSaveClb* clb, int keyA, int keyB);
    // The first stored vector (by number) equal to the vertex's that the callback accepts
    // (any, without callback); -1 when none.
    int FindVecPos(int keyA, int keyB, tagFXVertex* v, PMeshSaveClb* clb);
    int FindVecNorm(int keyA, int keyB, tagFXVertex* v, PMeshSaveClb* clb);
    int FindVecTex(int keyA, int keyB, tagFXVertex* v, PMeshSaveClb* clb);
    // Out-of-range numbers leave `out` untouched (Get) or change nothing (Set).
    void GetVecPos(int k, float* out);
    void GetVecNorm(int k, float* out);
    void GetVecTex(int k, float* out);
    void SetVecPos(tagFXVertex* v, int k);
    void SetVecNorm(tagFXVertex* v, int k);
    void SetVecTex(tagFXVertex* v, int k);

    void PushUsed(int pos, int norm, int tex, int vertex);
    int GetUsed(int pos, int norm, int tex);
    int GetUsed1(int vertex, int norm, int tex);
    void ClearUsed();

    void ManglePos(bool encode);
    void MangleNorm(bool encode);
    void MangleTex(bool encode);

    bool Save(FILE* f);
    // False for a damaged or truncated map (the map is then empty).
    bool Load(FILE* f);
    bool LoadC(FXPackage* pkg, FXPackageData* d);
    void Destroy();

    FXArray posKeyA, posKeyB;
    FXArray normKeyA, normKeyB;
    FXArray texKeyA, texKeyB;
    FXFloatArray positions;
    FXFloatArray normals;
    FXFloatArray texCoords;
    FXArray posFirstUser, normFirstUser, texFirstUser;
    FXArray posMoreUsers, normMoreUsers, texMoreUsers; // owned FXArray*, or null
    int posCount;
    int normCount;
    int texCount;

    FXVectorMap(const FXVectorMap&) = delete;
    FXVectorMap& operator=(const FXVectorMap&) = delete;

  private:
    struct Kind;
    Kind KindPos();
    Kind KindNorm();
    Kind KindTex();
    int PushVec(const Kind& k, const float* v, PMeshSaveClb* clb, int keyA, int keyB);
    int FindVec(const Kind& k, const float* v, PMeshSaveClb* clb, int keyA, int keyB);
    void SetVec(const Kind& k, const float* v, int n);
    void Mangle(const Kind& k, bool encode);
    void SizeUserTables();
    bool Recorded(FXArray* first, FXArray* more, int k, int vertex);
    void BuildUserSets();

    FXVecIndex posIndex, normIndex, texIndex;
    std::vector<int> findHits; // FindVec's scratch list, kept to spare an allocation per call
    // Reading. While no vertex has been recorded twice (the usual case) GetUsed compares the
    // triples recorded for the users of the position, in recording order: they are few and
    // near in memory to the last ones read. A position with many users answers from a table
    // of the first vertex under each triple instead. Otherwise the user lists are consulted,
    // with membership sets standing in for scans of the normal and texture lists.
    struct VertexTriple {
        int32_t norm, tex; // norm -1: not recorded
    };
    FXTripleIndex firstByTriple;
    std::vector<VertexTriple> vertexTriple;
    bool vertexRepeated;
    bool userSetsBuilt;
    std::unordered_set<uint64_t> normUserSet, texUserSet;
    std::vector<int> touchedPos, touchedNorm, touchedTex;
    bool touchedAll[3] = {false, false, false};
};

#endif
