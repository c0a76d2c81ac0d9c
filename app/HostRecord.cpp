#include "app/PyrlanApp.h"
#include "app/Resources.h"

#include <cstring>

namespace {

const wchar_t kSupportMail[] = L"support@brenvalo.example";
const std::wstring& ReportContentType() {
    static const std::wstring text = L"application/x-www-form-urlencoded";
    return text;
}
// The build variant decides which task a plain start opens.
const wchar_t kProductVariant[] = L"BLAZNE_DATACD";

}  // namespace

void CPyrlanApp::FillHostRecord() {
    BlazenHostRecord& r = m_hostRecord;
    r = BlazenHostRecord{};
    r.head = 22;

    FillHelpTopics();
    r.helpTopics = &m_helpTable;
    r.config088 = 1;

    m_reportTaskDesc = Localize("ProblemReport.TaskDesc.Variant",
                                L"Please fill out the form completely and provide a detailed description of the "
                                L"problem.\n If possible, please describe the steps that are necessary to "
                                L"reproduce it.\nThank you for your effort!");
    m_reportExplanation = Localize("ProblemReport.ReportExplanation",
                                   L"Problem reports are usuallly answered within two business days.");
    r.reportTaskDescription = HostText(m_reportTaskDesc, m_reportTaskDescA);
    r.reportExplanation = HostText(m_reportExplanation, m_reportExplanationA);

    r.launchMode = DefaultLaunchMode(kProductVariant);

    r.config084 = 0x00FFFFFF;
    r.config08C = 3;
    r.config09C = 0x001F1811;
    r.config0E0 = 0x00513E2D;
    r.config0B4 = 0x00FFFFFF;
    r.config0B8 = 0x00513E2D;
    r.config0BC = 8;
    r.config0C4 = 576;
    r.config0C0 = 321;
    r.config0C8 = 339;
    r.config0CC = 2086;
    r.config0D0 = 3;
    m_font = LOGFONTW{};
    m_font.lfHeight = -12;
    m_font.lfWeight = FW_BOLD;
    m_font.lfCharSet = DEFAULT_CHARSET;
    m_font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    m_font.lfClipPrecision = 0;
    m_font.lfQuality = ANTIALIASED_QUALITY;
    m_font.lfPitchAndFamily = VARIABLE_PITCH;
    wcscpy_s(m_font.lfFaceName, L"MS Shell Dlg");
    r.font = &m_font;
    r.config0EC = 2006;
    r.registryRoot = HKEY_CURRENT_USER;
    r.launchItems = nullptr;

    HINSTANCE instance = GetInstance();
    r.largeIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                                                  LR_SHARED));
    r.smallIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON),
                                                  ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    r.instance = instance;

    m_registryPath = L"SOFTWARE\\" + m_registryKeyName;
    m_registryPathA.Set(m_registryPath);  // the information-channel check reads it on every system
    r.config094 = 1;

    m_reportTitle = Localize("ProblemReport.DefaultTitle", L"Problem Report %APPNAME%");
    r.supportMail = kSupportMail;

    r.registryPath = HostText(m_registryPath, m_registryPathA);
    r.languageName = HostText(m_languageName, m_languageNameA);
    r.languagePackPath = HostText(m_langPackPath, m_langPackPathA);
    r.productId = HostText(m_productId, m_productIdA);
    r.displayName = HostText(m_displayName, m_displayNameA);
    r.version = HostText(m_version, m_versionA);
    r.fullVersion = HostText(m_fullVersion, m_fullVersionA);
    r.edition = HostText(m_edition, m_editionA);
    r.upgradeName = m_isNT ? m_upgradeName.c_str() : nullptr;
    r.reportAddress = HostText(m_reportAddress, m_reportAddressA);
    r.reportContentType = HostText(ReportContentType(), m_contentTypeA);
    r.productCode = m_productCode.empty() ? nullptr : HostText(m_productCode, m_productCodeA);
    r.reportTransform = HostText(m_reportTransform, m_reportTransformA);
    r.aboutText = HostText(m_aboutText, m_aboutTextA);
    r.reportTitle = HostText(m_reportTitle, m_reportTitleA);

    r.reserved104[0] = r.reserved104[1] = r.reserved104[2] = 0;
    r.config030 = 0x3FFF0DFF;
    r.config0D8 = 0x047FBBAF;
    r.config100 = 0x00008205;
    r.menuCommand = &CPyrlanApp::OnMenuCommand;
    r.menuSetup = &CPyrlanApp::OnMenuSetup;
    r.mainWindowReady = &CPyrlanApp::OnMainWindowReady;
    r.applicationManager = m_appManager.get();

    ParseLaunchRequest();
}
