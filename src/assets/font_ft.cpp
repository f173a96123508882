#include "assets/font_ft.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include "base/trace_posix.h"

namespace {
FT_Face localFace(void* f) {
    return (FT_Face)f;
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

FXFontGDI::FXFontGDI() : face(nullptr), library(nullptr), height(0) {}

FXFontGDI::~FXFontGDI() {
    Destroy();
}

void FXFontGDI::Destroy() {
    if (face) FT_Done_Face(localFace(face));
    if (library) FT_Done_FreeType((FT_Library)library);
    face = nullptr;
    library = nullptr;
    height = 0;
    file.Clear();
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
    file.Set((const char*)path);
    FcPatternDestroy(match);

    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib)) {
        err("FXFontGDI: FreeType cannot start\n");
        file.Clear();
        return false;
    }
    library = lib;
    FT_Face f = nullptr;
    if (FT_New_Face(lib, file.text, index, &f) || FT_Set_Pixel_Sizes(f, 0, (FT_UInt)h)) {
        err("FXFontGDI: cannot open font %s\n", file.text);
        if (f) FT_Done_Face(f);
        Destroy();
        return false;
    }
    face = f;
    height = h;
    return true;
}

void FXFontGDI::Measure(const char32_t* text, int count, int* w, int* h) {
    *w = 0;
    *h = 0;
    if (!face) return;
    FT_Face f = localFace(face);
    long advance = 0;
    for (int i = 0; i < count; i++) {
        if (FT_Load_Glyph(f, localGlyph(f, text[i]), FT_LOAD_DEFAULT) == 0) advance += f->glyph->advance.x;
    }
    *w = localCeil26(advance);
    *h = count > 0 ? localCeil26(f->size->metrics.ascender) - localFloor26(f->size->metrics.descender) : 0;
}

void FXFontGDI::Draw(const char32_t* text, int count, unsigned char* coverage, int w, int h) {
    if (!face) return;
    FT_Face f = localFace(face);
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
