// The shell's entries in the engine's menu bar and the commands behind them, on a real menu
// bar, with a recording online-services library and browser start in place.
#include "app/Menus.h"
#include "app/PyrlanApp.h"
#include "kest/win32/Handles.h"
#include "tests/app/AppTestFolder.h"
#include "tests/app/PackFiles.h"
#include "tests/app/ShellDoubles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using app_tests::CMessageRecorder;
using app_tests::CRecordingBrowser;
using app_tests::CRecordingOnlineServices;

namespace {

struct MenuRow {
    UINT id;           // 0 for a separator
    std::wstring text;  // "-" for a separator
    bool operator==(const MenuRow&) const = default;
};
const MenuRow kSeparator{0, L"-"};

void PrintTo(const MenuRow& row, std::ostream* os) {
    std::string text(row.text.begin(), row.text.end());
    *os << row.id << " \"" << text << "\"";
}

std::vector<MenuRow> Rows(HMENU menu) {
    std::vector<MenuRow> rows;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 255;
        EXPECT_TRUE(::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info));
        if (info.fType & MFT_SEPARATOR)
            rows.push_back(kSeparator);
        else
            rows.push_back({info.wID, text});
    }
    return rows;
}

std::wstring PopupTitle(HMENU bar, int position) {
    wchar_t text[256] = {};
    return ::GetMenuStringW(bar, static_cast<UINT>(position), text, 256, MF_BYPOSITION) > 0 ? text : L"";
}

// The engine's menu bar as it stands before the shell adds to it.
kest::win32::UniqueMenu EngineMenuBar() {
    kest::win32::UniqueMenu bar(::CreateMenu());
    EXPECT_TRUE(bar);
    const wchar_t* titles[] = {L"&File", L"&Options", L"&Help"};
    for (UINT i = 0; i < 3; ++i) {
        HMENU popup = ::CreatePopupMenu();
        EXPECT_TRUE(popup && ::AppendMenuW(popup, MF_STRING, 40001 + i, L"Engine's own"));
        EXPECT_TRUE(::AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popup), titles[i]));
    }
    return bar;
}

// An application object reading its product values from a key of its own.
class ShellFixture : public ::testing::Test {
protected:
    const std::wstring kKey = L"OrdaviaTests\\Menus" + std::to_wstring(::GetCurrentProcessId());
    CPyrlanApp m_app{CPyrlanApp::InstanceGuard::None, kKey};
    CRecordingOnlineServices m_binet;
    CRecordingBrowser m_browser;
    CMessageRecorder m_messages;

    void SetUp() override {
        RemoveKey();
        app_tests::TakeQuitMessage();
        m_app.m_appName = m_app.m_displayName;
        m_app.m_fullVersion = L"9.24.0.11 (2710)";
        m_app.m_version = L"9.24.0";
        m_app.m_edition = L"Pro";
        m_app.m_productCode = L"2710";
        m_app.m_languageName = L"de-de";
        m_app.m_systemLanguageTag = L"en-us";
        m_app.m_upgradeName = L"the successor of %APP_NAME%";
        m_app.m_versionA.Set(m_app.m_version);
        m_app.m_editionA.Set(m_app.m_edition);
        m_app.m_productCodeA.Set(m_app.m_productCode);
        m_app.m_languageNameA.Set(m_app.m_languageName);
    }
    void TearDown() override {
        RemoveKey();
        app_tests::TakeQuitMessage();
    }
    void RemoveKey() {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"SOFTWARE\\" + kKey).c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\OrdaviaTests");
    }
    void SetChannelsEnabled(DWORD value) {
        kest::win32::UniqueRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, (L"SOFTWARE\\" + kKey).c_str(), 0, nullptr, 0,
                                                   KEY_WRITE, nullptr, key.put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), L"InfoChannelsEnabled", 0, REG_DWORD,
                                                  reinterpret_cast<const BYTE*>(&value), sizeof value));
    }
    std::vector<std::string> CallsNamed(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& call : m_binet.Calls())
            if (call.compare(0, prefix.size(), prefix) == 0) out.push_back(call);
        return out;
    }
};

// ---------------------------------------------------------------------------------------------
// Menu set-up

