// Language tags from arbitrary text: splitting, and matching a request against a pack's tag.
// The input is two UTF-16LE texts separated by a zero unit.
#include "lang/LanguageTag.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring texts[2];
    int which = 0;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
        if (unit == 0 && which == 0) {
            which = 1;
            continue;
        }
        texts[which] += unit;
    }
    const LanguageTag request(texts[0]), pack(texts[1]);
    (void)request.GetText();
    (void)request.CountLeadingEqual(pack);
    (void)pack.CountLeadingEqual(request);
    for (TagMatch kind : {TagMatch::Exact, TagMatch::PackMoreGeneral, TagMatch::PackMoreSpecific})
        (void)TagMatches(request, pack, kind);
    for (const std::wstring& a : request.GetSubtags())
        for (const std::wstring& b : pack.GetSubtags()) (void)SubtagsEqual(a, b);
    return 0;
}
