// The language pack manager: which packs are installed, which one is active, and the program's
// text lookup.
#pragma once

#include "lang/LangPack.h"
#include "lang/LanguageTag.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class CLangPackMan {
public:
    CLangPackMan();
    ~CLangPackMan();
    CLangPackMan(const CLangPackMan&) = delete;
    CLangPackMan& operator=(const CLangPackMan&) = delete;

    // The user's interface language as a lower-case tag such as "en-us".
    std::wstring GetSystemLanguageTag() const;

    // Forgets every pack and lists folder + prefix + "*.brvLang" (folder ends in "\"), in the
    // order the system gives the files. No pack is active afterwards.
    void Scan(const std::wstring& folder, const std::wstring& prefix);
    // Reads one file's header and appends it when it is a pack of either format; anything else
    // is left out silently.
    void AddFile(const std::wstring& path);
    // A name request (a native name's substring, any case) or a tag request; -1 when no pack
    // answers it.
    int FindByRequest(const std::wstring& request) const;
    // The request, else the system language, else "en", else "english"; -1 when none is there.
    int Choose(const std::wstring& request) const;
    // Loads the pack's texts and makes it active; an index out of range, or a pack that fails
    // to load, leaves no pack active.
    void Activate(int index);

    const CLangPack* GetActive() const {
        return m_active >= 0 && m_active < GetCount() ? m_packs[static_cast<size_t>(m_active)].get() : nullptr;
    }
    int GetActiveIndex() const { return m_active; }
    int GetCount() const { return static_cast<int>(m_packs.size()); }
    // Null for an index out of range.
    const CLangPack* GetAt(int index) const;
    const std::wstring& GetPath(int index) const;

    // The active pack's text for the key, else the default. Never fails; the text stays valid
    // while the pack is loaded.
    const wchar_t* Localize(const char* key, const wchar_t* defaultText) const {
        // Inline: the texts of a whole dialog are looked up one after the other.
        if (const CLangPack* pack = GetActive(); pack && key)
            if (const wchar_t* text = pack->FindText(key)) return text;
        return defaultText;
    }
    std::wstring Localize(const char* key, const std::wstring& defaultText) const;

private:
    std::vector<std::unique_ptr<CLangPack>> m_packs;
    std::vector<std::wstring> m_paths;
    int m_active = -1;
};

// The tag of a Windows language identifier as the manager builds it for the user's interface
// language: ISO language and country names, lower-case ("en-us", or "de" without a country).
std::wstring SystemLanguageTagOf(LANGID language);

// The shell's one entry point for user-interface texts; answered by the active pack of the
// manager set with SetLocalizer (until that manager goes), else the default. Never fails.
std::wstring Localize(const char* key, const std::wstring& defaultText);
void SetLocalizer(const CLangPackMan* manager);
