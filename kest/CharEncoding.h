// Character encodings: stateless objects, one shared instance each, that turn code points into
// code units and back. Every position is a byte offset into a buffer of a given byte size.
#pragma once

#include "kest/Object.h"

#include <cstdint>

namespace kest {

using CodePoint = uint32_t;

// Identifiers: four letters in memory order (little-endian machines).
constexpr uint32_t MakeEncodingId(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
inline constexpr uint32_t kEncodingUTF8 = MakeEncodingId('U', 'T', 'F', '8');
inline constexpr uint32_t kEncodingUTF16 = MakeEncodingId('U', 'F', '1', '6');
inline constexpr uint32_t kEncodingUTF32 = MakeEncodingId('U', 'F', '3', '2');
inline constexpr uint32_t kEncodingLatin1 = MakeEncodingId('L', 'A', 'T', '1');
inline constexpr uint32_t kEncodingCodePage = MakeEncodingId('C', 'D', 'P', 'G');

class ICharEncoding : public virtual IBase {
public:
    virtual uint32_t Id() const = 0;
    virtual String Name() const = 0;
    // Size of one code unit, which is also the size of the terminator.
    virtual int32_t UnitSize() const = 0;

    // Bytes needed for cp, or 0 when the encoding cannot represent it.
    virtual int32_t EncodedLength(CodePoint cp) const = 0;
    // Whether cp survives a trip through the encoding unchanged (Latin-1 writes "?" for
    // everything above 0xFF although its EncodedLength is always 1).
    virtual bool CanRepresent(CodePoint cp) const = 0;
    // The position after the written bytes; the unchanged position when the bytes do not fit
    // or cp cannot be represented.
    virtual int32_t Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const = 0;
    // The position after the character, or -1 when no valid character starts at position or
    // the data ends inside it.
    virtual int32_t Decode(const void* buffer, int32_t size, int32_t position,
                           CodePoint& cp) const = 0;
    // The start of the character that ends at position, or -1.
    virtual int32_t DecodePrevious(const void* buffer, int32_t size, int32_t position,
                                   CodePoint& cp) const = 0;
    // The first position after position at which a valid character starts, or -1.
    virtual int32_t Resync(const void* buffer, int32_t size, int32_t position) const = 0;
    // The last position before position at which a valid character ends (0 counts as one), or -1.
    virtual int32_t ResyncBackward(const void* buffer, int32_t size, int32_t position) const = 0;
    // Byte length up to the terminator.
    virtual int32_t TerminatedLength(const void* buffer) const = 0;
    // Number of code points from position to size; invalid data is skipped.
    virtual int32_t CountCharacters(const void* buffer, int32_t size, int32_t position) const = 0;
    // Decodes up to max code points, stopping at the first invalid one; count tells how many
    // were decoded, the result is the position after them.
    virtual int32_t DecodeMany(const void* buffer, int32_t size, int32_t position, CodePoint* out,
                               int32_t max, int32_t& count) const = 0;
    // Encodes code points in order, stopping at the first that fails; done tells how many were
    // written, the result is the position after them.
    virtual int32_t EncodeMany(const CodePoint* cps, int32_t n, void* buffer, int32_t size,
                               int32_t position, int32_t& done) const = 0;
};

// The shared instances.
ICharEncoding* UTF8Encoding();
ICharEncoding* UTF16Encoding();
ICharEncoding* UTF32Encoding();
ICharEncoding* Latin1Encoding();
ICharEncoding* CodePageEncoding();
// The instance for an identifier, or null.
ICharEncoding* EncodingById(uint32_t id);

// Common behaviour of the encodings: the generic loops over the single-character operations.
class CCharEncoding : public CObject, public ICharEncoding {
public:
    int32_t TerminatedLength(const void* buffer) const override;
    int32_t CountCharacters(const void* buffer, int32_t size, int32_t position) const override;
    int32_t DecodeMany(const void* buffer, int32_t size, int32_t position, CodePoint* out,
                       int32_t max, int32_t& count) const override;
    int32_t EncodeMany(const CodePoint* cps, int32_t n, void* buffer, int32_t size,
                       int32_t position, int32_t& done) const override;
    int32_t Resync(const void* buffer, int32_t size, int32_t position) const override;
    int32_t ResyncBackward(const void* buffer, int32_t size, int32_t position) const override;
    bool CanRepresent(CodePoint cp) const override { return EncodedLength(cp) > 0; }
};

class CUTF8CharEncoding : public CCharEncoding {
public:
    uint32_t Id() const override { return kEncodingUTF8; }
    String Name() const override;
    int32_t UnitSize() const override { return 1; }
    int32_t EncodedLength(CodePoint cp) const override;
    int32_t Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const override;
    int32_t Decode(const void* buffer, int32_t size, int32_t position, CodePoint& cp) const override;
    int32_t DecodePrevious(const void* buffer, int32_t size, int32_t position,
                           CodePoint& cp) const override;
    int32_t CountCharacters(const void* buffer, int32_t size, int32_t position) const override;
    int32_t DecodeMany(const void* buffer, int32_t size, int32_t position, CodePoint* out,
                       int32_t max, int32_t& count) const override;
    int32_t EncodeMany(const CodePoint* cps, int32_t n, void* buffer, int32_t size,
                       int32_t position, int32_t& done) const override;
};

class CUTF16CharEncoding : public CCharEncoding {
public:
    uint32_t Id() const override { return kEncodingUTF16; }
    String Name() const override;
    int32_t UnitSize() const override { return 2; }
    int32_t EncodedLength(CodePoint cp) const override;
    int32_t Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const override;
    int32_t Decode(const void* buffer, int32_t size, int32_t position, CodePoint& cp) const override;
    int32_t DecodePrevious(const void* buffer, int32_t size, int32_t position,
                           CodePoint& cp) const override;
    int32_t CountCharacters(const void* buffer, int32_t size, int32_t position) const override;
    int32_t DecodeMany(const void* buffer, int32_t size, int32_t position, CodePoint* out,
                       int32_t max, int32_t& count) const override;
    int32_t EncodeMany(const CodePoint* cps, int32_t n, void* buffer, int32_t size,
                       int32_t position, int32_t& done) const override;
};

class CUTF32CharEncoding : public CCharEncoding {
public:
    uint32_t Id() const override { return kEncodingUTF32; }
    String Name() const override;
    int32_t UnitSize() const override { return 4; }
    int32_t EncodedLength(CodePoint) const override { return 4; }
    int32_t Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const override;
    int32_t Decode(const void* buffer, int32_t size, int32_t position, CodePoint& cp) const override;
    int32_t DecodePrevious(const void* buffer, int32_t size, int32_t position,
                           CodePoint& cp) const override;
    int32_t CountCharacters(const void* buffer, int32_t size, int32_t position) const override;
};

class CLatin1CharEncoding : public CCharEncoding {
public:
    uint32_t Id() const override { return kEncodingLatin1; }
    String Name() const override;
    int32_t UnitSize() const override { return 1; }
    // Always 1: conversion to Latin-1 writes "?" for what it lacks and never drops a character.
    int32_t EncodedLength(CodePoint) const override { return 1; }
    bool CanRepresent(CodePoint cp) const override { return cp < 0x100; }
    int32_t Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const override;
    int32_t Decode(const void* buffer, int32_t size, int32_t position, CodePoint& cp) const override;
    int32_t DecodePrevious(const void* buffer, int32_t size, int32_t position,
                           CodePoint& cp) const override;
    int32_t CountCharacters(const void* buffer, int32_t size, int32_t position) const override;
    int32_t DecodeMany(const void* buffer, int32_t size, int32_t position, CodePoint* out,
                       int32_t max, int32_t& count) const override;
};

// The multibyte characters of the C runtime's current locale. Forward operations only: a
// multibyte code page cannot in general be read backwards.
class CCPCharEncoding : public CCharEncoding {
public:
    uint32_t Id() const override { return kEncodingCodePage; }
    String Name() const override;
    int32_t UnitSize() const override { return 1; }
    int32_t EncodedLength(CodePoint cp) const override;
    int32_t Encode(CodePoint cp, void* buffer, int32_t size, int32_t position) const override;
    int32_t Decode(const void* buffer, int32_t size, int32_t position, CodePoint& cp) const override;
    int32_t DecodePrevious(const void* buffer, int32_t size, int32_t position,
                           CodePoint& cp) const override;
    int32_t ResyncBackward(const void* buffer, int32_t size, int32_t position) const override;
};

}  // namespace kest
