// The shell's menu commands chosen in the real program, as a user would choose them in the
// engine's menus: the language dialog, the web links, the update check and the channel
// configuration. Each of them is the first call into a library the program loads on first use.
#include "kest/win32/Handles.h"
#include "tests/app/support/ProgramRun.h"
#include "tests/app/support/RemoteListView.h"
#include "tests/lang/PackWriter.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

const wchar_t kGeneralKey[] = L"SOFTWARE\\brenvalo\\Brenvalo Ordavia 2010 Advanced\\General";
const wchar_t kNewLanguageMessage[] =
    L"The application will use the new language the next time the application is started";


HWND EngineWindow(const RunResult& run) {
    const std::wstring text = RecordValue(run.record, L"mainwindow");
    return text.empty() ? nullptr : reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(text)));
}

const DialogSeen* FindDialog(const RunResult& run, const std::wstring& text) {
    for (const DialogSeen& d : run.dialogs)
        if (Contains(d.text, text) || Contains(d.caption, text)) return &d;
    return nullptr;
}

std::wstring ReadLanguageSetting() {
    kest::win32::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kGeneralKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return L"(no key)";
    wchar_t text[256] = {};
    DWORD type = 0, bytes = sizeof text - sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), L"Language", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS)
        return L"(no value)";
    return text;
}

void RemoveLanguageSetting() {
    kest::win32::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kGeneralKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
        ::RegDeleteValueW(key.get(), L"Language");
}

// A program folder with an English and a German pack, English active.
class MenuCommandProcess : public testing::Test {
protected:
    void SetUp() override {
        RemoveLanguageSetting();
        const std::wstring lang = m_program.Folder() + L"lang\\";
        ASSERT_TRUE(::CreateDirectoryW(lang.c_str(), nullptr));
        pack_test::WriteFile(lang + L"OrdaviaStudio_en.brvLang", pack_test::MakeResourceFile(L"en-US", L"English", {}));
        pack_test::WriteFile(lang + L"OrdaviaStudio_de.brvLang", pack_test::MakeResourceFile(L"de-DE", L"Deutsch", {}));
    }
    void TearDown() override { RemoveLanguageSetting(); }

    RunResult RunCommands(const std::wstring& commands, const DialogHandler& handler = {},
                          std::vector<std::pair<std::wstring, std::wstring>> environment = {}) {
        environment.push_back({L"REC_ENGINE_COMMANDS", commands});
        return m_program.Run(L"", environment, 60000, handler);
    }

    CProgramFolder m_program;
};

TEST_F(MenuCommandProcess, LanguagesDialogStoresTheChosenPack) {
    std::vector<std::wstring> listed;
    std::vector<bool> checked;
    HWND dialogOwner = nullptr;
    bool chose = false;
    // The language dialog is the one with a list; everything else is answered with OK.
    auto chooseGerman = [&](HWND dialog, DWORD processId) {
        HWND list = ::FindWindowExW(dialog, nullptr, WC_LISTVIEWW, nullptr);
        if (!list) return false;
        dialogOwner = ::GetWindow(dialog, GW_OWNER);
        RemoteListView view(list, processId);
        if (!view.Ready()) return false;
        for (int i = 0; i < view.Count(); ++i) {
            listed.push_back(view.Text(i));
            checked.push_back(view.Checked(i));
        }
        for (int i = 0; i < view.Count(); ++i)
            if (listed[static_cast<size_t>(i)] == L"Deutsch") chose = view.Check(i);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    };
    RunResult run;
    {
        // English is the language of this start; the choice is for the next one.
        kest::win32::UniqueRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, kGeneralKey, 0, nullptr, 0, KEY_SET_VALUE,
                                                   nullptr, key.put(), nullptr));
        const wchar_t english[] = L"en-US";
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), L"Language", 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(english), sizeof english));
    }
    run = RunCommands(L"2000", chooseGerman);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(Contains(run.record, L"command=2000")) << "the program did not come back from the command";
    ASSERT_EQ((std::vector<std::wstring>{L"Deutsch", L"English"}), listed);
    EXPECT_EQ((std::vector<bool>{false, true}), checked);
    EXPECT_TRUE(chose);
    EXPECT_EQ(EngineWindow(run), dialogOwner) << "the dialog's parent is the engine's main window";
    EXPECT_NE(nullptr, dialogOwner);
    const DialogSeen* message = FindDialog(run, kNewLanguageMessage);
    ASSERT_NE(nullptr, message) << "no message after the choice";
    EXPECT_EQ(L"de-DE", ReadLanguageSetting());
}

