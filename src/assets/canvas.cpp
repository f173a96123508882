#include "assets/canvas.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

#include "assets/font.h"
#include "assets/package.h"
#include "base/trace.h"
#include "render/other.h"

// ---------------------------------------------------------------------------------------------
// Colours

void fxColSetBlackT(float* c) {
    c[0] = c[1] = c[2] = c[3] = 0.0f;
}

void fxColSetBlack(float* c) {
    c[0] = c[1] = c[2] = 0.0f;
    c[3] = 1.0f;
}

void fxColSetWhite(float* c) {
    c[0] = c[1] = c[2] = c[3] = 1.0f;
}

// Component to byte, truncated; values outside 0..1 (and NaN) are held to the range.
static unsigned localChannel(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return (unsigned)(int)(v * 255.0f);
}

unsigned fxColToInt1(const float* c) {
    return (localChannel(c[3]) << 24) | (localChannel(c[2]) << 16) | (localChannel(c[1]) << 8) |
           localChannel(c[0]);
}

void fxColFromInt1(float* c, unsigned v) {
    c[0] = (float)(v & 255) / 255.0f;
    c[1] = (float)((v >> 8) & 255) / 255.0f;
    c[2] = (float)((v >> 16) & 255) / 255.0f;
    c[3] = (float)(v >> 24) / 255.0f;
}

unsigned fxColToInt(const float* c) {
    return (localChannel(c[3]) << 24) | (localChannel(c[0]) << 16) | (localChannel(c[1]) << 8) |
           localChannel(c[2]);
}

void fxColFromInt(float* c, unsigned v) {
    c[2] = (float)(v & 255) / 255.0f;
    c[1] = (float)((v >> 8) & 255) / 255.0f;
    c[0] = (float)((v >> 16) & 255) / 255.0f;
    c[3] = (float)(v >> 24) / 255.0f;
}

void fxColCutRange(float* c) {
    for (int i = 0; i < 4; i++) {
        if (c[i] < 0.0f)
            c[i] = 0.0f;
        else if (c[i] > 1.0f)
            c[i] = 1.0f;
    }
}

bool fxColIsZero(const float* c) {
    return c[0] == 0.0f && c[1] == 0.0f && c[2] == 0.0f && c[3] == 0.0f;
}

// ---------------------------------------------------------------------------------------------
// The image library binding

namespace {
typedef unsigned int ILenum;
typedef unsigned int ILuint;
typedef int ILint;
typedef unsigned char ILboolean;
typedef unsigned char ILubyte;

const ILenum IL_IMAGE_WIDTH = 0x0DE4;
const ILenum IL_IMAGE_HEIGHT = 0x0DE5;
const ILenum IL_IMAGE_DEPTH = 0x0DE6;
const ILenum IL_IMAGE_SIZE_OF_DATA = 0x0DE7;
const ILenum IL_IMAGE_BPP = 0x0DE8;
const ILenum IL_IMAGE_FORMAT = 0x0DEA;
const ILenum IL_IMAGE_TYPE = 0x0DEB;
const ILenum IL_PALETTE_TYPE = 0x0DEC;
const ILenum IL_PALETTE_BPP = 0x0DEE;
const ILenum IL_PALETTE_NUM_COLS = 0x0DEF;
const ILenum IL_PAL_NONE = 0x0400;
const ILenum IL_COLOUR_INDEX = 0x1900;
const ILenum IL_ALPHA = 0x1906;
const ILenum IL_RGB = 0x1907;
const ILenum IL_RGBA = 0x1908;
const ILenum IL_BGR = 0x80E0;
const ILenum IL_BGRA = 0x80E1;
const ILenum IL_LUMINANCE = 0x1909;
const ILenum IL_LUMINANCE_ALPHA = 0x190A;
const ILenum IL_BYTE = 0x1400;
const ILenum IL_UNSIGNED_BYTE = 0x1401;
const ILenum IL_SHORT = 0x1402;
const ILenum IL_UNSIGNED_SHORT = 0x1403;
const ILenum IL_INT = 0x1404;
const ILenum IL_UNSIGNED_INT = 0x1405;
const ILenum IL_FLOAT = 0x1406;
const ILenum IL_DOUBLE = 0x140A;
const ILenum IL_HALF = 0x140B;
const ILenum IL_FILE_OVERWRITE = 0x0620;
const ILenum IL_JPG_QUALITY = 0x0711;
const ILenum IL_ORIGIN_SET = 0x0600;
const ILenum IL_ORIGIN_UPPER_LEFT = 0x0602;
const ILenum IL_ORIGIN_MODE = 0x0603;
const ILenum IL_BMP = 0x0420;
const ILenum IL_JPG = 0x0425;
const ILenum IL_PNG = 0x042A;
const ILenum IL_TGA = 0x042D;
const ILenum IL_GIF = 0x0436;

// The image library's file names as the platform's loader knows them.
#ifdef _WIN32
const char* const localDefaultIL = "DevIL.dll";
const char* const localDefaultILU = "ILU.dll";
#else
const char* const localDefaultIL = "libIL.so.1";
const char* const localDefaultILU = "libILU.so.1";
#endif
std::string ilName = localDefaultIL;
std::string iluName = localDefaultILU;
} // namespace

// The image library's calling convention: __stdcall on Windows (it only matters on 32-bit).
#ifdef _WIN32
#define ILAPIENTRY __stdcall
#else
#define ILAPIENTRY
#endif

// The image library keeps one current image and its settings for the whole process: every
// call into it holds this lock (pictures decode on a worker while frames are written).
static std::recursive_mutex localDevilLock;

static void* ilDLL = nullptr;
static void* iluDLL = nullptr;

