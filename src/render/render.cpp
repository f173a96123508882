// Mesh drawing: immediate-mode triangles, with the per-frame choices (vertex colours, normals,
// texture coordinates) hoisted out of the vertex loops into specialised loops.
#include "geometry/mesh.h"
#include "render/gl.h"

bool FXGL::PrepareMesh(FXMesh*) {
    return true;
}

// Nothing is cached per mesh: the vertex arrays are read afresh on every draw.
void FXGL::UnprepareMesh(FXMesh*) {}

template <bool COLOR, bool NORMALS, bool TEX, bool SECOND>
static void localRawLoop(FXGL* gl, const FXMesh* mesh, const tagFXVertex* second) {
    const FXMultiTexCoord2fvProc multiTexCoord = gl->glMultiTexCoord2fv;
    const tagFXVertex* vertices = mesh->vertices;
    const int32_t* indices = mesh->indices;
    for (int k = 0; k < mesh->indexCount; k++) {
        int32_t i = indices[k];
        const tagFXVertex& v = vertices[i];
        if (COLOR) glColor4fv(v.color);
        if (NORMALS) glNormal3fv(v.normal);
        if (TEX) {
            glTexCoord2fv(v.tex);
            if (SECOND) multiTexCoord(GL_TEXTURE1, second[i].tex);
        }
        glVertex3fv(v.pos);
    }
}

template <bool SECOND> static void localRawDispatch(FXGL* gl, const FXMesh* mesh, const tagFXVertex* second) {
    glBegin(GL_TRIANGLES);
    if (mesh->colorMode == 0 || mesh->colorMode == 1) {
        int which = (mesh->colorMode == 1 ? 4 : 0) | (gl->lightsEnabled ? 2 : 0) | (gl->textureOn ? 1 : 0);
        switch (which) {
        case 0:
            localRawLoop<false, false, false, SECOND>(gl, mesh, second);
            break;
        case 1:
            localRawLoop<false, false, true, SECOND>(gl, mesh, second);
            break;
        case 2:
            localRawLoop<false, true, false, SECOND>(gl, mesh, second);
            break;
        case 3:
            localRawLoop<false, true, true, SECOND>(gl, mesh, second);
            break;
        case 4:
            localRawLoop<true, false, false, SECOND>(gl, mesh, second);
            break;
        case 5:
            localRawLoop<true, false, true, SECOND>(gl, mesh, second);
            break;
        case 6:
            localRawLoop<true, true, false, SECOND>(gl, mesh, second);
            break;
        default:
            localRawLoop<true, true, true, SECOND>(gl, mesh, second);
            break;
        }
    }
    glEnd();
}

static void localRawRender(FXGL* gl, FXMesh* mesh) {
    localRawDispatch<false>(gl, mesh, nullptr);
}

// The second mesh's texture coordinates go to texture unit 1, taken at the first mesh's indices.
static void localRawRender2(FXGL* gl, FXMesh* mesh, FXMesh* second) {
    localRawDispatch<true>(gl, mesh, second->vertices);
}

void FXGL::RenderMesh(FXMesh* mesh) {
    if (!mesh || mesh->disabled || mesh->vertexCount < 1 || mesh->indexCount < 1) return;

    if (mesh->colorMode == 0) {
        glColor4f(1, 1, 1, 1);
        glDisable(GL_COLOR_MATERIAL);
    } else if (mesh->colorMode == 1) {
        glEnable(GL_COLOR_MATERIAL);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glColor4f(1, 1, 1, 1);
    }
    if (mesh->material)
        ApplyMaterial(mesh->material);
    else
        ApplyDefaultMaterial();

    FXMesh* second = mesh->secondMesh;
    if (!second) {
        ApplyMaterial2(nullptr);
        localRawRender(this, mesh);
        return;
    }
    // Without multitexturing the layer is skipped. The second mesh is read at the first mesh's
    // indices, so one with fewer vertices is skipped too rather than read past its end.
    if (!extMultitexture || !glMultiTexCoord2fv || !second->vertices ||
        second->vertexCount < mesh->vertexCount)
        return;
    ApplyMaterial2(second->material);
    localRawRender2(this, mesh, second);
}
