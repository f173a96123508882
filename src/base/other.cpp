#include "base/other.h"

#include <cstdlib>
#include <cstring>

void* fxMalloc(unsigned int size) {
    void* p = malloc(size ? size : 1);
    if (p) memset(p, 0, size);
    return p;
}

int fxPower2(int n) {
    int p = 1;
    while (p < n) {
        if (p > (1 << 29)) return 0;
        p <<= 1;
    }
    return p;
}

void FXRect::CombineOr(const FXRect* r) {
    if (!r) return;
    if (r->left < left) left = r->left;
    if (r->top < top) top = r->top;
    if (r->right > right) right = r->right;
    if (r->bottom > bottom) bottom = r->bottom;
}

bool FXRect::CombineAnd(const FXRect* r) {
    if (!r) return !IsEmpty();
    if (r->left > left) left = r->left;
    if (r->top > top) top = r->top;
    if (r->right < right) right = r->right;
    if (r->bottom < bottom) bottom = r->bottom;
    return !IsEmpty();
}