static void (ILAPIENTRY* pilInit)();
static void (ILAPIENTRY* pilShutDown)();
static ILboolean (ILAPIENTRY* pilEnable)(ILenum);
static ILboolean (ILAPIENTRY* pilDisable)(ILenum);
static void (ILAPIENTRY* pilSetInteger)(ILenum, ILint);
static void (ILAPIENTRY* pilGenImages)(ILint, ILuint*);
static void (ILAPIENTRY* pilDeleteImages)(ILint, const ILuint*);
static void (ILAPIENTRY* pilBindImage)(ILuint);
static ILint (ILAPIENTRY* pilGetInteger)(ILenum);
static ILboolean (ILAPIENTRY* pilLoadImage)(const char*);
static ILboolean (ILAPIENTRY* pilLoadL)(ILenum, const void*, ILuint);
static ILboolean (ILAPIENTRY* pilSaveImage)(const char*);
static ILuint (ILAPIENTRY* pilCloneCurImage)();
static ILboolean (ILAPIENTRY* pilConvertImage)(ILenum, ILenum);
static ILuint (ILAPIENTRY* pilCopyPixels)(ILuint, ILuint, ILuint, ILuint, ILuint, ILuint, ILenum, ILenum, void*);
static ILboolean (ILAPIENTRY* pilSetPixels)(ILint, ILint, ILint, ILuint, ILuint, ILuint, ILenum, ILenum, void*);
static ILubyte* (ILAPIENTRY* pilGetData)();
static ILboolean (ILAPIENTRY* piluScale)(ILuint, ILuint, ILuint);
static void (ILAPIENTRY* piluImageParameter)(ILenum, ILenum);
static ILboolean (ILAPIENTRY* pilTexImage)(ILuint, ILuint, ILuint, ILubyte, ILenum, ILenum, void*);

template <typename F> static bool localResolve(void* module, const char* name, F& fn) {
    fn = reinterpret_cast<F>(fxGetProc(module, name));
    return fn != nullptr;
}

static void localUnloadImports() {
    trc("unload devil\n");
    if (ilDLL) {
        if (pilShutDown) pilShutDown();
        fxFreeLibrary(ilDLL);
        ilDLL = nullptr;
    }
    if (iluDLL) {
        fxFreeLibrary(iluDLL);
        iluDLL = nullptr;
    }
    pilInit = nullptr;
    pilShutDown = nullptr;
    pilEnable = nullptr;
    pilDisable = nullptr;
    pilSetInteger = nullptr;
    pilGenImages = nullptr;
    pilDeleteImages = nullptr;
    pilBindImage = nullptr;
    pilGetInteger = nullptr;
    pilLoadImage = nullptr;
    pilLoadL = nullptr;
    pilSaveImage = nullptr;
    pilCloneCurImage = nullptr;
    pilConvertImage = nullptr;
    pilCopyPixels = nullptr;
    pilSetPixels = nullptr;
    pilGetData = nullptr;
    piluScale = nullptr;
    piluImageParameter = nullptr;
    pilTexImage = nullptr;
}

// A missing image library is an error only where nothing else decodes pictures.
static void localMissing(const char* what) {
    if (fxSystemImageCodec())
        trc("%s (the system's picture decoder stands in)\n", what);
    else
        err("%s\n", what);
}

static bool localLoadImports() {
    trc("loading devil\n");
    ilDLL = fxLoadLibrary(ilName.c_str());
    if (!ilDLL) {
        localMissing("failed to load devil.dll");
        return false;
    }
    iluDLL = fxLoadLibrary(iluName.c_str());
    if (!iluDLL) {
        localMissing("failed to load ilu.dll");
        fxFreeLibrary(ilDLL);
        ilDLL = nullptr;
        return false;
    }
    bool ok = localResolve(ilDLL, "ilInit", pilInit) && localResolve(ilDLL, "ilShutDown", pilShutDown) &&
              localResolve(ilDLL, "ilEnable", pilEnable) && localResolve(ilDLL, "ilDisable", pilDisable) &&
              localResolve(ilDLL, "ilSetInteger", pilSetInteger) &&
              localResolve(ilDLL, "ilGenImages", pilGenImages) &&
              localResolve(ilDLL, "ilDeleteImages", pilDeleteImages) &&
              localResolve(ilDLL, "ilBindImage", pilBindImage) &&
              localResolve(ilDLL, "ilGetInteger", pilGetInteger) &&
              localResolve(ilDLL, "ilLoadImage", pilLoadImage) && localResolve(ilDLL, "ilLoadL", pilLoadL) &&
              localResolve(ilDLL, "ilSaveImage", pilSaveImage) &&
              localResolve(ilDLL, "ilCloneCurImage", pilCloneCurImage) &&
              localResolve(ilDLL, "ilConvertImage", pilConvertImage) &&
              localResolve(ilDLL, "ilCopyPixels", pilCopyPixels) &&
              localResolve(ilDLL, "ilSetPixels", pilSetPixels) &&
              localResolve(ilDLL, "ilGetData", pilGetData) && localResolve(iluDLL, "iluScale", piluScale) &&
              localResolve(iluDLL, "iluImageParameter", piluImageParameter) &&
              localResolve(ilDLL, "ilTexImage", pilTexImage);
    if (!ok) return false;
    trc("loading ok\n");
    return true;
}

bool fxLoadDevil() {
    std::lock_guard<std::recursive_mutex> lock(localDevilLock);
    if (ilDLL) return true;
    if (!localLoadImports()) {
        localMissing("failed to load devil libraries");
        localUnloadImports();
        return false;
    }
    pilInit();
    // Decoders deliver rows in file order unless told otherwise (BMP and some TGA bottom row
    // first); every canvas expects the top row first.
    pilEnable(IL_ORIGIN_SET);
    pilSetInteger(IL_ORIGIN_MODE, IL_ORIGIN_UPPER_LEFT);
    return true;
}

