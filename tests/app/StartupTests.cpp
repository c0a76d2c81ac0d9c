// The start-up pieces of the shell, driven inside the test process.
#include "app/PyrlanApp.h"
#include "kest/win32/Handles.h"
#include "tests/app/AppTestFolder.h"
#include "tests/app/RecordingManager.h"
#include "tests/app/support/ProgramRun.h"

#include <wx/init.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using app_tests::CreateRecordingManager;
using app_tests::ManagerLog;
using app_tests::RecordedManager;
using kest::win32::UniqueModule;
using kest::win32::UniqueRegKey;

namespace {

struct ShownMessage {
    std::wstring text, caption;
    UINT type;
};
std::vector<ShownMessage> g_messages;

int RecordMessage(HWND, const std::wstring& text, const std::wstring& caption, UINT type) {
    g_messages.push_back({text, caption, type});
    return IDOK;
}

class MessageCapture {
public:
    MessageCapture() {
        g_messages.clear();
        m_old = SetMessageBoxFunction(&RecordMessage);
    }
    ~MessageCapture() { SetMessageBoxFunction(m_old); }

private:
    MessageBoxFunction m_old;
};

// A product key of its own under both roots, removed afterwards.
class ProductKeyFixture : public ::testing::Test {
protected:
    const std::wstring kKey = L"OrdaviaTests\\Startup" + std::to_wstring(::GetCurrentProcessId());
    void SetUp() override { Remove(); }
    void TearDown() override { Remove(); }
    void Remove() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            ::RegDeleteTreeW(root, (L"SOFTWARE\\" + kKey).c_str());
            ::RegDeleteKeyW(root, L"SOFTWARE\\OrdaviaTests");
        }
    }
    void Put(HKEY root, const std::wstring& section, const std::wstring& name, DWORD type, const void* data,
             DWORD size) {
        std::wstring path = L"SOFTWARE\\" + kKey + (section.empty() ? L"" : L"\\" + section);
        UniqueRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size));
    }
    void PutString(HKEY root, const std::wstring& name, const std::wstring& value, DWORD type = REG_SZ) {
        Put(root, L"", name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
};

struct Value {
    DWORD type;
    std::vector<BYTE> data;
};
Value Str(const wchar_t* s, DWORD type = REG_SZ) {
    auto* p = reinterpret_cast<const BYTE*>(s);
    return {type, std::vector<BYTE>(p, p + (wcslen(s) + 1) * sizeof(wchar_t))};
}
Value Dword(DWORD v, DWORD type = REG_DWORD) {
    auto* p = reinterpret_cast<const BYTE*>(&v);
    return {type, std::vector<BYTE>(p, p + 4)};
}
Value Bytes(DWORD type, std::vector<BYTE> data) {
    return {type, std::move(data)};
}
const Value kNone{REG_NONE, {}};

struct ReaderCase {
    const char* name;
    Value user, machine;
    const wchar_t* expectString;  // ReadProductString with default L"default"
    int expectInt;                // ReadProductInt with default -7
};

class ProductReaders : public ProductKeyFixture, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(ProductReaders, TypeAndSizeRulesCurrentUserFirst) {
    const ReaderCase& c = GetParam();
    if (!c.user.data.empty()) Put(HKEY_CURRENT_USER, L"", L"Value", c.user.type, c.user.data.data(), static_cast<DWORD>(c.user.data.size()));
    if (!c.machine.data.empty()) Put(HKEY_LOCAL_MACHINE, L"", L"Value", c.machine.type, c.machine.data.data(), static_cast<DWORD>(c.machine.data.size()));
    CProductApp app(kKey);
    EXPECT_EQ(c.expectString, app.ReadProductString(L"", L"Value", L"default"));
    EXPECT_EQ(c.expectInt, app.ReadProductInt(L"", L"Value", -7));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProductReaders,
    ::testing::Values(
        ReaderCase{"Missing", kNone, kNone, L"default", -7},
        ReaderCase{"UserString", Str(L"user"), kNone, L"user", -7},
        ReaderCase{"UserBeforeMachine", Str(L"user"), Str(L"machine"), L"user", -7},
        ReaderCase{"MachineOnly", kNone, Str(L"machine"), L"machine", -7},
        ReaderCase{"EmptyStringCounts", Str(L""), Str(L"machine"), L"", -7},
        ReaderCase{"ExpandStringIsNoString", Str(L"user", REG_EXPAND_SZ), Str(L"machine"), L"machine", -7},
        ReaderCase{"MultiStringIsNoString", Str(L"user", REG_MULTI_SZ), kNone, L"default", -7},
        ReaderCase{"UserDword", Dword(42), Dword(1), L"default", 42},
        ReaderCase{"NegativeDword", Dword(0xFFFFFFFF), kNone, L"default", -1},
        ReaderCase{"DwordBehindUserString", Str(L"user"), Dword(5), L"user", 5},
        ReaderCase{"BinaryIsNoDword", Bytes(REG_BINARY, {1, 0, 0, 0}), Dword(9), L"default", 9},
        ReaderCase{"ShortDword", Bytes(REG_DWORD, {1, 0}), kNone, L"default", -7},
        ReaderCase{"LongDword", Bytes(REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}), Dword(3), L"default", 3},
        ReaderCase{"QwordIsNoDword", Bytes(REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}), kNone, L"default", -7},
        ReaderCase{"StringWithoutTerminator", Bytes(REG_SZ, {'a', 0, 'b', 0}), kNone, L"ab", -7}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

TEST_F(ProductKeyFixture, SectionIsASubkey) {
    Put(HKEY_LOCAL_MACHINE, L"General", L"Language", REG_SZ, L"de", 6);
    PutString(HKEY_CURRENT_USER, L"Language", L"fr");  // directly under the key: not the section
    CProductApp app(kKey);
    EXPECT_EQ(L"de", app.ReadProductString(L"General", L"Language", L"x"));
    EXPECT_EQ(L"fr", app.ReadProductString(L"", L"Language", L"x"));
}

TEST_F(ProductKeyFixture, ProfileWritesGoUnderTheRegistryKeyWithoutProfileLevel) {
    CProductApp app(kKey);
    app.m_appName = L"Display Name";
    app.SetRegistryKey(kKey);
    EXPECT_EQ(L"Display Name", app.m_profileName);
    app.m_profileName.clear();
    ASSERT_TRUE(app.WriteProfileString(L"General", L"Language", L"de"));
    ASSERT_TRUE(app.WriteProfileInt(L"General", L"Count", 3));
    EXPECT_EQ(L"de", app.ReadProductString(L"General", L"Language", L""));
    EXPECT_EQ(3, app.ReadProductInt(L"General", L"Count", 0));
    EXPECT_EQ(L"de", app.GetProfileString(L"General", L"Language", L""));
}

TEST(Modules, LoadModuleWithMessageReportsOnlyWhenAsked) {
    MessageCapture capture;
    CProductApp app(L"OrdaviaTests");
    app.m_appName = L"Caption";
    EXPECT_EQ(nullptr, app.LoadModuleWithMessage(L"no_such_library.dll", false));
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(nullptr, app.LoadModuleWithMessage(L"no_such_library.dll", true));
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_EQ(L"Could not load no_such_library.dll", g_messages[0].text);
    EXPECT_EQ(L"Caption", g_messages[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), g_messages[0].type & MB_ICONMASK);
    UniqueModule kernel(app.LoadModuleWithMessage(L"kernel32.dll", true));
    EXPECT_TRUE(kernel);
    EXPECT_EQ(1u, g_messages.size());
}

TEST(Modules, ApplicationFolderIsTheExecutablesFolder) {
    CProductApp app(L"OrdaviaTests");
    std::wstring folder = app.GetApplicationFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(L'\\', folder.back());
    wchar_t exe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    EXPECT_EQ(std::wstring(exe, n).substr(0, folder.size()), folder);
    EXPECT_EQ(std::wstring::npos, std::wstring(exe, n).find(L'\\', folder.size()));
}

struct GuardCase {
    const char* name;
    int code;
    size_t messages;
};

class StartupGuard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(StartupGuard, ManagerErrorsEndStartupWithoutShutdown) {
    MessageCapture capture;
    RecordedManager() = ManagerLog{};
    RecordedManager().failCode = GetParam().code;
    {
        CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
        app.m_createManager = &CreateRecordingManager;
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(nullptr, app.m_engine);  // nothing after the failing step ran
    }
    // Neither stopped nor deleted, not even with the application object.
    EXPECT_EQ("start", RecordedManager().events);
    ASSERT_EQ(GetParam().messages, g_messages.size());
    if (!g_messages.empty()) {
        EXPECT_EQ(L"Administrative rights needed.", g_messages[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), g_messages[0].type & MB_ICONMASK);
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, StartupGuard,
                         ::testing::Values(GuardCase{"AdministratorNeeded", 9, 1}, GuardCase{"StartedTwice", 12, 0},
                                           GuardCase{"MissingArchive", 17, 0}),
                         [](const ::testing::TestParamInfo<GuardCase>& info) { return std::string(info.param.name); });

// The whole start-up in this process. The folder of the tests holds no engine library of that
// name, nor a drive-access library; the engine is lent by a test when it wants one.
class WholeStartup : public ::testing::Test {
protected:
    MessageCapture m_capture;
    const std::wstring m_autoplayPath = L"SOFTWARE\\OrdaviaTests\\StartupAutoplay" + std::to_wstring(::GetCurrentProcessId());
    UniqueRegKey m_autoplayRoot;

    void SetUp() override {
        RecordedManager() = ManagerLog{};
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, m_autoplayPath.c_str(), 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, m_autoplayRoot.put(), nullptr));
    }
    void TearDown() override {
        // The application object lent its pack manager to the program's text lookup.
        SetLocalizer(nullptr);
        RecordedManager() = ManagerLog{};
        m_autoplayRoot.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_autoplayPath.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\OrdaviaTests");
    }
    void Prepare(CPyrlanApp& app) {
        app.m_createManager = &CreateRecordingManager;
        app.m_autoplayRoot = m_autoplayRoot.get();
        app.m_commandLine.clear();
    }
};

