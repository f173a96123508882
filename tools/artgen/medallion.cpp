#include "medallion.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "paint.h"

namespace art {

namespace {

const float kPi = 3.14159265358979f;

// The disc, in model units (the face looks along +z, as OBJ files have it).
const float kFaceR = 0.84f; // embossed face
const float kFaceZ = 0.08f;
// Fine enough for the medallion's size on screen (about 130 to 200 pixels across): every
// vertex is lit by the scene's lights each frame.
const int kSegments = 48;
const int kRings = 16;
// The rim's profile (radius, height) from the face outwards and round to the back.
const float kRim[][2] = {{kFaceR, kFaceZ}, {0.88f, 0.15f}, {0.95f, 0.15f},
                         {1.0f, 0.09f},    {1.0f, -0.09f}, {0.95f, -0.13f}};
const int kRimPoints = sizeof(kRim) / sizeof(kRim[0]);
const float kBackZ = -0.13f;

// The emblem: a crescent moon in a beaded ring. Each is 0 ... 1 over the face.
float Crescent(float x, float y) {
    float a = Smoothstep(0.56f, 0.47f, std::hypot(x + 0.08f, y));
    float b = Smoothstep(0.50f, 0.41f, std::hypot(x - 0.14f, y - 0.13f));
    return a * (1 - b);
}

float Bead(float x, float y) {
    float r = std::hypot(x, y);
    return Smoothstep(0.035f, 0.0f, std::fabs(r - 0.74f));
}

float Height(float x, float y) {
    return kFaceZ + 0.05f * Crescent(x, y) + 0.025f * Bead(x, y);
}

struct Writer {
    FILE* f;
    int corners = 0;

