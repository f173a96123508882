// An offscreen OpenGL device for pixel tests: no window system needed.
//
//   GLContext ctx;
//   ASSERT_TRUE(ctx.Create(64, 32));   // device current on this thread, published as fxglobalEnv
//   ... draw through ctx.gl ...
//   std::vector<uint8_t> rgba = ctx.Read();   // 64 * 32 * 4 bytes, top row first
#ifndef MH_TESTS_SUPPORT_GLCONTEXT_H
#define MH_TESTS_SUPPORT_GLCONTEXT_H

#include <stdint.h>

#include <vector>

#include "render/gl.h"

class GLContext {
  public:
    GLContext() = default;
    ~GLContext();

    // Creates the device at the given size, makes it current on the calling thread and
    // publishes it as the process environment (the previous one comes back on Destroy).
    bool Create(int width, int height);
    void Destroy();

    // The frame drawn so far, RGBA, top row first; empty on failure.
    std::vector<uint8_t> Read();
    // One pixel of the frame as 0xRRGGBBAA, (0, 0) the top-left corner.
    static uint32_t Pixel(const std::vector<uint8_t>& rgba, int width, int x, int y);
    uint32_t Pixel(int x, int y);

    FXGL gl;

  private:
    PEnv* previousEnv = nullptr;
    bool created = false;
};

#endif
