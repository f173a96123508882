#include "base/strings.h"

#include "base/paths.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// White space and case in the default C locale, whatever locale is active.
inline bool localIsSpace(unsigned c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline unsigned localLower(unsigned c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}
inline unsigned localUpper(unsigned c) {
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

template <typename C> int localTrim(C* buf, int len) {
    if (len <= 0 || !buf) return 0;
    int i = 0;
    while (i < len && localIsSpace(static_cast<unsigned>(buf[i]) & (sizeof(C) == 1 ? 0xFFu : 0xFFFFu)))
        i++;
    if (i > 0) {
        memmove(buf, buf + i, (len - i + 1) * sizeof(C));
        if (i == len) return 0;
        len -= i;
    }
    int j = 0;
    while (j < len &&
           localIsSpace(static_cast<unsigned>(buf[len - 1 - j]) & (sizeof(C) == 1 ? 0xFFu : 0xFFFFu)))
        j++;
    if (j == 0) return len;
    buf[len - j] = 0;
    return len - j;
}

int localTrimSpaces(char* buf, int len) {
    return localTrim(buf, len);
}
int localTrimSpacesW(char16_t* buf, int len) {
    return localTrim(buf, len);
}

// Compares at most n characters ignoring ASCII case; true when equal.
bool localEqualNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; i++) {
        unsigned ca = localLower(static_cast<unsigned char>(a[i]));
        unsigned cb = localLower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
    return true;
}

bool localEqualW(const char16_t* a, const char16_t* b, bool noCase) {
    for (;; a++, b++) {
        unsigned ca = *a, cb = *b;
        if (noCase) {
            ca = localLower(ca);
            cb = localLower(cb);
        }
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
}

inline int localLen(const char* s) {
    return static_cast<int>(strlen(s));
}
inline int localLen(const char16_t* s) {
    return fxStrLenW(s);
}

// Set of the long strings: the block is replaced by one of exactly the needed size
// only when it is too small. s may point into the block.
template <typename C> void localLongSet(C*& text, int& length, int& capacity, const C* s) {
    if (!s || !*s) {
        length = 0;
        if (text) text[0] = 0;
        return;
    }
    int n = localLen(s);
    if (capacity < n + 1) {
        C* block = static_cast<C*>(malloc((n + 1) * sizeof(C)));
        memcpy(block, s, (n + 1) * sizeof(C));
        free(text);
        text = block;
        capacity = n + 1;
    } else {
        memmove(text, s, (n + 1) * sizeof(C));
    }
    length = n;
}

// Append of the long strings: grows to exactly the needed size. s may point into the block.
template <typename C> void localLongAppend(C*& text, int& length, int& capacity, const C* s) {
    if (!s || !*s) return;
    int n = localLen(s);
    int need = length + n + 1;
    if (capacity < need) {
        C* block = static_cast<C*>(malloc(need * sizeof(C)));
        if (text) memcpy(block, text, length * sizeof(C));
        // Copied before the old block is released.
        memcpy(block + length, s, (n + 1) * sizeof(C));
        free(text);
        text = block;
        capacity = need;
    } else {
        memmove(text + length, s, (n + 1) * sizeof(C));
    }
    length += n;
}

void localWriteInt(FILE* f, int32_t v, bool& ok) {
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    if (fwrite(b, 1, 4, f) != 4) ok = false;
}

} // namespace

// ---- FXStr -------------------------------------------------------------

int FXStr::Set(const char* s) {
    if (!s || !*s) {
        Clear();
        return 0;
    }
    if (s != text) {
        size_t n = strnlen(s, MaxLength);
        memmove(text, s, n);
        text[n] = 0;
    }
    text[MaxLength] = 0;
    length = static_cast<int>(strlen(text));
    return length;
}

void FXStr::Append(const char* s) {
    if (!s || !*s) return;
    size_t room = MaxLength - length;
    size_t n = strnlen(s, room);
    memmove(text + length, s, n);
    text[length + n] = 0;
    text[MaxLength] = 0;
    length = static_cast<int>(strlen(text));
}

void FXStr::AppendChar(char c) {
    if (length > MaxLength - 1) return;
    text[length] = c;
    text[length + 1] = 0;
    length = static_cast<int>(strlen(text));
}

void FXStr::InsertChar(char c) {
    if (length > MaxLength - 1) return;
    memmove(text + 1, text, length + 1);
    text[0] = c;
    length = static_cast<int>(strlen(text));
}

void FXStr::RemoveLast() {
    if (length > 0) text[--length] = 0;
}

int FXStr::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = FormatV(fmt, args);
    va_end(args);
    return n;
}

