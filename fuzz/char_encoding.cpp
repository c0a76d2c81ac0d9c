// The character encodings over arbitrary bytes: the first byte picks the encoding, the rest are
// its data. Every reading operation runs over the data, then the text goes through a string
// into every other encoding.
#include "kest/CharEncoding.h"
#include "kest/Error.h"
#include "kest/String.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 16) return 0;
    kest::ICharEncoding* const encodings[] = {kest::UTF8Encoding(), kest::UTF16Encoding(), kest::UTF32Encoding(),
                                              kest::Latin1Encoding(), kest::CodePageEncoding()};
    kest::ICharEncoding* encoding = encodings[data[0] % 5];
    const int32_t n = static_cast<int32_t>(size - 1);
    // A copy of exactly the data, so that a read past it is seen, and one with a terminator: a
    // whole zero unit after the data padded to whole units, as a terminated string has it.
    std::vector<uint8_t> bytes(data + 1, data + size);
    std::vector<uint8_t> terminated(bytes);
    const size_t unit = static_cast<size_t>(encoding->UnitSize());
    terminated.resize((bytes.size() + unit - 1) / unit * unit + unit, 0);

    // An operation an encoding does not offer (the code page reads forwards only) raises.
    try {
        kest::CodePoint cp = 0;
        for (int32_t at = 0; at < n;) {
            const int32_t next = encoding->Decode(bytes.data(), n, at, cp);
            if (next > at) {
                std::vector<uint8_t> out(8);
                (void)encoding->EncodedLength(cp);
                (void)encoding->CanRepresent(cp);
                (void)encoding->Encode(cp, out.data(), static_cast<int32_t>(out.size()), 0);
                at = next;
            } else {
                const int32_t resync = encoding->Resync(bytes.data(), n, at);
                if (resync <= at) break;
                at = resync;
            }
        }
        for (int32_t at = n; at > 0;) {
            const int32_t previous = encoding->DecodePrevious(bytes.data(), n, at, cp);
            if (previous >= 0 && previous < at) {
                at = previous;
            } else {
                const int32_t resync = encoding->ResyncBackward(bytes.data(), n, at);
                if (resync < 0 || resync >= at) break;
                at = resync;
            }
        }
        (void)encoding->TerminatedLength(terminated.data());
        (void)encoding->CountCharacters(bytes.data(), n, 0);
        std::vector<kest::CodePoint> cps(static_cast<size_t>(n) + 1);
        int32_t count = 0;
        encoding->DecodeMany(bytes.data(), n, 0, cps.data(), static_cast<int32_t>(cps.size()), count);
        std::vector<uint8_t> encoded(static_cast<size_t>(count) * 4 + 4);
        int32_t done = 0;
        encoding->EncodeMany(cps.data(), count, encoded.data(), static_cast<int32_t>(encoded.size()), 0, done);
    } catch (const kest::CException&) {
        // Not offered: an answer, not a fault.
    }

    try {
        kest::String text;
        switch (data[0] % 5) {
        case 0: text = kest::String::FromUTF8(bytes.data(), n); break;
        case 1: {
            // wchar_t is not UTF-16 natively: the text comes through its code points.
            std::vector<kest::CodePoint> units(bytes.size() / 2 + 1);
            int32_t count = 0;
            kest::UTF16Encoding()->DecodeMany(bytes.data(), n, 0, units.data(), static_cast<int32_t>(units.size()), count);
            text = kest::String::FromCodePoints(units.data(), count);
            break;
        }
        case 2: {
            std::vector<kest::CodePoint> units(bytes.size() / 4 + 1, 0);
            if (bytes.size() >= 4) std::memcpy(units.data(), bytes.data(), bytes.size() / 4 * 4);
            text = kest::String::FromUTF32(units.data(), static_cast<int32_t>(bytes.size() / 4));
            break;
        }
        case 3: text = kest::String::Copy(reinterpret_cast<const char*>(bytes.data()), n); break;
        default: text = kest::String::FromCodePage(reinterpret_cast<const char*>(bytes.data()), n); break;
        }
        (void)text.Length();
        for (kest::ICharEncoding* target : encodings) (void)text.ConvertTo(target);
    } catch (const kest::CException&) {
        // Refused data is an answer, not a fault.
    }
    return 0;
}
