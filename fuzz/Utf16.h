// UTF-16LE units of the fuzzer's bytes as the program's wide text (an odd last byte is dropped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

inline std::wstring Utf16Text(const uint8_t* data, size_t size) {
    std::wstring text;
    text.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    return text;
}

// The texts between zero units; at most count of them, the last one taking the rest.
inline std::vector<std::wstring> Utf16Texts(const uint8_t* data, size_t size, size_t count) {
    std::vector<std::wstring> texts(1);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
        if (unit == 0 && texts.size() < count) {
            texts.emplace_back();
            continue;
        }
        texts.back() += unit;
    }
    texts.resize(count);
    return texts;
}

}  // namespace fuzz
