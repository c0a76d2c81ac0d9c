// Where a field of the engine record lies in the flavour under test. Tests name each field by
// its offset in the 32-bit product, as the engine's own documentation does; the 64-bit edition
// widens texts, pointers, handles, the root key and the callbacks to 8 bytes, with natural
// alignment, and keeps every other field at 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>

namespace app_tests {

struct FieldPlace {
    size_t offset;
    size_t size;
};

// The fields that hold an address, a handle or a callback, by 32-bit offset.
inline const std::set<size_t>& PointerFields() {
    static const std::set<size_t> fields = {0x004, 0x008, 0x00C, 0x010, 0x014, 0x018, 0x01C, 0x020, 0x028, 0x02C,
                                            0x03C, 0x040, 0x048, 0x06C, 0x070, 0x074, 0x090, 0x0A8, 0x0AC, 0x0D4,
                                            0x0DC, 0x0E4, 0x0E8, 0x0F0, 0x0F4, 0x0FC, 0x110, 0x118, 0x11C, 0x120};
    return fields;
}

// The place of the record field that the 32-bit product has at offset32 (a multiple of 4).
inline FieldPlace RecordField(size_t offset32) {
    size_t at = 0;
    for (size_t field = 0;; field += 4) {
        const size_t size = PointerFields().count(field) ? sizeof(void*) : 4;
        at = (at + size - 1) / size * size;
        if (field == offset32) return {at, size};
        at += size;
    }
}

// The record's size in this flavour: its last field's end.
inline size_t RecordSize() {
    const FieldPlace last = RecordField(0x120);
    return last.offset + last.size;
}

// The field's value, zero-extended; the record is raw bytes as the engine sees them.
inline uint64_t ReadField(const void* record, size_t offset32) {
    const FieldPlace place = RecordField(offset32);
    uint64_t value = 0;
    std::memcpy(&value, static_cast<const unsigned char*>(record) + place.offset, place.size);
    return value;
}

// The root key as the engine receives it: HKEY_CURRENT_USER, sign-extended in the 64-bit edition.
inline constexpr uint64_t kUserRootKey = sizeof(void*) == 8 ? 0xFFFFFFFF80000001ull : 0x80000001ull;

}  // namespace app_tests
