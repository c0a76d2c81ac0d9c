// The about box's text: the engine shows it and fills in the application's name and version.
#include "app/About.h"

#include "app/PyrlanApp.h"

namespace {

const wchar_t kAboutTemplate[] =
    L"<about><p><b>%APPNAME%,version %APPVER%</b><br/>"
    L"&copy; 2001-2010 Brenvalo Software GmbH &amp; Co. KG"
    L"<br/>"
    L"www.brenvalo.example | support.brenvalo.example"
    L"</p></about><about><p>"
    L"CD/DVD/BD recording components by Kestrane Optical Systems"
    L"<br/>"
    L"Kestrane Optical Systems Ltd. - www.kestrane-optical.example"
    L"</p></about>";

void ReplaceAll(std::wstring& text, const std::wstring& placeholder, const std::wstring& value) {
    for (size_t at = text.find(placeholder); at != std::wstring::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

}  // namespace

std::wstring ExpandAboutText(std::wstring text) {
    ReplaceAll(text, L"%DOCUMENTATION%", Localize("CAboutBox.Documentation", L"Documentation"));
    ReplaceAll(text, L"%GRAPHICS%", Localize("CAboutBox.Graphics", L"Graphics"));
    return text;
}

void CPyrlanApp::ComposeAboutText() {
    m_aboutText = ExpandAboutText(kAboutTemplate);
    m_aboutTextA.Set(m_aboutText);
}
