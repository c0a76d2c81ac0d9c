#include "lang/PackChoice.h"

namespace {

bool IsTagRequest(const std::wstring& request) {
    const size_t dash = request.find(L'-');
    return (dash >= 1 && dash <= 3) || request.size() <= 3;
}

}  // namespace

int FindPackByRequest(const std::vector<std::unique_ptr<CLangPack>>& packs, const std::wstring& request) {
    if (!IsTagRequest(request)) {
        const std::wstring wanted = LoweredText(request);
        for (size_t i = 0; i < packs.size(); ++i)
            if (LoweredText(packs[i]->GetNativeName()).find(wanted) != std::wstring::npos) return static_cast<int>(i);
        return -1;
    }
    const LanguageTag tag(request);
    for (TagMatch kind : {TagMatch::Exact, TagMatch::PackMoreGeneral, TagMatch::PackMoreSpecific})
        for (size_t i = 0; i < packs.size(); ++i)
            if (TagMatches(tag, packs[i]->GetLanguageTag(), kind)) return static_cast<int>(i);
    return -1;
}

int ChoosePack(const std::vector<std::unique_ptr<CLangPack>>& packs, const std::wstring& request,
               const std::wstring& systemTag) {
    int index = FindPackByRequest(packs, request);
    if (index < 0) index = FindPackByRequest(packs, systemTag);
    if (index < 0) index = FindPackByRequest(packs, L"en");
    if (index < 0) index = FindPackByRequest(packs, L"english");
    return index;
}
