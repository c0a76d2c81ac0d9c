// The help file the program chooses and the topic table the engine looks its pages up in.
#include "app/HelpTopics.h"
#include "app/PyrlanApp.h"
#include "tests/app/AppTestFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

using app_tests::CTempFolder;

namespace {

struct TopicTableParam {
    bool nt;
    const wchar_t* helpFile;
};

class TopicTable : public ::testing::TestWithParam<TopicTableParam> {};

TEST_P(TopicTable, EightyFiveRowsInTheEnginesOrder) {
    const bool nt = GetParam().nt;
    const std::wstring helpFile = GetParam().helpFile;
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
    app.m_isNT = nt;
    app.m_helpFile = helpFile;
    app.FillHelpTopics();

    const HelpTopicTable& table = app.m_helpTable;
    ASSERT_EQ(85u, table.rowCount);
    EXPECT_EQ(2u, table.version);
    EXPECT_EQ(helpFile, app_tests::HostText(table.helpFile, nt));

    const struct {
        size_t index;
        int32_t pageId;
        const wchar_t* file;
    } samples[] = {
        {0, 0, L"proginf.htm"},
        {1, 600, L"Whatwouldyouliketodo.htm"},
        {9, 500, L"bd_AddFilesandFolders.htm"},
        {37, 10635, L"bd_selectdrive.htm"},
        {53, 120300, L"rip_options.htm"},
        {54, 120400, L"rip_ripstatus.htm"},
        {64, 120400, L"dvdvideo_writestatus.htm"},
        {68, 120300, L"dvdvideo_writeoptions.htm"},
        {77, 140276, L"expertdata_settings_boot.htm"},
        {84, 62700, L"multiformatcd_chooseformat.htm"},
    };
    for (const auto& s : samples) {
        EXPECT_EQ(s.pageId, table.rows[s.index].pageId) << "row " << s.index;
        EXPECT_EQ(helpFile + L"::/" + s.file, app_tests::HostText(table.rows[s.index].text, nt)) << "row " << s.index;
    }

    std::map<int32_t, int> uses;
    for (size_t i = 0; i < 85; ++i) {
        const HelpTopicRow& row = table.rows[i];
        EXPECT_EQ(0u, row.zero);
        const std::wstring text = app_tests::HostText(row.text, nt);
        EXPECT_EQ(0u, text.find(helpFile + L"::/")) << "row " << i;
        EXPECT_EQ(text.size() - 4, text.rfind(L".htm")) << "row " << i;
        ++uses[row.pageId];
    }
    // The ripping pages and the DVD-video pages share two identifiers; every other is unique.
    for (const auto& [pageId, count] : uses) EXPECT_EQ(pageId == 120300 || pageId == 120400 ? 2 : 1, count) << pageId;
    for (size_t i = 85; i < app.m_helpRows.size(); ++i) {
        EXPECT_EQ(0, app.m_helpRows[i].pageId);
        EXPECT_EQ(nullptr, app.m_helpRows[i].text);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, TopicTable,
                         ::testing::Values(TopicTableParam{true, L"C:\\Ordavia\\lang\\OrdaviaStudio_de.chm"},
                                           TopicTableParam{false, L"C:\\Ordavia\\lang\\OrdaviaStudio_de.chm"},
                                           TopicTableParam{true, L""}, TopicTableParam{false, L""}));

struct HelpFileCase {
    const char* name;
    std::vector<std::wstring> present;  // files in "lang"
    const wchar_t* packFile;            // in "lang"; empty when no pack is active
    const wchar_t* languageName;
    std::optional<std::wstring> nativeName;
    const wchar_t* defaultLangId;
    const wchar_t* defaultHelpFile;
    const wchar_t* chosen;  // in "lang"; empty for none
};

const std::vector<std::wstring> kAllFallbacks = {L"OrdaviaStudio-de.chm", L"OrdaviaStudio-Deutsch.chm",
                                                 L"OrdaviaStudio-en-gb.chm", L"Manual.chm", L"english.chm"};

const HelpFileCase kHelpFileCases[] = {
    {"BesideThePack", {L"OrdaviaStudio_de.chm", L"de.chm", L"OrdaviaStudio-de.chm"}, L"OrdaviaStudio_de.brvLang",
     L"de", L"Deutsch", L"en-gb", L"Manual.chm", L"OrdaviaStudio_de.chm"},
    {"NamedAfterTheRequest", {L"deutsch.chm", L"OrdaviaStudio-deutsch.chm"}, L"", L"deutsch", std::nullopt, L"en-gb",
     L"Manual.chm", L"deutsch.chm"},
    {"ProductAndLanguageName", {L"OrdaviaStudio-deutsch.chm", L"english.chm"}, L"", L"deutsch", std::nullopt,
     L"en-gb", L"Manual.chm", L"OrdaviaStudio-deutsch.chm"},
    {"PacksLanguageCode", kAllFallbacks, L"OrdaviaStudio_de.brvLang", L"de", L"Deutsch", L"en-gb", L"Manual.chm",
     L"OrdaviaStudio-de.chm"},
    {"PacksNativeName",
     {L"OrdaviaStudio-Deutsch.chm", L"OrdaviaStudio-en-gb.chm", L"Manual.chm", L"english.chm"},
     L"OrdaviaStudio_de.brvLang", L"de", L"Deutsch", L"en-gb", L"Manual.chm", L"OrdaviaStudio-Deutsch.chm"},
    {"NativeNameOnlyWithAPack", {L"OrdaviaStudio-Deutsch.chm", L"english.chm"}, L"", L"de", L"Deutsch", L"en-gb",
     L"Manual.chm", L"english.chm"},
    {"DefaultLanguage", {L"OrdaviaStudio-en-gb.chm", L"Manual.chm", L"english.chm"}, L"OrdaviaStudio_de.brvLang",
     L"de", L"Deutsch", L"en-gb", L"Manual.chm", L"OrdaviaStudio-en-gb.chm"},
    {"DefaultHelpFileSetting", {L"Manual.chm", L"english.chm"}, L"", L"de", std::nullopt, L"en-gb", L"Manual.chm",
     L"Manual.chm"},
    {"English", {L"english.chm"}, L"OrdaviaStudio_de.brvLang", L"de", L"Deutsch", L"en-gb", L"Manual.chm",
     L"english.chm"},
    {"None", {L"OrdaviaStudio-fr.chm"}, L"OrdaviaStudio_de.brvLang", L"de", L"Deutsch", L"en-gb", L"Manual.chm",
     L""},
    // An empty setting names the "lang" folder itself, which is no help file.
    {"EmptySettingIsNoFile", {}, L"", L"de", std::nullopt, L"en-gb", L"", L""},
};

class HelpFile : public ::testing::TestWithParam<HelpFileCase> {};

TEST_P(HelpFile, FirstExistingCandidateInOrder) {
    const HelpFileCase& c = GetParam();
    CTempFolder temp;
    temp.MakeFolder(L"lang");
    for (const std::wstring& file : c.present) temp.WriteBytes(L"lang\\" + file, {'h'});
    HelpFileChoice choice;
    choice.folder = temp.Path();
    choice.productId = L"OrdaviaStudio";
    choice.packFilePath = *c.packFile ? temp / (L"lang\\" + std::wstring(c.packFile)) : L"";
    choice.languageName = c.languageName;
    choice.nativeName = c.nativeName;
    choice.defaultLangId = c.defaultLangId;
    choice.defaultHelpFile = c.defaultHelpFile;
    EXPECT_EQ(*c.chosen ? temp / (L"lang\\" + std::wstring(c.chosen)) : L"", FindHelpFile(choice));
}

INSTANTIATE_TEST_SUITE_P(Candidates, HelpFile, ::testing::ValuesIn(kHelpFileCases),
                         [](const ::testing::TestParamInfo<HelpFileCase>& info) { return std::string(info.param.name); });

TEST(HelpFile, ApplicationFallsBackToTheProductsEnglishFileByDefault) {
    CTempFolder temp;
    temp.MakeFolder(L"lang");
    temp.WriteBytes(L"lang\\OrdaviaStudio-en-us.chm", {'h'});
    temp.WriteBytes(L"lang\\english.chm", {'h'});
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
    app.m_appFolder = temp.Path();
    app.m_languageName = L"xx";
    app.m_defaultLangId = L"yy";
    app.m_helpFile = temp / L"lang\\xx.chm";
    app.ChooseHelpFile();
    EXPECT_EQ(temp / L"lang\\OrdaviaStudio-en-us.chm", app.m_helpFile);
}

}  // namespace
