// The language dialog, driven through its window as a user would: what the list shows, how
// its check marks behave, what OK and Cancel give; and the language change behind the menu
// command, run through the dialog's modal loop.
#include "app/PyrlanApp.h"
#include "kest/win32/Handles.h"
#include "lang/Iso639.h"
#include "lang/Languages.h"
#include "lang/LanguagesResources.h"
#include "tests/app/AppTestFolder.h"
#include "tests/app/PackFiles.h"
#include "tests/app/ShellDoubles.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

using app_tests::CTempFolder;

struct PackFile {
    std::wstring name;  // after the product prefix
    std::vector<unsigned char> bytes;
};

// A pack folder of its own, scanned by the manager.
class PackFolder {
public:
    explicit PackFolder(const std::vector<PackFile>& packs) {
        for (const PackFile& pack : packs) m_folder.WriteBytes(L"OrdaviaStudio" + pack.name, pack.bytes);
    }
    void ScanInto(CLangPackMan& manager) const { manager.Scan(m_folder.Path(), L"OrdaviaStudio"); }

private:
    CTempFolder m_folder;
};

int FindPack(const CLangPackMan& manager, const std::wstring& nativeName) {
    for (int i = 0; i < manager.GetCount(); ++i)
        if (manager.GetAt(i)->GetNativeName() == nativeName) return i;
    return -1;
}

struct ListRow {
    std::wstring native, english, comment;
    int stateImage;
    bool operator==(const ListRow&) const = default;
};

void PrintTo(const ListRow& row, std::ostream* os) {
    auto narrow = [](const std::wstring& s) { return std::string(s.begin(), s.end()); };
    *os << "{" << narrow(row.native) << "|" << narrow(row.english) << "|" << narrow(row.comment) << "|"
        << row.stateImage << "}";
}

const int kUnchecked = 1, kChecked = 2;

// The open dialog seen from outside.
class DialogView {
public:
    explicit DialogView(HWND dialog) : m_dialog(dialog), m_list(::GetDlgItem(dialog, IDC_LANGUAGES_LIST)) {}

