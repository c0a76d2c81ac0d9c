#include "app/Menus.h"

#include "app/Binet.h"
#include "app/Browser.h"
#include "app/PyrlanApp.h"
#include "kest/win32/Handles.h"
#include "lang/Languages.h"

#include <objbase.h>

#include <vector>

namespace {

const BinetFunctions kImportedOnlineServices = {
    &binet_Init,
    &binet_InfoCheckCreate,
    &binet_InfoCheckSetRegistryKey,
    &binet_InfoCheckSetUserRegistryKey,
    &binet_InfoCheckSetProduct,
    &binet_InfoCheckSetProductVersion,
    &binet_InfoCheckSetProductEdition,
    &binet_InfoCheckSetProductLang,
    &binet_InfoCheckSetParentWindow,
    &binet_InfoCheckGetConfigureChannelsText,
    &binet_InfoCheckDoConfig,
    &binet_InfoCheckStartAllAuto,
    &binet_UpdateManagerCreate,
    &binet_UpdateManagerSetRegistryKey,
    &binet_UpdateManagerSetUserRegistryKey,
    &binet_UpdateManagerSetProduct,
    &binet_UpdateManagerSetProductVersion,
    &binet_UpdateManagerSetProductEdition,
    &binet_UpdateManagerSetProductLang,
    &binet_UpdateManagerDoModalCheck,
    &binet_UpdateManagerDestroy,
    &binet_MakeLinkTargetURL,
};
const BinetFunctions* g_onlineServices = &kImportedOnlineServices;

struct LinkCommand {
    unsigned id;
    const char* word;
};
const LinkCommand kLinkCommands[] = {
    {kCmdRecommend, "friend"},   {kCmdMyAccount, "mybrenvalo"}, {kCmdSpecialOffers, "advertising"},
    {kCmdNewsletter, "newsletter"}, {kCmdHomepage, "homepage"}, {kCmdProducts, "products"},
    {kCmdSupport, "support"},    {kCmdTranslation, "translation"},
};

void ReplaceAll(std::wstring& text, const std::wstring& placeholder, const std::wstring& value) {
    for (size_t at = text.find(placeholder); at != std::wstring::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

// Empty when the text cannot be converted.
std::string ToCodePage(const std::wstring& text, UINT codePage, DWORD flags = 0) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    int bytes = ::WideCharToMultiByte(codePage, flags, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    if (::WideCharToMultiByte(codePage, flags, text.c_str(), length, out.data(), bytes, nullptr, nullptr) != bytes)
        return {};
    return out;
}

std::string Ansi(const std::wstring& text) {
    return ToCodePage(text, CP_ACP);
}

// Adds an item; a menu that refuses it simply goes without.
void Append(HMENU menu, unsigned id, const std::wstring& text) {
    if (!::AppendMenuW(menu, MF_STRING, id, text.c_str())) return;
}

void AppendSeparator(HMENU menu) {
    if (!::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr)) return;
}

}  // namespace

const BinetFunctions& OnlineServices() {
    return *g_onlineServices;
}

const BinetFunctions* SetOnlineServices(const BinetFunctions* functions) {
    const BinetFunctions* old = g_onlineServices;
    g_onlineServices = functions ? functions : &kImportedOnlineServices;
    return old;
}

std::string UrlEncode(const std::string& bytes) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string SystemLanguageExtra(const std::wstring& systemLanguageTag) {
    // A text with unpaired surrogates has no UTF-8 form; the code page takes what it can.
    std::string bytes = ToCodePage(systemLanguageTag, CP_UTF8, WC_ERR_INVALID_CHARS);
    if (bytes.empty()) bytes = Ansi(systemLanguageTag);
    return "syslang=" + UrlEncode(bytes);
}

HWND CPyrlanApp::GetEngineMainWindow() const {
    if (!m_engine) return nullptr;
    auto get = reinterpret_cast<GetODMainWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(m_engine, "GetODMainWindow")));
    return get ? get() : nullptr;
}

std::string CPyrlanApp::OnlineServicesKey() const {
    return Ansi(L"SOFTWARE\\" + m_registryKeyName + L"\\brv_inet");
}

bool CPyrlanApp::InfoChannelsEnabled() const {
    return ReadProductInt(L"", L"InfoChannelsEnabled", 1) == 1;
}

void CPyrlanApp::InitInfoChannels() {
    const BinetFunctions& binet = OnlineServices();
    // The library's own start-up answers nothing the check depends on: whether the check
    // exists is the library's answer to creating it.
    static_cast<void>(binet.init());
    m_infoCheck = binet.infoCheckCreate();
    if (!m_infoCheck) return;
    const std::string key = OnlineServicesKey();
    binet.infoCheckSetRegistryKey(m_infoCheck, HKEY_LOCAL_MACHINE, key.c_str());
    binet.infoCheckSetUserRegistryKey(m_infoCheck, HKEY_CURRENT_USER, key.c_str());
    binet.infoCheckSetProduct(m_infoCheck, m_productCodeA.c_str());
    binet.infoCheckSetProductVersion(m_infoCheck, m_versionA.c_str());
    binet.infoCheckSetProductEdition(m_infoCheck, m_editionA.c_str());
    binet.infoCheckSetProductLang(m_infoCheck, m_languageNameA.c_str());
}

