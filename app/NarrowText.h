// A fixed buffer holding the ANSI code page copy of a text, for hosts without UTF-16 texts.
#pragma once

#include <windows.h>

#include <array>
#include <string>

// Converts to the code page; a text longer than the buffer is cut at a character boundary of
// that code page and always terminated.
void CopyToCodePage(const std::wstring& text, UINT codePage, char* buffer, size_t size);
inline void CopyToAnsi(const std::wstring& text, char* buffer, size_t size) {
    CopyToCodePage(text, CP_ACP, buffer, size);
}

template <size_t N>
class TNarrowText {
public:
    static_assert(N >= 1);
    void Set(const std::wstring& text) { CopyToAnsi(text, m_text.data(), N); }
    const char* c_str() const { return m_text.data(); }

private:
    std::array<char, N> m_text{};
};

using CNarrowText = TNarrowText<1040>;
