#include "assets/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include "base/strings.h"
#include "base/trace.h"

namespace {
// What the FreeType rasteriser keeps for one font.
struct localFont {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

FT_Face localFace(void* impl) {
    return impl ? static_cast<localFont*>(impl)->face : nullptr;
}

int localCeil26(long v) {
    return (int)((v + 63) >> 6);
}
int localFloor26(long v) {
    return (int)(v >> 6);
}

// The face's glyph for a character, or the missing-glyph box.
FT_UInt localGlyph(FT_Face face, char32_t ch) {
    return FT_Get_Char_Index(face, (FT_ULong)ch);
}
} // namespace

FXFontGDI::FXFontGDI() : impl(nullptr), height(0) {}

FXFontGDI::~FXFontGDI() {
    Destroy();
}

void FXFontGDI::Destroy() {
    if (localFont* f = static_cast<localFont*>(impl)) {
        if (f->face) FT_Done_Face(f->face);
        if (f->library) FT_Done_FreeType(f->library);
        delete f;
    }
    impl = nullptr;
    height = 0;
}

bool FXFontGDI::Create(const char* family, int h, bool bold, bool italic) {
    Destroy();
    if (!family || !*family || h <= 0 || h > 4096) return false;
    if (!FcInit()) {
        err("FXFontGDI: fontconfig cannot start\n");
        return false;
    }
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, (const FcChar8*)family);
    FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res;
    FcPattern* match = FcFontMatch(nullptr, pat, &res);
    FcPatternDestroy(pat);
    if (!match) {
        err("FXFontGDI: no font for family %s\n", family);
        return false;
    }
    FcChar8* path = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &path) != FcResultMatch || !path) {
        FcPatternDestroy(match);
        err("FXFontGDI: no font file for family %s\n", family);
        return false;
    }
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FXStr file;
    file.Set((const char*)path);
    FcPatternDestroy(match);

    localFont* font = new localFont;
    if (FT_Init_FreeType(&font->library)) {
        err("FXFontGDI: FreeType cannot start\n");
        delete font;
        return false;
    }
    impl = font;
    if (FT_New_Face(font->library, file.text, index, &font->face) ||
        FT_Set_Pixel_Sizes(font->face, 0, (FT_UInt)h)) {
        err("FXFontGDI: cannot open font %s\n", file.text);
        Destroy();
        return false;
    }
    height = h;
    return true;
}

void FXFontGDI::Measure(const char32_t* text, int count, int* w, int* h) {
    *w = 0;
    *h = 0;
    FT_Face f = localFace(impl);
    if (!f) return;
    long advance = 0;
    for (int i = 0; i < count; i++) {
        if (FT_Load_Glyph(f, localGlyph(f, text[i]), FT_LOAD_DEFAULT) == 0) advance += f->glyph->advance.x;
    }
    *w = localCeil26(advance);
    *h = count > 0 ? localCeil26(f->size->metrics.ascender) - localFloor26(f->size->metrics.descender) : 0;
}

void FXFontGDI::Draw(const char32_t* text, int count, unsigned char* coverage, int w, int h) {
    FT_Face f = localFace(impl);
    if (!f) return;
    int baseline = localCeil26(f->size->metrics.ascender);
    long pen = 0; // 26.6
    for (int i = 0; i < count; i++) {
        if (FT_Load_Glyph(f, localGlyph(f, text[i]), FT_LOAD_DEFAULT) != 0) continue;
        FT_GlyphSlot g = f->glyph;
        if (FT_Render_Glyph(g, FT_RENDER_MODE_NORMAL) == 0 && g->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
            int left = localFloor26(pen) + g->bitmap_left;
            int top = baseline - g->bitmap_top;
            const FT_Bitmap& bm = g->bitmap;
            for (int y = 0; y < (int)bm.rows; y++) {
                int ty = top + y;
                if (ty < 0 || ty >= h) continue;
                const unsigned char* src = bm.buffer + (long)y * bm.pitch;
                for (int x = 0; x < (int)bm.width; x++) {
                    int tx = left + x;
                    if (tx < 0 || tx >= w) continue;
                    unsigned char& d = coverage[(long)ty * w + tx];
                    if (src[x] > d) d = src[x];
                }
            }
        }
        pen += g->advance.x;
    }
}
