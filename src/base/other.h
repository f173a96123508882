#pragma once
// Allocation helpers and the integer rectangle.

// Zero-filled allocation with malloc; null on failure. Release with free().
void* fxMalloc(unsigned int size);
// Smallest power of two not less than n (1 for n <= 1); 0 when it would not fit an int.
int fxPower2(int n);

// Integer rectangle; right and bottom are exclusive.
class FXRect {
  public:
    int left;
    int top;
    int right;
    int bottom;

    FXRect() : left(0), top(0), right(0), bottom(0) {}
    FXRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}

    void SetZero() { left = top = right = bottom = 0; }
    void Set(int l, int t, int r, int b) {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    void CombineOr(const FXRect* r);
    bool CombineAnd(const FXRect* r);
    bool IsEmpty() const { return !(left < right && top < bottom); }
};
