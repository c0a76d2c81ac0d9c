// Language tags such as de, de-DE or x-custom, split into subtags that compare case-insensitively.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class LanguageTag {
public:
    // The empty tag: one empty subtag.
    LanguageTag();
    // Splits at every "-", except one directly after a first character "x" or "X", so that
    // x-custom is one subtag and x-custom-AT two.
    explicit LanguageTag(const std::wstring& text);

    const std::wstring& GetText() const { return m_text; }
    const std::vector<std::wstring>& GetSubtags() const { return m_subtags; }
    // The number of leading subtags equal in both tags, counted up to the shorter of the two.
    size_t CountLeadingEqual(const LanguageTag& other) const;

private:
    std::wstring m_text;
    std::vector<std::wstring> m_subtags;
};

// How a pack's tag may answer a requested tag; the manager tries the kinds in this order.
enum class TagMatch { Exact, PackMoreGeneral, PackMoreSpecific };

// Whether the pack's tag answers the request in that kind. Tags with no equal leading subtag
// never match; an empty request matches an empty pack tag exactly.
bool TagMatches(const LanguageTag& request, const LanguageTag& pack, TagMatch kind);

// Case-insensitive comparison of two subtags.
bool SubtagsEqual(const std::wstring& a, const std::wstring& b);
