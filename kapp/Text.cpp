#include "kapp/Text.h"

#include "kest/System.h"

namespace kapp {

std::wstring Backslashes(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::wstring WithTrailingBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
}

std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

std::wstring PathOf(kest::IURI* uri) { return ToStd(kest::GetSystem()->UriToPath(uri, false)); }

kest::P<kest::IURI> UriOf(const std::wstring& path) { return kest::GetSystem()->PathToUri(FromStd(path)); }

}  // namespace kapp