    // One corner: position, normal and texture coordinate; returns its OBJ number (1-based,
    // the same for all three pools).
    int Corner(float x, float y, float z, float nx, float ny, float nz, float u, float v) {
        float l = std::sqrt(nx * nx + ny * ny + nz * nz);
        fprintf(f, "v %.5f %.5f %.5f\nvn %.5f %.5f %.5f\nvt %.5f %.5f\n", x, y, z, nx / l, ny / l, nz / l, u, v);
        return ++corners;
    }
    void Triangle(int a, int b, int c) {
        fprintf(f, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c, c);
    }
    void Quad(int a, int b, int c, int d) {
        Triangle(a, b, c);
        Triangle(a, c, d);
    }
};

// Texture coordinates of a face point: the picture spans the disc, its top row at y = 1.
float U(float x) {
    return (x + 1) * 0.5f;
}
float V(float y) {
    return (y + 1) * 0.5f;
}

void FaceCorner(Writer& w, float x, float y, int* id) {
    const float e = 0.004f;
    float dx = (Height(x + e, y) - Height(x - e, y)) / (2 * e);
    float dy = (Height(x, y + e) - Height(x, y - e)) / (2 * e);
    *id = w.Corner(x, y, Height(x, y), -dx, -dy, 1, U(x), V(y));
}

void WriteGeometry(Writer& w) {
    // The embossed face: a centre and rings of corners, shared between neighbours so the
    // relief is smoothly shaded.
    fprintf(w.f, "g face\nusemtl medallion_face\n");
    int centre;
    FaceCorner(w, 0, 0, &centre);
    std::vector<int> prev(kSegments, centre), ring(kSegments);
    for (int i = 1; i <= kRings; i++) {
        float r = kFaceR * i / kRings;
        for (int s = 0; s < kSegments; s++) {
            float a = 2 * kPi * s / kSegments;
            FaceCorner(w, r * std::cos(a), r * std::sin(a), &ring[s]);
        }
        for (int s = 0; s < kSegments; s++) {
            int n = (s + 1) % kSegments;
            if (i == 1)
                w.Triangle(centre, ring[s], ring[n]);
            else
                w.Quad(prev[s], ring[s], ring[n], prev[n]);
        }
        prev = ring;
    }

    // The rim: one band per step of the profile, each with its own normal so the bevels
    // catch the light as edges.
    fprintf(w.f, "g rim\nusemtl medallion_rim\n");
    for (int k = 0; k + 1 < kRimPoints; k++) {
        float r0 = kRim[k][0], z0 = kRim[k][1], r1 = kRim[k + 1][0], z1 = kRim[k + 1][1];
        float nr = -(z1 - z0), nz = r1 - r0;
        std::vector<int> a(kSegments), b(kSegments);
        for (int s = 0; s < kSegments; s++) {
            float ang = 2 * kPi * s / kSegments, c = std::cos(ang), sn = std::sin(ang);
            a[s] = w.Corner(r0 * c, r0 * sn, z0, nr * c, nr * sn, nz, U(r0 * c), V(r0 * sn));
            b[s] = w.Corner(r1 * c, r1 * sn, z1, nr * c, nr * sn, nz, U(r1 * c), V(r1 * sn));
        }
        for (int s = 0; s < kSegments; s++) {
            int n = (s + 1) % kSegments;
            w.Quad(a[s], b[s], b[n], a[n]);
        }
    }

    // The flat back carries the emblem's picture, mirrored so that it reads from behind.
    fprintf(w.f, "g back\nusemtl medallion_face\n");
    float rb = kRim[kRimPoints - 1][0];
    int back = w.Corner(0, 0, kBackZ, 0, 0, -1, U(0), V(0));
    std::vector<int> edge(kSegments);
    for (int s = 0; s < kSegments; s++) {
        float ang = 2 * kPi * s / kSegments, x = rb * std::cos(ang), y = rb * std::sin(ang);
        edge[s] = w.Corner(x, y, kBackZ, 0, 0, -1, U(-x), V(y));
    }
    for (int s = 0; s < kSegments; s++)
        w.Triangle(back, edge[(s + 1) % kSegments], edge[s]);
}

// Brushed metal in fine concentric rings, the crescent polished, its edge and the stars
// engraved dark.
Image PaintMedallionFace(int size) {
    Image img(size, size);
    const float stars[][3] = {{0.36f, 0.30f, 0.07f}, {0.48f, -0.08f, 0.05f}, {0.28f, -0.38f, 0.06f}};
    for (int py = 0; py < size; py++)
        for (int px = 0; px < size; px++) {
            float x = (px + 0.5f) / size * 2 - 1, y = 1 - (py + 0.5f) / size * 2;
            float r = std::hypot(x, y);
            float brushed = 0.88f + 0.03f * std::sin(r * 90) + 0.02f * std::sin(r * 37 + 1.3f);
            float c = Crescent(x, y);
            float tone = brushed + (1.0f - brushed) * c;
            // Engraving where the crescent rises and along the bead.
            float edge = c * (1 - c) * 4;
            tone *= 1 - 0.45f * edge;
            tone *= 1 - 0.25f * Smoothstep(0.012f, 0.0f, std::fabs(r - 0.695f));
            for (const auto& s : stars) {
                float dx = std::fabs(x - s[0]), dy = std::fabs(y - s[1]);
                // A four-pointed star: thin where both offsets are large.
                float d = std::sqrt(dx * dy) + 0.15f * (dx + dy);
                tone *= 1 - 0.5f * Smoothstep(s[2] * 0.32f, s[2] * 0.22f, d);
            }
            float* p = img.At(px, py);
            p[0] = p[1] = p[2] = Clamp01(tone);
            p[3] = 1;
        }
    return img;
}

} // namespace

bool WriteMedallion(const std::string& dir) {
    std::string obj = dir + "/medallion.obj", mtl = dir + "/medallion.mtl", png = dir + "/medallion.png";
    if (!WritePng(PaintMedallionFace(256), png.c_str(), true)) return false;

    FILE* m = fopen(mtl.c_str(), "w");
    if (!m) return false;
    fprintf(m, "# The logo medallion's metals (written by artgen)\n"
               "newmtl medallion_face\n"
               "Ka 0.30 0.24 0.12\nKd 0.86 0.70 0.38\nKs 0.95 0.88 0.70\nNs 48\n"
               "map_Kd medallion.png\n"
               "newmtl medallion_rim\n"
               "Ka 0.28 0.22 0.10\nKd 0.78 0.60 0.30\nKs 1.00 0.92 0.75\nNs 64\n");
    if (fclose(m) != 0) return false;

    Writer w;
    w.f = fopen(obj.c_str(), "w");
    if (!w.f) return false;
    fprintf(w.f, "# The logo medallion: an embossed face in a bevelled rim (written by artgen)\n"
                 "mtllib medallion.mtl\n");
    WriteGeometry(w);
    return fclose(w.f) == 0;
}

} // namespace art
