#ifndef MH_ASSETS_FONT_H
#define MH_ASSETS_FONT_H

// A font found by family name and rasterised at a pixel height into antialiased coverage.
// The platform's text rasteriser does the work (FreeType with fontconfig on Linux, GDI on
// Windows); its state stays behind `impl`.
class FXFontGDI {
  public:
    FXFontGDI();
    ~FXFontGDI();

    // family: a family name such as "DejaVu Sans"; height: the cell height in pixels.
    bool Create(const char* family, int height, bool bold = false, bool italic = false);
    void Destroy();
    bool IsCreated() const { return impl != nullptr; }

    // Extent of one line: the sum of the advances, and the font's ascent plus descent.
    void Measure(const char32_t* text, int count, int* w, int* h);
    // Draws the line's antialiased coverage (0..255) into a w x h buffer, top row first;
    // overlapping glyphs keep the larger coverage.
    void Draw(const char32_t* text, int count, unsigned char* coverage, int w, int h);

    void* impl; // the platform's font record; null when not created
    int height;

    FXFontGDI(const FXFontGDI&) = delete;
    FXFontGDI& operator=(const FXFontGDI&) = delete;
};

#endif
