#include "lang/LangPackMan.h"
#include "tests/kest/TempFolder.h"
#include "tests/lang/PackWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <optional>

using namespace pack_test;

namespace {

// A pack for the manager's list: a resource file with a tag, or a flat pack (no tag).
struct InstalledPack {
    const wchar_t* tag;  // null: a flat pack
    const wchar_t* nativeName;
};

class PackFolder {
public:
    explicit PackFolder(const std::vector<InstalledPack>& packs) {
        int n = 0;
        for (const InstalledPack& p : packs) {
            const std::wstring path = Folder() + L"OrdaviaStudio_" + std::to_wstring(n++) + L".brvLang";
            const std::string key = "Pack.Name";
            WriteFile(path, p.tag ? MakeResourceFile(p.tag, p.nativeName, {{key, p.nativeName}})
                                  : FlatPackBytes(MakeFlatPack("LANGPU16", p.nativeName, {{key, p.nativeName}})));
            paths.push_back(path);
        }
    }
    std::wstring Folder() const { return m_temp.Path(); }
    // The manager with the files added in the order given, whatever order a folder listing has.
    void AddTo(CLangPackMan& manager) const {
        for (const std::wstring& path : paths) manager.AddFile(path);
    }

    std::vector<std::wstring> paths;

private:
    kest_test::TempFolder m_temp;
};

}  // namespace

struct RequestCase {
    const char* name;
    std::vector<InstalledPack> packs;
    const wchar_t* request;
    int found;
};

class FindByRequest : public testing::TestWithParam<RequestCase> {};

TEST_P(FindByRequest, FindsTheFirstPackOfTheBestKind) {
    const RequestCase& c = GetParam();
    PackFolder folder(c.packs);
    CLangPackMan manager;
    folder.AddTo(manager);
    ASSERT_EQ(static_cast<int>(c.packs.size()), manager.GetCount());
    EXPECT_EQ(c.found, manager.FindByRequest(c.request));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, FindByRequest,
    testing::Values(
        // A more general pack is tried before a more specific one.
        RequestCase{"MoreGeneralBeforeMoreSpecific", {{L"de-DE", L"Deutsch"}, {L"de", L"Deutsch"}}, L"de-AT", 1},
        RequestCase{"FirstInListOrderOfOneKind", {{L"de-DE", L"Deutsch"}, {L"de-CH", L"Schwiizerd\x00FC\x00FCtsch"}},
                    L"de", 0},
        RequestCase{"ExactBeforeMoreGeneral", {{L"de", L"Deutsch"}, {L"de-AT", L"\x00D6sterreichisch"}}, L"de-AT", 1},
        RequestCase{"NameBySubstringAnyCase", {{L"fr", L"Fran\x00E7" L"ais"}, {L"de", L"Deutsch (German)"}}, L"German",
                    1},
        RequestCase{"NameNotContained", {{L"de", L"Deutsch"}}, L"Deutschland", -1},
        // A first "-" at index 1 to 3 makes a tag, however long the request.
        RequestCase{"LongTag", {{L"de", L"Deutsch"}}, L"de-DE-Bayern-x", 0},
        // Three characters make a tag: deu is not de.
        RequestCase{"ThreeLettersAreATag", {{L"de", L"Deutsch"}}, L"deu", -1},
        RequestCase{"DashAtIndexThreeIsATag", {{L"deu", L"Deutsch"}}, L"DEU-at", 0},
        // An empty request matches the pack without a tag exactly.
        RequestCase{"EmptyRequestAndAFlatPack", {{L"en", L"English"}, {nullptr, L"Deutsch"}}, L"", 1},
        RequestCase{"SubtagsIgnoreCase", {{L"fr", L"Fran\x00E7" L"ais"}, {L"en-US", L"English"}}, L"en-us", 1},
        RequestCase{"NoPacks", {}, L"en", -1},
        RequestCase{"NoMatch", {{L"fr", L"Fran\x00E7" L"ais"}}, L"it", -1}),
    [](const testing::TestParamInfo<RequestCase>& info) { return std::string(info.param.name); });

// The fallbacks after the request: the system language, "en", then "english". The packs avoid
// the language of the machine the tests run on.
struct ChooseCase {
    const char* name;
    std::vector<InstalledPack> packs;
    const wchar_t* request;
    int chosen;
};

