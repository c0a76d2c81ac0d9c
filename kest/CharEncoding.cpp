#include "kest/CharEncoding.h"

#include "kest/Error.h"
#include "kest/String.h"
#include "kest/UnicodeUnits.h"

#include <climits>
#include <cstring>
#include <cwchar>

namespace kest {

namespace {

using detail::DecodeUTF16At;
using detail::DecodeUTF8At;
using detail::Load16;

inline void Store16(uint8_t* p, uint32_t v) {
    uint16_t u = uint16_t(v);
    std::memcpy(p, &u, 2);
}
inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline bool InRange(int32_t size, int32_t position) { return position >= 0 && position < size; }

inline int32_t UTF8Length(CodePoint cp) {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp <= 0xFFFF ? 3 : cp <= 0x10FFFF ? 4 : 0;
}

inline int32_t EncodeUTF8At(CodePoint cp, uint8_t* p, int32_t size, int32_t pos) {
    int32_t n = UTF8Length(cp);
    if (n == 0 || pos < 0 || size - pos < n) return pos;
    switch (n) {
    case 1:
        p[pos] = uint8_t(cp);
        break;
    case 2:
        p[pos] = uint8_t(0xC0 | cp >> 6);
        p[pos + 1] = uint8_t(0x80 | (cp & 0x3F));
        break;
    case 3:
        p[pos] = uint8_t(0xE0 | cp >> 12);
        p[pos + 1] = uint8_t(0x80 | (cp >> 6 & 0x3F));
        p[pos + 2] = uint8_t(0x80 | (cp & 0x3F));
        break;
    default:
        p[pos] = uint8_t(0xF0 | cp >> 18);
        p[pos + 1] = uint8_t(0x80 | (cp >> 12 & 0x3F));
        p[pos + 2] = uint8_t(0x80 | (cp >> 6 & 0x3F));
        p[pos + 3] = uint8_t(0x80 | (cp & 0x3F));
        break;
    }
    return pos + n;
}

inline int32_t UTF16Length(CodePoint cp) {
    return (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF ? 0 : cp > 0xFFFF ? 4 : 2;
}

inline int32_t EncodeUTF16At(CodePoint cp, uint8_t* p, int32_t size, int32_t pos) {
    int32_t n = UTF16Length(cp);
    if (n == 0 || pos < 0 || size - pos < n) return pos;
    if (n == 2) {
        Store16(p + pos, cp);
    } else {
        Store16(p + pos, 0xD800 + ((cp - 0x10000) >> 10));
        Store16(p + pos + 2, 0xDC00 + (cp & 0x3FF));
    }
    return pos + n;
}

}  // namespace

// ---------------------------------------------------------------------------------- generic

int32_t CCharEncoding::TerminatedLength(const void* buffer) const {
    if (!buffer) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    int32_t unit = UnitSize();
    int32_t n = 0;
    for (;;) {
        bool zero = true;
        for (int32_t k = 0; k < unit; ++k) zero = zero && p[n + k] == 0;
        if (zero) return n;
        n += unit;
    }
}

int32_t CCharEncoding::CountCharacters(const void* buffer, int32_t size, int32_t position) const {
    int32_t count = 0;
    CodePoint cp;
    while (InRange(size, position)) {
        int32_t next = Decode(buffer, size, position, cp);
        if (next < 0) {
            position = Resync(buffer, size, position);
            continue;
        }
        ++count;
        position = next;
    }
    return count;
}

int32_t CCharEncoding::DecodeMany(const void* buffer, int32_t size, int32_t position,
                                  CodePoint* out, int32_t max, int32_t& count) const {
    count = 0;
    while (count < max && InRange(size, position)) {
        int32_t next = Decode(buffer, size, position, out[count]);
        if (next < 0) break;
        ++count;
        position = next;
    }
    return position;
}

int32_t CCharEncoding::EncodeMany(const CodePoint* cps, int32_t n, void* buffer, int32_t size,
                                  int32_t position, int32_t& done) const {
    done = 0;
    while (done < n) {
        int32_t next = Encode(cps[done], buffer, size, position);
        if (next == position) break;
        ++done;
        position = next;
    }
    return position;
}

int32_t CCharEncoding::Resync(const void* buffer, int32_t size, int32_t position) const {
    CodePoint cp;
    int32_t unit = UnitSize();
    for (int32_t p = (position < 0 ? 0 : position + unit); p < size; p += unit) {
        if (Decode(buffer, size, p, cp) >= 0) return p;
    }
    return -1;
}

int32_t CCharEncoding::ResyncBackward(const void* buffer, int32_t size, int32_t position) const {
    if (position > size) position = size;
    CodePoint cp;
    int32_t unit = UnitSize();
    for (int32_t p = position - unit; p > 0; p -= unit) {
        if (DecodePrevious(buffer, size, p, cp) >= 0) return p;
    }
    return position > 0 ? 0 : -1;
}

// ---------------------------------------------------------------------------------- UTF-8

String CUTF8CharEncoding::Name() const { return String("UTF-8"); }

int32_t CUTF8CharEncoding::EncodedLength(CodePoint cp) const { return UTF8Length(cp); }

int32_t CUTF8CharEncoding::Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const {
    return EncodeUTF8At(cp, static_cast<uint8_t*>(buffer), size, position);
}

int32_t CUTF8CharEncoding::Decode(const void* buffer, int32_t size, int32_t position,
                                  CodePoint& cp) const {
    if (!InRange(size, position)) return -1;
    return DecodeUTF8At(static_cast<const uint8_t*>(buffer), size, position, cp);
}

int32_t CUTF8CharEncoding::DecodePrevious(const void* buffer, int32_t size, int32_t position,
                                          CodePoint& cp) const {
    if (position <= 0 || position > size) return -1;
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    int32_t start = position - 1;
    while (start > 0 && position - start < 4 && (p[start] & 0xC0) == 0x80) --start;
    CodePoint c;
    if (DecodeUTF8At(p, size, start, c) != position) return -1;
    cp = c;
    return start;
}

int32_t CUTF8CharEncoding::CountCharacters(const void* buffer, int32_t size,
                                           int32_t position) const {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    if (position < 0) return 0;
    int32_t count = 0;
    CodePoint cp;
    while (position < size) {
        // Runs of ASCII four bytes at a time.
        while (size - position >= 4 && (Load32(p + position) & 0x80808080u) == 0) {
            position += 4;
            count += 4;
        }
        if (position >= size) break;
        if (p[position] < 0x80) {
            ++position;
            ++count;
            continue;
        }
        int32_t next = DecodeUTF8At(p, size, position, cp);
        if (next < 0) {
            position = Resync(buffer, size, position);
            if (position < 0) break;
            continue;
        }
        ++count;
        position = next;
    }
    return count;
}

int32_t CUTF8CharEncoding::DecodeMany(const void* buffer, int32_t size, int32_t position,
                                      CodePoint* out, int32_t max, int32_t& count) const {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    int32_t n = 0;
    if (position >= 0) {
        while (n < max && position < size) {
            uint32_t b = p[position];
            if (b < 0x80) {
                out[n++] = b;
                ++position;
                continue;
            }
            int32_t next = DecodeUTF8At(p, size, position, out[n]);
            if (next < 0) break;
            ++n;
            position = next;
        }
    }
    count = n;
    return position;
}

int32_t CUTF8CharEncoding::EncodeMany(const CodePoint* cps, int32_t n, void* buffer, int32_t size,
                                      int32_t position, int32_t& done) const {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    int32_t k = 0;
    for (; k < n; ++k) {
        if (cps[k] < 0x80 && position >= 0 && position < size) {
            p[position++] = uint8_t(cps[k]);
            continue;
        }
        int32_t next = EncodeUTF8At(cps[k], p, size, position);
        if (next == position) break;
        position = next;
    }
    done = k;
    return position;
}

// ---------------------------------------------------------------------------------- UTF-16

String CUTF16CharEncoding::Name() const { return String("UTF-16"); }

int32_t CUTF16CharEncoding::EncodedLength(CodePoint cp) const { return UTF16Length(cp); }

int32_t CUTF16CharEncoding::Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const {
    return EncodeUTF16At(cp, static_cast<uint8_t*>(buffer), size, position);
}

int32_t CUTF16CharEncoding::Decode(const void* buffer, int32_t size, int32_t position,
                                   CodePoint& cp) const {
    if (!InRange(size, position)) return -1;
    return DecodeUTF16At(static_cast<const uint8_t*>(buffer), size, position, cp);
}

int32_t CUTF16CharEncoding::DecodePrevious(const void* buffer, int32_t size, int32_t position,
                                           CodePoint& cp) const {
    if (position < 2 || position > size) return -1;
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    uint32_t u = Load16(p + position - 2);
    if (u < 0xD800 || u > 0xDFFF) {
        cp = u;
        return position - 2;
    }
    if (u < 0xDC00 || position < 4) return -1;
    uint32_t high = Load16(p + position - 4);
    if (high < 0xD800 || high > 0xDBFF) return -1;
    cp = 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00);
    return position - 4;
}

int32_t CUTF16CharEncoding::CountCharacters(const void* buffer, int32_t size,
                                            int32_t position) const {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    if (position < 0) return 0;
    int32_t count = 0;
    // An invalid unit (a lone surrogate) is skipped on its own: the next unit may start a
    // character again.
    while (size - position >= 2) {
        uint32_t u = Load16(p + position);
        position += 2;
        if (u < 0xD800 || u > 0xDFFF) {
            ++count;
        } else if (u <= 0xDBFF && size - position >= 2) {
            uint32_t low = Load16(p + position);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                position += 2;
                ++count;
            }
        }
    }
    return count;
}

