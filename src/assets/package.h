#pragma once
// The asset package: items (runs of bytes found by numeric id) in one data file,
// with the read cursor over one item and the name-to-id registry used when building.

#include "base/arrays.h"
#include "base/strings.h"

// Gives every registered name a stable item id: its index + firstId.
class FXNameServer {
  public:
    FXStrArray names;
    int firstId = 0;

    ~FXNameServer() { Destroy(); }

    // Id of `name`, registering it when new.
    int BuildId(const char* name);
    // Id of `name`, or -1 when it is not registered.
    int FindId(const char* name);
    void Destroy();
};

// Bounded cursor over one item's bytes (or a caller's buffer when writing). A read that
// does not fit in the bytes left returns a neutral value and moves nothing.
class FXPackageData {
  public:
    unsigned char* begin = nullptr;
    int size = 0;
    unsigned char* cur = nullptr;
    int left = 0;

    void InitData(void* p, int n);
    void Reseek();
    const void* ReadBlc(int n);
    const void* ReadCopyBlc(void* dst, int n);
    bool ReadBool(); // true only for the byte 1
    int ReadInt();
    void WriteInt(int v);
    float ReadFloat();
    void ReadFloat4(float* dst);
    double ReadDouble();
    // 32-bit length and the bytes; text beyond 1023 characters is skipped, a length
    // past the item's end yields an empty string and consumes the rest of the item.
    void ReadString(FXStr* s);
    // Count, then the elements. A count larger than the item could hold is cut to the
    // elements that can follow.
    void ReadStringArray(FXStrArray* a);
    void ReadArray(FXArray* a);
    void ReadFloatArray(FXFloatArray* a);
    void WriteArray(FXArray* a);

  private:
    int ReadCount();
};

// Item type codes, from the file extension; they are the image library's type ids.
enum {
    FXPCK_TYPE_RAW = -1,
    FXPCK_TYPE_JPG = 1061,
    FXPCK_TYPE_PNG = 1066,
    FXPCK_TYPE_TGA = 1069,
    FXPCK_TYPE_BMP = 1056,
    FXPCK_TYPE_GIF = 1078,
};

class FXPackage {
  public:
    FXNameServer names; // kept across Load and Destroy
    unsigned char* dataBlock = nullptr;
    int dataSize = 0;
    FXArray itemIds; // the four directory arrays are parallel
    FXArray itemOffsets;
    FXArray itemSizes;
    FXArray itemTypes;
    FXArray itemCursors; // owned FXPackageData*, one per directory entry
    FXArray pendingIds;  // authoring: files to add at the next Save
    FXStrArray pendingFiles;
    FXStrArray tmpFiles;
    FXStr basePath; // authoring: directory compiled asset file names are resolved against
    bool transposedLayout = false; // set by Load: the file uses the transposed layout
    bool damagedDirectory = false; // set by Load: entries the file declares were left out

    FXPackage() {}
    FXPackage(const FXPackage&) = delete;
    FXPackage& operator=(const FXPackage&) = delete;
    ~FXPackage() { Destroy(); }

    // Replaces the contents with the package file at `path`. A file that cannot be
    // read gives an empty package; damaged directory entries are left out and
    // `damagedDirectory` says so. Returns false when nothing could be loaded.
    bool Load(const char* path);
    // Cursor of the item `id`, rewound; null when absent. Owned by the package.
    FXPackageData* GetDataPtr(int id);
    int GetDataType(int id);
    void Destroy();
    void RecompClasses();

    void AddDataFile(int id, const char* path);
    // Registers `name` (queueing the file when new) and replaces it by its id as text.
    void AddDataFile1(FXStr* name);
    void AddTmpFile(const char* path);
    void DeleteTmpFiles();
    // File length (-1 when it cannot be opened) and type code from the extension.
    static void CheckFile(const char* path, int* size, int* type);
    // Writes the package with all queued files added; bit 0 of flags selects the
    // transposed layout. Queued files that cannot be read are left out.
    bool Save(const char* path, int flags);
    bool SaveNames(const char* path);
    bool LoadNames(const char* path);
    // Writes "#define FXNAME_<NAME>  <id>" lines for the program's sources.
    bool SaveNamesCpp(const char* path);

  private:
    int EntryCount() const;
};
