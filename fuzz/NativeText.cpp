// The system's text services that the readers ask of their Windows side, for the native build:
// code-page text read as Latin-1, keys to UTF-8 (a lone surrogate becomes U+FFFD, as Windows
// makes it), and case folding from the library's own Unicode tables.
#include "kest/CaseTables.h"
#include "kest/System.h"

#include <cstddef>
#include <string>

namespace {

wchar_t Folded(wchar_t unit, bool upper) {
    const auto cp = static_cast<kest::CodePoint>(unit);
    // Units of surrogate pairs are folded one by one, as the system's per-unit tables do.
    if (cp >= 0xD800 && cp <= 0xDFFF) return unit;
    return static_cast<wchar_t>(upper ? kest::ToUpperCase(cp) : kest::ToLowerCase(cp));
}

}  // namespace

void AnsiTextInto(std::wstring& text, const char* ansi, size_t length) {
    text.clear();
    for (size_t i = 0; i < length; ++i) text += static_cast<wchar_t>(static_cast<unsigned char>(ansi[i]));
}

std::string KeyToUtf8(const wchar_t* key, size_t length) {
    std::string utf8;
    utf8.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t cp = static_cast<uint32_t>(key[i]) & 0xFFFF;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length) {
            const uint32_t low = static_cast<uint32_t>(key[i + 1]) & 0xFFFF;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
        if (cp < 0x80) {
            utf8 += static_cast<char>(cp);
        } else if (cp < 0x800) {
            utf8 += static_cast<char>(0xC0 | cp >> 6);
            utf8 += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            utf8 += static_cast<char>(0xE0 | cp >> 12);
            utf8 += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | cp >> 18);
            utf8 += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return utf8;
}

std::wstring LoweredText(std::wstring text) {
    for (wchar_t& unit : text) unit = Folded(unit, false);
    return text;
}

namespace kapp {

bool SameFileName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i], true) != Folded(b[i], true)) return false;
    return true;
}

}  // namespace kapp

namespace kest {

// No fuzz target reaches the system services.
P<ISystem>& GetSystem() {
    static P<ISystem> none;
    return none;
}

}  // namespace kest
