#pragma once
// Text types: a fixed-capacity string held by value, heap-grown narrow and
// 16-bit strings, and one-shot converters between UTF-8 and UTF-16.

#include <cstdarg>
#include <cstdio>

#if defined(__GNUC__)
#define FX_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define FX_PRINTF(fmt, args)
#endif

// Fixed-capacity string: at most 1023 characters plus the terminator; never allocates.
class FXStr {
  public:
    enum { MaxLength = 1023 };

    char text[1024];
    int length;

    FXStr() {
        text[0] = 0;
        length = 0;
    }
    FXStr(const char* s) { Set(s); }

    void Clear() {
        text[0] = 0;
        length = 0;
    }
    int Set(const char* s);
    void Append(const char* s);
    void AppendChar(char c);
    void InsertChar(char c);
    void RemoveLast();
    int Format(const char* fmt, ...) FX_PRINTF(2, 3);
    int FormatV(const char* fmt, va_list args);
    int TrimSpaces();
    int ToLower();
    int ToUpper();
    void ExchangeChars(char from, char to);
    bool IsEmpty() const { return length == 0; }
    bool Compare(const char* s) const;
    bool nCompare(const char* s, int n) const;
    bool iCompare(const char* s) const;

    // Stream form: signed 32-bit little-endian byte count, then the bytes.
    bool Save(FILE* f) const;
    // Refuses (empty string, false) a count outside 0..1023 or a short read.
    bool Load(FILE* f);
    // Writes the text as a path relative to the directory `base`.
    bool SaveShortPath(FILE* f, const char* base) const;
};

// Heap-grown narrow string; the block is exactly as large as the largest text held.
class FXLongStr {
  public:
    char* text;
    int length;
    int capacity;

    FXLongStr() : text(nullptr), length(0), capacity(0) {}
    FXLongStr(const char* s) : text(nullptr), length(0), capacity(0) { Set(s); }
    FXLongStr(const FXLongStr& o);
    FXLongStr& operator=(const FXLongStr& o);
    ~FXLongStr() { ClearBuf(); }

    void Clear();
    void ClearBuf();
    void Set(const char* s);
    void Append(const char* s);
    int TrimSpaces();
    void ToLower();
    bool IsEmpty() const { return length == 0; }
    bool Compare(const char* s) const;
    bool iCompare(const char* s) const;
};

// Heap-grown string of 16-bit (UTF-16) characters.
class FXLongStrW {
  public:
    char16_t* text;
    int length;
    int capacity;

    FXLongStrW() : text(nullptr), length(0), capacity(0) {}
    FXLongStrW(const char16_t* s) : text(nullptr), length(0), capacity(0) { Set(s); }
    FXLongStrW(const FXLongStrW& o);
    FXLongStrW& operator=(const FXLongStrW& o);
    ~FXLongStrW() { ClearBuf(); }

    void Clear();
    void ClearBuf();
    void Set(const char16_t* s);
    void Append(const char16_t* s);
    void AppendChar(char16_t c);
    void RemoveLast();
    int TrimSpaces();
    void ToLower();
    bool IsEmpty() const { return length == 0; }
    bool Compare(const char16_t* s) const;
    bool iCompare(const char16_t* s) const;
};

// UTF-8 to UTF-16. Holds no result (text null, length 0) for empty or malformed input.
class FXConvertW {
  public:
    char16_t* text;
    int length;

    FXConvertW() : text(nullptr), length(0) {}
    FXConvertW(const char* s) : text(nullptr), length(0) { Convert(s); }
    FXConvertW(const FXConvertW&) = delete;
    FXConvertW& operator=(const FXConvertW&) = delete;
    ~FXConvertW() { Release(); }

    const char16_t* Convert(const char* s);

  private:
    void Release();
};

// UTF-16 to UTF-8. Holds no result for empty or malformed input.
class FXConvertC {
  public:
    char* text;
    int length;

    FXConvertC() : text(nullptr), length(0) {}
    FXConvertC(const char16_t* s) : text(nullptr), length(0) { Convert(s); }
    FXConvertC(const FXConvertC&) = delete;
    FXConvertC& operator=(const FXConvertC&) = delete;
    ~FXConvertC() { Release(); }

    const char* Convert(const char16_t* s);

  private:
    void Release();
};

// Length of a zero-terminated 16-bit string (0 for null).
int fxStrLenW(const char16_t* s);
