#include "lang/LangPackMan.h"

#include "kest/win32/Handles.h"
#include "lang/PackChoice.h"

#include <cstring>

namespace {

const CLangPackMan* g_localizer = nullptr;

std::string LocaleText(LCID lcid, LCTYPE type) {
    char buffer[32] = {};
    const int n = ::GetLocaleInfoA(lcid, type, buffer, sizeof buffer);
    return n > 1 ? std::string(buffer) : std::string();
}

const std::wstring kNoPath;

}  // namespace

std::wstring SystemLanguageTagOf(LANGID language) {
    const LCID lcid = MAKELCID(language, SORT_DEFAULT);
    std::string tag = LocaleText(lcid, LOCALE_SISO639LANGNAME);
    if (tag.empty()) tag = LocaleText(lcid, LOCALE_SABBREVLANGNAME).substr(0, 2);
    std::string country = LocaleText(lcid, LOCALE_SISO3166CTRYNAME);
    if (country.empty()) {
        country = LocaleText(lcid, LOCALE_SABBREVCTRYNAME);
        if (country.size() != 2) country.clear();
    }
    if (!country.empty()) tag += "-" + country;
    // The whole tag lives in 32 characters.
    if (tag.size() > 31) tag.resize(31);
    std::wstring wide(tag.begin(), tag.end());
    return LoweredText(std::move(wide));
}

std::wstring LoweredText(std::wstring text) {
    if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

CLangPackMan::CLangPackMan() = default;

// The shell's lookup must not outlive the manager it asks: a text looked up after the
// application object went falls back to its default.
CLangPackMan::~CLangPackMan() {
    if (g_localizer == this) g_localizer = nullptr;
}

std::wstring CLangPackMan::GetSystemLanguageTag() const {
    return LanguageTag(SystemLanguageTagOf(::GetUserDefaultUILanguage())).GetText();
}

// A new list makes every old index meaningless, so no pack stays active across a scan.
void CLangPackMan::Scan(const std::wstring& folder, const std::wstring& prefix) {
    m_packs.clear();
    m_paths.clear();
    m_active = -1;
    const std::wstring pattern = folder + prefix + L"*.brvLang";
    WIN32_FIND_DATAW found{};
    kest::win32::UniqueFind search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        AddFile(folder + found.cFileName);
    } while (::FindNextFileW(search.get(), &found));
}

// The file is opened once: a flat pack's header is tried first, then a resource file's.
void CLangPackMan::AddFile(const std::wstring& path) {
    std::unique_ptr<CLangPack> pack;
    try {
        kest::P<kest::ISeekableInStream> file = OpenPackFile(path);
        auto flat = std::make_unique<CLangPack>(path);
        uint32_t version = 0, layout = 0;
        if (flat->ReadHeader(*file, version, layout)) {
            pack = std::move(flat);
        } else {
            auto resource = std::make_unique<CLangPack2>(path);
            if (resource->ReadHeader(path, *file)) pack = std::move(resource);
        }
    } catch (...) {
        // An unreadable file is no pack.
        return;
    }
    if (!pack) return;
    m_packs.push_back(std::move(pack));
    m_paths.push_back(path);
}

int CLangPackMan::FindByRequest(const std::wstring& request) const {
    return FindPackByRequest(m_packs, request);
}

int CLangPackMan::Choose(const std::wstring& request) const {
    return ChoosePack(m_packs, request, GetSystemLanguageTag());
}

void CLangPackMan::Activate(int index) {
    m_active = -1;
    if (index < 0 || index >= GetCount()) return;
    CLangPack& pack = *m_packs[static_cast<size_t>(index)];
    bool loaded = false;
    if (pack.GetFormat() == 2) {
        loaded = static_cast<CLangPack2&>(pack).LoadTexts(m_paths[static_cast<size_t>(index)], true);
    } else {
        try {
            kest::P<kest::ISeekableInStream> file = OpenPackFile(m_paths[static_cast<size_t>(index)]);
            uint32_t version = 0, layout = 0;
            loaded = pack.ReadHeader(*file, version, layout) && version <= 1 && pack.LoadTexts(*file, true, layout);
        } catch (...) {
            loaded = false;
        }
    }
    if (loaded) m_active = index;
}

const CLangPack* CLangPackMan::GetAt(int index) const {
    return index >= 0 && index < GetCount() ? m_packs[static_cast<size_t>(index)].get() : nullptr;
}

const std::wstring& CLangPackMan::GetPath(int index) const {
    return index >= 0 && index < GetCount() ? m_paths[static_cast<size_t>(index)] : kNoPath;
}

std::wstring CLangPackMan::Localize(const char* key, const std::wstring& defaultText) const {
    if (const CLangPack* pack = GetActive(); pack && key)
        if (const wchar_t* text = pack->FindText(key)) return text;
    return defaultText;
}

void SetLocalizer(const CLangPackMan* manager) {
    g_localizer = manager;
}

std::wstring Localize(const char* key, const std::wstring& defaultText) {
    return g_localizer ? g_localizer->Localize(key, defaultText) : defaultText;
}