TEST_F(WholeStartup, WithoutTheEngineLibraryTheManagerIsNeitherStoppedNorDeleted) {
    {
        CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
        Prepare(app);
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(nullptr, app.m_engine);
    }
    // Start-up leaves the library's clean-up to the end of the process; this one goes on.
    wxEntryCleanup();
    EXPECT_EQ("start", RecordedManager().events);
    ASSERT_FALSE(g_messages.empty());
    EXPECT_EQ(L"Could not load qdxburn.dll", g_messages.back().text);
}

TEST_F(WholeStartup, AfterTheEngineReturnsTheManagerIsStoppedThenDeleted) {
    // A library already loaded is found by its file name: the recording engine, copied under the
    // engine's name, is the one start-up loads.
    app_tests::CTempFolder temp;
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    std::wstring recorder(self, n);
    recorder = recorder.substr(0, recorder.find_last_of(L'\\') + 1) + L"rec_engine.dll";
    ASSERT_TRUE(::CopyFileW(recorder.c_str(), (temp / L"qdxburn.dll").c_str(), FALSE));
    UniqueModule lent(::LoadLibraryW((temp / L"qdxburn.dll").c_str()));
    ASSERT_TRUE(lent);
    const std::wstring record = temp / L"record.txt";
    ASSERT_TRUE(::SetEnvironmentVariableW(L"REC_ENGINE_OUT", record.c_str()));
    bool engineDoneAtStop = false;
    RecordedManager().onStop = [&] {
        engineDoneAtStop = testing_support::ReadTextFile(record).find(L"free=results\n") != std::wstring::npos;
    };

    std::wstring systemTag;
    {
        CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
        Prepare(app);
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(lent.get(), app.m_engine);
        // The application never unloads the engine; the test takes its load back.
        if (app.m_engine) ::FreeLibrary(app.m_engine);
        // No language setting and no pack: the language is the system's.
        systemTag = app.m_langPackMan.GetSystemLanguageTag();
        EXPECT_EQ(systemTag, app.m_languageName);
    }
    ::SetEnvironmentVariableW(L"REC_ENGINE_OUT", nullptr);
    EXPECT_EQ("start stop delete", RecordedManager().events);
    EXPECT_TRUE(engineDoneAtStop);
    const std::wstring text = testing_support::ReadTextFile(record);
    EXPECT_NE(std::wstring::npos, text.find(L"text.00C=\"" + systemTag + L"\"\n")) << text;
    // AutoPlay texts went to the root the test gave.
    UniqueRegKey burn;
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(m_autoplayRoot.get(),
                              L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\"
                              L"BRVBrenvalo_Ordavia_2010_AdvancedBURNONARRIVAL",
                              0, KEY_READ, burn.put()));
}

