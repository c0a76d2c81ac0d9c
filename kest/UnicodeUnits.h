// Inline decoders of UTF-8 and UTF-16 code units for the library's hot loops; the encoding
// objects and the String fast paths share them so that both read text the same way.
#pragma once

#include "kest/CharEncoding.h"

#include <cstdint>
#include <cstring>

namespace kest::detail {

inline uint32_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// One UTF-8 character at a position inside the buffer: the shortest form of a code point up to
// U+10FFFF, else -1.
inline int32_t DecodeUTF8At(const uint8_t* p, int32_t size, int32_t pos, CodePoint& cp) {
    uint32_t b0 = p[pos];
    if (b0 < 0x80) {
        cp = b0;
        return pos + 1;
    }
    int32_t extra;
    uint32_t c, minimum;
    if (b0 < 0xC0) return -1;  // a continuation byte cannot start a character
    if (b0 < 0xE0) {
        extra = 1, c = b0 & 0x1F, minimum = 0x80;
    } else if (b0 < 0xF0) {
        extra = 2, c = b0 & 0x0F, minimum = 0x800;
    } else if (b0 < 0xF8) {
        extra = 3, c = b0 & 0x07, minimum = 0x10000;
    } else {
        return -1;
    }
    if (size - pos - 1 < extra) return -1;
    for (int32_t k = 1; k <= extra; ++k) {
        uint32_t b = p[pos + k];
        if ((b & 0xC0) != 0x80) return -1;
        c = c << 6 | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF) return -1;
    cp = c;
    return pos + 1 + extra;
}

// One UTF-16 character at a position inside the buffer, else -1.
inline int32_t DecodeUTF16At(const uint8_t* p, int32_t size, int32_t pos, CodePoint& cp) {
    if (size - pos < 2) return -1;
    uint32_t u = Load16(p + pos);
    if (u < 0xD800 || u > 0xDFFF) {
        cp = u;
        return pos + 2;
    }
    if (u > 0xDBFF || size - pos < 4) return -1;
    uint32_t low = Load16(p + pos + 2);
    if (low < 0xDC00 || low > 0xDFFF) return -1;
    cp = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
    return pos + 4;
}

// The next code point of UTF-16 units at index i, skipping lone surrogates; false at the end.
inline bool NextUTF16(const uint16_t* units, int32_t count, int32_t& i, CodePoint& cp) {
    while (i < count) {
        uint32_t u = units[i];
        if (u - 0xD800u >= 0x800u) {
            cp = u;
            ++i;
            return true;
        }
        if (u <= 0xDBFF && i + 1 < count && units[i + 1] - 0xDC00u < 0x400u) {
            cp = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            i += 2;
            return true;
        }
        ++i;
    }
    return false;
}

}  // namespace kest::detail
