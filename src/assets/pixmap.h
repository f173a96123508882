#ifndef MH_ASSETS_PIXMAP_H
#define MH_ASSETS_PIXMAP_H

#include <cstdint>

// A block of 32-bit pixels (bytes red, green, blue, alpha) holding a width x height image
// in a stride x rows allocation, rounded up to powers of two when pow2 is set.
class FXPixmap {
  public:
    FXPixmap();
    ~FXPixmap();

    // False (and the pixmap emptied) when the size is negative or the block cannot be allocated.
    bool Realloc(int w, int h);
    void Clear(int value);
    // Sets every pixel outside width x height (right of each row and the rows below) to value.
    void ClearPadding(uint32_t value);
    // Frees the block but keeps the sizes: for a picture that lives on as a texture only.
    void ReleasePixels();
    // Takes over src's block and sizes; src is left empty.
    void Take(FXPixmap* src);
    void Destroy();

    uint32_t* pixels;
    int capacity;
    int stride;
    int rows;
    int width;
    int height;
    bool pow2;

    FXPixmap(const FXPixmap&) = delete;
    FXPixmap& operator=(const FXPixmap&) = delete;
};

#endif
