#include "lang/LangPackMan.h"

#include <windows.h>

#include <cwctype>

namespace {

const CLangPackMan* g_localizer = nullptr;

std::string LocaleText(LCID lcid, LCTYPE type) {
    char buffer[32] = {};
    int n = ::GetLocaleInfoA(lcid, type, buffer, sizeof buffer);
    return n > 1 ? std::string(buffer) : std::string();
}

}  // namespace

std::wstring CLangPackMan::GetSystemLanguageTag() const {
    LCID lcid = MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT);
    std::string language = LocaleText(lcid, LOCALE_SISO639LANGNAME);
    if (language.empty()) language = LocaleText(lcid, LOCALE_SABBREVLANGNAME).substr(0, 2);
    std::string country = LocaleText(lcid, LOCALE_SISO3166CTRYNAME);
    if (country.empty()) {
        country = LocaleText(lcid, LOCALE_SABBREVCTRYNAME);
        if (country.size() != 2) country.clear();
    }
    std::string tag = language;
    if (!country.empty()) tag += "-" + country;
    if (tag.size() > 31) tag.resize(31);
    std::wstring wide(tag.begin(), tag.end());
    for (wchar_t& c : wide) c = static_cast<wchar_t>(std::towlower(c));
    return wide;
}

void CLangPackMan::Scan(const std::wstring&, const std::wstring&) {
    m_packs.clear();
    m_active = -1;
}

int CLangPackMan::Choose(const std::wstring&) const {
    return m_packs.empty() ? -1 : 0;
}

void CLangPackMan::Activate(int index) {
    m_active = (index >= 0 && static_cast<size_t>(index) < m_packs.size()) ? index : -1;
}

const CLangPack* CLangPackMan::GetActive() const {
    return m_active >= 0 ? &m_packs[static_cast<size_t>(m_active)] : nullptr;
}

std::wstring CLangPackMan::Localize(const char*, const std::wstring& defaultText) const {
    return defaultText;
}

void SetLocalizer(const CLangPackMan* manager) {
    g_localizer = manager;
}

std::wstring Localize(const char* key, const std::wstring& defaultText) {
    return g_localizer ? g_localizer->Localize(key, defaultText) : defaultText;
}
