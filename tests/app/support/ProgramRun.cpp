#include "tests/app/support/ProgramRun.h"

#include "kest/win32/Handles.h"
#include "tests/kest/TempFolder.h"

#include <set>
#include <stdexcept>

using kest::win32::UniqueFile;
using kest::win32::UniqueHandle;

namespace testing_support {
namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

void CopyInto(const std::wstring& from, const std::wstring& to) {
    if (!::CopyFileW(from.c_str(), to.c_str(), FALSE))
        throw std::runtime_error("cannot copy a program file into the test folder");
}

// The folder's path ends in a backslash; the test-side removal takes it without.
void DeleteTree(const std::wstring& folder) {
    kest_test::TempFolder::RemoveTree(folder.substr(0, folder.size() - 1));
}

std::wstring WindowText(HWND wnd) {
    wchar_t buffer[4096] = {};
    ::SendMessageTimeoutW(wnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, nullptr);
    return buffer;
}

struct DialogSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialogs(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[64] = {};
    ::GetClassNameW(wnd, cls, 64);
    if (pid == search->pid && std::wstring(cls) == L"#32770") search->found.push_back(wnd);
    return TRUE;
}

BOOL CALLBACK FindMessageText(HWND child, LPARAM param) {
    wchar_t cls[64] = {};
    ::GetClassNameW(child, cls, 64);
    if (std::wstring(cls) == L"Static") {
        std::wstring text = WindowText(child);
        if (!text.empty()) {
            *reinterpret_cast<std::wstring*>(param) = text;
            return FALSE;
        }
    }
    return TRUE;
}

// Reads and answers every message box the process shows now; a dialog the handler takes is
// left to it.
void AnswerDialogs(DWORD pid, std::set<HWND>& answered, std::set<HWND>& handled, std::vector<DialogSeen>& seen,
                   const DialogHandler& handler) {
    DialogSearch search{pid, {}};
    ::EnumWindows(&CollectDialogs, reinterpret_cast<LPARAM>(&search));
    for (HWND dialog : search.found) {
        if (!::IsWindowVisible(dialog)) continue;
        if (answered.insert(dialog).second) {
            DialogSeen d;
            d.caption = WindowText(dialog);
            d.owner = ::GetWindow(dialog, GW_OWNER);
            ::EnumChildWindows(dialog, &FindMessageText, reinterpret_cast<LPARAM>(&d.text));
            seen.push_back(d);
            if (handler && handler(dialog, pid)) handled.insert(dialog);
        }
        if (!handled.count(dialog)) ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

}  // namespace

std::wstring BuildPath(const char* unixPath) {
    std::wstring path = L"Z:" + Widen(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    if (path.back() != L'\\') path += L'\\';
    return path;
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ReadTextFile(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    // The drive-access recorder writes UTF-16; everything else is UTF-8.
    if (bytes.size() >= 2 && bytes[1] == '\0') return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    return Widen(bytes);
}

CProgramFolder::CProgramFolder(Engine engine, DriveAccess drives) {
    wchar_t temp[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) throw std::runtime_error("no temporary folder");
    wchar_t name[MAX_PATH];
    if (!::GetTempFileNameW(temp, L"ovs", 0, name)) throw std::runtime_error("no temporary name");
    ::DeleteFileW(name);
    m_folder = std::wstring(name) + L"\\";
    if (!::CreateDirectoryW(m_folder.c_str(), nullptr)) throw std::runtime_error("cannot create the test folder");

    const std::wstring dist = BuildPath(ORDAVIA_DIST_DIR);
    CopyInto(dist + L"OrdaviaStudio.exe", m_folder + L"OrdaviaStudio.exe");
    CopyInto(dist + L"brv_inet.dll", m_folder + L"brv_inet.dll");
    PutModules(engine, drives);
}

CProgramFolder::CProgramFolder(std::wstring folder, Engine engine, DriveAccess drives)
    : m_folder(std::move(folder)), m_owned(false) {
    if (m_folder.empty() || m_folder.back() != L'\\') m_folder += L'\\';
    PutModules(engine, drives);
}

void CProgramFolder::PutModules(Engine engine, DriveAccess drives) {
    const std::wstring dist = BuildPath(ORDAVIA_DIST_DIR);
    const std::wstring engines = ModuleFolder();
    switch (engine) {
    case Engine::Recording: CopyInto(engines + L"rec_engine.dll", m_folder + L"qdxburn.dll"); break;
    case Engine::RecordingWithoutFree: CopyInto(engines + L"rec_engine_nofree.dll", m_folder + L"qdxburn.dll"); break;
    case Engine::Demo: CopyInto(dist + L"qdxburn.dll", m_folder + L"qdxburn.dll"); break;
    case Engine::None: break;
    }
    switch (drives) {
    case DriveAccess::Recording: CopyInto(engines + L"rec_spti.dll", m_folder + L"brv_spti.dll"); break;
    case DriveAccess::Real: CopyInto(dist + L"brv_spti.dll", m_folder + L"brv_spti.dll"); break;
    case DriveAccess::None: break;
    }
}

CProgramFolder::~CProgramFolder() {
    if (m_owned) DeleteTree(m_folder);
}

PROCESS_INFORMATION CProgramFolder::Start(const std::wstring& arguments,
                                          const std::vector<std::pair<std::wstring, std::wstring>>& environment) const {
    return StartAs(nullptr, arguments, environment);
}

PROCESS_INFORMATION CProgramFolder::StartAs(HANDLE token, const std::wstring& arguments,
                                            const std::vector<std::pair<std::wstring, std::wstring>>& environment) const {
    // The child's environment: ours, plus the recorders' files, plus the caller's values.
    std::vector<std::pair<std::wstring, std::wstring>> values = {
        {L"REC_ENGINE_OUT", RecordPath()}, {L"ORDAVIA_UI_TRACE", TracePath()}, {L"REC_SPTI_OUT", SptiPath()},
        {L"QDX_DEMO_AUTOCLOSE", L"1"}};
    values.insert(values.end(), environment.begin(), environment.end());
    std::wstring block;
    LPWCH current = ::GetEnvironmentStringsW();
    if (current) {
        for (const wchar_t* entry = current; *entry; entry += wcslen(entry) + 1) {
            std::wstring e = entry;
            bool overridden = false;
            for (const auto& [name, value] : values)
                if (_wcsnicmp(e.c_str(), (name + L"=").c_str(), name.size() + 1) == 0) overridden = true;
            if (!overridden) block += e + L'\0';
        }
        ::FreeEnvironmentStringsW(current);
    }
    for (const auto& [name, value] : values)
        if (!value.empty()) block += name + L"=" + value + L'\0';
    block += L'\0';

    std::wstring exe = m_folder + L"OrdaviaStudio.exe";
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    // The program's own output (the demo engine prints a summary) stays out of the test log.
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi{};
    const BOOL started =
        token ? ::CreateProcessAsUserW(token, exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                       CREATE_UNICODE_ENVIRONMENT, block.data(), m_folder.c_str(), &si, &pi)
              : ::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                 block.data(), m_folder.c_str(), &si, &pi);
    if (!started) throw std::runtime_error("cannot start OrdaviaStudio.exe");
    return pi;
}

RunResult CProgramFolder::Finish(PROCESS_INFORMATION& pi, DWORD timeoutMs, const DialogHandler& handler) const {
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    RunResult result;
    std::set<HWND> answered, handled;
    const DWORD start = ::GetTickCount();
    for (;;) {
        DWORD wait = ::WaitForSingleObject(process.get(), 50);
        AnswerDialogs(pi.dwProcessId, answered, handled, result.dialogs, handler);
        if (wait == WAIT_OBJECT_0) break;
        if (::GetTickCount() - start > timeoutMs) {
            result.timedOut = true;
            ::TerminateProcess(process.get(), 99);
            ::WaitForSingleObject(process.get(), 5000);
            break;
        }
    }
    result.elapsedMs = ::GetTickCount() - start;
    ::GetExitCodeProcess(process.get(), &result.exitCode);
    FILETIME created{}, ended{}, kernel{}, user{};
    if (::GetProcessTimes(process.get(), &created, &ended, &kernel, &user)) {
        auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
        if (ticks(ended) >= ticks(created)) result.lifetimeMs = static_cast<double>(ticks(ended) - ticks(created)) / 10000.0;
    }
    result.trace = ReadTextFile(TracePath());
    result.record = ReadTextFile(RecordPath());
    return result;
}

RunResult CProgramFolder::Run(const std::wstring& arguments,
                              const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                              DWORD timeoutMs, const DialogHandler& handler) const {
    PROCESS_INFORMATION pi = Start(arguments, environment);
    return Finish(pi, timeoutMs, handler);
}

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

std::wstring RecordValue(const std::wstring& record, const std::wstring& name) {
    const std::wstring key = name + L"=";
    size_t at = record.rfind(L"\n" + key);
    if (at == std::wstring::npos) {
        if (record.compare(0, key.size(), key) != 0) return {};
        at = 0;
    } else {
        at += 1;
    }
    const size_t end = record.find(L'\n', at);
    return record.substr(at + key.size(), end == std::wstring::npos ? std::wstring::npos : end - at - key.size());
}

}  // namespace testing_support
