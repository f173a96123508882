#include "elements/scrpos01.h"

#include <climits>
#include <cmath>

FXScrPos01::FXScrPos01() : refWidth(0), refHeight(0), width(0), height(0), posX(0), posY(0), relative(false) {
    matrix.SetIdentity();
}

void FXScrPos01::SetPos(float x, float y) {
    posX = x;
    posY = y;
    Update();
}

void FXScrPos01::ShiftPos(float fx, float fy) {
    posX += refWidth * fx;
    posY += refHeight * fy;
    Update();
}

void FXScrPos01::UpdateSize() {
    if (!(refWidth > 0 && refHeight > 0 && width > 0 && height > 0)) {
        matrix.SetIdentity();
        return;
    }
    matrix.SetScaleF(width / refWidth, height / refHeight, 1);
}

void FXScrPos01::Update() {
    UpdateSize();
    if (!(refWidth > 0 && refHeight > 0 && width > 0 && height > 0)) return;
    FXMatrix scale = matrix, move;
    float bx = (width - refWidth) * 0.5f + posX;
    bx = bx / refWidth;
    float by = (height - refHeight) * 0.5f + posY;
    by = by / refHeight;
    move.SetMoveF(bx * 2, by * -2, 0);
    matrix.Multiply(&move, &scale);
}

void FXScrPos01::UpdateAspectH1(int align, float screenWidth, float screenHeight) {
    if (!(refWidth > 0 && refHeight > 0 && screenWidth > 0 && screenHeight > 0)) return;
    float a = screenWidth / refWidth;
    float b = screenHeight / refHeight;
    float r = b / a;
    if (r >= 1) return;
    FXMatrix scale, base = matrix;
    scale.SetScaleF(r, 1, 1);
    if (align == 0) {
        matrix.Multiply(&base, &scale);
        return;
    }
    FXMatrix move, moved;
    move.SetMoveF(align == 1 ? 1 - r : r - 1, 0, 0);
    moved.Multiply(&base, &move);
    matrix.Multiply(&moved, &scale);
}

// Truncates towards zero, holding the result within int.
static int localTrunc(double v) {
    if (!(v > INT_MIN)) return v != v ? 0 : INT_MIN;
    if (!(v < INT_MAX)) return INT_MAX;
    return (int)v;
}

void FXScrPos01::GetPixelRC(FXRect* rc, int screenWidth, int screenHeight) {
    if (!(refWidth > 0 && refHeight > 0)) {
        rc->left = rc->top = rc->right = rc->bottom = 0;
        return;
    }
    rc->left = localTrunc((float)screenWidth * posX / refWidth);
    rc->top = localTrunc((float)screenHeight * posY / refHeight);
    long long r = (long long)localTrunc(posX + width) * screenWidth;
    long long b = (long long)localTrunc(posY + height) * screenHeight;
    rc->right = localTrunc((float)r / refWidth);
    rc->bottom = localTrunc((float)b / refHeight);
}

void FXScrPos01::OnRender(PEnv* env, double) {
    if (!relative) {
        env->ApplyMatrix(&matrix);
        return;
    }
    PEnv* current = fxglobalEnv ? fxglobalEnv : env;
    FXMatrix product;
    product.Multiply(&current->matrix, &matrix);
    env->ApplyMatrix(&product);
}
