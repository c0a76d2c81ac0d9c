#include "app/NarrowText.h"

#include <vector>

void CopyToCodePage(const std::wstring& text, UINT codePage, char* buffer, size_t size) {
    if (size == 0) return;
    buffer[0] = '\0';
    if (text.empty()) return;
    int bytes = ::WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    if (bytes <= 0) return;
    std::vector<char> ansi(static_cast<size_t>(bytes));
    if (::WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), ansi.data(), bytes, nullptr,
                              nullptr) != bytes)
        return;
    // Walk whole characters so that a double-byte character (or, where the system's code page
    // is UTF-8, a multi-byte sequence) is never split at the cut.
    const bool utf8 = (codePage == CP_ACP ? ::GetACP() : codePage) == CP_UTF8;
    size_t keep = 0;
    while (keep < ansi.size()) {
        const BYTE lead = static_cast<BYTE>(ansi[keep]);
        size_t step = 1;
        if (utf8)
            step = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        else if (::IsDBCSLeadByteEx(codePage, lead))
            step = 2;
        if (keep + step > ansi.size() || keep + step > size - 1) break;
        keep += step;
    }
    std::copy(ansi.begin(), ansi.begin() + static_cast<std::ptrdiff_t>(keep), buffer);
    buffer[keep] = '\0';
}