void fxUnloadDevil() {
    std::lock_guard<std::recursive_mutex> lock(localDevilLock);
    localUnloadImports();
}

bool fxDevilLoaded() {
    std::lock_guard<std::recursive_mutex> lock(localDevilLock);
    return ilDLL != nullptr;
}

void fxSetDevilLibraryNames(const char* il, const char* ilu) {
    ilName = il ? il : localDefaultIL;
    iluName = ilu ? ilu : localDefaultILU;
}

static bool localDetectTransFilename(const char* name) {
    std::string s(name ? name : "");
    for (char& ch : s)
        ch = (char)tolower((unsigned char)ch);
    return s.find("tran") != std::string::npos;
}

static bool localIsImageType(int type) {
    return type == (int)IL_JPG || type == (int)IL_PNG || type == (int)IL_TGA || type == (int)IL_BMP ||
           type == (int)IL_GIF;
}

// Reads one decimal item id; false when the text holds none.
static bool localParseId(const char* idText, int* id) {
    return idText && sscanf(idText, "%d", id) == 1;
}

static int localChannels(ILenum format) {
    switch (format) {
    case IL_COLOUR_INDEX:
    case IL_ALPHA:
    case IL_LUMINANCE: return 1;
    case IL_LUMINANCE_ALPHA: return 2;
    case IL_RGB:
    case IL_BGR: return 3;
    case IL_RGBA:
    case IL_BGRA: return 4;
    default: return 0;
    }
}

static int localTypeBytes(ILenum type) {
    switch (type) {
    case IL_BYTE:
    case IL_UNSIGNED_BYTE: return 1;
    case IL_SHORT:
    case IL_UNSIGNED_SHORT:
    case IL_HALF: return 2;
    case IL_INT:
    case IL_UNSIGNED_INT:
    case IL_FLOAT: return 4;
    case IL_DOUBLE: return 8;
    default: return 0;
    }
}

// ---- What a picture's header declares

static unsigned localBe16(const uint8_t* p) {
    return (unsigned)p[0] << 8 | p[1];
}
static unsigned localLe16(const uint8_t* p) {
    return (unsigned)p[1] << 8 | p[0];
}
static long long localBe32(const uint8_t* p) {
    return (long long)localBe16(p) << 16 | localBe16(p + 2);
}
static long long localLe32s(const uint8_t* p) {
    return (int32_t)((uint32_t)localLe16(p + 2) << 16 | localLe16(p));
}

// The width and height the first bytes of a picture declare: PNG, GIF, BMP and JPEG by their
// signatures, TGA (which has none) when `tga` is set. False when the header says nothing
// readable here (the library then decides alone).
static bool localDeclaredSize(const uint8_t* b, size_t n, bool tga, long long* w, long long* h) {
    if (n >= 24 && memcmp(b, "\x89PNG\r\n\x1a\n", 8) == 0 && memcmp(b + 12, "IHDR", 4) == 0) {
        *w = localBe32(b + 16), *h = localBe32(b + 20);
        return true;
    }
    if (n >= 10 && memcmp(b, "GIF8", 4) == 0) {
        *w = localLe16(b + 6), *h = localLe16(b + 8);
        return true;
    }
    if (n >= 26 && b[0] == 'B' && b[1] == 'M') {
        *w = localLe32s(b + 18), *h = localLe32s(b + 22);
        if (*h < 0) *h = -*h; // rows stored top first
        return true;
    }
    if (n >= 4 && b[0] == 0xFF && b[1] == 0xD8) {
        // JPEG: the frame header follows segments of known length.
        size_t i = 2;
        while (i + 9 <= n && b[i] == 0xFF) {
            unsigned m = b[i + 1];
            if (m == 0xFF) {
                i++;
                continue;
            }
            if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
                *h = localBe16(b + i + 5), *w = localBe16(b + i + 7);
                return true;
            }
            if (m == 0xDA || m == 0xD9) return false;
            i += m == 0x01 || (m >= 0xD0 && m <= 0xD7) ? 2 : 2 + localBe16(b + i + 2);
        }
        return false;
    }
    if (tga && n >= 18) {
        *w = localLe16(b + 12), *h = localLe16(b + 14);
        return true;
    }
    return false;
}

// The image library allocates whatever a header declares (gigabytes for a hostile one) before
// it finds the data missing. A picture is refused before it is handed over when it declares
// a size the canvas would refuse anyway, or more pixels than its bytes can encode at the
// best compression of these formats (well under 16384 pixels a byte, with 1M pixels always
// allowed). `size` is the picture's whole length in bytes.
static bool localPlausibleSize(const uint8_t* head, size_t headSize, long long size, bool tga, const char* what) {
    long long w, h;
    if (!localDeclaredSize(head, headSize, tga, &w, &h)) return true;
    const long long kMaxSide = 1 << 15, kMaxPixels = 1LL << 28;
    if (w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels && w * h <= 16384 * size + (1 << 20)) return true;
    err("FXCanvas: picture %s declares %lld x %lld pixels in %lld bytes; refused\n", what, w, h, size);
    return false;
}

// A picture's bytes, in memory or in a file, read at any offset within its length.
struct localPictureBytes {
    const uint8_t* bytes;
    FILE* file;
    long long size;
    bool Read(long long at, uint8_t* out, size_t n) const {
        if (at < 0 || at + (long long)n > size) return false;
        if (n == 0) return true;
        if (bytes) {
            memcpy(out, bytes + at, n);
            return true;
        }
        return fseek(file, (long)at, SEEK_SET) == 0 && fread(out, 1, n, file) == n;
    }
};

