#include "lang/Languages.h"

#include "lang/Iso639.h"
#include "lang/LanguagesResources.h"

#include <commctrl.h>

#include <vector>

namespace {

const wchar_t kNoPacksMessage[] = L"No language packs are installed. The language of the program will be english.";
// Checked and unchecked, as the list's check boxes number their state images.
const int kUnchecked = 1;
const int kChecked = 2;

// The English name of the language of the tag's first subtag; empty when it is not known.
std::wstring EnglishNameOf(const LanguageTag& tag) {
    const std::vector<std::wstring>& subtags = tag.GetSubtags();
    if (subtags.empty() || subtags[0].empty()) return {};
    const std::wstring& first = subtags[0];
    const int length = static_cast<int>(first.size());
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, first.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string code(static_cast<size_t>(bytes), '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, first.c_str(), length, code.data(), bytes, nullptr, nullptr) != bytes)
        return {};
    return EnglishLanguageName(code);
}

BOOL CALLBACK SetFontOnChild(HWND child, LPARAM font) {
    ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}

}  // namespace

CLanguages::CLanguages(const CLangPackMan& packs, Services services)
    : m_packs(packs),
      m_services(std::move(services)),
      m_description(Localize("CLanguages.LangDesc",
                             L"Please place a check-mark next to the language you would like to choose.")) {
    m_linkFont.reset(::CreateFontW(8, 0, 0, 0, FW_NORMAL, FALSE, TRUE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                   L"Ms Sans Serif"));
}

CLanguages::~CLanguages() {
    // A modeless dialog still open goes with its object; a modal one is gone by now.
    if (m_wnd && ::IsWindow(m_wnd)) ::DestroyWindow(m_wnd);
}

INT_PTR CLanguages::DoModal(HWND parent) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    if (!::InitCommonControlsEx(&controls)) return -1;
    m_modal = true;
    m_endCode = 0;
    const INT_PTR code = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LANGUAGES), parent,
                                           &CLanguages::DialogProc, reinterpret_cast<LPARAM>(this));
    m_wnd = nullptr;
    return code;
}

bool CLanguages::Create(HWND parent) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    if (!::InitCommonControlsEx(&controls)) return false;
    m_modal = false;
    m_endCode = 0;
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LANGUAGES), parent,
                                &CLanguages::DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

INT_PTR CALLBACK CLanguages::DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CLanguages*>(lParam);
        ::SetWindowLongPtrW(wnd, DWLP_USER, lParam);
        self->m_wnd = wnd;
    }
    auto* self = reinterpret_cast<CLanguages*>(::GetWindowLongPtrW(wnd, DWLP_USER));
    if (!self) return FALSE;
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(wnd, DWLP_USER, 0);
        self->m_wnd = nullptr;
        self->m_list = self->m_link = nullptr;
        return FALSE;
    }
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's dialog code; the dialog stays as it was.
        return FALSE;
    }
}

