// The language selection dialog: lists the installed packs with check marks that behave like
// radio buttons, and hands back the chosen pack's language code on OK. The choice takes effect
// at the next start; the dialog changes nothing in the manager.
#pragma once

#include "kest/win32/Handles.h"
#include "lang/LangPackMan.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

class CLanguages {
public:
    // What the dialog needs from the program around it.
    struct Services {
        // Shows a message box owned by the program; answers the button pressed.
        std::function<int(const std::wstring& text, UINT type)> messageBox;
        // Opens the web page of a link word ("translation") in the browser.
        std::function<void(const char* word)> openLink;
    };

    CLanguages(const CLangPackMan& packs, Services services);
    ~CLanguages();
    CLanguages(const CLanguages&) = delete;
    CLanguages& operator=(const CLanguages&) = delete;

    // Runs the dialog until OK or Cancel: IDOK or IDCANCEL, -1 when it could not be shown.
    INT_PTR DoModal(HWND parent);
    // Opens the dialog without waiting; it ends, and its window goes, with OK or Cancel.
    // False when it could not be shown.
    bool Create(HWND parent);
    HWND GetHwnd() const { return m_wnd; }
    // 0 while the dialog runs, then IDOK or IDCANCEL.
    INT_PTR GetEndCode() const { return m_endCode; }

    // After OK: the chosen pack's language tag, or its native name when it has none.
    const std::wstring& GetResult() const { return m_result; }

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void InsertColumn(int index, const std::wstring& heading);
    void FillList();
    void OnItemChanged(const NMLISTVIEW& change);
    void OnOk();
    void End(INT_PTR code);

    int ItemCount() const;
    int StateImage(int item) const;
    void SetStateImage(int item, int image);

    const CLangPackMan& m_packs;
    Services m_services;
    std::wstring m_description;
    std::wstring m_result;
    kest::win32::UniqueGdiObject m_linkFont;
    HWND m_wnd = nullptr;
    HWND m_list = nullptr;
    HWND m_link = nullptr;
    int m_checked = -1;
    bool m_modal = false;
    INT_PTR m_endCode = 0;
};
