// The language of a real start: packs in the program's lang folder, the language settings in
// the registry, and what the engine then receives.
#include "kest/win32/Handles.h"
#include "tests/app/support/ProgramRun.h"
#include "tests/lang/PackWriter.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace testing_support;
using namespace pack_test;

namespace {

// The recording engine's "key=value" lines; text values are quoted and escaped.
std::map<std::wstring, std::wstring> RecordTexts(const std::wstring& record) {
    std::map<std::wstring, std::wstring> values;
    size_t start = 0;
    while (start < record.size()) {
        size_t end = record.find(L'\n', start);
        if (end == std::wstring::npos) end = record.size();
        const std::wstring line = record.substr(start, end - start);
        const size_t equals = line.find(L'=');
        if (equals != std::wstring::npos) {
            std::wstring value = line.substr(equals + 1);
            if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') {
                std::wstring text;
                for (size_t i = 1; i + 1 < value.size(); ++i) {
                    if (value[i] == L'\\' && i + 2 < value.size()) {
                        ++i;
                        text += value[i] == L'n' ? L'\n' : value[i];
                    } else {
                        text += value[i];
                    }
                }
                value = text;
            }
            values.emplace(line.substr(0, equals), value);
        }
        start = end + 1;
    }
    return values;
}

const wchar_t kProductKey[] = L"SOFTWARE\\brenvalo\\Brenvalo Ordavia 2010 Advanced";

// Values under the product's user key (and its "General" section) for one run, removed after.
class LanguageSettings {
public:
    LanguageSettings(const wchar_t* defaultLangId, const wchar_t* language) {
        if (defaultLangId) Put(L"", L"DefaultLangID", defaultLangId);
        if (language) Put(L"General", L"Language", language);
    }
    ~LanguageSettings() {
        for (const auto& [section, name] : m_written) {
            kest::win32::UniqueRegKey key;
            if (::RegOpenKeyExW(HKEY_CURRENT_USER, Path(section).c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
                ::RegDeleteValueW(key.get(), name.c_str());
        }
    }
    LanguageSettings(const LanguageSettings&) = delete;
    LanguageSettings& operator=(const LanguageSettings&) = delete;

private:
    static std::wstring Path(const std::wstring& section) {
        return section.empty() ? kProductKey : kProductKey + (L"\\" + section);
    }
    void Put(const std::wstring& section, const std::wstring& name, const std::wstring& value) {
        kest::win32::UniqueRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, Path(section).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, key.put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(value.c_str()),
                                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
        m_written.push_back({section, name});
    }

    std::vector<std::pair<std::wstring, std::wstring>> m_written;
};

const wchar_t kHandlers[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\"
                           L"BRVBrenvalo_Ordavia_2010_Advanced";

// The handlers' texts a start wrote, taken away again.
void RemoveHandlerTexts() {
    for (const wchar_t* action : {L"BURNONARRIVAL", L"COPYONARRIVAL"})
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kHandlers + std::wstring(action)).c_str());
}

std::wstring BurnAction() {
    kest::win32::UniqueRegKey key;
    const std::wstring path = kHandlers + std::wstring(L"BURNONARRIVAL");
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return L"(no key)";
    wchar_t text[256] = {};
    DWORD type = 0, bytes = sizeof text - sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), L"Action", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS)
        return L"(no value)";
    return text;
}

const std::vector<std::pair<std::string, std::wstring>> kGermanTexts = {
    {"ProblemReport.TaskDesc.Variant", L"Bitte f\x00FC" L"llen Sie das Formular vollst\x00E4ndig aus."},
    {"ProblemReport.ReportExplanation", L"Berichte werden binnen zwei Werktagen beantwortet."},
    {"CPyrlan.Autoplay.BurnDisc", L"%IMPORTANTDTCS% brennen"},
};

const std::vector<std::pair<std::string, std::wstring>> kFrenchTexts = {
    {"ProblemReport.ReportExplanation", L"Les rapports sont trait\x00E9s sous deux jours."},
};

}  // namespace