// RunEngine against the recording engine loaded into this process.
struct EngineCase {
    const char* name;
    const wchar_t* results;
    bool success;
    const wchar_t* freed;
};

class RunEngineResults : public ::testing::TestWithParam<EngineCase> {};

TEST_P(RunEngineResults, SuccessComesFromTheResultsAndResultsAreAlwaysGivenBack) {
    const EngineCase& c = GetParam();
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring record = std::wstring(temp) + L"ordavia-runengine-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    ::DeleteFileW(record.c_str());
    ASSERT_TRUE(::SetEnvironmentVariableW(L"REC_ENGINE_OUT", record.c_str()));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"REC_ENGINE_RESULTS", c.results));

    UniqueModule engine(::LoadLibraryW(L"rec_engine.dll"));
    ASSERT_TRUE(engine);
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
    app.m_engine = engine.get();
    app.m_isNT = true;
    EXPECT_EQ(c.success, app.RunEngine());

    std::wstring text = testing_support::ReadTextFile(record);
    EXPECT_NE(std::wstring::npos, text.find(L"start\n"));
    EXPECT_NE(std::wstring::npos, text.find(c.freed)) << text;
    ::DeleteFileW(record.c_str());
    ::SetEnvironmentVariableW(L"REC_ENGINE_OUT", nullptr);
    ::SetEnvironmentVariableW(L"REC_ENGINE_RESULTS", nullptr);
}