class Choose : public testing::TestWithParam<ChooseCase> {};

TEST_P(Choose, FallsBackInOrder) {
    const ChooseCase& c = GetParam();
    PackFolder folder(c.packs);
    CLangPackMan manager;
    folder.AddTo(manager);
    EXPECT_EQ(c.chosen, manager.Choose(c.request));
}

INSTANTIATE_TEST_SUITE_P(
    Fallbacks, Choose,
    testing::Values(ChooseCase{"TheRequest", {{L"fr", L"Fran\x00E7" L"ais"}, {L"en", L"English"}}, L"fr", 0},
                    ChooseCase{"En", {{L"fr", L"Fran\x00E7" L"ais"}, {L"en-GB", L"English (UK)"}}, L"xx", 1},
                    ChooseCase{"English", {{L"fr", L"Fran\x00E7" L"ais"}, {nullptr, L"English (UK)"}}, L"xx", 1},
                    ChooseCase{"Nothing", {{L"fr", L"Fran\x00E7" L"ais"}}, L"xx", -1}),
    [](const testing::TestParamInfo<ChooseCase>& info) { return std::string(info.param.name); });

TEST(Choose, TheSystemLanguageComesBeforeEnglish) {
    CLangPackMan manager;
    const std::wstring system = manager.GetSystemLanguageTag();
    // Upper case in the pack: subtags compare without case.
    std::wstring upper = system;
    for (wchar_t& ch : upper) ch = static_cast<wchar_t>(::towupper(ch));
    PackFolder folder({{L"en", L"English"}, {upper.c_str(), L"System"}});
    folder.AddTo(manager);
    EXPECT_EQ(system == L"en" ? 0 : 1, manager.Choose(L"xx"));
}

struct SystemTagCase {
    LANGID language;
    const wchar_t* tag;
};

class SystemTag : public testing::TestWithParam<SystemTagCase> {};

TEST_P(SystemTag, IsTheLowerCaseIsoLanguageAndCountry) {
    EXPECT_EQ(GetParam().tag, SystemLanguageTagOf(GetParam().language));
}

INSTANTIATE_TEST_SUITE_P(Languages, SystemTag,
                         testing::Values(SystemTagCase{0x0409, L"en-us"}, SystemTagCase{0x0407, L"de-de"},
                                         SystemTagCase{0x0C07, L"de-at"}, SystemTagCase{0x040C, L"fr-fr"}));

TEST(LangPackMan, ActivatesAPackOfEitherFormatAndLocalizes) {
    PackFolder folder({{L"de", L"Deutsch"}, {nullptr, L"Fran\x00E7" L"ais"}});
    CLangPackMan manager;
    folder.AddTo(manager);
    EXPECT_EQ(nullptr, manager.GetActive());
    EXPECT_STREQ(L"Name", manager.Localize("Pack.Name", L"Name"));

    for (int index : {0, 1}) {
        manager.Activate(index);
        ASSERT_EQ(manager.GetAt(index), manager.GetActive());
        EXPECT_EQ(index, manager.GetActiveIndex());
        EXPECT_EQ(manager.GetAt(index)->GetNativeName(), manager.Localize("Pack.Name", std::wstring(L"Name")));
        EXPECT_STREQ(L"Default", manager.Localize("Missing.Key", L"Default"));
        EXPECT_EQ(folder.paths[static_cast<size_t>(index)], manager.GetPath(index));
    }
    for (int index : {-1, 2}) {
        manager.Activate(index);
        EXPECT_EQ(nullptr, manager.GetActive());
        EXPECT_STREQ(L"Name", manager.Localize("Pack.Name", L"Name"));
    }
}

