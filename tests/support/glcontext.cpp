#include "support/glcontext.h"

GLContext::~GLContext() {
    Destroy();
}

bool GLContext::Create(int width, int height) {
    Destroy();
    if (!gl.Create(fxCreateOffscreenBinding(width, height))) return false;
    gl.SetAct(true);
    if (!gl.IsAct()) {
        gl.Destroy();
        return false;
    }
    previousEnv = fxglobalEnv;
    fxSetEnv(&gl);
    created = true;
    return true;
}

void GLContext::Destroy() {
    if (!created) return;
    gl.Destroy();
    fxSetEnv(previousEnv);
    previousEnv = nullptr;
    created = false;
}

std::vector<uint8_t> GLContext::Read() {
    std::vector<uint8_t> rgba((size_t)gl.width * gl.height * 4);
    if (rgba.empty() || !gl.ReadFrame(rgba.data())) rgba.clear();
    return rgba;
}

uint32_t GLContext::Pixel(const std::vector<uint8_t>& rgba, int width, int x, int y) {
    size_t i = ((size_t)y * width + x) * 4;
    if (i + 3 >= rgba.size()) return 0;
    return (uint32_t)rgba[i] << 24 | (uint32_t)rgba[i + 1] << 16 | (uint32_t)rgba[i + 2] << 8 | rgba[i + 3];
}

uint32_t GLContext::Pixel(int x, int y) {
    return Pixel(Read(), gl.width, x, y);
}