    HWND List() const { return m_list; }
    int Count() const { return static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring Cell(int item, int column) const {
        wchar_t text[256] = {};
        LVITEMW lv{};
        lv.iSubItem = column;
        lv.pszText = text;
        lv.cchTextMax = 256;
        ::SendMessageW(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
        return text;
    }
    int StateImage(int item) const {
        return static_cast<int>((static_cast<UINT>(::SendMessageW(m_list, LVM_GETITEMSTATE, static_cast<WPARAM>(item),
                                                                  LVIS_STATEIMAGEMASK)) &
                                 LVIS_STATEIMAGEMASK) >>
                                12);
    }
    std::vector<ListRow> Rows() const {
        std::vector<ListRow> rows;
        for (int i = 0; i < Count(); ++i) rows.push_back({Cell(i, 0), Cell(i, 1), Cell(i, 2), StateImage(i)});
        return rows;
    }
    std::vector<int> Checked() const {
        std::vector<int> checked;
        for (int i = 0; i < Count(); ++i)
            if (StateImage(i) != kUnchecked) checked.push_back(i);
        return checked;
    }
    // A click on the item's check box toggles it; the list tells the dialog.
    void ToggleCheck(int item) const {
        LVITEMW state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(StateImage(item) == kChecked ? kUnchecked : kChecked);
        ::SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
    }
    void Click(int id) const { ::SendMessageW(::GetDlgItem(m_dialog, id), BM_CLICK, 0, 0); }
    std::wstring Text(int id) const { return WindowText(::GetDlgItem(m_dialog, id)); }
    static std::wstring WindowText(HWND wnd) {
        wchar_t text[512] = {};
        ::GetWindowTextW(wnd, text, 512);
        return text;
    }

private:
    HWND m_dialog;
    HWND m_list;
};

class LanguagesDialog : public ::testing::Test {
protected:
    CLangPackMan m_manager;
    std::vector<std::string> m_links;
    std::vector<std::wstring> m_messages;

    CLanguages::Services Services() {
        CLanguages::Services services;
        services.messageBox = [this](const std::wstring& text, UINT type) {
            EXPECT_EQ(static_cast<UINT>(MB_OK), type);
            m_messages.push_back(text);
            return IDOK;
        };
        services.openLink = [this](const char* word) { m_links.push_back(word); };
        return services;
    }
};

// Packs of both formats; sorted by native name they stand as Deutsch, English, Français,
// Klingon, Plain.
std::vector<PackFile> MixedPacks() {
    return {
        {L"_fr.brvLang", app_tests::ResourcePackBytes(L"fr", L"Fran\x00E7" L"ais", L"Traduction compl\x00E8te")},
        {L"_plain.brvLang", app_tests::FlatPackBytes(L"Plain", L"no tag")},
        {L"_de.brvLang", app_tests::ResourcePackBytes(L"de-DE", L"Deutsch", L"")},
        {L"_tlh.brvLang", app_tests::ResourcePackBytes(L"x-custom", L"Klingon", L"private use")},
        {L"_en.brvLang", app_tests::ResourcePackBytes(L"ENG-us", L"English", L"three letters")},
    };
}

TEST_F(LanguagesDialog, ListsEveryPackSortedWithEnglishNamesAndTheActiveOneChecked) {
    PackFolder folder(MixedPacks());
    folder.ScanInto(m_manager);
    ASSERT_EQ(5, m_manager.GetCount());
    m_manager.Activate(FindPack(m_manager, L"Fran\x00E7" L"ais"));
    ASSERT_NE(nullptr, m_manager.GetActive());

    CLanguages dialog(m_manager, Services());
    ASSERT_TRUE(dialog.Create(nullptr));
    DialogView view(dialog.GetHwnd());
    EXPECT_EQ((std::vector<ListRow>{
                  {L"Deutsch", L"German", L"", kUnchecked},
                  {L"English", L"English", L"three letters", kUnchecked},
                  {L"Fran\x00E7" L"ais", L"French", L"Traduction compl\x00E8te", kChecked},
                  {L"Klingon", L"", L"private use", kUnchecked},
                  {L"Plain", L"", L"no tag", kUnchecked},
              }),
              view.Rows());
    const DWORD extended = static_cast<DWORD>(::SendMessageW(view.List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
              extended & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT));
}

TEST_F(LanguagesDialog, TextsColumnsAndTheLink) {
    PackFolder folder(MixedPacks());
    folder.ScanInto(m_manager);
    CLanguages dialog(m_manager, Services());
    ASSERT_TRUE(dialog.Create(nullptr));
    DialogView view(dialog.GetHwnd());
    EXPECT_EQ(L"Please choose a Language", DialogView::WindowText(dialog.GetHwnd()));
    EXPECT_EQ(L"Please place a check-mark next to the language you would like to choose.",
              view.Text(IDC_LANGUAGES_DESCRIPTION));
    EXPECT_EQ(L"&OK", view.Text(IDOK));
    EXPECT_EQ(L"&Cancel", view.Text(IDCANCEL));
    EXPECT_EQ(L"Is your language not available? Click here!", view.Text(IDC_LANGUAGES_LINK));

    const wchar_t* headings[] = {L"Native Language Name", L"English Language Name", L"Comments"};
    for (int i = 0; i < 3; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = text;
        column.cchTextMax = 64;
        ASSERT_TRUE(::SendMessageW(view.List(), LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(std::wstring(headings[i]), text);
        EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
        const int textWidth = static_cast<int>(
            ::SendMessageW(view.List(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(headings[i])));
        EXPECT_EQ(textWidth > 80 ? textWidth + 20 : 100, column.cx) << "column " << i;
    }

    // The link: underlined, blue on the dialog's own background, with the hand over it.
    HWND link = ::GetDlgItem(dialog.GetHwnd(), IDC_LANGUAGES_LINK);
    LOGFONTW font{};
    auto linkFont = reinterpret_cast<HGDIOBJ>(::SendMessageW(link, WM_GETFONT, 0, 0));
    ASSERT_TRUE(linkFont && ::GetObjectW(linkFont, sizeof font, &font));
    EXPECT_TRUE(font.lfUnderline);
    EXPECT_EQ(8, font.lfHeight);
    EXPECT_EQ(FW_NORMAL, font.lfWeight);
    EXPECT_EQ(std::wstring(L"Ms Sans Serif"), font.lfFaceName);
    kest::win32::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    EXPECT_NE(0, ::SendMessageW(dialog.GetHwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                                reinterpret_cast<LPARAM>(link)));
    EXPECT_EQ(RGB(0, 0, 255), ::GetTextColor(dc.get()));
    EXPECT_EQ(TRANSPARENT, ::GetBkMode(dc.get()));
    EXPECT_TRUE(::SendMessageW(dialog.GetHwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link),
                               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_HAND_CURSOR)), ::GetCursor());
    EXPECT_NE(nullptr, ::GetCursor());

    // A click on it opens the translation page.
    ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::SendMessageW(link, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"translation"}), m_links);
    EXPECT_TRUE(::IsWindow(dialog.GetHwnd()));
}

TEST_F(LanguagesDialog, CheckMarksBehaveLikeRadioButtons) {
    PackFolder folder(MixedPacks());
    folder.ScanInto(m_manager);
    m_manager.Activate(FindPack(m_manager, L"Deutsch"));
    CLanguages dialog(m_manager, Services());
    ASSERT_TRUE(dialog.Create(nullptr));
    DialogView view(dialog.GetHwnd());
    ASSERT_EQ(std::vector<int>{0}, view.Checked());

    view.ToggleCheck(3);  // checking another unchecks the previous one
    EXPECT_EQ(std::vector<int>{3}, view.Checked());
    view.ToggleCheck(1);
    EXPECT_EQ(std::vector<int>{1}, view.Checked());
    view.ToggleCheck(1);  // unchecking the only one checks it again
    EXPECT_EQ(std::vector<int>{1}, view.Checked());
    EXPECT_EQ(kChecked, view.StateImage(1));
}

struct OkCase {
    const char* name;
    const wchar_t* check;  // native name of the item checked before OK
    const wchar_t* result;
};

class LanguagesOk : public LanguagesDialog, public ::testing::WithParamInterface<OkCase> {};

TEST_P(LanguagesOk, GivesTheTagOrTheNativeNameAndCloses) {
    PackFolder folder(MixedPacks());
    folder.ScanInto(m_manager);
    CLanguages dialog(m_manager, Services());
    ASSERT_TRUE(dialog.Create(nullptr));
    DialogView view(dialog.GetHwnd());
    for (int i = 0; i < view.Count(); ++i)
        if (view.Cell(i, 0) == GetParam().check && view.StateImage(i) != kChecked) view.ToggleCheck(i);
    view.Click(IDOK);
    EXPECT_EQ(IDOK, dialog.GetEndCode());
    EXPECT_EQ(GetParam().result, dialog.GetResult());
    EXPECT_FALSE(::IsWindow(dialog.GetHwnd()));
    EXPECT_TRUE(m_messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Packs, LanguagesOk,
                         ::testing::Values(OkCase{"Tag", L"Deutsch", L"de-DE"},
                                           OkCase{"TagAsWritten", L"English", L"ENG-us"},
                                           OkCase{"PrivateTag", L"Klingon", L"x-custom"},
                                           OkCase{"FlatPackGivesItsName", L"Plain", L"Plain"}),
                         [](const ::testing::TestParamInfo<OkCase>& info) { return std::string(info.param.name); });

TEST_F(LanguagesDialog, WithoutAnActivePackTheFirstItemIsChecked) {
    PackFolder folder(MixedPacks());
    folder.ScanInto(m_manager);
    ASSERT_EQ(nullptr, m_manager.GetActive());
    CLanguages dialog(m_manager, Services());
    ASSERT_TRUE(dialog.Create(nullptr));
    DialogView view(dialog.GetHwnd());
    EXPECT_EQ(std::vector<int>{0}, view.Checked());
    EXPECT_EQ(L"Deutsch", view.Cell(0, 0));
}

TEST_F(LanguagesDialog, ActivePackFarDownIsScrolledIntoView) {
    std::vector<PackFile> packs;
    for (int i = 0; i < 30; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"Language %02d", i);
        packs.push_back({L"_" + std::to_wstring(i) + L".brvLang", app_tests::ResourcePackBytes(L"", name, L"")});
    }
    PackFolder folder(packs);
    folder.ScanInto(m_manager);
    m_manager.Activate(FindPack(m_manager, L"Language 25"));
    ASSERT_NE(nullptr, m_manager.GetActive());
    CLanguages dialog(m_manager, Services());
    ASSERT_TRUE(dialog.Create(nullptr));
    DialogView view(dialog.GetHwnd());
    ASSERT_EQ(std::vector<int>{25}, view.Checked());
    const int top = static_cast<int>(::SendMessageW(view.List(), LVM_GETTOPINDEX, 0, 0));
    const int perPage = static_cast<int>(::SendMessageW(view.List(), LVM_GETCOUNTPERPAGE, 0, 0));
    EXPECT_GT(top, 0);
    EXPECT_LE(top, 25);
    EXPECT_GE(top + perPage - 1, 26);
}

TEST_F(LanguagesDialog, NoPacksOkReportsAndStaysCancelCloses) {
    CLanguages dialog(m_manager, Services());
    ASSERT_TRUE(dialog.Create(nullptr));
    DialogView view(dialog.GetHwnd());
    EXPECT_EQ(0, view.Count());
    view.Click(IDOK);
    EXPECT_EQ((std::vector<std::wstring>{
                  L"No language packs are installed. The language of the program will be english."}),
              m_messages);
    EXPECT_TRUE(::IsWindow(dialog.GetHwnd()));
    EXPECT_EQ(0, dialog.GetEndCode());
    view.Click(IDCANCEL);
    EXPECT_EQ(IDCANCEL, dialog.GetEndCode());
    EXPECT_EQ(L"", dialog.GetResult());
    EXPECT_FALSE(::IsWindow(dialog.GetHwnd()));
}

TEST_F(LanguagesDialog, CancelKeepsTheResultEmpty) {
    PackFolder folder(MixedPacks());
    folder.ScanInto(m_manager);
    CLanguages dialog(m_manager, Services());
    ASSERT_TRUE(dialog.Create(nullptr));
    DialogView view(dialog.GetHwnd());
    view.ToggleCheck(2);
    view.Click(IDCANCEL);
    EXPECT_EQ(IDCANCEL, dialog.GetEndCode());
    EXPECT_EQ(L"", dialog.GetResult());
}

TEST_F(LanguagesDialog, TextsComeFromTheActivePack) {
    PackFolder folder({{L"_nb.brvLang", app_tests::ResourcePackBytes(L"nb-NO", L"Norsk", L"",
                                                                      {{"CLanguages.WindowTitle", L"Velg et spr\x00E5k"},
                                                                       {"CLanguages.Comments", L"Merknader"},
                                                                       {"Global.OkButton", L"&Greit"}})}});
    folder.ScanInto(m_manager);
    m_manager.Activate(0);
    SetLocalizer(&m_manager);
    CLanguages dialog(m_manager, Services());
    const bool created = dialog.Create(nullptr);
    SetLocalizer(nullptr);
    ASSERT_TRUE(created);
    DialogView view(dialog.GetHwnd());
    EXPECT_EQ(L"Velg et spr\x00E5k", DialogView::WindowText(dialog.GetHwnd()));
    EXPECT_EQ(L"&Greit", view.Text(IDOK));
    EXPECT_EQ(L"&Cancel", view.Text(IDCANCEL));
    EXPECT_EQ((std::vector<ListRow>{{L"Norsk", L"Bokm\x00E5l, Norwegian; Norwegian Bokm\x00E5l", L"", kChecked}}), view.Rows());
}

// ---------------------------------------------------------------------------------------------
// English names by code

TEST(Iso639, EnglishNamesByCode) {
    struct Case {
        const char* code;
        const wchar_t* name;
    };
    const Case cases[] = {
        {"de", L"German"},   {"DE", L"German"},  {"ger", L"German"},   {"deu", L"German"},   {"sq", L"Albanian"},
        {"alb", L"Albanian"}, {"SQI", L"Albanian"}, {"ace", L"Achinese"}, {"d", L""},      {"", L""},
        {"germ", L""},       {"al", L""},        {"alb/sqi", L""},     {"xx", L""},
        // The list's "qaa-qtz" is a range, not the code qaa: a table code must end where the
        // code asked for ends.
        {"qaa", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(std::wstring(c.name), EnglishLanguageName(c.code)) << c.code;
}

TEST(Iso639, TableIsOrderedByItsFirstCode) {
    const auto languages = Iso639Languages();
    ASSERT_GT(languages.size(), 400u);
    for (size_t i = 1; i < languages.size(); ++i)
        EXPECT_LT(std::string(languages[i - 1].codes), std::string(languages[i].codes)) << i;
}

// ---------------------------------------------------------------------------------------------
// The language change behind the menu command

// Answers the dialog once it is up, from inside its modal loop.
struct DialogAnswer {
    int button = IDOK;
    const wchar_t* check = nullptr;  // native name to check first
    bool answered = false;
    std::wstring caption;
};
DialogAnswer g_answer;

BOOL CALLBACK FindLanguageDialog(HWND wnd, LPARAM found) {
    if (::GetDlgItem(wnd, IDC_LANGUAGES_LIST)) {
        *reinterpret_cast<HWND*>(found) = wnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindLanguageDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog || g_answer.answered) return;
    ::KillTimer(nullptr, timer);
    g_answer.answered = true;
    g_answer.caption = DialogView::WindowText(dialog);
    DialogView view(dialog);
    if (g_answer.check)
        for (int i = 0; i < view.Count(); ++i)
            if (view.Cell(i, 0) == g_answer.check && view.StateImage(i) != kChecked) view.ToggleCheck(i);
    view.Click(g_answer.button);
}

class LanguageChange : public ::testing::Test {
protected:
    const std::wstring kKey = L"OrdaviaTests\\Languages" + std::to_wstring(::GetCurrentProcessId());
    CPyrlanApp m_app{CPyrlanApp::InstanceGuard::None, kKey};
    app_tests::CMessageRecorder m_messages;
    UINT_PTR m_timer = 0;

    void SetUp() override {
        Remove();
        m_app.m_appName = m_app.m_displayName;
        m_app.SetRegistryKey(kKey);
        m_app.m_profileName.clear();
    }
    void TearDown() override {
        if (m_timer) ::KillTimer(nullptr, m_timer);
        Remove();
    }
    void Remove() {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"SOFTWARE\\" + kKey).c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\OrdaviaTests");
    }
    void Answer(int button, const wchar_t* check) {
        g_answer = DialogAnswer{};
        g_answer.button = button;
        g_answer.check = check;
        m_timer = ::SetTimer(nullptr, 0, 20, &AnswerDialog);
        ASSERT_NE(0u, m_timer);
    }
};

TEST_F(LanguageChange, OkStoresTheChoiceAndSaysWhenItTakesEffect) {
    PackFolder folder(MixedPacks());
    folder.ScanInto(m_app.m_langPackMan);
    m_app.m_langPackMan.Activate(FindPack(m_app.m_langPackMan, L"English"));
    Answer(IDOK, L"Klingon");
    m_app.RunMenuCommand(2000);
    ASSERT_TRUE(g_answer.answered);
    EXPECT_EQ(L"Please choose a Language", g_answer.caption);
    ASSERT_EQ(1u, m_messages.Shown().size());
    EXPECT_EQ(L"The application will use the new language the next time the application is started",
              m_messages.Shown()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), m_messages.Shown()[0].type);
    EXPECT_EQ(L"x-custom", m_app.ReadProductString(L"General", L"Language", L"(none)"));
    // The active language stays for this run.
    EXPECT_EQ(L"English", m_app.m_langPackMan.GetActive()->GetNativeName());
}

TEST_F(LanguageChange, ChoiceThatCannotBeStoredIsNotPromisedButReported) {
    PackFolder folder(MixedPacks());
    folder.ScanInto(m_app.m_langPackMan);
    m_app.SetRegistryKey(L"");  // no settings key: profile writes fail
    Answer(IDOK, L"Deutsch");
    m_app.RunMenuCommand(2000);
    ASSERT_TRUE(g_answer.answered);
    ASSERT_EQ(1u, m_messages.Shown().size());
    EXPECT_EQ(L"The language could not be saved. The application will keep its current language.",
              m_messages.Shown()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), m_messages.Shown()[0].type);
}

TEST_F(LanguageChange, CancelStoresNothing) {
    PackFolder folder(MixedPacks());
    folder.ScanInto(m_app.m_langPackMan);
    Answer(IDCANCEL, L"Klingon");
    m_app.RunMenuCommand(2000);
    ASSERT_TRUE(g_answer.answered);
    EXPECT_TRUE(m_messages.Shown().empty());
    EXPECT_EQ(L"(none)", m_app.ReadProductString(L"General", L"Language", L"(none)"));
}

}  // namespace
