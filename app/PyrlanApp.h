// The shell's application object: start-up, the hand-over to the burning engine, and the
// services the engine calls back for while it runs.
#pragma once

#include "app/BlazenAbi.h"
#include "app/CommandLine.h"
#include "app/HostHeap.h"
#include "app/NarrowText.h"
#include "app/ProductApp.h"
#include "kapp/ApplicationManager.h"
#include "lang/LangPackMan.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

class CPyrlanApp : public CProductApp {
public:
    enum class InstanceGuard { SingleInstance, None };
    // With the guard, ends the process with exit code 0 when another instance already runs.
    explicit CPyrlanApp(InstanceGuard guard = InstanceGuard::SingleInstance);
    // Tests read the product values from a key of their own.
    CPyrlanApp(InstanceGuard guard, std::wstring productRegistryKey);
    ~CPyrlanApp() override;

    bool InitInstance() override;
    bool PreTranslateMessage(MSG* msg) override;

    // Runs the engine once; true when it reported success.
    bool RunEngine();

    // Product constants.
    const std::wstring m_productId = L"OrdaviaStudio";
    const std::wstring m_registryKeyName = L"brenvalo\\Brenvalo Ordavia 2010 Advanced";
    const std::wstring m_displayName = L"Brenvalo Ordavia 2010 Advanced";
    const std::wstring m_companyName = L"Brenvalo";

    bool m_isNT = false;
    HMODULE m_engine = nullptr;  // never unloaded: the process ends with it loaded
    std::unique_ptr<kapp::IApplicationManager> m_appManager;
    CLangPackMan m_langPackMan;

    // Values start-up reads or derives.
    std::wstring m_appFolder;
    std::wstring m_fullVersion, m_version, m_edition, m_productCode;
    int m_upgradeType = 0, m_updateType = 0;
    std::wstring m_reportAddress, m_reportTransform;
    std::wstring m_systemLanguageTag, m_defaultLangId, m_languageName, m_langPackPath;
    std::wstring m_upgradeName, m_helpFile, m_aboutText;

    // The record and everything it lends to the engine.
    BlazenHostRecord m_hostRecord{};
    HelpTopicTable m_helpTable{};
    std::array<HelpTopicRow, 300> m_helpRows{};
    LOGFONTW m_font{};
    std::wstring m_registryPath, m_reportTitle, m_reportTaskDesc, m_reportExplanation;

    // Narrow copies of every text the record exposes, for hosts without UTF-16 texts.
    CNarrowText m_versionA, m_fullVersionA, m_editionA, m_productCodeA, m_reportAddressA, m_reportTransformA,
        m_languageNameA, m_langPackPathA, m_productIdA, m_registryPathA, m_displayNameA, m_reportTitleA,
        m_reportTaskDescA, m_reportExplanationA, m_contentTypeA, m_helpFileA;
    TNarrowText<65536> m_aboutTextA;

    // The text after the program name; tests put their own in.
    std::wstring m_commandLine = CommandLineArguments(::GetCommandLineW());
    // The portable edition: its settings travel in the data store beside the program (the
    // portable data manager) and it leaves nothing on the host outside its own folder. Its
    // executable sets this before the run (main.cpp built with ORDAVIA_PORTABLE_EDITION).
    bool m_portableEdition = false;
    // The launch request: the drive an AutoPlay start names, and the lists the record points to.
    std::wstring m_presetDrive;
    CNarrowText m_presetDriveA;
    AudioTrackList m_audioTracks{};
    DataItemList m_dataItems{};
    OpenRequest m_openRequest{};
    // Heap copies lent to the engine. The launch lists' texts and arrays go back after the
    // engine returns; the help texts and the document path stay until the application ends.
    std::vector<CHostHeapBlock> m_launchTexts;
    CHostHeapBlock m_launchArray;
    CHostHeapBlock m_openPath;
    std::vector<CHostHeapBlock> m_helpTexts;

    // Start-up pieces, each run once in its place of the start-up sequence; public so that
    // tests can run them one at a time on an application object of their own.
    void ChooseHelpFile();
    // The handlers live under the machine's key; tests point the refresh at a key of their own.
    void RefreshAutoplayTexts(HKEY root = HKEY_LOCAL_MACHINE);
    HKEY m_autoplayRoot = HKEY_LOCAL_MACHINE;  // the root start-up refreshes
    void ComposeAboutText();
    void FillHostRecord();
    void FillHelpTopics();
    void SetHelpTopic(size_t index, int32_t pageId, const wchar_t* topicFile);
    void ParseLaunchRequest();
    void ReleaseLaunchItems();

    void* m_infoCheck = nullptr;  // the online-services library's information-channel check

    // Menus and online services. The engine reaches them through the record's callbacks.
    void InitInfoChannels();
    void SetUpMenus(HMENU menuBar);
    void RunMenuCommand(unsigned id);
    void OnEngineWindowReady();
    std::wstring GetLinkTargetUrl(const char* word) const;
    void RunUpdateCheck(unsigned flags);
    // The language dialog; a confirmed choice is stored for the next start.
    void ChangeLanguage();
    // The engine's main window, the parent of the library's dialogs; none without the export.
    HWND GetEngineMainWindow() const;

    // How start-up creates the data manager; tests put their own in.
    using ManagerFactory = std::unique_ptr<kapp::IApplicationManager> (*)(const wchar_t* appFolder,
                                                                         const wchar_t* storeFile,
                                                                         const wchar_t* initArchive, bool portable);
    ManagerFactory m_createManager = &kapp::CreateApplicationManager;

private:
    bool RunStartup();
    void AbandonManager();
    // The text in the host encoding; refreshes the narrow copy first so that it always matches.
    template <size_t N>
    BlazenText HostText(const std::wstring& wide, TNarrowText<N>& narrow) {
        narrow.Set(wide);
        return m_isNT ? static_cast<BlazenText>(wide.c_str()) : static_cast<BlazenText>(narrow.c_str());
    }
    std::string OnlineServicesKey() const;
    bool InfoChannelsEnabled() const;

    static int WINAPI OnMenuSetup(HMENU menuBar);
    static int WINAPI OnMenuCommand(UINT id, UINT unused);
    static void WINAPI OnMainWindowReady(UINT unused);

    HANDLE m_instanceMutex = nullptr;  // held until the process ends, never closed
};

CPyrlanApp& GetPyrlanApp();