// The image library's PNG reader loops for ever on a picture that ends inside a chunk (at its
// end it hands the decoder nothing, without an error). A PNG is handed over only when its
// chunks, by their declared lengths, lead to its end chunk within its bytes.
static bool localPngComplete(const localPictureBytes& in, const char* what) {
    uint8_t head[8];
    if (!in.Read(0, head, 8) || memcmp(head, "\x89PNG\r\n\x1a\n", 8) != 0) return true;
    long long at = 8;
    while (in.Read(at, head, 8)) {
        at += 12 + localBe32(head);
        if (at > in.size) break;
        if (memcmp(head + 4, "IEND", 4) == 0) return true;
    }
    err("FXCanvas: picture %s is cut short: its chunks run past its end; refused\n", what);
    return false;
}

// The image library writes each frame of a GIF at its declared place in a block the size of the
// logical screen, without clipping: a frame reaching outside the screen writes outside the
// block. Such a GIF is refused, and so is one that does not follow the format's grammar to its
// end, where the library's reading may part from this walk's (it reads a graphic control block
// as four bytes whatever size it declares, and skips extensions of unknown kind its own way).
// `gif` says the picture goes to the GIF decoder whatever its first bytes (its item type or
// file name says so), which then reads it with or without a sound signature.
static bool localGifFramesInside(const localPictureBytes& in, bool gif, const char* what) {
    uint8_t b[13];
    long long at = 0;
    auto damaged = [&](const char* why) {
        err("FXCanvas: picture %s is damaged: %s at byte %lld; refused\n", what, why, at);
        return false;
    };
    bool signed87or89 = in.Read(0, b, 13) && (memcmp(b, "GIF87a", 6) == 0 || memcmp(b, "GIF89a", 6) == 0);
    if (!signed87or89) return gif ? damaged("no GIF signature") : true;
    unsigned screenW = localLe16(b + 6), screenH = localLe16(b + 8);
    at = 13 + ((b[10] & 0x80) ? 3LL << ((b[10] & 7) + 1) : 0);
    // Skips data sub-blocks (a size byte, then that many bytes, up to a zero size).
    auto skipBlocks = [&](long long* pos) {
        uint8_t n = 1;
        while (n && in.Read(*pos, &n, 1))
            *pos += 1 + n;
        return n == 0 && *pos <= in.size;
    };
    for (;;) {
        if (!in.Read(at, b, 1)) return damaged("it ends before its trailer");
        if (b[0] == 0x3B) return true;
        if (b[0] == 0x21) {
            if (!in.Read(at + 1, b, 2)) return damaged("it ends inside an extension");
            // The first sub-block's size each known extension must have (0: any).
            int want = b[0] == 0xF9 ? 4 : b[0] == 0x01 ? 12 : b[0] == 0xFF ? 11 : b[0] == 0xFE ? 0 : -1;
            if (want < 0) return damaged("an extension of unknown kind");
            if (want > 0 && b[1] != want) return damaged("an extension of the wrong size");
            at += 2;
        } else if (b[0] == 0x2C) {
            if (!in.Read(at + 1, b, 9)) return damaged("it ends inside a frame's header");
            unsigned left = localLe16(b), top = localLe16(b + 2), w = localLe16(b + 4), h = localLe16(b + 6);
            if (left + w > screenW || top + h > screenH) {
                err("FXCanvas: picture %s has a frame of %u x %u at %u,%u outside its %u x %u screen; refused\n", what,
                    w, h, left, top, screenW, screenH);
                return false;
            }
            at += 10 + ((b[8] & 0x80) ? 3LL << ((b[8] & 7) + 1) : 0) + 1;
        } else {
            return damaged("a block of unknown kind");
        }
        if (!skipBlocks(&at)) return damaged("it ends inside a block");
    }
}

// The image library's JPEG reader, like its PNG one, loops for ever on a picture that ends
// early. A JPEG is handed over only when its header segments, by their declared lengths, lead
// to the start of its scan within its bytes, and an end marker follows the scan.
static bool localJpegComplete(const localPictureBytes& in, const char* what) {
    uint8_t b[4];
    if (!in.Read(0, b, 2) || b[0] != 0xFF || b[1] != 0xD8) return true;
    long long at = 2;
    for (;;) {
        if (!in.Read(at, b, 2) || b[0] != 0xFF) break;
        if (b[1] == 0xFF) {
            at++;
            continue;
        }
        if (b[1] == 0x01 || (b[1] >= 0xD0 && b[1] <= 0xD7)) {
            at += 2;
            continue;
        }
        if (b[1] == 0xD9 || !in.Read(at + 2, b + 2, 2)) break;
        bool scan = b[1] == 0xDA;
        at += 2 + localBe16(b + 2);
        if (at > in.size) break;
        if (!scan) continue;
        // The scan's data runs to a marker: an end marker must follow it (within the last MiB,
        // which leaves room for what some writers append after it).
        long long from = std::max(at, in.size - (1LL << 20));
        std::vector<uint8_t> tail((size_t)(in.size - from));
        if (!in.Read(from, tail.data(), tail.size())) break;
        for (size_t i = tail.size(); i >= 2; i--)
            if (tail[i - 2] == 0xFF && tail[i - 1] == 0xD9) return true;
        break;
    }
    err("FXCanvas: picture %s is cut short: its segments do not lead through a scan to an end; refused\n", what);
    return false;
}

// The image library reads an uncompressed BMP's rows from where its header says, as many as its
// size says, without checking them against the data: a BMP whose rows do not lie within its
// bytes is refused.
static bool localBmpRowsInside(const localPictureBytes& in, const char* what) {
    uint8_t b[34];
    if (!in.Read(0, b, 34) || b[0] != 'B' || b[1] != 'M') return true;
    long long offset = localLe32s(b + 10) & 0xffffffffLL, w = localLe32s(b + 18), h = localLe32s(b + 22);
    unsigned bits = localLe16(b + 28), compression = (unsigned)localLe32s(b + 30);
    if (compression != 0 && compression != 3) return true;
    if (h < 0) h = -h;
    long long row = ((w * bits + 31) / 32) * 4;
    if (offset >= 26 && w >= 0 && row >= 0 && offset + row * h <= in.size) return true;
    err("FXCanvas: picture %s declares rows that do not lie within its %lld bytes; refused\n", what, in.size);
    return false;
}

