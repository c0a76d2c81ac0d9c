#include "app/Browser.h"

#include "app/Framework.h"
#include "lang/LangPackMan.h"

#include <shellapi.h>

namespace {

ShellExecuteFunction g_shellExecute = &::ShellExecuteW;

}  // namespace

ShellExecuteFunction SetShellExecuteFunction(ShellExecuteFunction fn) {
    ShellExecuteFunction old = g_shellExecute;
    g_shellExecute = fn ? fn : &::ShellExecuteW;
    return old;
}

void OpenInBrowser(const std::wstring& address) {
    HINSTANCE result = g_shellExecute(nullptr, nullptr, address.c_str(), nullptr, L".", SW_SHOWDEFAULT);
    // The shell answers a number in the handle's place; 32 and below are its error codes.
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        AfxMessageBox(Localize("Beta.UnableTobrowser", L"Could not launch browser"), MB_OK);
}