TEST(LangPackMan, APackThatFailsToLoadLeavesNoActiveLanguage) {
    kest_test::TempFolder temp;
    Bytes flat = FlatPackBytes(MakeFlatPack("LANGPCK2", L"Deutsch", {{"a", L"eins"}, {"b", L"zwei"}}));
    flat.resize(flat.size() - 3);
    WriteFile(temp.Path() + L"OrdaviaStudio_flat.brvLang", flat);
    // A resource file whose table lies about its length lists (its header is sound) but does not load.
    WriteFile(temp.Path() + L"OrdaviaStudio_res.brvLang",
              ResourceFile({LangChunk(L"de", L"Deutsch"),
                            chk_test::Chunk("STMP", chk_test::Chunk("data", Bytes{9, 0, 0, 0}))}));
    CLangPackMan manager;
    manager.AddFile(temp.Path() + L"OrdaviaStudio_flat.brvLang");
    manager.AddFile(temp.Path() + L"OrdaviaStudio_res.brvLang");
    ASSERT_EQ(2, manager.GetCount());
    for (int index : {0, 1}) {
        manager.Activate(index);
        EXPECT_EQ(nullptr, manager.GetActive());
        EXPECT_STREQ(L"default", manager.Localize("a", L"default"));
    }
}

TEST(LangPackMan, ScanListsThePacksWithThePrefixOnly) {
    kest_test::TempFolder temp;
    const std::wstring lang = temp.Path();
    WriteFile(lang + L"OrdaviaStudio_de.brvLang", MakeResourceFile(L"de", L"Deutsch", {}));
    WriteFile(lang + L"OrdaviaStudio_fr.brvLang", FlatPackBytes(MakeFlatPack("LANGPACK", L"Francais", {})));
    WriteFile(lang + L"Other_it.brvLang", MakeResourceFile(L"it", L"Italiano", {}));
    WriteFile(lang + L"OrdaviaStudio_es.txt", MakeResourceFile(L"es", L"Espa\x00F1ol", {}));
    // Neither format: left out silently.
    WriteFile(lang + L"OrdaviaStudio_junk.brvLang", chk_test::Text("not a language pack at all"));
    WriteFile(lang + L"OrdaviaStudio_v2.brvLang",
              [] {
                  FlatPack p = MakeFlatPack("LANGPCK2", L"Neu", {});
                  p.version = 2;
                  return FlatPackBytes(p);
              }());
    WriteFile(lang + L"OrdaviaStudio_empty.brvLang", {});
    ::CreateDirectoryW((lang + L"OrdaviaStudio_dir.brvLang").c_str(), nullptr);

    CLangPackMan manager;
    manager.Scan(lang, L"OrdaviaStudio");
    std::vector<std::wstring> names;
    for (int i = 0; i < manager.GetCount(); ++i) names.push_back(manager.GetAt(i)->GetNativeName());
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::wstring>{L"Deutsch", L"Francais"}), names);
    for (int i = 0; i < manager.GetCount(); ++i) EXPECT_EQ(manager.GetAt(i)->GetFilePath(), manager.GetPath(i));
    EXPECT_EQ(nullptr, manager.GetAt(manager.GetCount()));

    // A new scan forgets the list, and with it the active pack.
    manager.Activate(0);
    ASSERT_NE(nullptr, manager.GetActive());
    manager.Scan(lang + L"missing\\", L"OrdaviaStudio");
    EXPECT_EQ(0, manager.GetCount());
    EXPECT_EQ(nullptr, manager.GetActive());
    EXPECT_STREQ(L"default", manager.Localize("a", L"default"));
}

TEST(LangPackMan, TheShellsLookupAsksTheManagerSet) {
    PackFolder folder(std::vector<InstalledPack>{{L"de", L"Deutsch"}});
    CLangPackMan manager;
    folder.AddTo(manager);
    manager.Activate(0);
    SetLocalizer(&manager);
    EXPECT_EQ(L"Deutsch", Localize("Pack.Name", L"Name"));
    SetLocalizer(nullptr);
    EXPECT_EQ(L"Name", Localize("Pack.Name", L"Name"));
}

TEST(LangPackMan, TheShellsLookupForgetsAManagerThatWent) {
    PackFolder folder(std::vector<InstalledPack>{{L"de", L"Deutsch"}});
    // The second manager takes the first one's place in memory, so a lookup that still held the
    // first would answer with the second's texts instead of reading freed memory at random.
    std::optional<CLangPackMan> manager;
    manager.emplace();
    SetLocalizer(&*manager);
    manager.reset();
    manager.emplace();
    folder.AddTo(*manager);
    manager->Activate(0);
    ASSERT_NE(nullptr, manager->GetActive());
    EXPECT_EQ(L"Name", Localize("Pack.Name", L"Name"));
    SetLocalizer(nullptr);
}