// The browser the shell opens web addresses with: a stand-in program that writes what it was
// given to a file. The association it replaces comes back afterwards.
class BrowserStandIn {
public:
    explicit BrowserStandIn(const std::wstring& output) {
        const std::wstring program = BuildPath(ORDAVIA_TEST_BIN_DIR) + L"browser_standin.exe";
        const std::wstring command = L"\"" + program + L"\" \"" + output + L"\" \"%1\"";
        for (const wchar_t* scheme : {L"http", L"https"}) {
            Association a;
            a.path = std::wstring(scheme) + L"\\shell\\open\\command";
            kest::win32::UniqueRegKey key;
            if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, a.path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                  nullptr, key.put(), nullptr) != ERROR_SUCCESS)
                continue;
            wchar_t old[1024] = {};
            DWORD type = 0, bytes = sizeof old - sizeof(wchar_t);
            a.hadValue = ::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(old), &bytes) ==
                             ERROR_SUCCESS && type == REG_SZ;
            a.old = old;
            if (::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS)
                m_replaced.push_back(a);
        }
    }
    ~BrowserStandIn() {
        for (const Association& a : m_replaced) {
            kest::win32::UniqueRegKey key;
            if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, a.path.c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) continue;
            if (a.hadValue)
                ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(a.old.c_str()),
                                 static_cast<DWORD>((a.old.size() + 1) * sizeof(wchar_t)));
            else
                ::RegDeleteValueW(key.get(), nullptr);
        }
    }
    BrowserStandIn(const BrowserStandIn&) = delete;
    BrowserStandIn& operator=(const BrowserStandIn&) = delete;

private:
    struct Association {
        std::wstring path, old;
        bool hadValue = false;
    };
    std::vector<Association> m_replaced;
};

// Waits a while for a file that another process writes.
std::wstring WaitForText(const std::wstring& path) {
    for (int i = 0; i < 100; ++i) {
        std::wstring text = ReadTextFile(path);
        if (!text.empty()) return text;
        ::Sleep(100);
    }
    return {};
}

TEST_F(MenuCommandProcess, LinkCommandStartsTheBrowser) {
    const std::wstring opened = m_program.Folder() + L"browser.txt";
    RunResult run;
    {
        BrowserStandIn browser(opened);
        run = RunCommands(L"2010");
        ASSERT_FALSE(run.timedOut);
        EXPECT_TRUE(Contains(run.record, L"command=2010")) << "the program did not come back from the command";
        EXPECT_EQ(nullptr, FindDialog(run, L"Could not launch browser"));
        const std::wstring address = WaitForText(opened);
        EXPECT_TRUE(Contains(address, L"https://www.brenvalo.example/homepage?product=")) << address;
    }
    EXPECT_EQ(0u, run.exitCode);
}

struct OwnedMessageCase {
    const char* name;
    const wchar_t* command;
    const wchar_t* message;  // what the online-services library shows
};

class OwnedMessage : public MenuCommandProcess, public testing::WithParamInterface<OwnedMessageCase> {};

// The online-services library's own windows belong to the engine's main window.
TEST_P(OwnedMessage, HasTheEngineWindowAsParent) {
    const OwnedMessageCase& c = GetParam();
    RunResult run = RunCommands(c.command);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(Contains(run.record, std::wstring(L"command=") + c.command));
    const DialogSeen* shown = FindDialog(run, c.message);
    ASSERT_NE(nullptr, shown) << "not shown: " << testing::PrintToString(std::wstring(c.message));
    EXPECT_NE(nullptr, EngineWindow(run));
    EXPECT_EQ(EngineWindow(run), shown->owner);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, OwnedMessage,
    testing::Values(OwnedMessageCase{"UpdateCheck", L"2006", L"is up to date."},
                    OwnedMessageCase{"ChannelConfiguration", L"2100", L"No information channels are available."}),
    [](const testing::TestParamInfo<OwnedMessageCase>& info) { return std::string(info.param.name); });

}  // namespace