INSTANTIATE_TEST_SUITE_P(Results, RunEngineResults,
                         ::testing::Values(EngineCase{"Succeeded", L"one", true, L"free=results\n"},
                                           EngineCase{"FirstFieldZero", L"zero", false, L"free=results\n"},
                                           EngineCase{"NoResults", L"none", false, L"free=null\n"}),
                         [](const ::testing::TestParamInfo<EngineCase>& info) { return std::string(info.param.name); });

TEST(RunEngine, EngineWithoutFreeEntryIsReportedAndNeverStarted) {
    MessageCapture capture;
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring record = std::wstring(temp) + L"ordavia-nofree-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    ::DeleteFileW(record.c_str());
    ASSERT_TRUE(::SetEnvironmentVariableW(L"REC_ENGINE_OUT", record.c_str()));
    UniqueModule engine(::LoadLibraryW(L"rec_engine_nofree.dll"));
    ASSERT_TRUE(engine);
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
    app.m_engine = engine.get();
    EXPECT_FALSE(app.RunEngine());
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_EQ(L"Could not load qdxburn.dll", g_messages[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), g_messages[0].type & MB_ICONMASK);
    EXPECT_FALSE(testing_support::FileExists(record));
    ::SetEnvironmentVariableW(L"REC_ENGINE_OUT", nullptr);
}

// The online-services library's own start-up answers nothing the check depends on.
TEST(RunEngine, TheInformationChannelCheckIsMadeWhateverTheLibrarysStartReports) {
    UniqueModule engine(::LoadLibraryW(L"rec_engine.dll"));
    ASSERT_TRUE(engine);
    for (const wchar_t* init : {L"", L"fail"}) {
        ASSERT_TRUE(::SetEnvironmentVariableW(L"BRV_INET_INIT", *init ? init : nullptr) || !*init);
        CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
        app.m_engine = engine.get();
        app.m_isNT = true;
        app.m_commandLine.clear();
        EXPECT_TRUE(app.RunEngine());
        EXPECT_NE(nullptr, app.m_infoCheck) << "BRV_INET_INIT=" << testing::PrintToString(std::wstring(init));
    }
    ::SetEnvironmentVariableW(L"BRV_INET_INIT", nullptr);
}

}  // namespace
