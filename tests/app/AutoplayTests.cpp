// The "Action" texts of the program's AutoPlay handlers, rewritten at each start.
#include "app/PyrlanApp.h"
#include "kest/win32/Handles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kest::win32::UniqueRegKey;

namespace {

int g_messageBoxes = 0;
int CountMessage(HWND, const std::wstring&, const std::wstring&, UINT) {
    ++g_messageBoxes;
    return IDOK;
}

const wchar_t kHandlers[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\"
    L"BRVBrenvalo_Ordavia_2010_Advanced";

// Stands in for the machine's root: a key of the test's own, removed afterwards.
class Autoplay : public ::testing::Test {
protected:
    const std::wstring m_rootPath = L"SOFTWARE\\OrdaviaTests\\Autoplay" + std::to_wstring(::GetCurrentProcessId());
    UniqueRegKey m_root;
    CPyrlanApp m_app{CPyrlanApp::InstanceGuard::None};
    MessageBoxFunction m_oldMessageBox = nullptr;

    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_rootPath.c_str());
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, m_rootPath.c_str(), 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, m_root.put(), nullptr));
        g_messageBoxes = 0;
        m_oldMessageBox = SetMessageBoxFunction(&CountMessage);
    }
    void TearDown() override {
        SetMessageBoxFunction(m_oldMessageBox);
        m_root.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_rootPath.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\OrdaviaTests");
    }

    void PutAction(const wchar_t* action, const std::wstring& text) {
        UniqueRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(m_root.get(), (std::wstring(kHandlers) + action).c_str(), 0,
                                                   nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), L"Action", 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
    }
    // The value's type and bytes exactly as stored, terminator included; "(no key)" when absent.
    std::wstring Action(const wchar_t* action) {
        UniqueRegKey key;
        if (::RegOpenKeyExW(m_root.get(), (std::wstring(kHandlers) + action).c_str(), 0, KEY_READ, key.put()) !=
            ERROR_SUCCESS)
            return L"(no key)";
        DWORD type = 0, bytes = 0;
        if (::RegQueryValueExW(key.get(), L"Action", nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            return L"(no value)";
        std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'#');
        EXPECT_EQ(ERROR_SUCCESS,
                  ::RegQueryValueExW(key.get(), L"Action", nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes));
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
        if (bytes < sizeof(wchar_t) || text[bytes / sizeof(wchar_t) - 1] != L'\0') return L"(unterminated)";
        return std::wstring(text.data());
    }
};

TEST_F(Autoplay, BurnAndCopyTextsAreWrittenAndTheRipHandlerIsLeftAlone) {
    PutAction(L"BURNONARRIVAL", L"Old burn text that is rather longer");
    PutAction(L"RIPONARRIVAL", L"Rip as installed");
    m_app.RefreshAutoplayTexts(m_root.get());
    EXPECT_EQ(L"Burn CD/DVD", Action(L"BURNONARRIVAL"));
    EXPECT_EQ(L"Copy CD/DVD", Action(L"COPYONARRIVAL"));
    EXPECT_EQ(L"Rip as installed", Action(L"RIPONARRIVAL"));
    EXPECT_EQ(0, g_messageBoxes);
}

TEST_F(Autoplay, NoRipHandlerIsCreated) {
    m_app.RefreshAutoplayTexts(m_root.get());
    EXPECT_EQ(L"Burn CD/DVD", Action(L"BURNONARRIVAL"));
    EXPECT_EQ(L"(no key)", Action(L"RIPONARRIVAL"));
}

TEST_F(Autoplay, AHandlerThatCannotBeWrittenIsSkippedSilentlyAndTheOtherIsStillWritten) {
    // Below a volatile key no lasting key can be made: the burn handler cannot be created. The
    // copy handler exists already (volatile too) and is only opened.
    const std::wstring handlers = std::wstring(kHandlers).substr(0, std::wstring(kHandlers).rfind(L'\\'));
    {
        UniqueRegKey parent, volatileHandlers, copy;
        const std::wstring parentPath = handlers.substr(0, handlers.rfind(L'\\'));
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(m_root.get(), parentPath.c_str(), 0, nullptr, 0, KEY_WRITE,
                                                   nullptr, parent.put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(parent.get(), L"Handlers", 0, nullptr, REG_OPTION_VOLATILE,
                                                   KEY_WRITE, nullptr, volatileHandlers.put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegCreateKeyExW(volatileHandlers.get(), L"BRVBrenvalo_Ordavia_2010_AdvancedCOPYONARRIVAL", 0,
                                    nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr, copy.put(), nullptr));
    }
    m_app.RefreshAutoplayTexts(m_root.get());
    EXPECT_EQ(L"(no key)", Action(L"BURNONARRIVAL"));
    EXPECT_EQ(L"Copy CD/DVD", Action(L"COPYONARRIVAL"));
    EXPECT_EQ(0, g_messageBoxes);
}

TEST_F(Autoplay, RootsThatAreGoneOrMissingAreSkippedSilently) {
    // A root that has gone away stands for keys the user has no rights to.
    UniqueRegKey gone;
    const std::wstring gonePath = m_rootPath + L"\\Gone";
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, gonePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, gone.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteKeyW(HKEY_CURRENT_USER, gonePath.c_str()));
    m_app.RefreshAutoplayTexts(gone.get());
    m_app.RefreshAutoplayTexts(nullptr);
    EXPECT_EQ(0, g_messageBoxes);
}

}  // namespace
