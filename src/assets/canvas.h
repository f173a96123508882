#ifndef MH_ASSETS_CANVAS_H
#define MH_ASSETS_CANVAS_H

#include <cwchar>
#include <vector>

#include "assets/pixmap.h"

class FXPackage;
class FXFontGDI;

// Colours are four floats red, green, blue, alpha in 0..1.
void fxColSetBlackT(float* c);
void fxColSetBlack(float* c);
void fxColSetWhite(float* c);
unsigned fxColToInt1(const float* c); // bytes in memory: red, green, blue, alpha
void fxColFromInt1(float* c, unsigned v);
unsigned fxColToInt(const float* c); // 0xAARRGGBB
void fxColFromInt(float* c, unsigned v);
void fxColCutRange(float* c);
bool fxColIsZero(const float* c);

// The image library, bound at run time.
bool fxLoadDevil();
void fxUnloadDevil();
bool fxDevilLoaded();
// Library file names tried by fxLoadDevil; tests point them elsewhere to simulate a missing library.
void fxSetDevilLibraryNames(const char* il, const char* ilu);

// The platform's own picture decoder, used while the image library is not bound (the
// Windows Imaging Component on Windows; none elsewhere).
bool fxSystemImageCodec();
// Decodes a picture file (path set) or the bytes of a package item into 8-bit RGBA, top
// row first; false, with a trace, when it cannot.
bool fxSystemDecodeImage(const void* bytes, int size, const char* path, int* w, int* h,
                         std::vector<unsigned char>* rgba);
// Writes 8-bit pixels (channels 1: grey, 3: RGB, 4: RGBA), top row first, as a PNG file
// through the platform's own encoder; false, with a trace, when it cannot (always where the
// platform has none).
bool fxSystemEncodePng(const char* path, int w, int h, int channels, const unsigned char* pixels);

// An RGBA image in a power-of-two pixel block, ready to become a texture.
class FXCanvas {
  public:
    FXCanvas();
    ~FXCanvas();

    bool CreateFromPictCN(FXPackage* pkg, int id);
    bool CreateFromPictC(FXPackage* pkg, const char* idText);
    bool CreateFromPict(const char* path);
    bool LoadMaskCN(FXPackage* pkg, int id);
    bool LoadMaskC(FXPackage* pkg, const char* idText);
    bool LoadMask(const char* path);
    bool CreateFromText(const char* text, FXFontGDI* font, float* colour);
    bool CreateFromTextW(const wchar_t* text, FXFontGDI* font, float* colour);
    static bool GetTextSize(const char* text, FXFontGDI* font, int* w, int* h);
    static bool GetTextWSize(const wchar_t* text, FXFontGDI* font, int* w, int* h);
    bool Copy(FXCanvas* src);
    void Clear(float* colour);
    void MixColorLayer(float* colour);
    void ExtendEdges();
    void GetColor(float u, float v, float* out);
    float GetBump(float u, float v);
    int GetWidth() const { return pixmap.width; }
    int GetHeight() const { return pixmap.height; }
    float GetWidthF() const { return (float)pixmap.width; }
    float GetHeightF() const { return (float)pixmap.height; }
    bool SaveToPict(const char* path);
    bool SaveToPict1(const char* path, int x0, int y0, int x1, int y1);
    bool SaveToPict2(const char* path, int x0, int y0, int x1, int y1);
    bool SaveToMask(const char* path);
    bool SaveToMask1(const char* path, int x0, int y0, int x1, int y1);
    static void SetJpegQuality(int q);
    void Destroy();

    FXPixmap pixmap;
    bool opaque;
    bool detectTrans;
    bool transMode;
    bool clearOnLoad;
    float clearColor[4];

  private:
    bool DecodeBytes(const void* bytes, int size, int type, const char* path);
    bool ApplyMask(const void* bytes, int size, int type, const char* path);
    bool RenderText(const char32_t* text, int count, FXFontGDI* font, float* colour);
    bool SaveRect(const char* path, int x0, int y0, int x1, int y1, int mode);

    FXCanvas(const FXCanvas&) = delete;
    FXCanvas& operator=(const FXCanvas&) = delete;
};

#endif