int FXStr::FormatV(const char* fmt, va_list args) {
    text[0] = 0;
    length = 0;
    if (!fmt) return 0;
    // vsnprintf reports the length the text would have had: clamp it to what fits.
    int n = vsnprintf(text, MaxLength + 1, fmt, args);
    if (n < 0) {
        text[0] = 0;
        n = 0;
    }
    if (n > MaxLength) n = MaxLength;
    text[n] = 0;
    length = static_cast<int>(strlen(text));
    return length;
}

int FXStr::TrimSpaces() {
    length = localTrimSpaces(text, length);
    return length;
}

int FXStr::ToLower() {
    for (int i = 0; i < length; i++)
        text[i] = static_cast<char>(localLower(static_cast<unsigned char>(text[i])));
    return length;
}

int FXStr::ToUpper() {
    for (int i = 0; i < length; i++)
        text[i] = static_cast<char>(localUpper(static_cast<unsigned char>(text[i])));
    return length;
}

void FXStr::ExchangeChars(char from, char to) {
    for (int i = 0; i < length; i++)
        if (text[i] == from) text[i] = to;
}

bool FXStr::Compare(const char* s) const {
    if (!s || !*s) return length == 0;
    return length != 0 && strncmp(text, s, MaxLength) == 0;
}

bool FXStr::nCompare(const char* s, int n) const {
    if (!s || !*s) return length == 0;
    if (n <= 0) return length != 0;
    return length != 0 && strncmp(text, s, static_cast<size_t>(n)) == 0;
}

bool FXStr::iCompare(const char* s) const {
    if (!s || !*s) return length == 0;
    return length != 0 && localEqualNoCase(text, s, MaxLength);
}

bool FXStr::Save(FILE* f) const {
    if (!f) return false;
    bool ok = true;
    int n = length < 0 ? 0 : length;
    localWriteInt(f, n, ok);
    if (n > 0 && fwrite(text, 1, n, f) != static_cast<size_t>(n)) ok = false;
    return ok;
}

