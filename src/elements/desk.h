#ifndef MH_ELEMENTS_DESK_H
#define MH_ELEMENTS_DESK_H

#include "geometry/mesh.h"
#include "render/env.h"

class FXMaterial;

// A flat layer: a grid of cols x rows cells over the square -1..+1, held in one mesh.
// Vertex j + i * (cols + 1) sits in column j (left to right) and row i (top to bottom).
class FXDesk : public PRender {
  public:
    FXDesk();
    virtual ~FXDesk();

    void OnRender(PEnv* env, double t) override;
    virtual void Destroy();
    virtual void UpdatePos(bool setPos, bool setNormal);
    // Moves the top edge by dx and the left edge by dy; the bottom and right edges stay.
    virtual void UpdatePosSkew(bool setPos, bool setNormal, float dx, float dy);
    // Moves the bottom edge by dx and the right edge by dy; the top and left edges stay.
    virtual void UpdatePosSkew1(bool setPos, bool setNormal, float dx, float dy);
    // Widens each row below the top by (1 + t * spread).
    virtual void UpdatePosPerspective(float spread);
    virtual void UpdateCol();
    virtual void UpdateColCol(float* rgba);
    // Blends from lt (top row, left column) to rb (right-bottom corner) by the product of the fractions.
    virtual void UpdateCol_LT_RB(float* lt, float* rb);
    virtual void UpdateTex();
    virtual void UpdateTex1();
    virtual void UpdateTexRc(float uLeft, float vTop, float uRight, float vBottom);

    // Builds the grid; a size below 1 x 1 leaves the desk empty.
    void Create(int cols, int rows);
    void SetMaterial(FXMaterial* m);
    void SetMaterial1(FXMaterial* m);
    // Corners of a 1 x 1 desk: 1 left-top, 2 right-top, 3 right-bottom, 4 left-bottom.
    void SetVertexPos(int corner, float x, float y);
    void SetVertexPos1(int corner, int px, int py, int width, int height);
    void SetTexelPos(int corner, float u, float v);
    void SetTexelPos1(int corner, int px, int py, int width, int height);

    int cols;
    int rows;
    FXMesh mesh;

    FXDesk(const FXDesk&) = delete;
    FXDesk& operator=(const FXDesk&) = delete;

  protected:
    // True when the mesh holds the grid of cols x rows cells.
    bool HasGrid() const;
    // The material's texture extents, 0 without a material.
    void TexExtents(float* mu, float* mv) const;
    tagFXVertex* Corner(int corner);
};

#endif
