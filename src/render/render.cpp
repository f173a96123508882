// Mesh drawing: the vertex records go to OpenGL as client arrays over their 76-byte stride and
// each mesh is one glDrawElements, so shared vertices are transformed and lit once. What is
// sent (vertex colours, normals, texture coordinates) follows the mesh and the frame's state.
#include "geometry/mesh.h"
#include "render/gl.h"

bool FXGL::PrepareMesh(FXMesh*) {
    return true;
}

// Nothing is cached per mesh: the vertex arrays are read afresh on every draw.
void FXGL::UnprepareMesh(FXMesh*) {}

static void localArray(GLenum array, bool on) {
    if (on)
        glEnableClientState(array);
    else
        glDisableClientState(array);
}

// The second mesh's texture coordinates go to texture unit 1, taken at the first mesh's indices.
static void localDraw(FXGL* gl, const FXMesh* mesh, const FXMesh* second) {
    const tagFXVertex* v = mesh->vertices;
    const GLsizei stride = (GLsizei)sizeof(tagFXVertex);
    bool colors = mesh->colorMode == 1, normals = gl->lightsEnabled, tex = gl->textureOn;
    bool tex2 = tex && second && gl->glClientActiveTexture;
    glVertexPointer(3, GL_FLOAT, stride, v->pos);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (colors) glColorPointer(4, GL_FLOAT, stride, v->color);
    localArray(GL_COLOR_ARRAY, colors);
    if (normals) glNormalPointer(GL_FLOAT, stride, v->normal);
    localArray(GL_NORMAL_ARRAY, normals);
    if (tex) glTexCoordPointer(2, GL_FLOAT, stride, v->tex);
    localArray(GL_TEXTURE_COORD_ARRAY, tex);
    if (tex2) {
        gl->glClientActiveTexture(GL_TEXTURE1);
        glTexCoordPointer(2, GL_FLOAT, stride, second->vertices->tex);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDrawElements(GL_TRIANGLES, mesh->indexCount, GL_UNSIGNED_INT, mesh->indices);
    // Leave no array enabled: other drawing (and the next mesh) starts from a clean state.
    if (tex2) {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        gl->glClientActiveTexture(GL_TEXTURE0);
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    // The current values end as those of the last vertex drawn, as when vertices were sent one
    // by one: drawing that follows may rely on them.
    int32_t last = mesh->indices[mesh->indexCount - 1];
    if (colors) glColor4fv(v[last].color);
    if (normals) glNormal3fv(v[last].normal);
    if (tex) glTexCoord2fv(v[last].tex);
    if (tex2 && gl->glMultiTexCoord2fv) gl->glMultiTexCoord2fv(GL_TEXTURE1, second->vertices[last].tex);
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
    // Other colour modes draw nothing.
    if (mesh->colorMode != 0 && mesh->colorMode != 1) return;

    FXMesh* second = mesh->secondMesh;
    if (!second) {
        ApplyMaterial2(nullptr);
        localDraw(this, mesh, nullptr);
        return;
    }
    // Without multitexturing the layer is skipped. The second mesh is read at the first mesh's
    // indices, so one with fewer vertices is skipped too rather than read past its end.
    if (!extMultitexture || !glClientActiveTexture || !second->vertices || second->vertexCount < mesh->vertexCount)
        return;
    ApplyMaterial2(second->material);
    localDraw(this, mesh, second);
}
