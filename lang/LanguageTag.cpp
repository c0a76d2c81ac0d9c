#include "lang/LanguageTag.h"

#include <algorithm>

namespace {

wchar_t FoldCase(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

LanguageTag::LanguageTag() : m_subtags(1) {}

LanguageTag::LanguageTag(const std::wstring& text) : m_text(text) {
    std::wstring subtag;
    for (size_t i = 0; i < text.size(); ++i) {
        // x-custom is one private subtag.
        const bool privateUse = i == 1 && (text[0] == L'x' || text[0] == L'X');
        if (text[i] == L'-' && !privateUse) {
            m_subtags.push_back(std::move(subtag));
            subtag.clear();
        } else {
            subtag += text[i];
        }
    }
    m_subtags.push_back(std::move(subtag));
}

bool SubtagsEqual(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return FoldCase(x) == FoldCase(y); });
}

size_t LanguageTag::CountLeadingEqual(const LanguageTag& other) const {
    const size_t shorter = std::min(m_subtags.size(), other.m_subtags.size());
    size_t n = 0;
    while (n < shorter && SubtagsEqual(m_subtags[n], other.m_subtags[n])) ++n;
    return n;
}

bool TagMatches(const LanguageTag& request, const LanguageTag& pack, TagMatch kind) {
    const size_t n = request.CountLeadingEqual(pack);
    if (n == 0) return false;
    const size_t requestCount = request.GetSubtags().size();
    const size_t packCount = pack.GetSubtags().size();
    switch (kind) {
    case TagMatch::Exact:
        return n == requestCount && n == packCount;
    case TagMatch::PackMoreGeneral:
        return n >= packCount;
    case TagMatch::PackMoreSpecific:
        return n >= requestCount;
    }
    return false;
}
