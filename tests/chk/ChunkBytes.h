// Builds chunk files byte by byte, for fixtures.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace chk_test {

using Bytes = std::vector<uint8_t>;

inline void PutU32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void PutI64(Bytes& out, int64_t value) {
    const auto v = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline int64_t GetI64(const Bytes& in, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | in.at(at + static_cast<size_t>(i));
    return static_cast<int64_t>(v);
}

inline void Append(Bytes& out, const Bytes& more) {
    out.reserve(out.size() + more.size());
    for (uint8_t b : more) out.push_back(b);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) Append(out, part);
    return out;
}

// A chunk with a size field of any value, negative ones included.
inline Bytes ChunkWithSize(const char* id, const Bytes& data, int64_t declaredSize) {
    Bytes out(id, id + 4);
    PutI64(out, declaredSize);
    Append(out, data);
    return out;
}

// A chunk: four-character id, 64-bit data size (the real one unless given), data.
inline Bytes Chunk(const char* id, const Bytes& data, int64_t declaredSize = -1) {
    return ChunkWithSize(id, data, declaredSize >= 0 ? declaredSize : static_cast<int64_t>(data.size()));
}

inline Bytes ChunkFileWithRootSize(const char* signature, const Bytes& root, int64_t rootSize) {
    Bytes out(signature, signature + 8);
    PutI64(out, rootSize);
    Append(out, root);
    return out;
}

// A chunk file: eight-character signature, root size (the real one), root data.
inline Bytes ChunkFileBytes(const char* signature, const Bytes& root) {
    return ChunkFileWithRootSize(signature, root, static_cast<int64_t>(root.size()));
}

inline Bytes Text(const char* text) {
    return Bytes(text, text + std::strlen(text));
}

}  // namespace chk_test
