// The language pack manager: which packs are installed, which one is active, and the
// program's text lookup. Packs are not read yet: a scan finds none, so every text comes
// from its built-in default.
#pragma once

#include <string>
#include <vector>

class CLangPack {
public:
    const std::wstring& GetLanguageCode() const { return m_languageCode; }
    const std::wstring& GetFilePath() const { return m_filePath; }

private:
    std::wstring m_languageCode;
    std::wstring m_filePath;
};

class CLangPackMan {
public:
    // The user's interface language as a lower-case tag such as "en-us".
    std::wstring GetSystemLanguageTag() const;
    void Scan(const std::wstring& folder, const std::wstring& prefix);
    int Choose(const std::wstring& request) const;
    void Activate(int index);
    const CLangPack* GetActive() const;
    std::wstring Localize(const char* key, const std::wstring& defaultText) const;

private:
    std::vector<CLangPack> m_packs;
    int m_active = -1;
};

// The shell's one entry point for user-interface texts; answered by the active pack of the
// manager set with SetLocalizer, else the default. Never fails.
std::wstring Localize(const char* key, const std::wstring& defaultText);
void SetLocalizer(const CLangPackMan* manager);
