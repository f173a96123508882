#include "elements/fps_gadget.h"

#include <GL/gl.h>
#include <stdio.h>

FXFpsGadget::FXFpsGadget() : since(-1), frames(0) {
    text[0] = 0;
}

FXFpsGadget::~FXFpsGadget() {
    Destroy();
}

bool FXFpsGadget::Create() {
    Destroy();
    material.mipmaps = false; // drawn pixel for pixel
    return font.Create("DejaVu Sans", 14, true);
}

void FXFpsGadget::Destroy() {
    material.Destroy();
    canvas.Destroy();
    font.Destroy();
    text[0] = 0;
    since = -1;
    frames = 0;
}

void FXFpsGadget::OnRender(PEnv* env, double t) {
    if (!font.IsCreated() || !env) return;
    if (since < 0 || t < since) {
        since = t;
        frames = 0;
    }
    frames++;
    if (t - since >= 1.0) {
        double fps = (frames - 1) / (t - since);
        snprintf(text, sizeof(text), "%.1f fps  %.1f ms", fps, fps > 0 ? 1000.0 / fps : 0.0);
        since = t;
        frames = 1;
        float white[4] = {1, 1, 1, 1};
        // Uploaded into the same texture name each time.
        if (canvas.CreateFromText(text, &font, white)) material.SetTexture(&canvas);
    }
    int w = canvas.pixmap.width, h = canvas.pixmap.height;
    if (!material.textured || material.texId == 0 || env->width < 1 || env->height < 1 || w < 1 || h < 1) return;

    // Pixels to the normalised square, 8 pixels in from the bottom-left corner.
    float sx = 2.0f / (float)env->width, sy = 2.0f / (float)env->height;
    float x0 = -1 + 8 * sx, y0 = -1 + 8 * sy, x1 = x0 + (float)(w + 8) * sx, y1 = y0 + (float)(h + 4) * sy;
    env->ApplyMatrixIdentity();
    env->EnableLights(false);
    env->EnableDepthTest(false);
    env->EnableDepthWrite(false);
    // A dark backing so that the text reads over any picture.
    FXMaterial none;
    env->ApplyMaterial(&none);
    glColor4f(0, 0, 0, 0.6f);
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
    env->ApplyMaterial(&material);
    glColor4f(1, 1, 1, 1);
    float u = material.texScaleU, v = material.texScaleV;
    float tx0 = x0 + 4 * sx, ty0 = y0 + 2 * sy, tx1 = tx0 + (float)w * sx, ty1 = ty0 + (float)h * sy;
    glBegin(GL_QUADS);
    glTexCoord2f(0, v);
    glVertex2f(tx0, ty0);
    glTexCoord2f(u, v);
    glVertex2f(tx1, ty0);
    glTexCoord2f(u, 0);
    glVertex2f(tx1, ty1);
    glTexCoord2f(0, 0);
    glVertex2f(tx0, ty1);
    glEnd();
    env->ApplyMaterial(&none);
}
