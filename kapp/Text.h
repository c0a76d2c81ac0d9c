// Small conversions between the library's strings, wxWidgets' strings and wide C strings, and
// the path spellings the data manager works with.
#pragma once

#include "kest/String.h"
#include "kest/URI.h"

#include <wx/string.h>

#include <string>
#include <vector>

namespace kapp {

// The library's wide text is UTF-16 in wchar_t, as on Windows. Where wchar_t is wider (the
// native sanitizer build of the readers), the conversions go code point by code point.
inline constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

inline std::wstring ToStd(const kest::String& text) {
    if (text.IsNull() || text.IsEmpty()) return std::wstring();
    if constexpr (kWideIsUtf16) {
        kest::String wide = text.AsUTF16();
        return std::wstring(wide.WideData());
    } else {
        std::wstring wide;
        for (kest::CodePoint cp : text) {
            if (cp == 0) break;  // as the terminated UTF-16 data ends there
            wide += static_cast<wchar_t>(cp);
        }
        return wide;
    }
}

inline kest::String FromStd(const std::wstring& text) {
    if constexpr (kWideIsUtf16) {
        return kest::String::Copy(text.c_str());
    } else {
        std::vector<kest::CodePoint> cps;
        for (wchar_t c : text) {
            if (c == 0) break;
            cps.push_back(static_cast<kest::CodePoint>(c));
        }
        return kest::String::FromCodePoints(cps.data(), static_cast<int32_t>(cps.size()));
    }
}

inline wxString ToWx(const kest::String& text) {
    if (text.IsNull() || text.IsEmpty()) return wxString();
    if constexpr (kWideIsUtf16) {
        kest::String wide = text.AsUTF16();
        return wxString(wide.WideData());
    } else {
        return wxString(ToStd(text));
    }
}

inline kest::String FromWx(const wxString& text) {
    if constexpr (kWideIsUtf16)
        return kest::String::Copy(text.wc_str());
    else
        return FromStd(text.ToStdWstring());
}

// Every "/" made "\".
std::wstring Backslashes(std::wstring path);
// With a trailing "\" added when missing.
std::wstring WithTrailingBackslash(std::wstring path);
// The path without a leading \\?\ (or \\?\UNC\ back to \\): the spelling users and archive
// entry names know.
std::wstring WithoutLongPrefix(const std::wstring& path);

// The Windows path of a local URI, and back.
std::wstring PathOf(kest::IURI* uri);
kest::P<kest::IURI> UriOf(const std::wstring& path);

}  // namespace kapp