struct StartLanguageCase {
    const char* name;
    const wchar_t* defaultLangId;  // null: no value
    const wchar_t* language;       // null: no value
    std::vector<const wchar_t*> helpFiles;  // created in lang\ beside the packs
    const wchar_t* languageName;  // field 0x00C; null: the system language tag
    const wchar_t* packFile;      // field 0x048, in lang\; empty: no pack
    const wchar_t* explanation;   // field 0x0F4
    const wchar_t* burnAction;
    const wchar_t* helpFile;  // in lang\; empty: none
};

class StartLanguage : public testing::TestWithParam<StartLanguageCase> {};

TEST_P(StartLanguage, TheEngineSeesTheChosenPack) {
    const StartLanguageCase& c = GetParam();
    CProgramFolder program;
    const std::wstring lang = program.Folder() + L"lang\\";
    ASSERT_TRUE(::CreateDirectoryW(lang.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    WriteFile(lang + L"OrdaviaStudio_de.brvLang", MakeResourceFile(L"de-DE", L"Deutsch", kGermanTexts));
    WriteFile(lang + L"OrdaviaStudio_fr.brvLang", FlatPackBytes(MakeFlatPack("LANGPU16", L"Fran\x00E7" L"ais", kFrenchTexts)));
    WriteFile(lang + L"Other_it.brvLang", MakeResourceFile(L"it", L"Italiano", {}));
    for (const wchar_t* help : c.helpFiles) WriteFile(lang + help, {'h'});

    RunResult run;
    {
        LanguageSettings settings(c.defaultLangId, c.language);
        run = program.Run();
    }
    ASSERT_FALSE(run.timedOut);
    auto r = RecordTexts(run.record);
    EXPECT_EQ(c.languageName ? std::wstring(c.languageName) : r[L"text.00C"], r[L"text.00C"]);
    if (!c.languageName) {
        EXPECT_FALSE(r[L"text.00C"].empty());
    }
    EXPECT_EQ(*c.packFile ? lang + c.packFile : L"", r[L"text.048"]);
    EXPECT_EQ(c.explanation, r[L"text.0F4"]);
    EXPECT_EQ(c.burnAction, BurnAction());
    RemoveHandlerTexts();
    EXPECT_EQ(*c.helpFile ? lang + c.helpFile : L"", r[L"help.file"]);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StartLanguage,
    testing::Values(
        // The "Language" setting wins over "DefaultLangID"; de finds the more specific de-DE.
        StartLanguageCase{"LanguageSetting", L"fr", L"de", {L"OrdaviaStudio_de.chm"}, L"de-DE",
                          L"OrdaviaStudio_de.brvLang", L"Berichte werden binnen zwei Werktagen beantwortet.",
                          L"CD/DVD brennen", L"OrdaviaStudio_de.chm"},
        // A name request finds the flat pack; its language code is its native name.
        StartLanguageCase{"DefaultLanguageByName", L"FRAN", nullptr, {}, L"Fran\x00E7" L"ais",
                          L"OrdaviaStudio_fr.brvLang", L"Les rapports sont trait\x00E9s sous deux jours.",
                          L"Burn CD/DVD", L""},
        // The help file named after the pack's native name, when none is named after the file.
        StartLanguageCase{"HelpByNativeName", nullptr, L"de", {L"OrdaviaStudio-Deutsch.chm", L"english.chm"}, L"de-DE",
                          L"OrdaviaStudio_de.brvLang", L"Berichte werden binnen zwei Werktagen beantwortet.",
                          L"CD/DVD brennen", L"OrdaviaStudio-Deutsch.chm"},
        // Neither setting: the system language decides, and no pack here answers it, "en" or "english".
        StartLanguageCase{"NoSettingNoMatchingPack", nullptr, nullptr, {}, nullptr, L"",
                          L"Problem reports are usuallly answered within two business days.", L"Burn CD/DVD", L""}),
    [](const testing::TestParamInfo<StartLanguageCase>& info) { return std::string(info.param.name); });