// The same for a picture file: its first 64 KiB and its length, and its chunks for a PNG.
static bool localPlausibleFile(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return true; // the library reports what it cannot open
    std::vector<uint8_t> head(65536);
    size_t n = fread(head.data(), 1, head.size(), f);
    long long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
    const char* dot = strrchr(path, '.');
    bool tga = dot && strcasecmp(dot, ".tga") == 0;
    bool ok = size < 0 || (localPlausibleSize(head.data(), n, size, tga, path) &&
                           localPngComplete({nullptr, f, size}, path) &&
                           localGifFramesInside({nullptr, f, size}, dot && strcasecmp(dot, ".gif") == 0, path) &&
                           localBmpRowsInside({nullptr, f, size}, path) &&
                           localJpegComplete({nullptr, f, size}, path));
    fclose(f);
    return ok;
}

namespace {
// The images created while decoding one picture, deleted on every way out.
struct DevilImages {
    ILuint image = 0;
    ~DevilImages() {
        if (image) pilDeleteImages(1, &image);
    }
    // Decodes from a file when path is set, else from the bytes of a package item.
    bool Load(const void* bytes, int size, int type, const char* path) {
        pilGenImages(1, &image);
        pilBindImage(image);
        if (path) return pilLoadImage(path) != 0;
        return pilLoadL((ILenum)type, bytes, (ILuint)size) != 0;
    }
    // Whether the decoded image's numbers agree with each other. The library can report
    // success for damaged files with pixel data shorter than its size and format say (a
    // 16-bit TGA cut short keeps 2 bytes per pixel for a 3-channel format), and its
    // conversion then reads past that data; colour indices past the palette do the same.
    static bool Consistent() {
        int w = pilGetInteger(IL_IMAGE_WIDTH), h = pilGetInteger(IL_IMAGE_HEIGHT);
        int bpp = pilGetInteger(IL_IMAGE_BPP);
        int channels = localChannels((ILenum)pilGetInteger(IL_IMAGE_FORMAT));
        int bytes = localTypeBytes((ILenum)pilGetInteger(IL_IMAGE_TYPE));
        if (w <= 0 || h <= 0 || pilGetInteger(IL_IMAGE_DEPTH) != 1 || channels == 0 || bytes == 0 ||
            bpp != channels * bytes)
            return false;
        long long need = (long long)w * h * bpp;
        const ILubyte* data = pilGetData();
        if (!data || pilGetInteger(IL_IMAGE_SIZE_OF_DATA) < need) return false;
        if ((ILenum)pilGetInteger(IL_IMAGE_FORMAT) != IL_COLOUR_INDEX) return true;
        int colours = pilGetInteger(IL_PALETTE_NUM_COLS);
        int palBpp = pilGetInteger(IL_PALETTE_BPP);
        // The library counts the colours from the palette's byte size.
        if ((ILenum)pilGetInteger(IL_PALETTE_TYPE) == IL_PAL_NONE || colours <= 0 || palBpp < 3 || bytes != 1)
            return false;
        for (long long i = 0; i < need; i++)
            if (data[i] >= colours) return false;
        return true;
    }
    // Converts the decoded image to 8-bit RGBA in place (it is only read) and returns its
    // pixels, null when the decoded image is inconsistent, the conversion failed or the result
    // does not hold w x h pixels of four bytes.
    const uint8_t* ConvertedData(int w, int h) {
        if (!Consistent()) return nullptr;
        if (!pilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE)) return nullptr;
        if (pilGetInteger(IL_IMAGE_WIDTH) != w || pilGetInteger(IL_IMAGE_HEIGHT) != h ||
            pilGetInteger(IL_IMAGE_BPP) != 4 || pilGetInteger(IL_IMAGE_FORMAT) != (ILint)IL_RGBA ||
            pilGetInteger(IL_IMAGE_TYPE) != (ILint)IL_UNSIGNED_BYTE ||
            pilGetInteger(IL_IMAGE_SIZE_OF_DATA) < (long long)w * h * 4)
            return nullptr;
        return pilGetData();
    }
};

// One picture as 8-bit RGBA, top row first: decoded by the image library when it is bound,
// else by the platform's own decoder.
struct localPicture {
    DevilImages il;
    std::vector<uint8_t> own;
    int w = 0;
    int h = 0;
    static bool Possible() { return fxDevilLoaded() || fxSystemImageCodec(); }
    bool Load(const void* bytes, int size, int type, const char* path) {
        // The system's decoder too may allocate for the declared size before reading the data.
        if (path ? !localPlausibleFile(path)
                 : !localPlausibleSize((const uint8_t*)bytes, size > 0 ? (size_t)size : 0, size,
                                       type == (int)IL_TGA, "(package item)") ||
                       !localPngComplete({(const uint8_t*)bytes, nullptr, size > 0 ? size : 0}, "(package item)") ||
                       !localGifFramesInside({(const uint8_t*)bytes, nullptr, size > 0 ? size : 0}, type == (int)IL_GIF,
                                             "(package item)") ||
                       !localBmpRowsInside({(const uint8_t*)bytes, nullptr, size > 0 ? size : 0}, "(package item)") ||
                       !localJpegComplete({(const uint8_t*)bytes, nullptr, size > 0 ? size : 0}, "(package item)"))
            return false;
        if (!fxDevilLoaded()) return fxSystemDecodeImage(bytes, size, path, &w, &h, &own);
        if (!il.Load(bytes, size, type, path)) return false;
        w = pilGetInteger(IL_IMAGE_WIDTH);
        h = pilGetInteger(IL_IMAGE_HEIGHT);
        return true;
    }
    // The platform's decoder gives whole pictures or nothing.
    bool Consistent() const { return !fxDevilLoaded() || DevilImages::Consistent(); }
    const uint8_t* Data() { return fxDevilLoaded() ? il.ConvertedData(w, h) : own.data(); }
};
} // namespace

