// The portable edition as a user meets it: unpacked into a folder of its own (its path with
// blanks and a letter outside ASCII) on a machine where it never ran, started, its language
// changed through the dialog, started again. Between the runs the machine's registry and drive C:
// must be as they were before the first start; the settings travel in the data store beside the
// program, and a run ended hard after its restore loses nothing of them.
//
// Run by portable_process_tests.py, which makes a fresh Wine prefix, unpacks the zip into it and
// names the folder in ORDAVIA_PORTABLE_FOLDER.
#include "kest/win32/Handles.h"
#include "tests/app/support/ProgramRun.h"
#include "tests/app/support/RemoteListView.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const wchar_t kNewLanguageMessage[] =
    L"The application will use the new language the next time the application is started";
const wchar_t kAdministratorMessage[] = L"Administrative rights needed.";
const wchar_t kStoreFile[] = L"datastore\\data.db";

std::wstring PortableFolder() {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"ORDAVIA_PORTABLE_FOLDER", buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring folder(buffer, n);
    if (folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring Lower(std::wstring text) {
    if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::string ReadBytes(const std::wstring& path) {
    kest::win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

// Everything of the machine a run could leave something in: every registry key and value
// (HKEY_LOCAL_MACHINE and HKEY_USERS, which holds the current user's keys) and every file and
// folder on drive C: outside the program's own folder. Values are compared by type and data,
// files by size and time of the last change.
class MachineState {
public:
    static MachineState Take(const std::wstring& programFolder) {
        MachineState state;
        state.WalkKey(HKEY_LOCAL_MACHINE, L"HKLM");
        state.WalkKey(HKEY_USERS, L"HKU");
        state.WalkFolder(L"C:\\", Lower(programFolder));
        return state;
    }

    // What differs, one line each ("+" new, "-" gone, "~" changed).
    std::vector<std::wstring> ChangesTo(const MachineState& after) const {
        std::vector<std::wstring> changes;
        for (const auto& [name, value] : after.m_items) {
            auto was = m_items.find(name);
            if (IsSystemState(name)) continue;
            if (was == m_items.end()) changes.push_back(L"+ " + name);
            else if (was->second != value) changes.push_back(L"~ " + name);
        }
        for (const auto& [name, value] : m_items)
            if (!IsSystemState(name) && !after.m_items.count(name)) changes.push_back(L"- " + name);
        return changes;
    }

private:
    // The service manager counts every service start here (a program that uses COM starts one).
    static bool IsSystemState(const std::wstring& name) {
        return name == L"HKLM\\System\\CurrentControlSet\\Control\\ServiceCurrent\\\"\"";
    }

    void WalkKey(HKEY key, const std::wstring& path) {
        m_items[path + L"\\"] = L"key";
        wchar_t name[16384];
        std::vector<BYTE> data(65536);
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = 16384, type = 0, size = static_cast<DWORD>(data.size());
            const LONG rc = ::RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size);
            if (rc == ERROR_MORE_DATA) {
                data.resize(size + 2);
                --i;
                continue;
            }
            if (rc != ERROR_SUCCESS) break;
            std::wstring value = std::to_wstring(type) + L":";
            for (DWORD b = 0; b < size; ++b) value += static_cast<wchar_t>(L'A' + (data[b] >> 4)), value += static_cast<wchar_t>(L'A' + (data[b] & 15));
            m_items[path + L"\\" + L"\"" + std::wstring(name, nameLength) + L"\""] = value;
        }
        std::vector<std::wstring> subKeys;
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = 16384;
            if (::RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            subKeys.emplace_back(name, nameLength);
        }
        for (const std::wstring& sub : subKeys) {
            kest::win32::UniqueRegKey child;
            if (::RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, child.put()) == ERROR_SUCCESS)
                WalkKey(child.get(), path + L"\\" + sub);
        }
    }

    void WalkFolder(const std::wstring& folder, const std::wstring& skip) {
        WIN32_FIND_DATAW found{};
        kest::win32::UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &found));
        if (!find) return;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (Lower(path + L"\\") == skip) continue;
                m_items[path + L"\\"] = L"folder";
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) WalkFolder(path + L"\\", skip);
            } else {
                m_items[path] = std::to_wstring(found.nFileSizeLow) + L"/" + std::to_wstring(found.nFileSizeHigh) + L"@" +
                                std::to_wstring(found.ftLastWriteTime.dwLowDateTime) + L"/" +
                                std::to_wstring(found.ftLastWriteTime.dwHighDateTime);
            }
        } while (::FindNextFileW(find.get(), &found));
    }

    std::map<std::wstring, std::wstring> m_items;
};

