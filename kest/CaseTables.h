// Unicode simple case mappings and a property byte per code point, for U+0000 to U+2FA1D.
// The tables are expanded once, on first use, from run-length data compiled into the program.
#pragma once

#include "kest/CharEncoding.h"

#include <cstdint>

namespace kest {

inline constexpr CodePoint kCaseLimit = 0x2FA1E;

struct CaseTables {
    // Two levels: the block (512 code points) index gives the start of that block's deltas.
    // A mapped code point is cp + delta modulo 2^16, inside cp's plane.
    const uint16_t* upperIndex;
    const int16_t* upperDeltas;
    const uint16_t* lowerIndex;
    const int16_t* lowerDeltas;
    // Blocks of 128 code points.
    const uint16_t* propertyIndex;
    const uint8_t* properties;
};

const CaseTables& GetCaseTables();

inline CodePoint MapCase(const uint16_t* index, const int16_t* deltas, CodePoint cp) {
    if (cp >= kCaseLimit) return cp;
    uint32_t delta = uint16_t(deltas[uint32_t(index[cp >> 9]) * 512 + (cp & 511)]);
    return (cp & 0xFFFF0000u) | ((cp + delta) & 0xFFFFu);
}
inline CodePoint ToUpperCase(const CaseTables& t, CodePoint cp) {
    return MapCase(t.upperIndex, t.upperDeltas, cp);
}
inline CodePoint ToLowerCase(const CaseTables& t, CodePoint cp) {
    return MapCase(t.lowerIndex, t.lowerDeltas, cp);
}
inline CodePoint ToUpperCase(CodePoint cp) { return ToUpperCase(GetCaseTables(), cp); }
inline CodePoint ToLowerCase(CodePoint cp) { return ToLowerCase(GetCaseTables(), cp); }

// Bits 0-4: general category (index into the list below, 0 for unassigned); bit 5: has an
// upper-case mapping; bit 6: has a lower-case mapping. 0 beyond the table.
//   Cn Lu Ll Lt Lm Lo Mn Mc Me Nd Nl No Pc Pd Ps Pe Pi Pf Po Sm Sc Sk So Zs Zl Zp Cc Cf Cs Co
uint8_t CharProperties(CodePoint cp);
inline constexpr uint8_t kCategoryMask = 0x1F;
inline constexpr uint8_t kHasUpperMapping = 0x20;
inline constexpr uint8_t kHasLowerMapping = 0x40;

}  // namespace kest