// Finds the bytes and type of an image item; false (with a trace) when it cannot be decoded.
static bool localImageItem(FXPackage* pkg, int id, const void** bytes, int* size, int* type) {
    if (!pkg) return false;
    FXPackageData* d = pkg->GetDataPtr(id);
    *type = pkg->GetDataType(id);
    if (!d || *type == -1) return false;
    if (!localIsImageType(*type) || !d->begin || d->size <= 0) {
        err("FXCanvas: item %d is not a decodable picture (type %d, %d bytes)\n", id, *type, d->size);
        return false;
    }
    *bytes = d->begin;
    *size = d->size;
    return true;
}

// ---------------------------------------------------------------------------------------------
// FXCanvas

FXCanvas::FXCanvas() : opaque(true), detectTrans(true), transMode(false), clearOnLoad(true) {
    fxColSetBlackT(clearColor);
}

FXCanvas::~FXCanvas() {
    Destroy();
}

void FXCanvas::Destroy() {
    pixmap.Destroy();
    opaque = true;
    transMode = false;
}

bool FXCanvas::DecodeBytes(const void* bytes, int size, int type, const char* path) {
    std::lock_guard<std::recursive_mutex> lock(localDevilLock);
    if (!localPicture::Possible()) return false;
    localPicture pic;
    if (!pic.Load(bytes, size, type, path)) {
        err("FXCanvas: cannot decode picture %s\n", path ? path : "(package item)");
        return false;
    }
    if (!pic.Consistent()) {
        err("FXCanvas: picture %s is damaged\n", path ? path : "(package item)");
        return false;
    }
    int w = pic.w;
    int h = pic.h;
    if (!pixmap.Realloc(w, h)) {
        err("FXCanvas: picture size %d x %d refused\n", w, h);
        return false;
    }
    const uint8_t* data = pic.Data();
    opaque = true;
    if (!data) {
        if (clearOnLoad) Clear(clearColor);
        return false;
    }
    // The picture overwrites every pixel inside it: only the padding needs the clear colour.
    if (clearOnLoad) pixmap.ClearPadding(fxColToInt1(clearColor));
    for (int y = 0; y < h; y++) {
        const uint8_t* src = data + (size_t)y * w * 4;
        uint32_t* dst = pixmap.pixels + (size_t)y * pixmap.stride;
        for (int x = 0; x < w; x++, src += 4) {
            if (transMode) {
                dst[x] = ((uint32_t)src[0] << 24) | 0x00FFFFFFu;
            } else {
                dst[x] = (uint32_t)src[0] | ((uint32_t)src[1] << 8) | ((uint32_t)src[2] << 16) |
                         ((uint32_t)src[3] << 24);
                if (src[3] != 255) opaque = false;
            }
        }
    }
    if (transMode) opaque = false;
    return true;
}

bool FXCanvas::CreateFromPictCN(FXPackage* pkg, int id) {
    const void* bytes = nullptr;
    int size = 0, type = -1;
    if (!localImageItem(pkg, id, &bytes, &size, &type)) return false;
    return DecodeBytes(bytes, size, type, nullptr);
}

bool FXCanvas::CreateFromPictC(FXPackage* pkg, const char* idText) {
    int id = 0;
    if (!localParseId(idText, &id)) return false;
    return CreateFromPictCN(pkg, id);
}

bool FXCanvas::CreateFromPict(const char* path) {
    if (!path || !*path) return false;
    transMode = detectTrans ? localDetectTransFilename(path) : false;
    return DecodeBytes(nullptr, 0, -1, path);
}

bool FXCanvas::ApplyMask(const void* bytes, int size, int type, const char* path) {
    std::lock_guard<std::recursive_mutex> lock(localDevilLock);
    if (!localPicture::Possible()) return false;
    localPicture pic;
    if (!pic.Load(bytes, size, type, path)) {
        err("FXCanvas: cannot decode mask %s\n", path ? path : "(package item)");
        return false;
    }
    int mw = pic.w;
    int mh = pic.h;
    if (mw < 0 || mh < 0 || mw > pixmap.width || mh > pixmap.height) {
        err("FXCanvas: mask %d x %d does not fit the picture %d x %d\n", mw, mh, pixmap.width, pixmap.height);
        return false;
    }
    const uint8_t* data = pic.Data();
    opaque = true;
    if (!data || !pixmap.pixels) return false;
    for (int y = 0; y < pixmap.height; y++) {
        uint32_t* dst = pixmap.pixels + (size_t)y * pixmap.stride;
        for (int x = 0; x < pixmap.width; x++) {
            uint32_t a = 0;
            if (y < mh && x < mw) a = data[((size_t)y * mw + x) * 4 + 2];
            dst[x] = (dst[x] & 0x00FFFFFFu) | (a << 24);
        }
    }
    return true;
}

bool FXCanvas::LoadMaskCN(FXPackage* pkg, int id) {
    const void* bytes = nullptr;
    int size = 0, type = -1;
    if (!localImageItem(pkg, id, &bytes, &size, &type)) return false;
    return ApplyMask(bytes, size, type, nullptr);
}

bool FXCanvas::LoadMaskC(FXPackage* pkg, const char* idText) {
    int id = 0;
    if (!localParseId(idText, &id)) return false;
    return LoadMaskCN(pkg, id);
}

bool FXCanvas::LoadMask(const char* path) {
    if (!path || !*path) return false;
    return ApplyMask(nullptr, 0, -1, path);
}

