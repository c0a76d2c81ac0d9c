#include "app/PyrlanApp.h"

#include "app/HelpTopics.h"
#include "app/Splash.h"
#include "app/StartupTrace.h"

#include <wx/init.h>

#include <stdexcept>

namespace {

const wchar_t kInstanceMutexName[] = L"{69b2c9d5-a4e7-48da-9f45-3f9fce652d40}";
const wchar_t kReportAddress[] = L"https://reports.brenvalo.example/report/index2.py/sendreport";

CPyrlanApp* g_pyrlanApp = nullptr;

bool IsWindowsXPOrLater(const OSVERSIONINFOW& v) {
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           (v.dwMajorVersion >= 6 || (v.dwMajorVersion >= 5 && v.dwMinorVersion >= 1));
}

bool QueryVersion(OSVERSIONINFOW& v) {
    v = OSVERSIONINFOW{};
    v.dwOSVersionInfoSize = sizeof v;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    return ::GetVersionExW(&v) != FALSE;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

}  // namespace

CPyrlanApp& GetPyrlanApp() {
    return *g_pyrlanApp;
}

CPyrlanApp::CPyrlanApp(InstanceGuard guard) : CPyrlanApp(guard, L"brenvalo\\Brenvalo Ordavia 2010 Advanced") {}

CPyrlanApp::CPyrlanApp(InstanceGuard guard, std::wstring productRegistryKey)
    : CProductApp(std::move(productRegistryKey)) {
    if (guard == InstanceGuard::SingleInstance) {
        m_instanceMutex = ::CreateMutexW(nullptr, TRUE, kInstanceMutexName);
        if (::GetLastError() == ERROR_ALREADY_EXISTS) ::ExitProcess(0);
    }
    g_pyrlanApp = this;
}

CPyrlanApp::~CPyrlanApp() {
    if (g_pyrlanApp == this) g_pyrlanApp = nullptr;
}

bool CPyrlanApp::PreTranslateMessage(MSG* msg) {
    if (SplashPreTranslate(msg)) return true;
    return CProductApp::PreTranslateMessage(msg);
}

bool CPyrlanApp::InitInstance() {
    bool cleanUp = true;
    try {
        cleanUp = RunStartup();
    } catch (const kapp::CAppmanError& error) {
        if (error.code == 9)
            AfxMessageBox(Localize("CProblemGuide.prob_enumerror_nodrive_rights_notadmin.heading",
                                   L"Administrative rights needed."),
                          MB_OK | MB_ICONERROR);
        AbandonManager();
    } catch (...) {
        // Any other failure ends start-up quietly.
        AbandonManager();
    }
    if (cleanUp) {
        startup_trace::CStep step("framework-cleanup");
        wxEntryCleanup();
    }
    return false;
}

// After a failed start-up, and when there is no engine to run, the manager is neither stopped
// nor deleted: stopping or deleting a portable manager writes or removes data, and a start-up
// that ended early has nothing to write back. The process ends right after, which frees it.
void CPyrlanApp::AbandonManager() {
    (void)m_appManager.release();
}

// Start-up as one sequence; the caller's guard ends it on the first error. Returns false when
// the engine library is missing: the loader has said so, and nothing after it runs.
bool CPyrlanApp::RunStartup() {
    using startup_trace::CStep;
    CStep step("framework-start");
    int argc = 0;
    if (!wxEntryStart(argc, static_cast<wxChar**>(nullptr))) throw std::runtime_error("wxWidgets did not start");
    step.End();

    CStep folderStep("application-folder");
    m_appFolder = GetApplicationFolder();
    folderStep.End();

    CStep managerStep("manager-start");
    m_appManager = m_createManager(m_appFolder.c_str(), (m_appFolder + L"datastore\\data.db").c_str(),
                                                  (m_appFolder + L"\\init.zip").c_str(), m_portableEdition);
    const std::wstring settingsKey = L"Software\\" + m_registryKeyName;
    const int allHandlers = kapp::SaveToStore | kapp::RemoveFromHost | kapp::RestoreFromStore;
    m_appManager->AddRegistrySection(L"HKEY_CURRENT_USER", settingsKey.c_str(), allHandlers);
    m_appManager->AddRegistrySection(L"HKEY_LOCAL_MACHINE", settingsKey.c_str(), allHandlers);
    m_appManager->Start();
    managerStep.End();

    // Drive access: the library stays loaded for the whole run.
    CStep drivesStep("drive-access");
    const std::wstring drivesKey = L"SOFTWARE\\" + m_registryKeyName + L"\\drives";
    if (HMODULE spti = LoadModuleWithMessage(L"brv_spti.dll", true)) {
        using InitWmiDrivesFn = int(__cdecl*)(const wchar_t*);
        if (auto init = reinterpret_cast<InitWmiDrivesFn>(
                reinterpret_cast<void*>(::GetProcAddress(spti, "InitWmiDrives"))))
            init(drivesKey.c_str());
    }
    drivesStep.End();

    CStep splashStep("splash");
    EnableSplash(true);
    ShowSplash(true, 1500, 60, nullptr);
    splashStep.End();

    CStep registryStep("framework-registry");
    SetRegistryKey(m_registryKeyName);
    m_profileName.clear();
    m_appName = m_displayName;
    AfxEnableControlContainer();
    registryStep.End();

    CStep versionStep("windows-version");
    OSVERSIONINFOW osVersion;
    const bool haveVersion = QueryVersion(osVersion);
    m_isNT = haveVersion && osVersion.dwPlatformId == VER_PLATFORM_WIN32_NT;
    versionStep.End();

    CStep engineStep("engine-load");
    m_engine = LoadModuleWithMessage(L"qdxburn.dll", true);
    engineStep.End();

    CStep valuesStep("product-values");
    m_fullVersion = L"9.24.0.11 (2710)";
    m_version = ReadProductString(L"", L"Version", L"9.24.0");
    m_edition = ReadProductString(L"", L"Edition", L"");
    m_productCode = ReadProductString(L"", L"ProductCode", L"2710");
    m_upgradeType = ReadProductInt(L"", L"UpgradeType", 0);
    m_updateType = ReadProductInt(L"", L"UpdateType", 2);
    m_versionA.Set(m_version);
    m_fullVersionA.Set(m_fullVersion);
    m_editionA.Set(m_edition);
    m_productCodeA.Set(m_productCode);

    m_reportAddress = kReportAddress;
    m_reportTransform = ReadProductString(L"", L"ReportTransformURL", L"html");
    m_reportAddressA.Set(m_reportAddress);
    m_reportTransformA.Set(m_reportTransform);
    valuesStep.End();

    CStep languageStep("language");
    SetLocalizer(&m_langPackMan);
    m_systemLanguageTag = m_langPackMan.GetSystemLanguageTag();
    m_defaultLangId = ReadProductString(L"", L"DefaultLangID", m_systemLanguageTag);
    const std::wstring request = ReadProductString(L"General", L"Language", m_defaultLangId);
    m_langPackPath.clear();
    m_langPackMan.Scan(m_appFolder + L"lang\\", m_productId);
    m_langPackMan.Activate(m_langPackMan.Choose(request));
    if (const CLangPack* pack = m_langPackMan.GetActive()) {
        m_languageName = pack->GetLanguageCode();
        m_langPackPath = pack->GetFilePath();
        std::wstring base = m_langPackPath;
        size_t slash = base.find_last_of(L"\\/");
        if (slash != std::wstring::npos) base.erase(0, slash + 1);
        size_t dot = base.find_last_of(L'.');
        if (dot != std::wstring::npos) base.erase(dot);
        m_helpFile = m_appFolder + L"lang\\" + base + L".chm";
    } else {
        m_languageName = request;
        m_helpFile = m_appFolder + L"lang\\" + request + L".chm";
    }

    languageStep.End();

    CStep upgradeStep("upgrade-name");
    m_upgradeName = ReadProductString(
        L"", L"UpgradeName", Localize("CRegisterDlg.Desc.UpgradeNameDefault", L"the successor of %APP_NAME%"));

    upgradeStep.End();

    CStep helpStep("help-file");
    if (!IsHelpFile(m_helpFile)) ChooseHelpFile();
    helpStep.End();

    m_languageNameA.Set(m_languageName);
    m_langPackPathA.Set(m_langPackPath);
    m_productIdA.Set(m_productId);

    if (!m_engine) {
        // The loader has said why; nothing after it runs, the manager's shutdown included.
        AbandonManager();
        return false;
    }

    CStep autoplayStep("autoplay-texts");
    // The portable edition registers no AutoPlay handlers, so it has no texts to refresh; the
    // refresh would create handler keys on the host, or rewrite those of an installed copy.
    if (!m_portableEdition && haveVersion && IsWindowsXPOrLater(osVersion)) RefreshAutoplayTexts(m_autoplayRoot);
    autoplayStep.End();

    CStep aboutStep("about-text");
    ComposeAboutText();
    aboutStep.End();

    RunEngine();

    CStep stopStep("manager-stop");
    if (m_appManager) {
        m_appManager->Stop();
        kapp::DeleteApplicationManager(m_appManager);
    }
    return true;
}