std::wstring Joined(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (size_t i = 0; i < lines.size() && i < 40; ++i) text += lines[i] + L"\n";
    if (lines.size() > 40) text += L"... and " + std::to_wstring(lines.size() - 40) + L" more\n";
    return text;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// A command-line program of the folder, its standard output gathered through a pipe.
struct ToolRun {
    DWORD exitCode = 0;
    std::string output;
};

ToolRun RunTool(const std::wstring& program, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw std::runtime_error("no pipe");
    kest::win32::UniqueHandle reader(readEnd), writer(writeEnd);
    if (!::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0)) throw std::runtime_error("no pipe");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writer.get();
    si.hStdError = writer.get();
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        throw std::runtime_error("cannot start the tool");
    kest::win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    writer.reset();
    ToolRun run;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
    ::WaitForSingleObject(process.get(), 60000);
    ::GetExitCodeProcess(process.get(), &run.exitCode);
    return run;
}

// The product values the installed edition's engine receives: those the installer writes.
void ExpectProductValues(const RunResult& run) {
    EXPECT_EQ(L"\"9.24.0\"", RecordValue(run.record, L"text.090")) << "Version";
    EXPECT_EQ(L"\"2710\"", RecordValue(run.record, L"text.0A8")) << "ProductCode";
    EXPECT_EQ(L"\"Advanced\"", RecordValue(run.record, L"text.0AC")) << "Edition";
    EXPECT_EQ(L"\"html\"", RecordValue(run.record, L"text.0FC")) << "ReportTransformURL";
}

// A fresh prefix sets its display up when the first window is made, in the machine's own keys:
// the state to compare with is that of a machine whose display is up.
void StartDisplay() {
    kest::win32::UniqueWindow window(
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    DISPLAY_DEVICEW device{};
    device.cb = sizeof device;
    static_cast<void>(::EnumDisplayDevicesW(nullptr, 0, &device, 0));
}

class PortableEdition : public testing::Test {
protected:
    void SetUp() override {
        StartDisplay();
        m_folder = PortableFolder();
        if (m_folder.empty()) GTEST_SKIP() << "ORDAVIA_PORTABLE_FOLDER names no unpacked portable edition";
        ASSERT_TRUE(FileExists(m_folder + L"OrdaviaStudio.exe"));
        ASSERT_TRUE(FileExists(m_folder + L"init.zip"));
        ASSERT_TRUE(FileExists(m_folder + L"brvstore.exe"));
        m_program = std::make_unique<CProgramFolder>(m_folder, Engine::Recording, DriveAccess::Real);
    }

    RunResult Run(const std::vector<std::pair<std::wstring, std::wstring>>& environment = {},
                  const DialogHandler& handler = {}) {
        ::DeleteFileW(m_program->RecordPath().c_str());
        ::DeleteFileW(m_program->TracePath().c_str());
        return m_program->Run(L"", environment, 90000, handler);
    }

    void ExpectNothingLeft(const MachineState& before, const char* when) {
        const std::vector<std::wstring> changes = before.ChangesTo(MachineState::Take(m_folder));
        EXPECT_TRUE(changes.empty()) << when << ", the machine holds this outside the program's folder:\n"
                                     << Narrow(Joined(changes));
    }

    std::string StoreListing() {
        const ToolRun list = RunTool(m_folder + L"brvstore.exe", L"list \"" + m_folder + kStoreFile + L"\"");
        EXPECT_EQ(0u, list.exitCode) << list.output;
        return list.output;
    }

    std::wstring m_folder;
    std::unique_ptr<CProgramFolder> m_program;
};

// The data manager's refusal comes before anything is touched: a user without administrator
// rights (the program started with the Administrators group disabled in its token, as a
// standard user's is) gets the reason and the machine stays as it was.
TEST_F(PortableEdition, TellsAUserWithoutAdministratorRightsAndChangesNothing) {
    const MachineState before = MachineState::Take(m_folder);
    HANDLE own = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, &own));
    kest::win32::UniqueHandle ownToken(own);
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    ASSERT_TRUE(::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                           0, 0, 0, 0, &administrators));
    SID_AND_ATTRIBUTES disabled{administrators, 0};
    HANDLE restricted = nullptr;
    const BOOL made = ::CreateRestrictedToken(ownToken.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted);
    ::FreeSid(administrators);
    ASSERT_TRUE(made);
    kest::win32::UniqueHandle token(restricted);

    ::DeleteFileW(m_program->TracePath().c_str());
    PROCESS_INFORMATION pi = m_program->StartAs(token.get(), L"", {});
    const RunResult run = m_program->Finish(pi, 90000);
    ASSERT_FALSE(run.timedOut);
    ASSERT_EQ(1u, run.dialogs.size()) << "one message, then the end";
    EXPECT_EQ(kAdministratorMessage, run.dialogs[0].text);
    EXPECT_TRUE(Contains(run.trace, kAdministratorMessage));
    EXPECT_TRUE(run.record.empty()) << "the engine ran";
    EXPECT_FALSE(FileExists(m_folder + L"datastore")) << "the data store's folder was made";
    ExpectNothingLeft(before, "after the refused start");
}