// ---------------------------------------------------------------------------------------------
// Text

// Decodes UTF-8; a malformed byte becomes U+FFFD.
static std::u32string localUtf8(const char* s) {
    std::u32string out;
    const unsigned char* p = (const unsigned char*)s;
    while (*p) {
        unsigned c = *p;
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0) {
            out.push_back(0xFFFD);
            p++;
            continue;
        }
        unsigned cp = extra == 0 ? c : c & (0x3F >> extra);
        int i = 1;
        for (; i <= extra; i++) {
            if ((p[i] & 0xC0) != 0x80) break;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (i <= extra) {
            out.push_back(0xFFFD);
            p += i;
            continue;
        }
        out.push_back(cp);
        p += extra + 1;
    }
    return out;
}

static std::u32string localWide(const wchar_t* s) {
    std::u32string out;
    for (; *s; s++)
        out.push_back((char32_t)*s);
    return out;
}

bool FXCanvas::RenderText(const char32_t* text, int count, FXFontGDI* font, float* colour) {
    if (!font || !font->IsCreated()) return false;
    int cx = 0, cy = 0;
    font->Measure(text, count, &cx, &cy);
    if (!pixmap.Realloc(cx, cy)) return false;
    if (cx == 0 || cy == 0) return false;
    std::vector<uint8_t> coverage((size_t)cx * cy, 0);
    font->Draw(text, count, coverage.data(), cx, cy);
    opaque = true;
    uint32_t rgb = fxColToInt1(colour) & 0x00FFFFFFu;
    for (int y = 0; y < cy; y++) {
        uint32_t* dst = pixmap.pixels + (size_t)y * pixmap.stride;
        const uint8_t* src = coverage.data() + (size_t)y * cx;
        for (int x = 0; x < cx; x++) {
            int a = (int)((float)src[x] * colour[3]);
            a = a < 0 ? 0 : a > 255 ? 255 : a;
            if (a <= 254) opaque = false;
            dst[x] = ((uint32_t)a << 24) | rgb;
        }
    }
    return true;
}

bool FXCanvas::CreateFromText(const char* text, FXFontGDI* font, float* colour) {
    std::u32string s = localUtf8(text ? text : "");
    return RenderText(s.c_str(), (int)s.size(), font, colour);
}

bool FXCanvas::CreateFromTextW(const wchar_t* text, FXFontGDI* font, float* colour) {
    std::u32string s = localWide(text ? text : L"");
    return RenderText(s.c_str(), (int)s.size(), font, colour);
}

bool FXCanvas::GetTextSize(const char* text, FXFontGDI* font, int* w, int* h) {
    if (!font || !font->IsCreated()) return false;
    std::u32string s = localUtf8(text ? text : "");
    font->Measure(s.c_str(), (int)s.size(), w, h);
    return true;
}