int32_t CUTF16CharEncoding::DecodeMany(const void* buffer, int32_t size, int32_t position,
                                       CodePoint* out, int32_t max, int32_t& count) const {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    int32_t n = 0;
    if (position >= 0) {
        while (n < max && size - position >= 2) {
            uint32_t u = Load16(p + position);
            if (u < 0xD800 || u > 0xDFFF) {
                out[n++] = u;
                position += 2;
                continue;
            }
            int32_t next = DecodeUTF16At(p, size, position, out[n]);
            if (next < 0) break;
            ++n;
            position = next;
        }
    }
    count = n;
    return position;
}

int32_t CUTF16CharEncoding::EncodeMany(const CodePoint* cps, int32_t n, void* buffer, int32_t size,
                                       int32_t position, int32_t& done) const {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    int32_t k = 0;
    for (; k < n; ++k) {
        CodePoint cp = cps[k];
        if (cp < 0xD800 && position >= 0 && size - position >= 2) {
            Store16(p + position, cp);
            position += 2;
            continue;
        }
        int32_t next = EncodeUTF16At(cp, p, size, position);
        if (next == position) break;
        position = next;
    }
    done = k;
    return position;
}

// ---------------------------------------------------------------------------------- UTF-32

String CUTF32CharEncoding::Name() const { return String("UTF-32"); }

