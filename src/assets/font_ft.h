#ifndef MH_ASSETS_FONT_FT_H
#define MH_ASSETS_FONT_FT_H

#include "base/strings.h"

// A font found by family name through fontconfig and rasterised with FreeType at a pixel height.
class FXFontGDI {
  public:
    FXFontGDI();
    ~FXFontGDI();

    // family: a fontconfig family name such as "DejaVu Sans"; height: the cell height in pixels.
    bool Create(const char* family, int height, bool bold = false, bool italic = false);
    void Destroy();
    bool IsCreated() const { return face != nullptr; }

    // Extent of one line: the sum of the advances, and the font's ascent plus descent.
    void Measure(const char32_t* text, int count, int* w, int* h);
    // Draws the line's antialiased coverage (0..255) into a w x h buffer, top row first;
    // overlapping glyphs keep the larger coverage.
    void Draw(const char32_t* text, int count, unsigned char* coverage, int w, int h);

    void* face;    // FT_Face
    void* library; // FT_Library
    int height;
    FXStr file;

    FXFontGDI(const FXFontGDI&) = delete;
    FXFontGDI& operator=(const FXFontGDI&) = delete;
};

#endif