void CPyrlanApp::SetUpMenus(HMENU menuBar) {
    const BinetFunctions& binet = OnlineServices();
    if (HMENU options = ::GetSubMenu(menuBar, 1)) {
        Append(options, kCmdLanguages, Localize("Menu.Options.Languages", L"Languages..."));
        if (m_infoCheck) {
            binet.infoCheckSetParentWindow(m_infoCheck, GetEngineMainWindow());
            if (InfoChannelsEnabled()) {
                const std::wstring text = Localize("Menu.Options.Channels", L"Channels...");
                // The library's own wording is asked for, as it expects, but the shell's is shown.
                (void)binet.infoCheckGetConfigureChannelsText(m_infoCheck, 1);
                Append(options, kCmdChannels, text);
            }
        }
    }

    const bool preRelease =
        m_fullVersion.find(L"beta") != std::wstring::npos || m_fullVersion.find(L"alpha") != std::wstring::npos;
    std::wstring reportText = preRelease
                                  ? Localize("SystemMenu.SendBetaReport", L"&Send Beta Report to %COMPANY%...")
                                  : Localize("SystemMenu.Send Report", L"&Send Problem Report to %COMPANY%...");
    ReplaceAll(reportText, L"%COMPANY%", m_companyName);
    std::wstring homepageText = Localize("Menu.Internet.Homepage", L"%COMPANY% Homepage");
    ReplaceAll(homepageText, L"%COMPANY%", m_companyName);

    kest::win32::UniqueMenu internet(::CreatePopupMenu());
    if (!internet) return;
    HMENU m = internet.get();
    Append(m, kCmdRecommend, Localize("Menu.Internet.Recommend", L"Recommend Program to a Friend"));
    AppendSeparator(m);
    Append(m, kCmdMyAccount, Localize("Menu.Internet.MyBrenvalo", L"My Brenvalo"));
    Append(m, kCmdSpecialOffers, Localize("Menu.Internet.SpecialOffers", L"Today's Special Offers"));
    Append(m, kCmdNewsletter, Localize("Menu.Internet.Newsletter", L"Brenvalo free Service Letter"));
    Append(m, kCmdHomepage, homepageText);
    Append(m, kCmdProducts, Localize("Menu.Internet.Products", L"Brenvalo Products"));
    Append(m, kCmdSupport, Localize("Menu.Internet.Support", L"Brenvalo Support"));
    AppendSeparator(m);
    Append(m, kCmdBuyRecordables, Localize("Menu.Brenvalo.BuyRecordables", L"Buy Recordables online"));
    AppendSeparator(m);
    if (m_updateType != 0) Append(m, kCmdOnlineUpdate, Localize("Menu.Brenvalo.Update", L"Online Update"));
    if (m_upgradeType != 0) {
        std::wstring upgradeText = Localize("Menu.Brenvalo.Upgrade", L"Upgrade to %UPGRADENAME%");
        ReplaceAll(upgradeText, L"%UPGRADENAME%", m_upgradeName);
        // The upgrade name may itself name the program.
        ReplaceAll(upgradeText, L"%APP_NAME%", m_displayName);
        Append(m, kCmdUpgrade, upgradeText);
    }
    if (m_updateType != 0 || m_upgradeType != 0) AppendSeparator(m);
    Append(m, kCmdProblemReport, reportText);

    if (::InsertMenuW(menuBar, 2, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(m),
                      Localize("Menu.Internet", L"Internet").c_str()))
        (void)internet.release();  // the menu bar owns it now
}

std::wstring CPyrlanApp::GetLinkTargetUrl(const char* word) const {
    const std::string extra = SystemLanguageExtra(m_systemLanguageTag);
    const std::string product = Ansi(m_productCode), version = Ansi(m_version), edition = Ansi(m_edition),
                      language = Ansi(m_languageName);
    char* url = OnlineServices().makeLinkTargetURL(word, product.c_str(), version.c_str(), edition.c_str(),
                                                   language.c_str(), extra.c_str());
    if (!url) return {};
    struct TaskMemory {
        char* p;
        ~TaskMemory() { ::CoTaskMemFree(p); }
    } owner{url};
    const int length = ::MultiByteToWideChar(CP_ACP, 0, url, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, url, -1, wide.data(), length) != length) return {};
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