bool FXStr::Load(FILE* f) {
    Clear();
    if (!f) return false;
    unsigned char b[4];
    if (fread(b, 1, 4, f) != 4) return false;
    int32_t n =
        static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                             (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
    if (n < 0 || n > MaxLength) return false;
    if (n > 0 && fread(text, 1, n, f) != static_cast<size_t>(n)) {
        Clear();
        return false;
    }
    text[n] = 0;
    // An embedded zero shortens the text; the stream position stays after the record.
    length = static_cast<int>(strlen(text));
    return true;
}

bool FXStr::SaveShortPath(FILE* f, const char* base) const {
    if (!f) return false;
    bool ok = true;
    if (length <= 0) {
        localWriteInt(f, 0, ok);
        return ok;
    }
    const char* rel = fxBuildRelativePath(base, false, text, true);
    size_t n = rel ? strlen(rel) : 0;
    localWriteInt(f, static_cast<int32_t>(n), ok);
    if (n > 0 && fwrite(rel, 1, n, f) != n) ok = false;
    return ok;
}

// ---- FXLongStr ---------------------------------------------------------

FXLongStr::FXLongStr(const FXLongStr& o) : text(nullptr), length(0), capacity(0) {
    Set(o.text);
}

FXLongStr& FXLongStr::operator=(const FXLongStr& o) {
    if (this != &o) Set(o.length ? o.text : nullptr);
    return *this;
}

void FXLongStr::Clear() {
    ClearBuf();
    length = 0;
}

void FXLongStr::ClearBuf() {
    free(text);
    text = nullptr;
    capacity = 0;
}

void FXLongStr::Set(const char* s) {
    localLongSet(text, length, capacity, s);
}

void FXLongStr::Append(const char* s) {
    localLongAppend(text, length, capacity, s);
}

int FXLongStr::TrimSpaces() {
    length = text ? localTrimSpaces(text, length) : 0;
    return length;
}

void FXLongStr::ToLower() {
    for (int i = 0; i < length && text; i++)
        text[i] = static_cast<char>(localLower(static_cast<unsigned char>(text[i])));
}

bool FXLongStr::Compare(const char* s) const {
    if (!s || !*s) return length == 0;
    if (!text || length == 0) return false;
    return strcmp(text, s) == 0;
}

bool FXLongStr::iCompare(const char* s) const {
    if (!s || !*s) return length == 0;
    if (!text || length == 0) return false;
    return localEqualNoCase(text, s, SIZE_MAX);
}

// ---- FXLongStrW --------------------------------------------------------

int fxStrLenW(const char16_t* s) {
    if (!s) return 0;
    int n = 0;
    while (s[n])
        n++;
    return n;
}

FXLongStrW::FXLongStrW(const FXLongStrW& o) : text(nullptr), length(0), capacity(0) {
    Set(o.text);
}

FXLongStrW& FXLongStrW::operator=(const FXLongStrW& o) {
    if (this != &o) Set(o.length ? o.text : nullptr);
    return *this;
}

void FXLongStrW::Clear() {
    ClearBuf();
    length = 0;
}

void FXLongStrW::ClearBuf() {
    free(text);
    text = nullptr;
    capacity = 0;
}

void FXLongStrW::Set(const char16_t* s) {
    localLongSet(text, length, capacity, s);
}

void FXLongStrW::Append(const char16_t* s) {
    localLongAppend(text, length, capacity, s);
}

void FXLongStrW::AppendChar(char16_t c) {
    // After ClearBuf the length may outlive the block: without a block the text is empty.
    if (!text) length = 0;
    if (capacity < length + 2) {
        // Grows by one character per call: realloc usually does that in place.
        text = static_cast<char16_t*>(realloc(text, (length + 2) * sizeof(char16_t)));
        capacity = length + 2;
    }
    text[length++] = c;
    text[length] = 0;
}

void FXLongStrW::RemoveLast() {
    if (length > 0 && text) text[--length] = 0;
}

int FXLongStrW::TrimSpaces() {
    length = text ? localTrimSpacesW(text, length) : 0;
    return length;
}

void FXLongStrW::ToLower() {
    for (int i = 0; i < length && text; i++)
        text[i] = static_cast<char16_t>(localLower(text[i]));
}

bool FXLongStrW::Compare(const char16_t* s) const {
    if (!s || !*s) return length == 0;
    if (!text || length == 0) return false;
    return localEqualW(text, s, false);
}

bool FXLongStrW::iCompare(const char16_t* s) const {
    if (!s || !*s) return length == 0;
    if (!text || length == 0) return false;
    return localEqualW(text, s, true);
}

// ---- Converters ----------------------------------------------------------

namespace {

// Decodes one UTF-8 sequence at s; returns its byte count, 0 when malformed.
int localDecodeUtf8(const unsigned char* s, uint32_t& cp) {
    unsigned c = s[0];
    int n;
    uint32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        n = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    for (int i = 1; i < n; i++) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// Number of UTF-16 units for a UTF-8 text, or -1 when malformed; fills out when given.
long localUtf8To16(const char* src, char16_t* out) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
    long units = 0;
    while (*s) {
        uint32_t cp;
        int n = localDecodeUtf8(s, cp);
        if (n == 0) return -1;
        s += n;
        if (cp >= 0x10000) {
            if (out) {
                out[units] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                out[units + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
            units += 2;
        } else {
            if (out) out[units] = static_cast<char16_t>(cp);
            units++;
        }
    }
    return units;
}

// Number of UTF-8 bytes for a UTF-16 text, or -1 when a surrogate is unpaired.
long localUtf16To8(const char16_t* s, char* out) {
    long bytes = 0;
    for (; *s; s++) {
        uint32_t cp = *s;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (s[1] < 0xDC00 || s[1] > 0xDFFF) return -1;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00);
            s++;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return -1;
        }
        unsigned char b[4];
        int n;
        if (cp < 0x80) {
            b[0] = static_cast<unsigned char>(cp), n = 1;
        } else if (cp < 0x800) {
            b[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            b[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F)), n = 2;
        } else if (cp < 0x10000) {
            b[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            b[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            b[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F)), n = 3;
        } else {
            b[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            b[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            b[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            b[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F)), n = 4;
        }
        if (out) memcpy(out + bytes, b, n);
        bytes += n;
    }
    return bytes;
}

} // namespace

void FXConvertW::Release() {
    free(text);
    text = nullptr;
    length = 0;
}

const char16_t* FXConvertW::Convert(const char* s) {
    Release();
    if (!s) return nullptr;
    long n = localUtf8To16(s, nullptr);
    if (n <= 0 || n > 0x7FFFFFFE) return nullptr;
    text = static_cast<char16_t*>(malloc((n + 1) * sizeof(char16_t)));
    localUtf8To16(s, text);
    text[n] = 0;
    length = static_cast<int>(n);
    return text;
}

void FXConvertC::Release() {
    free(text);
    text = nullptr;
    length = 0;
}

const char* FXConvertC::Convert(const char16_t* s) {
    Release();
    if (!s) return nullptr;
    long n = localUtf16To8(s, nullptr);
    if (n <= 0 || n > 0x7FFFFFFE) return nullptr;
    text = static_cast<char*>(malloc(n + 1));
    localUtf16To8(s, text);
    text[n] = 0;
    length = static_cast<int>(n);
    return text;
}