// The Internet popup always begins with these rows.
const std::vector<MenuRow> kInternetHead = {
    {2002, L"Recommend Program to a Friend"},
    kSeparator,
    {2015, L"My Brenvalo"},
    {2003, L"Today's Special Offers"},
    {2004, L"Brenvalo free Service Letter"},
    {2010, L"Brenvalo Homepage"},
    {2005, L"Brenvalo Products"},
    {107, L"Brenvalo Support"},
    kSeparator,
    {32795, L"Buy Recordables online"},
    kSeparator,
};
const MenuRow kProblemReport{1040, L"&Send Problem Report to Brenvalo..."};
const MenuRow kBetaReport{1040, L"&Send Beta Report to Brenvalo..."};
const MenuRow kUpdate{2006, L"Online Update"};
const MenuRow kUpgrade{2009, L"Upgrade to the successor of Brenvalo Ordavia 2010 Advanced"};
const MenuRow kLanguages{2000, L"Languages..."};
const MenuRow kChannels{2100, L"Channels..."};
const MenuRow kEnginesOwn{40002, L"Engine's own"};

struct MenuCase {
    const char* name;
    int updateType, upgradeType;
    const wchar_t* fullVersion;
    bool infoCheck;
    int channelsEnabled;  // -1: no value, so the default (enabled) holds
    std::vector<MenuRow> options;
    std::vector<MenuRow> internetTail;  // after kInternetHead
};

class MenuSetup : public ShellFixture, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(MenuSetup, OptionsAndInternetRows) {
    const MenuCase& c = GetParam();
    m_app.m_updateType = c.updateType;
    m_app.m_upgradeType = c.upgradeType;
    m_app.m_fullVersion = c.fullVersion;
    if (c.channelsEnabled >= 0) SetChannelsEnabled(static_cast<DWORD>(c.channelsEnabled));
    if (c.infoCheck) m_app.m_infoCheck = app_tests::RecordedInfoCheck();

    kest::win32::UniqueMenu bar = EngineMenuBar();
    m_app.SetUpMenus(bar.get());