void CPyrlanApp::RunUpdateCheck(unsigned flags) {
    const BinetFunctions& binet = OnlineServices();
    void* update = binet.updateManagerCreate();
    if (!update) return;
    const std::string key = OnlineServicesKey();
    binet.updateManagerSetRegistryKey(update, HKEY_LOCAL_MACHINE, key.c_str());
    binet.updateManagerSetUserRegistryKey(update, HKEY_CURRENT_USER, key.c_str());
    binet.updateManagerSetProduct(update, m_productCodeA.c_str());
    binet.updateManagerSetProductVersion(update, m_versionA.c_str());
    binet.updateManagerSetProductEdition(update, m_editionA.c_str());
    binet.updateManagerSetProductLang(update, m_languageNameA.c_str());
    // 3: the user chose to install the update now, which needs the program closed.
    if (binet.updateManagerDoModalCheck(update, GetEngineMainWindow(), flags) == 3) ::PostQuitMessage(0);
    binet.updateManagerDestroy(update);
}

void CPyrlanApp::ChangeLanguage() {
    CLanguages::Services services;
    services.messageBox = [](const std::wstring& text, UINT type) { return AfxMessageBox(text, type); };
    services.openLink = [this](const char* word) { OpenInBrowser(GetLinkTargetUrl(word)); };
    CLanguages dialog(m_langPackMan, std::move(services));
    const INT_PTR answer = dialog.DoModal(GetEngineMainWindow());
    if (answer == -1) {
        // The dialog could not be made (its list control could not be loaded, say): say so
        // rather than let the menu command seem to do nothing.
        AfxMessageBox(Localize("CLanguages.CannotShow", L"The list of languages cannot be shown."),
                      MB_OK | MB_ICONERROR);
        return;
    }
    if (answer != IDOK) return;
    // The promise of a new language at the next start holds only once the choice is stored;
    // a choice that could not be stored is said to be lost, or the user's OK seems to do nothing.
    if (!WriteProfileString(L"General", L"Language", dialog.GetResult())) {
        AfxMessageBox(Localize("Languages.ChoiceNotStored",
                               L"The language could not be saved. The application will keep its current language."),
                      MB_OK | MB_ICONERROR);
        return;
    }
    AfxMessageBox(Localize("Languages.NewLanguageActive",
                           L"The application will use the new language the next time the application is started"),
                  MB_OK | MB_ICONINFORMATION);
}

void CPyrlanApp::RunMenuCommand(unsigned id) {
    for (const LinkCommand& link : kLinkCommands) {
        if (link.id == id) {
            OpenInBrowser(GetLinkTargetUrl(link.word));
            return;
        }
    }
    switch (id) {
    case kCmdLanguages:
        ChangeLanguage();
        break;
    case kCmdChannels:
        if (m_infoCheck) OnlineServices().infoCheckDoConfig(m_infoCheck, GetEngineMainWindow());
        break;
    case kCmdOnlineUpdate:
        switch (m_updateType) {
        case 1: OpenInBrowser(GetLinkTargetUrl("update")); break;
        case 2: RunUpdateCheck(0xB19); break;
        case 3: RunUpdateCheck(0x319); break;
        default: break;
        }
        break;
    case kCmdUpgrade:
        switch (m_upgradeType) {
        case 1: OpenInBrowser(GetLinkTargetUrl("upgrade")); break;
        case 2: RunUpdateCheck(0x719); break;
        case 3: RunUpdateCheck(0x319); break;
        default: break;
        }
        break;
    default:
        // Buying recordables and the problem report are the engine's; others are not ours.
        break;
    }
}

void CPyrlanApp::OnEngineWindowReady() {
    if (!m_infoCheck || !InfoChannelsEnabled()) return;
    // -1: the library wants the program closed (an update it started needs it gone).
    if (OnlineServices().infoCheckStartAllAuto(m_infoCheck) == -1) ::PostQuitMessage(0);
}

// The engine calls these through plain function pointers: nothing may leave them as an
// exception, and a failed command leaves the engine running as before.
int WINAPI CPyrlanApp::OnMenuSetup(HMENU menuBar) {
    try {
        if (auto* app = dynamic_cast<CPyrlanApp*>(AfxGetApp())) app->SetUpMenus(menuBar);
    } catch (...) {
    }
    return 0;
}

int WINAPI CPyrlanApp::OnMenuCommand(UINT id, UINT) {
    try {
        if (auto* app = dynamic_cast<CPyrlanApp*>(AfxGetApp())) app->RunMenuCommand(id);
    } catch (...) {
    }
    return 0;
}

void WINAPI CPyrlanApp::OnMainWindowReady(UINT) {
    try {
        if (auto* app = dynamic_cast<CPyrlanApp*>(AfxGetApp())) app->OnEngineWindowReady();
    } catch (...) {
    }
}
