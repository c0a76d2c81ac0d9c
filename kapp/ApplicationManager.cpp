#include "kapp/ApplicationManager.h"

#include "kapp/PortableAppManager.h"
#include "kapp/Text.h"
#include "kest/System.h"
#include "kest/win32/Handles.h"
#include "kest/win32/ProcAddress.h"

#include <windows.h>

#include "kest/win32/UndefWin32Names.h"

namespace kapp {

using kest::IURI;
using kest::P;
using kest::String;

namespace {

const String kTempPrefix("app_");
const String kTempSuffix("_temp");

}  // namespace

// --------------------------------------------------------------------------- base manager

void CApplicationManager::RemoveTempFolder() noexcept {
    if (!m_tempFolder.empty()) {
        try {
            auto& system = kest::GetSystem();
            P<IURI> folder = UriOf(m_tempFolder);
            if (system->PathExists(folder.Get())) system->DeleteFolderTree(folder.Get());
        } catch (...) {
            // What cannot be removed stays in the temporary folder.
        }
    }
    m_tempFolder.clear();
}

bool CApplicationManager::Stop() {
    RemoveTempFolder();
    return true;
}

const wchar_t* CApplicationManager::GetTempFolder() {
    if (m_tempFolder.empty()) {
        P<IURI> folder = kest::GetSystem()->CreateUniqueTempFolder(kTempPrefix, kTempSuffix);
        m_tempFolder = PathOf(folder.Get());
    }
    return m_tempFolder.c_str();
}

const wchar_t* CApplicationManager::CreateTempFolderIn(const wchar_t* baseFolder) {
    if (!baseFolder || !*baseFolder) return GetTempFolder();
    try {
        auto& system = kest::GetSystem();
        P<IURI> base = UriOf(WithTrailingBackslash(Backslashes(baseFolder)));
        if (!system->PathExists(base.Get())) system->CreateFolder(base.Get(), false);
        P<IURI> folder = system->CreateUniqueFolder(base.Get(), kTempPrefix, kTempSuffix);
        if (system->PathExists(folder.Get())) {
            RemoveTempFolder();
            m_tempFolder = PathOf(folder.Get());
        }
    } catch (...) {
        // Any failure leaves the folder as it was.
    }
    return GetTempFolder();
}

// ------------------------------------------------------------------------- normal manager

bool CNormalAppManager::Start() {
    if (m_started) throw CAppmanError(12);
    m_started = true;
    return true;
}

bool CNormalAppManager::Stop() {
    if (!m_started) throw CAppmanError(10);
    CApplicationManager::Stop();
    m_started = false;
    return true;
}

bool CNormalAppManager::AddRegistrySection(const wchar_t*, const wchar_t*, int) {
    if (m_started) throw CAppmanError(12);
    return true;
}

bool CNormalAppManager::AddFolder(const wchar_t*, int) {
    if (m_started) throw CAppmanError(12);
    return true;
}

bool CNormalAppManager::AddFile(const wchar_t*, int) {
    if (m_started) throw CAppmanError(12);
    return true;
}

// ---------------------------------------------------------------------------- the factory

std::unique_ptr<IApplicationManager> CreateApplicationManager(const wchar_t* appFolder, const wchar_t* storeFile,
                                                              const wchar_t* initArchive, bool portable) {
    if (!portable) return std::make_unique<CNormalAppManager>();
    return std::make_unique<CPortableAppManager>(appFolder ? appFolder : L"", storeFile ? storeFile : L"",
                                                 initArchive ? initArchive : L"");
}

void DeleteApplicationManager(std::unique_ptr<IApplicationManager>& manager) {
    if (auto* known = dynamic_cast<CApplicationManager*>(manager.get()); known && known->IsStarted()) {
        throw CAppmanError(11);
    }
    manager.reset();
}

// ----------------------------------------------------------------------- administrator check

bool IsUserAdministrator() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (!::GetVersionExW(&version)) return false;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return IsUserAdministratorOn(version.dwPlatformId);
}

bool IsUserAdministratorOn(unsigned long platformId) {
    if (platformId != VER_PLATFORM_WIN32_NT) return false;
    kest::win32::UniqueModule advapi(::LoadLibraryW(L"advapi32.dll"));
    using AllocateFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                                     DWORD, PSID*);
    using CheckFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    using FreeFn = PVOID(WINAPI*)(PSID);
    auto allocate = kest::win32::ProcAddress<AllocateFn>(advapi.get(), "AllocateAndInitializeSid");
    auto check = kest::win32::ProcAddress<CheckFn>(advapi.get(), "CheckTokenMembership");
    auto free = kest::win32::ProcAddress<FreeFn>(advapi.get(), "FreeSid");
    if (!allocate || !check || !free) return false;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!allocate(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                  &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    if (!check(nullptr, administrators, &member)) member = FALSE;
    free(administrators);
    return member != FALSE;
}

}  // namespace kapp
