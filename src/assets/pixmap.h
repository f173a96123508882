#ifndef MH_ASSETS_PIXMAP_H
#define MH_ASSETS_PIXMAP_H

#include <cstddef>
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

// A mostly clear picture kept as the runs of its non-zero pixels, written into (and erased
// from) a block of the same size on demand: one block can show each of several such pictures
// in turn for the memory of one.
class FXPixmapRuns {
  public:
    FXPixmapRuns() = default;
    ~FXPixmapRuns();

    // Keeps p's non-zero pixels (padding included); false (and empty) without memory or pixels.
    bool Pack(const FXPixmap& p);
    // Whether p is a block of the size the runs were packed from.
    bool Fits(const FXPixmap& p) const;
    // Writes the runs into p / sets their pixels to zero; nothing when p does not fit.
    void Paint(FXPixmap* p) const;
    void Erase(FXPixmap* p) const;
    void Destroy();

    FXPixmapRuns(const FXPixmapRuns&) = delete;
    FXPixmapRuns& operator=(const FXPixmapRuns&) = delete;

  private:
    int stride = 0;
    int rows = 0;
    size_t runCount = 0;
    // runCount pairs of (offset into the block, length), then the runs' pixels.
    uint32_t* data = nullptr;
};

#endif