int32_t CUTF32CharEncoding::Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const {
    if (position < 0 || size - position < 4) return position;
    std::memcpy(static_cast<uint8_t*>(buffer) + position, &cp, 4);
    return position + 4;
}

int32_t CUTF32CharEncoding::Decode(const void* buffer, int32_t size, int32_t position,
                                   CodePoint& cp) const {
    if (position < 0 || size - position < 4) return -1;
    cp = Load32(static_cast<const uint8_t*>(buffer) + position);
    return position + 4;
}

int32_t CUTF32CharEncoding::DecodePrevious(const void* buffer, int32_t size, int32_t position,
                                           CodePoint& cp) const {
    if (position < 4 || position > size) return -1;
    cp = Load32(static_cast<const uint8_t*>(buffer) + position - 4);
    return position - 4;
}

int32_t CUTF32CharEncoding::CountCharacters(const void*, int32_t size, int32_t position) const {
    return position >= 0 && size > position ? (size - position) / 4 : 0;
}

// ---------------------------------------------------------------------------------- Latin-1

String CLatin1CharEncoding::Name() const { return String("Latin-1"); }

int32_t CLatin1CharEncoding::Encode(CodePoint cp, void* buffer, int32_t size,
                                    int32_t position) const {
    if (!InRange(size, position)) return position;
    static_cast<uint8_t*>(buffer)[position] = cp < 0x100 ? uint8_t(cp) : uint8_t('?');
    return position + 1;
}

int32_t CLatin1CharEncoding::Decode(const void* buffer, int32_t size, int32_t position,
                                    CodePoint& cp) const {
    if (!InRange(size, position)) return -1;
    cp = static_cast<const uint8_t*>(buffer)[position];
    return position + 1;
}

