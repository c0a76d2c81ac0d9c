// The pack manager's choice among the installed packs: UTF-16LE texts separated by zero units,
// the request, the system's language tag, then a tag and a native name for each pack.
#include "fuzz/Utf16.h"
#include "lang/PackChoice.h"

#include <cstdint>
#include <cstdlib>

namespace {

class CListedPack final : public CLangPack {
public:
    CListedPack(const std::wstring& tag, const std::wstring& nativeName) : CLangPack(L"fuzz.brvLang") {
        m_tag = LanguageTag(tag);
        m_nativeName = nativeName;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kMaxPacks = 8;
    const std::vector<std::wstring> texts = fuzz::Utf16Texts(data, size, 2 + 2 * kMaxPacks);
    std::vector<std::unique_ptr<CLangPack>> packs;
    for (size_t i = 2; i + 1 < texts.size(); i += 2)
        if (!texts[i].empty() || !texts[i + 1].empty()) packs.push_back(std::make_unique<CListedPack>(texts[i], texts[i + 1]));
    const int found = FindPackByRequest(packs, texts[0]);
    const int chosen = ChoosePack(packs, texts[0], texts[1]);
    const int count = static_cast<int>(packs.size());
    if (found < -1 || found >= count || chosen < -1 || chosen >= count) std::abort();
    // What answers the request is chosen before any fallback.
    if (found >= 0 && chosen != found) std::abort();
    return 0;
}