INT_PTR CLanguages::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk();
            return TRUE;
        case IDCANCEL:
            End(IDCANCEL);
            return TRUE;
        case IDC_LANGUAGES_LINK:
            if (HIWORD(wParam) == STN_CLICKED && m_services.openLink) m_services.openLink("translation");
            return TRUE;
        default:
            return FALSE;
        }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->hwndFrom == m_list && header->code == LVN_ITEMCHANGED)
            OnItemChanged(*reinterpret_cast<const NMLISTVIEW*>(lParam));
        return FALSE;
    }
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == m_link) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, RGB(0, 0, 255));
            ::SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        return FALSE;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == m_link) {
            if (HCURSOR hand = ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_HAND_CURSOR))) {
                ::SetCursor(hand);
                ::SetWindowLongPtrW(m_wnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void CLanguages::OnInitDialog() {
    m_list = ::GetDlgItem(m_wnd, IDC_LANGUAGES_LIST);
    m_link = ::GetDlgItem(m_wnd, IDC_LANGUAGES_LINK);

    const LPARAM guiFont = reinterpret_cast<LPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
    ::SendMessageW(m_wnd, WM_SETFONT, static_cast<WPARAM>(guiFont), FALSE);
    ::EnumChildWindows(m_wnd, &SetFontOnChild, guiFont);

    ::SetWindowTextW(m_wnd, Localize("CLanguages.WindowTitle", L"Please choose a Language").c_str());
    ::SetDlgItemTextW(m_wnd, IDC_LANGUAGES_DESCRIPTION, m_description.c_str());
    ::SetDlgItemTextW(m_wnd, IDCANCEL, Localize("Global.CancelButton", L"&Cancel").c_str());
    ::SetDlgItemTextW(m_wnd, IDOK, Localize("Global.OkButton", L"&OK").c_str());
    ::SetDlgItemTextW(
        m_wnd, IDC_LANGUAGES_LINK,
        Localize("CLanguages.LanguageNotAvailabeLink", L"Is your language not available? Click here!").c_str());

    if (m_list) {
        const DWORD extended = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
        ::SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
        InsertColumn(0, Localize("CLanguages.NativeLanguageName", L"Native Language Name"));
        InsertColumn(1, Localize("CLanguages.EnglishLanguageName", L"English Language Name"));
        InsertColumn(2, Localize("CLanguages.Comments", L"Comments"));
        FillList();
    }

    if (m_link && m_linkFont) ::SendMessageW(m_link, WM_SETFONT, reinterpret_cast<WPARAM>(m_linkFont.get()), TRUE);
}

void CLanguages::InsertColumn(int index, const std::wstring& heading) {
    const int textWidth = static_cast<int>(
        ::SendMessageW(m_list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(heading.c_str())));
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = textWidth > 80 ? textWidth + 20 : 100;
    column.pszText = const_cast<wchar_t*>(heading.c_str());
    column.iSubItem = index;
    ::SendMessageW(m_list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void CLanguages::FillList() {
    const CLangPack* active = m_packs.GetActive();
    for (int i = 0; i < m_packs.GetCount(); ++i) {
        const CLangPack* pack = m_packs.GetAt(i);
        if (!pack) continue;
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(pack->GetNativeName().c_str());
        item.lParam = reinterpret_cast<LPARAM>(pack);
        // The list sorts itself: the answer is where the item went.
        const int at = static_cast<int>(::SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (at < 0) continue;
        const std::wstring englishName = EnglishNameOf(pack->GetLanguageTag());
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = const_cast<wchar_t*>(englishName.c_str());
        ::SendMessageW(m_list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
        sub.iSubItem = 2;
        sub.pszText = const_cast<wchar_t*>(pack->GetComment().c_str());
        ::SendMessageW(m_list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
    }

    // The active pack is looked for once every item has its place: an item inserted later
    // can sort in before it and move it down.
    const int count = ItemCount();
    m_checked = -1;
    if (active) {
        LVFINDINFOW find{};
        find.flags = LVFI_PARAM;
        find.lParam = reinterpret_cast<LPARAM>(active);
        const int at = static_cast<int>(::SendMessageW(m_list, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                                       reinterpret_cast<LPARAM>(&find)));
        if (at >= 0) {
            SetStateImage(at, kChecked);
            m_checked = at;
        }
    }
    if (m_checked < 0 && count > 0) {
        SetStateImage(0, kChecked);
        m_checked = 0;
    }
    if (m_checked >= 0) {
        // The checked item and the one after it, so that the choice is seen with what follows.
        ::SendMessageW(m_list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(m_checked), FALSE);
        if (m_checked + 1 < count)
            ::SendMessageW(m_list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(m_checked + 1), FALSE);
    }
}

int CLanguages::ItemCount() const {
    return m_list ? static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

int CLanguages::StateImage(int item) const {
    const auto state = static_cast<UINT>(
        ::SendMessageW(m_list, LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK));
    return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12);
}

void CLanguages::SetStateImage(int item, int image) {
    LVITEMW state{};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(image);
    ::SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
}

void CLanguages::OnItemChanged(const NMLISTVIEW& change) {
    if (!(change.uChanged & LVIF_STATE) || change.iItem < 0) return;
    if (!((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK)) return;
    const int image = static_cast<int>((change.uNewState & LVIS_STATEIMAGEMASK) >> 12);
    const int count = ItemCount();
    if (image == kChecked) {
        m_checked = change.iItem;
        for (int i = 0; i < count; ++i)
            if (i != change.iItem && StateImage(i) != kUnchecked) SetStateImage(i, kUnchecked);
    } else if (image == kUnchecked) {
        for (int i = 0; i < count; ++i)
            if (StateImage(i) != kUnchecked) return;
        // The last check mark went: the previous choice stays, as with radio buttons.
        if (m_checked >= 0 && m_checked < count) SetStateImage(m_checked, kChecked);
    }
}

void CLanguages::OnOk() {
    const int count = ItemCount();
    for (int i = 0; i < count; ++i) {
        if (StateImage(i) == kUnchecked) continue;
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        if (!::SendMessageW(m_list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) continue;
        const auto* pack = reinterpret_cast<const CLangPack*>(item.lParam);
        if (!pack) continue;
        m_result = pack->GetLanguageCode();
        End(IDOK);
        return;
    }
    if (m_services.messageBox) m_services.messageBox(kNoPacksMessage, MB_OK);
}

void CLanguages::End(INT_PTR code) {
    m_endCode = code;
    if (m_modal) {
        ::EndDialog(m_wnd, code);
    } else {
        ::DestroyWindow(m_wnd);
    }
}