    ASSERT_EQ(4, ::GetMenuItemCount(bar.get()));
    EXPECT_EQ(L"&File", PopupTitle(bar.get(), 0));
    EXPECT_EQ(L"&Options", PopupTitle(bar.get(), 1));
    EXPECT_EQ(L"Internet", PopupTitle(bar.get(), 2));
    EXPECT_EQ(L"&Help", PopupTitle(bar.get(), 3));
    EXPECT_EQ(c.options, Rows(::GetSubMenu(bar.get(), 1)));
    std::vector<MenuRow> internet = kInternetHead;
    internet.insert(internet.end(), c.internetTail.begin(), c.internetTail.end());
    EXPECT_EQ(internet, Rows(::GetSubMenu(bar.get(), 2)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuSetup,
    ::testing::Values(
        MenuCase{"NoUpdateNoUpgrade", 0, 0, L"9.24.0.11 (2710)", false, -1, {kEnginesOwn, kLanguages},
                 {kProblemReport}},
        MenuCase{"UpdateOnly", 2, 0, L"9.24.0.11 (2710)", false, -1, {kEnginesOwn, kLanguages},
                 {kUpdate, kSeparator, kProblemReport}},
        MenuCase{"UpgradeOnly", 0, 3, L"9.24.0.11 (2710)", false, -1, {kEnginesOwn, kLanguages},
                 {kUpgrade, kSeparator, kProblemReport}},
        MenuCase{"UpdateAndUpgrade", -1, 1, L"9.24.0.11 (2710)", false, -1, {kEnginesOwn, kLanguages},
                 {kUpdate, kUpgrade, kSeparator, kProblemReport}},
        MenuCase{"BetaVersion", 0, 0, L"10.0.0.3 beta 2", false, -1, {kEnginesOwn, kLanguages}, {kBetaReport}},
        MenuCase{"AlphaVersion", 0, 0, L"10.0.0.1-alpha", false, -1, {kEnginesOwn, kLanguages}, {kBetaReport}},
        MenuCase{"ChannelsByDefault", 0, 0, L"9.24.0.11 (2710)", true, -1, {kEnginesOwn, kLanguages, kChannels},
                 {kProblemReport}},
        MenuCase{"ChannelsEnabled", 0, 0, L"9.24.0.11 (2710)", true, 1, {kEnginesOwn, kLanguages, kChannels},
                 {kProblemReport}},
        MenuCase{"ChannelsDisabled", 0, 0, L"9.24.0.11 (2710)", true, 0, {kEnginesOwn, kLanguages},
                 {kProblemReport}},
        MenuCase{"ChannelsOtherValue", 0, 0, L"9.24.0.11 (2710)", true, 2, {kEnginesOwn, kLanguages},
                 {kProblemReport}},
        MenuCase{"NoInfoCheckNoChannels", 0, 0, L"9.24.0.11 (2710)", false, 1, {kEnginesOwn, kLanguages},
                 {kProblemReport}}),
    [](const ::testing::TestParamInfo<MenuCase>& info) { return std::string(info.param.name); });

TEST_F(ShellFixture, ChannelsEntryTellsTheLibraryItsParentAndAsksForItsWording) {
    m_app.m_infoCheck = app_tests::RecordedInfoCheck();
    kest::win32::UniqueMenu bar = EngineMenuBar();
    m_app.SetUpMenus(bar.get());
    EXPECT_EQ((std::vector<std::string>{"InfoCheckSetParentWindow|check|0", "InfoCheckGetConfigureChannelsText|check|1"}),
              m_binet.Calls());
}

TEST_F(ShellFixture, UpgradeNameIsPutInBeforeTheProgramName) {
    m_app.m_upgradeType = 1;
    m_app.m_upgradeName = L"%APP_NAME% Platinum";
    kest::win32::UniqueMenu bar = EngineMenuBar();
    m_app.SetUpMenus(bar.get());
    const std::vector<MenuRow> rows = Rows(::GetSubMenu(bar.get(), 2));
    ASSERT_EQ(kInternetHead.size() + 3, rows.size());
    EXPECT_EQ((MenuRow{2009, L"Upgrade to Brenvalo Ordavia 2010 Advanced Platinum"}), rows[kInternetHead.size()]);
}

TEST_F(ShellFixture, MenuBarWithoutOptionsStillGetsInternet) {
    kest::win32::UniqueMenu bar(::CreateMenu());
    ASSERT_TRUE(bar);
    m_app.SetUpMenus(bar.get());
    ASSERT_EQ(1, ::GetMenuItemCount(bar.get()));
    EXPECT_EQ(L"Internet", PopupTitle(bar.get(), 0));
}

TEST_F(ShellFixture, TextsComeFromTheActivePack) {
    app_tests::CTempFolder folder;
    folder.WriteBytes(L"OrdaviaStudio_nb.brvLang",
                      app_tests::ResourcePackBytes(L"nb-NO", L"Norsk", L"",
                                                   {{"Menu.Internet", L"Internett"},
                                                    {"Menu.Options.Languages", L"Spr\x00E5k..."},
                                                    {"Menu.Internet.Homepage", L"Hjemmesiden til %COMPANY%"},
                                                    {"Menu.Brenvalo.Upgrade", L"Oppgrader til %UPGRADENAME%"},
                                                    {"SystemMenu.Send Report", L"Send feilrapport til %COMPANY%"}}));
    m_app.m_langPackMan.Scan(folder.Path(), L"OrdaviaStudio");
    m_app.m_langPackMan.Activate(0);
    ASSERT_NE(nullptr, m_app.m_langPackMan.GetActive());
    SetLocalizer(&m_app.m_langPackMan);
    m_app.m_upgradeType = 1;
    kest::win32::UniqueMenu bar = EngineMenuBar();
    m_app.SetUpMenus(bar.get());
    SetLocalizer(nullptr);

    EXPECT_EQ(L"Internett", PopupTitle(bar.get(), 2));
    EXPECT_EQ((std::vector<MenuRow>{kEnginesOwn, {2000, L"Spr\x00E5k..."}}), Rows(::GetSubMenu(bar.get(), 1)));
    const std::vector<MenuRow> rows = Rows(::GetSubMenu(bar.get(), 2));
    ASSERT_EQ(kInternetHead.size() + 3, rows.size());
    EXPECT_EQ((MenuRow{2010, L"Hjemmesiden til Brenvalo"}), rows[5]);
    EXPECT_EQ((MenuRow{2004, L"Brenvalo free Service Letter"}), rows[4]);  // not translated
    EXPECT_EQ((MenuRow{2009, L"Oppgrader til the successor of Brenvalo Ordavia 2010 Advanced"}),
              rows[kInternetHead.size()]);
    EXPECT_EQ((MenuRow{1040, L"Send feilrapport til Brenvalo"}), rows.back());
}

// ---------------------------------------------------------------------------------------------
// Commands

struct LinkCase {
    UINT id;
    const char* word;
};

class LinkCommands : public ShellFixture, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkCommands, AddressFromTheLibraryOpensInTheBrowser) {
    const LinkCase& c = GetParam();
    m_app.RunMenuCommand(c.id);
    EXPECT_EQ((std::vector<std::string>{"MakeLinkTargetURL|" + std::string(c.word) +
                                        "|2710|9.24.0|Pro|de-de|syslang=en-us"}),
              m_binet.Calls());
    ASSERT_EQ(1u, m_browser.Starts().size());
    const app_tests::BrowserStart& start = m_browser.Starts()[0];
    EXPECT_EQ(L"url:" + std::wstring(c.word, c.word + strlen(c.word)), start.file);
    EXPECT_EQ(nullptr, start.owner);
    EXPECT_TRUE(start.defaultVerb);
    EXPECT_TRUE(start.noParameters);
    EXPECT_EQ(L".", start.folder);
    EXPECT_EQ(SW_SHOWDEFAULT, start.show);
    EXPECT_TRUE(m_messages.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Words, LinkCommands,
                         ::testing::Values(LinkCase{2002, "friend"}, LinkCase{2015, "mybrenvalo"},
                                           LinkCase{2003, "advertising"}, LinkCase{2004, "newsletter"},
                                           LinkCase{2010, "homepage"}, LinkCase{2005, "products"},
                                           LinkCase{107, "support"}, LinkCase{2017, "translation"}),
                         [](const ::testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.word); });

struct OnlineCase {
    const char* name;
    UINT id;
    int updateType, upgradeType;
    const char* expect;  // "link <word>", "check <flags>" or "nothing"
};

class OnlineCommands : public ShellFixture, public ::testing::WithParamInterface<OnlineCase> {};

TEST_P(OnlineCommands, TypeDecidesBetweenLinkCheckAndNothing) {
    const OnlineCase& c = GetParam();
    m_app.m_updateType = c.updateType;
    m_app.m_upgradeType = c.upgradeType;
    m_app.RunMenuCommand(c.id);
    std::string got = "nothing";
    const std::vector<std::string> links = CallsNamed("MakeLinkTargetURL|");
    const std::vector<std::string> checks = CallsNamed("UpdateManagerDoModalCheck|");
    if (!links.empty()) got = "link " + links[0].substr(18, links[0].find('|', 18) - 18);
    if (!checks.empty()) got = "check " + checks[0].substr(checks[0].rfind('|') + 1);
    EXPECT_EQ(c.expect, got);
    EXPECT_EQ(links.size() + checks.size() == 0 ? 0u : 1u, links.size() + checks.size());
    EXPECT_EQ(links.size(), m_browser.Starts().size());
}

INSTANTIATE_TEST_SUITE_P(
    Types, OnlineCommands,
    ::testing::Values(OnlineCase{"Update0", 2006, 0, 2, "nothing"}, OnlineCase{"Update1", 2006, 1, 0, "link update"},
                      OnlineCase{"Update2", 2006, 2, 0, "check 0xB19"}, OnlineCase{"Update3", 2006, 3, 0, "check 0x319"},
                      OnlineCase{"Update4", 2006, 4, 1, "nothing"}, OnlineCase{"Upgrade0", 2009, 2, 0, "nothing"},
                      OnlineCase{"Upgrade1", 2009, 0, 1, "link upgrade"},
                      OnlineCase{"Upgrade2", 2009, 0, 2, "check 0x719"},
                      OnlineCase{"Upgrade3", 2009, 0, 3, "check 0x319"},
                      OnlineCase{"UpgradeNegative", 2009, 1, -1, "nothing"},
                      OnlineCase{"BuyRecordables", 32795, 1, 1, "nothing"},
                      OnlineCase{"ProblemReport", 1040, 1, 1, "nothing"},
                      OnlineCase{"Unknown", 12345, 1, 1, "nothing"}, OnlineCase{"Zero", 0, 1, 1, "nothing"},
                      OnlineCase{"ChannelsWithoutCheck", 2100, 1, 1, "nothing"}),
    [](const ::testing::TestParamInfo<OnlineCase>& info) { return std::string(info.param.name); });

TEST_F(ShellFixture, UpdateCheckTellsTheManagerAllAndDestroysIt) {
    m_app.m_updateType = 2;
    m_app.RunMenuCommand(2006);
    const std::string key = "SOFTWARE\\brenvalo\\Brenvalo Ordavia 2010 Advanced\\brv_inet";
    EXPECT_EQ((std::vector<std::string>{
                  "UpdateManagerCreate",
                  "UpdateManagerSetRegistryKey|update|HKLM|" + key,
                  "UpdateManagerSetUserRegistryKey|update|HKCU|" + key,
                  "UpdateManagerSetProduct|update|2710",
                  "UpdateManagerSetProductVersion|update|9.24.0",
                  "UpdateManagerSetProductEdition|update|Pro",
                  "UpdateManagerSetProductLang|update|de-de",
                  "UpdateManagerDoModalCheck|update|0|0xB19",
                  "UpdateManagerDestroy|update",
              }),
              m_binet.Calls());
    EXPECT_FALSE(app_tests::TakeQuitMessage());
}

TEST_F(ShellFixture, UpdateCheckWithoutManagerDoesNothingElse) {
    m_binet.Script().createUpdateManager = false;
    m_app.m_upgradeType = 2;
    m_app.RunMenuCommand(2009);
    EXPECT_EQ((std::vector<std::string>{"UpdateManagerCreate"}), m_binet.Calls());
}

TEST_F(ShellFixture, OnlyCheckResultThreeEndsTheProgram) {
    m_app.m_updateType = 3;
    for (int result : {0, 1, 2, 3, 4, -1}) {
        m_binet.Script().doModalCheckResult = result;
        m_app.RunMenuCommand(2006);
        EXPECT_EQ(result == 3, app_tests::TakeQuitMessage()) << "result " << result;
    }
    EXPECT_EQ(6u, CallsNamed("UpdateManagerDestroy|update").size());
}

TEST_F(ShellFixture, ChannelsCommandConfiguresEvenWhenDisabled) {
    SetChannelsEnabled(0);
    m_app.m_infoCheck = app_tests::RecordedInfoCheck();
    m_app.RunMenuCommand(2100);
    EXPECT_EQ((std::vector<std::string>{"InfoCheckDoConfig|check|0"}), m_binet.Calls());
}

TEST_F(ShellFixture, FailedBrowserStartIsReported) {
    for (INT_PTR result : {0, 2, 31, 32, 33, 42}) {
        CRecordingBrowser browser(result);
        CMessageRecorder messages;
        OpenInBrowser(L"https://www.brenvalo.example/");
        ASSERT_EQ(1u, browser.Starts().size());
        if (result <= 32) {
            ASSERT_EQ(1u, messages.Shown().size()) << "result " << result;
            EXPECT_EQ(L"Could not launch browser", messages.Shown()[0].text);
            EXPECT_EQ(m_app.m_displayName, messages.Shown()[0].caption);
            EXPECT_EQ(static_cast<UINT>(MB_OK), messages.Shown()[0].type);
        } else {
            EXPECT_TRUE(messages.Shown().empty()) << "result " << result;
        }
    }
}

TEST_F(ShellFixture, NoAddressFromTheLibraryStillTriesAndReports) {
    m_binet.Script().makeLinks = false;
    CRecordingBrowser browser(ERROR_FILE_NOT_FOUND);
    m_app.RunMenuCommand(2010);
    ASSERT_EQ(1u, browser.Starts().size());
    EXPECT_EQ(L"", browser.Starts()[0].file);
    ASSERT_EQ(1u, m_messages.Shown().size());
    EXPECT_EQ(L"Could not launch browser", m_messages.Shown()[0].text);
}

// ---------------------------------------------------------------------------------------------
// Information channels

TEST_F(ShellFixture, InfoChannelsAreSetUpWithTheProductTexts) {
    m_app.InitInfoChannels();
    const std::string key = "SOFTWARE\\brenvalo\\Brenvalo Ordavia 2010 Advanced\\brv_inet";
    EXPECT_EQ((std::vector<std::string>{
                  "Init",
                  "InfoCheckCreate",
                  "InfoCheckSetRegistryKey|check|HKLM|" + key,
                  "InfoCheckSetUserRegistryKey|check|HKCU|" + key,
                  "InfoCheckSetProduct|check|2710",
                  "InfoCheckSetProductVersion|check|9.24.0",
                  "InfoCheckSetProductEdition|check|Pro",
                  "InfoCheckSetProductLang|check|de-de",
              }),
              m_binet.Calls());
    EXPECT_EQ(app_tests::RecordedInfoCheck(), m_app.m_infoCheck);
}

TEST_F(ShellFixture, ALibraryThatReportsAFailedStartStillGetsItsCheck) {
    m_binet.Script().initResult = FALSE;
    m_app.InitInfoChannels();
    EXPECT_EQ(app_tests::RecordedInfoCheck(), m_app.m_infoCheck);
    EXPECT_EQ(8u, m_binet.Calls().size());
}

TEST_F(ShellFixture, NoInfoCheckFromTheLibraryLeavesNone) {
    m_binet.Script().createInfoCheck = false;
    m_app.InitInfoChannels();
    EXPECT_EQ((std::vector<std::string>{"Init", "InfoCheckCreate"}), m_binet.Calls());
    EXPECT_EQ(nullptr, m_app.m_infoCheck);
    m_app.OnEngineWindowReady();
    m_app.RunMenuCommand(2100);
    EXPECT_EQ(2u, m_binet.Calls().size());
}

struct ReadyCase {
    const char* name;
    int channelsEnabled;  // -1: no value
    bool infoCheck;
    int startResult;
    bool started, quits;
};

class WindowReady : public ShellFixture, public ::testing::WithParamInterface<ReadyCase> {};

TEST_P(WindowReady, StartsTheChannelsAndQuitsOnlyWhenTheyAsk) {
    const ReadyCase& c = GetParam();
    if (c.channelsEnabled >= 0) SetChannelsEnabled(static_cast<DWORD>(c.channelsEnabled));
    if (c.infoCheck) m_app.m_infoCheck = app_tests::RecordedInfoCheck();
    m_binet.Script().startAllAutoResult = c.startResult;
    m_app.OnEngineWindowReady();
    EXPECT_EQ(c.started ? 1u : 0u, CallsNamed("InfoCheckStartAllAuto|check").size());
    EXPECT_EQ(c.quits, app_tests::TakeQuitMessage());
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowReady,
                         ::testing::Values(ReadyCase{"Default", -1, true, 0, true, false},
                                           ReadyCase{"QuitOnMinusOne", 1, true, -1, true, true},
                                           ReadyCase{"OtherResultsKeepRunning", 1, true, 1, true, false},
                                           ReadyCase{"Disabled", 0, true, -1, false, false},
                                           ReadyCase{"NoCheck", 1, false, -1, false, false}),
                         [](const ::testing::TestParamInfo<ReadyCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The record's callbacks reach the application object

TEST_F(ShellFixture, RecordCallbacksReachTheApplication) {
    m_app.m_commandLine.clear();
    m_app.m_infoCheck = app_tests::RecordedInfoCheck();
    m_binet.Script().startAllAutoResult = -1;
    m_app.FillHostRecord();
    const BlazenHostRecord& r = m_app.m_hostRecord;
    kest::win32::UniqueMenu bar = EngineMenuBar();
    EXPECT_EQ(0, r.menuSetup(bar.get()));
    EXPECT_EQ(4, ::GetMenuItemCount(bar.get()));
    EXPECT_EQ(0, r.menuCommand(2005, 77));
    EXPECT_EQ(1u, m_browser.Starts().size());
    EXPECT_EQ(0, r.menuCommand(32795, 0));
    r.mainWindowReady(0);
    EXPECT_TRUE(app_tests::TakeQuitMessage());
}

// ---------------------------------------------------------------------------------------------
// Address encoding

struct EncodeCase {
    std::string in, out;
};

TEST(UrlEncoding, KeepsOnlyUnreservedBytes) {
    const EncodeCase cases[] = {
        {"", ""},
        {"en-us", "en-us"},
        {"AZaz09-._", "AZaz09-._"},
        {"a b", "a%20b"},
        {"~!*'()", "%7e%21%2a%27%28%29"},
        {"=&?/%+", "%3d%26%3f%2f%25%2b"},
        {"\xc3\xa9\xff", "%c3%a9%ff"},
        {std::string("a\0b", 3), "a%00b"},
    };
    for (const EncodeCase& c : cases) EXPECT_EQ(c.out, UrlEncode(c.in)) << c.in;
}

TEST(UrlEncoding, SystemLanguageGoesAsUtf8) {
    EXPECT_EQ("syslang=en-us", SystemLanguageExtra(L"en-us"));
    EXPECT_EQ("syslang=", SystemLanguageExtra(L""));
    EXPECT_EQ("syslang=sr-latn-%c3%a9", SystemLanguageExtra(L"sr-latn-\x00E9"));
    EXPECT_EQ("syslang=x%20y%3dz", SystemLanguageExtra(L"x y=z"));
}

}  // namespace