int32_t CLatin1CharEncoding::DecodePrevious(const void* buffer, int32_t size, int32_t position,
                                            CodePoint& cp) const {
    if (position <= 0 || position > size) return -1;
    cp = static_cast<const uint8_t*>(buffer)[position - 1];
    return position - 1;
}

int32_t CLatin1CharEncoding::CountCharacters(const void*, int32_t size, int32_t position) const {
    return position >= 0 && size > position ? size - position : 0;
}

int32_t CLatin1CharEncoding::DecodeMany(const void* buffer, int32_t size, int32_t position,
                                        CodePoint* out, int32_t max, int32_t& count) const {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    int32_t n = 0;
    if (position >= 0) {
        while (n < max && position < size) out[n++] = p[position++];
    }
    count = n;
    return position;
}

// ---------------------------------------------------------------------------------- code page

String CCPCharEncoding::Name() const { return String("CodePage"); }

int32_t CCPCharEncoding::EncodedLength(CodePoint cp) const {
    if (cp >= 0x10000 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    char bytes[MB_LEN_MAX];
    std::mbstate_t state{};
    size_t n = std::wcrtomb(bytes, wchar_t(cp), &state);
    return n == size_t(-1) || n > sizeof(bytes) ? 0 : int32_t(n);
}

int32_t CCPCharEncoding::Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const {
    if (position < 0 || cp >= 0x10000 || (cp >= 0xD800 && cp <= 0xDFFF)) return position;
    char bytes[MB_LEN_MAX];
    std::mbstate_t state{};
    size_t n = std::wcrtomb(bytes, wchar_t(cp), &state);
    if (n == size_t(-1) || n > sizeof(bytes) || size_t(size - position) < n) return position;
    std::memcpy(static_cast<uint8_t*>(buffer) + position, bytes, n);
    return position + int32_t(n);
}

int32_t CCPCharEncoding::Decode(const void* buffer, int32_t size, int32_t position,
                                CodePoint& cp) const {
    if (!InRange(size, position)) return -1;
    const char* p = static_cast<const char*>(buffer) + position;
    if (*p == 0) {
        cp = 0;
        return position + 1;
    }
    wchar_t wc = 0;
    std::mbstate_t state{};
    size_t n = std::mbrtowc(&wc, p, size_t(size - position), &state);
    if (n == size_t(-1) || n == size_t(-2) || n == 0 || n > size_t(size - position)) return -1;
    cp = uint16_t(wc);
    return position + int32_t(n);
}

int32_t CCPCharEncoding::DecodePrevious(const void*, int32_t, int32_t, CodePoint&) const {
    throw CMethodNotImplementedError(String("CCPCharEncoding::DecodePrevious"), this);
}

int32_t CCPCharEncoding::ResyncBackward(const void*, int32_t, int32_t) const {
    throw CMethodNotImplementedError(String("CCPCharEncoding::ResyncBackward"), this);
}

// ---------------------------------------------------------------------------------- instances

// Each instance keeps one reference for ever: strings anywhere, also in static storage, may
// point at it until the process ends.
ICharEncoding* UTF8Encoding() {
    static ICharEncoding* const instance = New<CUTF8CharEncoding>().Detach();
    return instance;
}
ICharEncoding* UTF16Encoding() {
    static ICharEncoding* const instance = New<CUTF16CharEncoding>().Detach();
    return instance;
}
ICharEncoding* UTF32Encoding() {
    static ICharEncoding* const instance = New<CUTF32CharEncoding>().Detach();
    return instance;
}
ICharEncoding* Latin1Encoding() {
    static ICharEncoding* const instance = New<CLatin1CharEncoding>().Detach();
    return instance;
}
ICharEncoding* CodePageEncoding() {
    static ICharEncoding* const instance = New<CCPCharEncoding>().Detach();
    return instance;
}

ICharEncoding* EncodingById(uint32_t id) {
    switch (id) {
    case kEncodingUTF8: return UTF8Encoding();
    case kEncodingUTF16: return UTF16Encoding();
    case kEncodingUTF32: return UTF32Encoding();
    case kEncodingLatin1: return Latin1Encoding();
    case kEncodingCodePage: return CodePageEncoding();
    default: return nullptr;
    }
}

}  // namespace kest
