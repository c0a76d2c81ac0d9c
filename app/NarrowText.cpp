#include "app/NarrowText.h"

#include <vector>

void CopyToAnsi(const std::wstring& text, char* buffer, size_t size) {
    buffer[0] = '\0';
    if (text.empty()) return;
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    if (bytes <= 0) return;
    std::vector<char> ansi(static_cast<size_t>(bytes));
    if (::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), ansi.data(), bytes, nullptr,
                              nullptr) != bytes)
        return;
    // Walk whole characters so that a double-byte character is never split at the cut.
    size_t keep = 0;
    while (keep < ansi.size()) {
        size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(ansi[keep])) ? 2 : 1;
        if (keep + step > ansi.size() || keep + step > size - 1) break;
        keep += step;
    }
    std::copy(ansi.begin(), ansi.begin() + static_cast<std::ptrdiff_t>(keep), buffer);
    buffer[keep] = '\0';
}