bool FXCanvas::GetTextWSize(const wchar_t* text, FXFontGDI* font, int* w, int* h) {
    if (!font || !font->IsCreated()) return false;
    std::u32string s = localWide(text ? text : L"");
    font->Measure(s.c_str(), (int)s.size(), w, h);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Pixel operations

bool FXCanvas::Copy(FXCanvas* src) {
    if (!src || src == this) return false;
    if (!pixmap.Realloc(src->pixmap.width, src->pixmap.height)) return false;
    if (!src->pixmap.pixels || !pixmap.pixels) return true;
    // The whole block becomes the texture, padding included: it is copied too, or cleared when
    // the source block has another shape.
    const FXPixmap& from = src->pixmap;
    if (from.stride == pixmap.stride && from.rows == pixmap.rows) {
        memcpy(pixmap.pixels, from.pixels, (size_t)from.stride * from.rows * sizeof(uint32_t));
    } else {
        pixmap.Clear(0);
        for (int y = 0; y < pixmap.height; y++)
            memcpy(pixmap.pixels + (size_t)y * pixmap.stride, from.pixels + (size_t)y * from.stride,
                   (size_t)pixmap.width * sizeof(uint32_t));
    }
    for (int y = 0; y < pixmap.height; y++) {
        const uint32_t* d = pixmap.pixels + (size_t)y * pixmap.stride;
        for (int x = 0; x < pixmap.width; x++)
            if ((d[x] >> 24) != 255) opaque = false;
    }
    return true;
}

void FXCanvas::Clear(float* colour) {
    pixmap.Clear((int)fxColToInt1(colour));
}

void FXCanvas::MixColorLayer(float* colour) {
    float a = colour[3];
    colour[0] *= a;
    colour[1] *= a;
    colour[2] *= a;
    if (!pixmap.pixels) return;
    float keep = 1.0f - a;
    for (int y = 0; y < pixmap.height; y++) {
        uint32_t* row = pixmap.pixels + (size_t)y * pixmap.stride;
        for (int x = 0; x < pixmap.width; x++) {
            float c[4];
            fxColFromInt1(c, row[x]);
            c[0] = c[0] * keep + colour[0];
            c[1] = c[1] * keep + colour[1];
            c[2] = c[2] * keep + colour[2];
            row[x] = fxColToInt1(c);
        }
    }
}

void FXCanvas::ExtendEdges() {
    FXPixmap& p = pixmap;
    if (!p.pixels || p.width <= 0 || p.height <= 0) return;
    if (p.width < p.stride) {
        for (int y = 0; y < p.height; y++) {
            uint32_t* row = p.pixels + (size_t)y * p.stride;
            uint32_t last = row[p.width - 1];
            for (int x = p.width; x < p.stride; x++)
                row[x] = last;
        }
    }
    const uint32_t* lastRow = p.pixels + (size_t)(p.height - 1) * p.stride;
    for (int y = p.height; y < p.rows; y++) {
        uint32_t* row = p.pixels + (size_t)y * p.stride;
        memcpy(row, lastRow, (size_t)p.width * sizeof(uint32_t));
        for (int x = p.width; x < p.stride; x++)
            row[x] = lastRow[p.width - 1];
    }
}

static int localClamp(int v, int lo, int hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

// Truncates a sample position toward zero, keeping NaN and huge values inside int range.
static int localSamplePos(float f) {
    if (!(f > -1.0e9f)) return f != f ? 0 : -1000000000;
    if (f > 1.0e9f) return 1000000000;
    return (int)f;
}

void FXCanvas::GetColor(float u, float v, float* out) {
    if (!pixmap.pixels || pixmap.width <= 0 || pixmap.height <= 0) return;
    int x = localClamp(localSamplePos((float)pixmap.width * u), 0, pixmap.stride - 1);
    int y = localClamp(localSamplePos((float)pixmap.height * v), 0, pixmap.rows - 1);
    fxColFromInt1(out, pixmap.pixels[x + (size_t)y * pixmap.stride]);
}

float FXCanvas::GetBump(float u, float v) {
    if (!pixmap.pixels || pixmap.width <= 0 || pixmap.height <= 0) return 0.0f;
    int x = localClamp(localSamplePos((float)pixmap.width * u), 0, pixmap.stride - 1);
    int y = localClamp(localSamplePos((float)pixmap.height * (1.0f - v)), 0, pixmap.rows - 1);
    float c[4];
    fxColFromInt1(c, pixmap.pixels[x + (size_t)y * pixmap.stride]);
    return c[0];
}

// ---------------------------------------------------------------------------------------------
// Saving

namespace {
enum SaveMode { kSaveRgb = 3, kSaveRgba = 4, kSaveMask = 1 };

bool localHasExtension(const char* path, const char* ext) {
    size_t n = strlen(path), e = strlen(ext);
    if (n < e) return false;
    for (size_t i = 0; i < e; i++)
        if (tolower((unsigned char)path[n - e + i]) != ext[i]) return false;
    return true;
}
} // namespace

bool FXCanvas::SaveRect(const char* path, int x0, int y0, int x1, int y1, int mode) {
    std::lock_guard<std::recursive_mutex> lock(localDevilLock);
    int w = x1 - x0, h = y1 - y0;
    if (!path || !*path || w <= 0 || h <= 0) return false;
    // Without the image library the platform's own encoder writes PNG files.
    bool system = !fxDevilLoaded();
    if ((system && !fxSystemImageCodec()) || !pixmap.pixels) return false;
    if (system && !localHasExtension(path, ".png")) {
        err("FXCanvas: without the image library only PNG pictures can be written, not %s\n", path);
        return false;
    }
    // Only pixels inside the image can be written.
    if (x0 < 0 || y0 < 0 || x1 > pixmap.width || y1 > pixmap.height) {
        err("FXCanvas: save rectangle %d,%d-%d,%d outside the picture %d x %d\n", x0, y0, x1, y1,
            pixmap.width, pixmap.height);
        return false;
    }
    int bpp = mode;
    std::vector<uint8_t> buf((size_t)w * h * bpp);
    for (int y = 0; y < h; y++) {
        const uint32_t* src = pixmap.pixels + (size_t)(y0 + y) * pixmap.stride + x0;
        uint8_t* dst = buf.data() + (size_t)(system ? y : h - 1 - y) * w * bpp;
        for (int x = 0; x < w; x++) {
            uint32_t p = src[x];
            uint8_t a = (uint8_t)(p >> 24);
            if (mode == kSaveMask) {
                *dst++ = a;
            } else if (mode == kSaveRgb) {
                *dst++ = a ? (uint8_t)p : 0;
                *dst++ = a ? (uint8_t)(p >> 8) : 0;
                *dst++ = a ? (uint8_t)(p >> 16) : 0;
            } else {
                *dst++ = (uint8_t)p;
                *dst++ = (uint8_t)(p >> 8);
                *dst++ = (uint8_t)(p >> 16);
                *dst++ = a;
            }
        }
    }
    if (system) return fxSystemEncodePng(path, w, h, bpp, buf.data());
    ILenum format = mode == kSaveMask ? IL_LUMINANCE : mode == kSaveRgb ? IL_RGB : IL_RGBA;
    DevilImages il;
    pilGenImages(1, &il.image);
    pilBindImage(il.image);
    if (!pilTexImage((ILuint)w, (ILuint)h, 1, (ILubyte)bpp, format, IL_UNSIGNED_BYTE, buf.data()))
        return false;
    pilEnable(IL_FILE_OVERWRITE);
    if (!pilSaveImage(path)) {
        err("FXCanvas: cannot write %s\n", path);
        return false;
    }
    return true;
}

bool FXCanvas::SaveToPict(const char* path) {
    return SaveRect(path, 0, 0, pixmap.width, pixmap.height, kSaveRgb);
}

bool FXCanvas::SaveToPict1(const char* path, int x0, int y0, int x1, int y1) {
    return SaveRect(path, x0, y0, x1, y1, kSaveRgb);
}

bool FXCanvas::SaveToPict2(const char* path, int x0, int y0, int x1, int y1) {
    return SaveRect(path, x0, y0, x1, y1, kSaveRgba);
}

bool FXCanvas::SaveToMask(const char* path) {
    return SaveRect(path, 0, 0, pixmap.width, pixmap.height, kSaveMask);
}

bool FXCanvas::SaveToMask1(const char* path, int x0, int y0, int x1, int y1) {
    return SaveRect(path, x0, y0, x1, y1, kSaveMask);
}

void FXCanvas::SetJpegQuality(int q) {
    std::lock_guard<std::recursive_mutex> lock(localDevilLock);
    if (pilSetInteger) pilSetInteger(IL_JPG_QUALITY, q);
}
