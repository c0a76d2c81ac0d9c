// Small conversions between the library's strings, wxWidgets' strings and wide C strings, and
// the path spellings the data manager works with.
#pragma once

#include "kest/String.h"
#include "kest/URI.h"

#include <wx/string.h>

#include <string>

namespace kapp {

inline wxString ToWx(const kest::String& text) {
    if (text.IsNull() || text.IsEmpty()) return wxString();
    kest::String wide = text.AsUTF16();
    return wxString(wide.WideData());
}

inline kest::String FromWx(const wxString& text) { return kest::String::Copy(text.wc_str()); }

inline std::wstring ToStd(const kest::String& text) {
    if (text.IsNull() || text.IsEmpty()) return std::wstring();
    kest::String wide = text.AsUTF16();
    return std::wstring(wide.WideData());
}

inline kest::String FromStd(const std::wstring& text) { return kest::String::Copy(text.c_str()); }

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