TEST_F(PortableEdition, CarriesItsSettingsAndLeavesNothingOnTheMachine) {
    ASSERT_FALSE(FileExists(m_folder + kStoreFile)) << "not a first run";
    const MachineState before = MachineState::Take(m_folder);

    // Run 1 starts from the initial archive; German is chosen in the language dialog.
    bool chose = false;
    auto chooseGerman = [&](HWND dialog, DWORD processId) {
        HWND list = ::FindWindowExW(dialog, nullptr, WC_LISTVIEWW, nullptr);
        if (!list) return false;
        RemoteListView view(list, processId);
        if (!view.Ready()) return false;
        const std::wstring german = L"Deutsch";
        for (int i = 0; i < view.Count(); ++i) {
            const std::wstring text = view.Text(i);
            if (text.size() >= german.size() && std::equal(german.begin(), german.end(), text.begin()))
                chose = view.Check(i);
        }
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    };
    RunResult run = Run({{L"REC_ENGINE_COMMANDS", L"2000"}}, chooseGerman);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(chose) << "no German pack in the dialog";
    bool told = false;
    for (const DialogSeen& d : run.dialogs) told = told || Contains(d.text, kNewLanguageMessage);
    EXPECT_TRUE(told) << "no message after the choice";
    ExpectProductValues(run);
    const std::wstring firstLanguage = RecordValue(run.record, L"text.00C");
    EXPECT_TRUE(FileExists(m_folder + kStoreFile));
    ExpectNothingLeft(before, "after the first run");

    const std::string listing = StoreListing();
    for (const char* entry : {"@@portable@@_description.xml", "regsection.1.reg", "regsection.2.reg"})
        EXPECT_NE(std::string::npos, listing.find(entry)) << entry << " is not in the store:\n" << listing;

    // Run 2 starts in the language chosen in run 1, with the same product values.
    run = Run();
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    const std::wstring secondLanguage = RecordValue(run.record, L"text.00C");
    EXPECT_NE(firstLanguage, secondLanguage);
    EXPECT_TRUE(Contains(Lower(secondLanguage), L"de")) << Narrow(secondLanguage);
    ExpectProductValues(run);
    ExpectNothingLeft(before, "after the second run");

    // Run 3 ends hard while the engine runs, after the restore: the store stays as it was.
    const std::string store = ReadBytes(m_folder + kStoreFile);
    ::DeleteFileW(m_program->RecordPath().c_str());
    PROCESS_INFORMATION pi = m_program->Start(L"", {{L"REC_ENGINE_WAIT", L"OrdaviaPortableTestNeverSet"}});
    kest::win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    bool engineRan = false;
    for (int waited = 0; waited < 900 && !engineRan; ++waited) {
        if (::WaitForSingleObject(process.get(), 100) == WAIT_OBJECT_0) break;
        engineRan = Contains(ReadTextFile(m_program->RecordPath()), L"waiting");
    }
    ASSERT_TRUE(engineRan) << "the engine of the third run did not start";
    ASSERT_TRUE(::TerminateProcess(process.get(), 9));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 30000));
    EXPECT_EQ(store, ReadBytes(m_folder + kStoreFile)) << "the data store changed in the run that ended hard";

    // Run 4 finds everything of the store again, and tidies up after run 3.
    run = Run();
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(secondLanguage, RecordValue(run.record, L"text.00C"));
    ExpectProductValues(run);
    EXPECT_EQ(listing, StoreListing());
    ExpectNothingLeft(before, "after the run that followed the one ended hard");
}

}  // namespace
