// The store handlers: registry sections through the real registry editor (Wine's under test),
// folders and files, and stores that aim their entries outside what a handler owns.
#include "Archives.h"
#include "kapp/AppmanError.h"
#include "kapp/DataStoreHandlers.h"
#include "kapp/RegistryFileCheck.h"
#include "kest/System.h"
#include "kest/win32/Handles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kapp_test {
namespace {

using kapp::CFileHandler;
using kapp::CFolderHandler;
using kapp::CRegistrySectionHandler;
using kapp::CZipLoadManager;
using kapp::CZipSaveManager;
using kest::String;
using kest::win32::UniqueRegKey;

const int kAll = kapp::SaveToStore | kapp::RemoveFromHost | kapp::RestoreFromStore;

// A key of the test's own: Software\OrdaviaTests\<test>-<process>, removed afterwards.
class RegistryKey {
public:
    RegistryKey() {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(info->name()) + "-" + std::to_string(::GetCurrentProcessId());
        m_path = L"Software\\OrdaviaTests\\" + std::wstring(name.begin(), name.end());
    }
    ~RegistryKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str()), ::RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str()); }
    // The key path as handlers take it, with its leading "\".
    std::wstring KeyPath(const std::wstring& below = L"") const { return L"\\" + m_path + below; }
    std::wstring Path(const std::wstring& below = L"") const { return m_path + below; }

    static void SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
        UniqueRegKey k;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                   k.put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                                  DWORD((value.size() + 1) * sizeof(wchar_t))));
    }
    static std::wstring GetText(const std::wstring& key, const wchar_t* name) {
        wchar_t buffer[512] = {};
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
            return L"<missing>";
        return buffer;
    }
    static bool KeyExists(const std::wstring& key) {
        UniqueRegKey k;
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS;
    }

private:
    std::wstring m_path;
};

// Saves one handler into a new archive; returns its element.
std::unique_ptr<wxXmlDocument> SaveOne(kapp::IDataStoreHandler& handler, const std::wstring& archive, bool saved = true) {
    auto description = kapp::NewDescription();
    CZipSaveManager save(Uri(archive).Get());
    handler.Save(save, *description->GetRoot(), kapp::kUserSection);
    save.AddXmlDocument(*description, String(kapp::kDescriptionEntry));
    save.Commit();
    if (saved) handler.Saved();
    return description;
}

void LoadOne(kapp::IDataStoreHandler& handler, const std::wstring& archive) {
    CZipLoadManager load(Uri(archive).Get());
    auto description = load.LoadXmlDocument(String(kapp::kDescriptionEntry));
    ASSERT_TRUE(description);
    for (wxXmlNode* item = description->GetRoot()->GetChildren(); item; item = item->GetNext())
        handler.Load(load, *item, kapp::kUserSection);
}

TEST(RegistryHandler, ExportsDeletesAndImportsTheKeyThroughTheRegistryEditor) {
    ASSERT_FALSE(kapp::FindOnSearchPath(L"regedit.exe").empty());
    RegistryKey key;
    const std::wstring section = key.Path(L"\\A\\B");
    RegistryKey::SetText(section, L"Name", L"value \u00E9\u65E5");
    RegistryKey::SetText(section + L"\\Sub", L"Deep", L"below");
    TempFolder folder;
    const std::wstring archive = folder / L"data.db";

    CRegistrySectionHandler handler(String("HKEY_CURRENT_USER\\") + kapp::FromStd(key.KeyPath(L"\\A\\B")).Substring(1),
                                    String("HKEY_CURRENT_USER"), kapp::FromStd(key.KeyPath(L"\\A\\B")), kAll);
    auto description = SaveOne(handler, archive, false);
    // Until the archive is in place the key stays: a failed save must not lose it.
    EXPECT_TRUE(RegistryKey::KeyExists(section));
    handler.Saved();
    EXPECT_FALSE(RegistryKey::KeyExists(section));
    EXPECT_TRUE(RegistryKey::KeyExists(key.Path(L"\\A"))) << "only the section's own key goes";

    const wxXmlNode* item = description->GetRoot()->GetChildren();
    ASSERT_TRUE(item);
    EXPECT_EQ("2", item->GetAttribute("type"));
    EXPECT_EQ(wxString(L"HKEY_CURRENT_USER" + key.KeyPath(L"\\A\\B")), item->GetAttribute("name"));
    EXPECT_EQ("regsection.1.reg", item->GetAttribute("destination"));
    {
        CZipLoadManager load(Uri(archive).Get());
        EXPECT_TRUE(load.HasEntry(String("regsection.1.reg")));
    }

    LoadOne(handler, archive);
    EXPECT_EQ(L"value \u00E9\u65E5", RegistryKey::GetText(section, L"Name"));
    EXPECT_EQ(L"below", RegistryKey::GetText(section + L"\\Sub", L"Deep"));
}

// Without a registry editor nothing is exported: the key then exists nowhere else and stays,
// through the removal after the save and the clearing after a first run.
TEST(RegistryHandler, AKeyThatCouldNotBeExportedStaysOnTheHost) {
    RegistryKey key;
    const std::wstring section = key.Path(L"\\A\\B");
    RegistryKey::SetText(section, L"Name", L"only here");
    TempFolder folder;
    CRegistrySectionHandler handler(kapp::FromStd(L"HKEY_CURRENT_USER" + key.KeyPath(L"\\A\\B")), String("HKEY_CURRENT_USER"),
                                    kapp::FromStd(key.KeyPath(L"\\A\\B")), kAll, L"no-such-registry-editor.exe");
    SaveOne(handler, folder / L"data.db");
    handler.Clear();
    EXPECT_EQ(L"only here", RegistryKey::GetText(section, L"Name"));
    {
        CZipLoadManager load(Uri(folder / L"data.db").Get());
        EXPECT_FALSE(load.HasEntry(String("regsection.1.reg")));
    }
    // A later clearing, not right after a failed save, removes it as the flags ask.
    handler.Clear();
    EXPECT_FALSE(RegistryKey::KeyExists(section));
}

std::wstring FakeEditor() {
    return BuildFile(KAPP_FAKE_EDITOR);
}

// Sets an environment variable for the programs the test starts, and takes it away again.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value) : m_name(name) { ::SetEnvironmentVariableW(name, value); }
    ~ScopedEnvironment() { ::SetEnvironmentVariableW(m_name, nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const wchar_t* m_name;
};

// Only an editor that finished in time with exit code 0 has exported the key: otherwise the
// export file may be cut short, and the key must stay where it is.
TEST(RegistryHandler, AnExportThatFailedIsNotCountedAndTheKeyStays) {
    RegistryKey key;
    const std::wstring section = key.Path(L"\\A\\B");
    TempFolder folder;
    const std::wstring archive = folder / L"data.db";
    ScopedEnvironment failing(L"KAPP_FAKE_EDITOR_EXIT", L"1");
    RegistryKey::SetText(section, L"Name", L"only here");
    CRegistrySectionHandler handler(kapp::FromStd(L"HKEY_CURRENT_USER" + key.KeyPath(L"\\A\\B")),
                                    String("HKEY_CURRENT_USER"), kapp::FromStd(key.KeyPath(L"\\A\\B")), kAll,
                                    FakeEditor());
    auto description = SaveOne(handler, archive);
    EXPECT_TRUE(handler.SaveIncomplete()) << "the save reports it";
    EXPECT_EQ(L"only here", RegistryKey::GetText(section, L"Name")) << "not removed after the save";
    handler.Clear();
    EXPECT_EQ(L"only here", RegistryKey::GetText(section, L"Name")) << "not removed by the first run's clearing";
    EXPECT_EQ("true", description->GetRoot()->GetChildren()->GetAttribute("onhost"));
    CZipLoadManager load(Uri(archive).Get());
    EXPECT_FALSE(load.HasEntry(String("regsection.1.reg"))) << "a failed export is not stored";
}

// The registry file lies in the user's temporary folder: from its check until the editor is done
// no other program may change it.
TEST(RegistryHandler, TheCheckedRegistryFileCannotBeChangedBeforeTheEditorReadsIt) {
    RegistryKey key;
    TempFolder folder;
    const std::wstring own = L"HKEY_CURRENT_USER\\" + key.Path(L"\\Own");
    const std::wstring report = folder / L"report.txt";
    ScopedEnvironment reporting(L"KAPP_FAKE_EDITOR_REPORT", report.c_str());
    CRegistrySectionHandler handler(kapp::FromStd(own), String("HKEY_CURRENT_USER"), kapp::FromStd(key.KeyPath(L"\\Own")),
                                    kapp::RestoreFromStore, FakeEditor());
    const std::wstring text = L"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[" + own + L"]\r\n";
    WriteArchive(folder / L"data.db",
                 "<appmanager><regentry_user type=\"2\" name=\"" + Attr(own) +
                     "\" destination=\"regsection.1.reg\"/></appmanager>",
                 {{L"regsection.1.reg", std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2)}});
    LoadOne(handler, folder / L"data.db");
    EXPECT_EQ("held", ReadBytes(report));
}

TEST(RunProgram, ReportsTheExitCodeAndEndsAProgramThatTakesTooLong) {
    {
        ScopedEnvironment code(L"KAPP_FAKE_EDITOR_EXIT", L"7");
        const kapp::RunResult result = kapp::RunProgram(FakeEditor(), L"", 30);
        EXPECT_EQ(0u, result.startError);
        EXPECT_TRUE(result.finished);
        EXPECT_EQ(7u, result.exitCode);
        EXPECT_FALSE(result.Succeeded());
    }
    {
        ScopedEnvironment hang(L"KAPP_FAKE_EDITOR_HANG", L"1");
        const DWORD start = ::GetTickCount();
        const kapp::RunResult result = kapp::RunProgram(FakeEditor(), L"", 1);
        EXPECT_FALSE(result.finished);
        EXPECT_FALSE(result.Succeeded());
        EXPECT_LT(::GetTickCount() - start, 20000u);
    }
    EXPECT_TRUE(kapp::RunProgram(FakeEditor(), L"", 30).Succeeded());
}

// "Remove from host" removes the key at the stop whatever "save to store" says; with "save to
// store" only once the key is safely stored.
TEST(RegistryHandler, RemoveFromHostRemovesTheKeyAfterTheSave) {
    RegistryKey key;
    const std::wstring section = key.Path(L"\\A\\B");
    TempFolder folder;
    struct Case {
        int flags;
        bool removed;
    };
    const Case cases[] = {
        {kapp::RemoveFromHost, true},
        {kapp::RemoveFromHost | kapp::RestoreFromStore, true},
        {kapp::SaveToStore | kapp::RemoveFromHost, true},
        {kapp::RestoreFromStore, false},
        {kapp::SaveToStore | kapp::RestoreFromStore, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        RegistryKey::SetText(section, L"Name", L"value");
        CRegistrySectionHandler handler(kapp::FromStd(L"HKEY_CURRENT_USER" + key.KeyPath(L"\\A\\B")),
                                        String("HKEY_CURRENT_USER"), kapp::FromStd(key.KeyPath(L"\\A\\B")), c.flags);
        SaveOne(handler, folder / L"data.db");
        EXPECT_EQ(!c.removed, RegistryKey::KeyExists(section));
        EXPECT_FALSE(handler.SaveIncomplete());
    }
}

TEST(RegistryHandler, AKeyRightBelowTheRootIsNeverDeleted) {
    const std::wstring top = L"OrdaviaTestsTop-" + std::to_wstring(::GetCurrentProcessId());
    RegistryKey::SetText(top, L"Keep", L"yes");
    CRegistrySectionHandler handler(String("HKEY_CURRENT_USER\\") + kapp::FromStd(top), String("HKEY_CURRENT_USER"),
                                    kapp::FromStd(L"\\" + top), kAll);
    handler.Clear();
    EXPECT_TRUE(RegistryKey::KeyExists(top));
    TempFolder folder;
    SaveOne(handler, folder / L"data.db");
    EXPECT_TRUE(RegistryKey::KeyExists(top));
    {
        CZipLoadManager load(Uri(folder / L"data.db").Get());
        EXPECT_TRUE(load.HasEntry(String("regsection.1.reg"))) << "exported all the same";
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, top.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, top.c_str());
}

// The keys above a section that its restore created leave with the section; keys that were
// there before, or that hold something else by then, stay. A run that ended without its stop
// left them behind: the store names them, so the run after it still removes them.
TEST(RegistryHandler, TheKeysAboveTheSectionThatTheRestoreMadeGoWithIt) {
    RegistryKey key;
    RegistryKey::SetText(key.Path(), L"Mine", L"the test's own key");
    const std::wstring sectionPath = key.KeyPath(L"\\A\\B\\C");
    const std::wstring section = key.Path(L"\\A\\B\\C");
    auto handler = [&] {
        return std::make_unique<CRegistrySectionHandler>(kapp::FromStd(L"HKEY_CURRENT_USER" + sectionPath),
                                                         String("HKEY_CURRENT_USER"), kapp::FromStd(sectionPath), kAll);
    };
    TempFolder folder;
    const std::wstring initial = folder / L"init.db";
    RegistryKey::SetText(section, L"Name", L"value");
    SaveOne(*handler(), initial);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.Path(L"\\A").c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key.Path(L"\\A").c_str());

    struct Case {
        const char* what;
        const wchar_t* before;  // a value put there before the start, or none
        const wchar_t* during;  // a value put there while the program runs, or none
        bool aGoes, bGoes;
    };
    const Case cases[] = {
        {"nothing above existed", nullptr, nullptr, true, true},
        {"A existed", L"\\A", nullptr, false, true},
        {"something else came to live in A", nullptr, L"\\A\\Other", false, true},
        {"B holds a value of its own by the stop", nullptr, L"\\A\\B", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.before) RegistryKey::SetText(key.Path(c.before), L"Before", L"x");
        auto run = handler();
        run->Clear();
        LoadOne(*run, initial);
        ASSERT_EQ(L"value", RegistryKey::GetText(section, L"Name"));
        if (c.during) RegistryKey::SetText(key.Path(c.during), L"During", L"x");
        SaveOne(*run, folder / L"data.db");
        EXPECT_FALSE(RegistryKey::KeyExists(section));
        EXPECT_EQ(!c.bGoes, RegistryKey::KeyExists(key.Path(L"\\A\\B")));
        EXPECT_EQ(!c.aGoes, RegistryKey::KeyExists(key.Path(L"\\A")));
        EXPECT_TRUE(RegistryKey::KeyExists(key.Path())) << "a key that was there before the start";
        ::RegDeleteTreeW(HKEY_CURRENT_USER, key.Path(L"\\A").c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, key.Path(L"\\A").c_str());
    }

    // A first run writes the store; the second ends hard after its restore; the third finds
    // the keys above the section there, and removes them all the same.
    const std::wstring store = folder / L"store.db";
    {
        auto first = handler();
        first->Clear();
        LoadOne(*first, initial);
        SaveOne(*first, store);
    }
    EXPECT_FALSE(RegistryKey::KeyExists(key.Path(L"\\A")));
    {
        auto endedHard = handler();
        endedHard->Clear();
        LoadOne(*endedHard, store);
    }
    EXPECT_TRUE(RegistryKey::KeyExists(section));
    auto third = handler();
    third->Clear();
    LoadOne(*third, store);
    EXPECT_EQ(L"value", RegistryKey::GetText(section, L"Name"));
    SaveOne(*third, folder / L"store2.db");
    EXPECT_FALSE(RegistryKey::KeyExists(key.Path(L"\\A")));
    EXPECT_TRUE(RegistryKey::KeyExists(key.Path()));
}

TEST(RegistryHandler, RootNamesThatNameNoRootAreError13) {
    for (const char* root : {"HKEY_CURRENT_USER\\Software", "HKEY/CURRENT_USER", "HKEY_NOWHERE", "hkey_current_user", ""}) {
        try {
            CRegistrySectionHandler handler(String("x"), String(root), String("\\Software\\X"), kAll);
            ADD_FAILURE() << root << ": no error";
        } catch (const kapp::CAppmanError& e) {
            EXPECT_EQ(13, e.code) << root;
        }
    }
}

// A registry file in a store is applied only when every key in it lies in the handler's key.
TEST(RegistryHandler, AStoreCannotWriteKeysOutsideTheSection) {
    RegistryKey key;
    TempFolder folder;
    const std::wstring own = L"HKEY_CURRENT_USER\\" + key.Path(L"\\Own");
    const std::wstring other = L"HKEY_CURRENT_USER\\" + key.Path(L"\\Other");
    CRegistrySectionHandler handler(kapp::FromStd(own), String("HKEY_CURRENT_USER"), kapp::FromStd(key.KeyPath(L"\\Own")),
                                    kapp::RestoreFromStore);
    auto regFile = [](const std::wstring& body) {
        std::wstring text = L"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n" + body;
        return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    };
    struct Case {
        const char* name;
        std::wstring body;
        bool applied;
    };
    const Case cases[] = {
        {"own key", L"[" + own + L"]\r\n\"V\"=\"own\"\r\n", true},
        {"own sub-key", L"[" + own + L"\\Sub]\r\n\"V\"=\"sub\"\r\n", true},
        {"other key", L"[" + own + L"]\r\n\"V\"=\"x\"\r\n[" + other + L"]\r\n\"V\"=\"evil\"\r\n", false},
        {"sibling by prefix", L"[" + own + L"X]\r\n\"V\"=\"evil\"\r\n", false},
        {"deletion elsewhere", L"[-" + other + L"]\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, key.Path().c_str());
        RegistryKey::SetText(key.Path(L"\\Other"), L"Keep", L"yes");
        const std::wstring archive = folder / L"data.db";
        WriteArchive(archive,
                     "<appmanager version=\"1\"><regentry_user type=\"2\" name=\"" + Attr(own) +
                         "\" destination=\"regsection.1.reg\"/></appmanager>",
                     {{L"regsection.1.reg", regFile(c.body)}});
        LoadOne(handler, archive);
        EXPECT_EQ(c.applied, RegistryKey::KeyExists(key.Path(L"\\Own"))) << "applied";
        EXPECT_EQ(L"yes", RegistryKey::GetText(key.Path(L"\\Other"), L"Keep"));
        EXPECT_EQ(L"<missing>", RegistryKey::GetText(key.Path(L"\\Other"), L"V"));
        EXPECT_FALSE(RegistryKey::KeyExists(key.Path(L"\\OwnX")));
    }
}

std::string Utf16(const std::wstring& text, bool bigEndian = false) {
    std::string bytes;
    for (wchar_t c : text) {
        const char low = char(c & 0xFF), high = char((c >> 8) & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// The check reads only the two forms the registry editor writes, and counts every line that the
// editor could take for a key line.
TEST(RegistryHandler, OnlyTheEditorsOwnFormsWithKeysInsideTheSectionPass) {
    const std::wstring own = L"HKEY_CURRENT_USER\\Software\\OrdaviaTests\\Own";
    const std::wstring other = L"HKEY_LOCAL_MACHINE\\Software\\Elsewhere";
    CRegistrySectionHandler handler(kapp::FromStd(own), String("HKEY_CURRENT_USER"),
                                    String("\\Software\\OrdaviaTests\\Own"), kapp::RestoreFromStore);
    const std::wstring header = L"Windows Registry Editor Version 5.00\r\n\r\n";
    const std::string mark = "\xFF\xFE";
    auto unicode = [&](const std::wstring& body) { return mark + Utf16(header + body); };
    auto ansi = [&](const std::string& body) { return "REGEDIT4\r\n\r\n" + body; };
    const std::string ownAnsi = Narrow(own), otherAnsi = Narrow(other);
    struct Case {
        const char* name;
        std::string bytes;
        bool confined;
    };
    const Case cases[] = {
        {"unicode, own key", unicode(L"[" + own + L"]\r\n\"V\"=\"x\"\r\n[-" + own + L"\\Sub]\r\n"), true},
        {"8-bit, own key", ansi("[" + ownAnsi + "\\Sub]\r\n\"V\"=\"[" + otherAnsi + "]\"\r\n"), true},
        {"unicode, other key", unicode(L"[" + other + L"]\r\n"), false},
        {"unicode without its mark", Utf16(header + L"[" + other + L"]\r\n"), false},
        {"big-endian unicode", "\xFE\xFF" + Utf16(header + L"[" + other + L"]\r\n", true), false},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + ansi("[" + otherAnsi + "]\r\n"), false},
        {"form feed before the key", unicode(L"\f[" + other + L"]\r\n"), false},
        {"no-break space before the key", unicode(L"\u00A0[" + other + L"]\r\n"), false},
        {"byte order mark before the key", unicode(L"\uFEFF[" + other + L"]\r\n"), false},
        {"key after a lone carriage return", unicode(L"\"V\"=\"x\"\r[" + other + L"]\r\n"), false},
        {"NUL byte in 8-bit text", ansi("\"V\"=\"x\"" + std::string(1, '\0') + "[" + otherAnsi + "]\r\n"), false},
        {"no header", mark + Utf16(L"[" + own + L"]\r\n"), false},
        {"another header", mark + Utf16(L"Windows Registry Editor Version 9.00\r\n[" + own + L"]\r\n"), false},
        {"odd length", unicode(L"[" + own + L"]\r\n") + "x", false},
        {"empty", "", false},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(folder / L"r.reg", c.bytes);
        EXPECT_EQ(c.confined, handler.IsFileConfined(folder / L"r.reg"));
    }
}

// A registry file of any size is read in pieces; a key line longer than any key is refused.
TEST(RegistryHandler, AHugeRegistryFileIsCheckedWithoutHoldingIt) {
    const std::wstring own = L"HKEY_CURRENT_USER\\Software\\X";
    kapp::CRegistryFileCheck check(own);
    const std::string start = "\xFF\xFE" + Utf16(L"Windows Registry Editor Version 5.00\r\n[" + own + L"]\r\n\"V\"=\"");
    check.Feed(reinterpret_cast<const uint8_t*>(start.data()), start.size());
    const std::string value = Utf16(std::wstring(1 << 20, L'a'));
    for (int i = 0; i < 64; ++i) check.Feed(reinterpret_cast<const uint8_t*>(value.data()), value.size());
    const std::string end = Utf16(L"\"\r\n");
    check.Feed(reinterpret_cast<const uint8_t*>(end.data()), end.size());
    EXPECT_TRUE(check.Finish()) << "a long value line is no key line";

    kapp::CRegistryFileCheck longKey(own);
    const std::string key = "\xFF\xFE" + Utf16(L"Windows Registry Editor Version 5.00\r\n[" + own + L"\\");
    longKey.Feed(reinterpret_cast<const uint8_t*>(key.data()), key.size());
    for (int i = 0; i < 2; ++i) longKey.Feed(reinterpret_cast<const uint8_t*>(value.data()), value.size());
    EXPECT_FALSE(longKey.Finish());
}

TEST(RegistryHandler, AHostileDestinationStaysInTheWorkingFolder) {
    RegistryKey key;
    TempFolder folder;
    const std::wstring own = L"HKEY_CURRENT_USER\\" + key.Path(L"\\Own");
    CRegistrySectionHandler handler(kapp::FromStd(own), String("HKEY_CURRENT_USER"), kapp::FromStd(key.KeyPath(L"\\Own")),
                                    kapp::RestoreFromStore);
    const std::wstring escape = folder / L"escaped.reg";
    WriteArchive(folder / L"data.db",
                 "<appmanager><regentry_user type=\"2\" name=\"" + Attr(own) + "\" destination=\"" + Attr(escape) +
                     "\"/><regentry_user type=\"2\" name=\"" + Attr(own) + "\" destination=\"..\\escaped2.reg\"/></appmanager>",
                 {{escape, "x"}, {L"..\\escaped2.reg", "x"}});
    LoadOne(handler, folder / L"data.db");
    EXPECT_EQ(std::vector<std::wstring>{L"data.db"}, List(folder.Path()));
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    EXPECT_FALSE(Exists(std::wstring(temp, n) + L"escaped2.reg"));
}

TEST(FolderHandler, AMissingFolderIsNotAvailableAndHasNoChildren) {
    TempFolder folder;
    CFolderHandler handler(String("x"), Uri(folder / L"none\\").Get(), kAll);
    auto description = SaveOne(handler, folder / L"data.db");
    const wxXmlNode* item = description->GetRoot()->GetChildren();
    EXPECT_EQ("1", item->GetAttribute("type"));
    EXPECT_EQ("false", item->GetAttribute("available"));
    EXPECT_EQ(nullptr, item->GetChildren());
    handler.Clear();
    EXPECT_FALSE(Exists(folder / L"none"));
}

TEST(FolderHandler, SavesAFlatListOfFilesAndRestoresThem) {
    TempFolder folder;
    const std::wstring data = folder / L"data\\";
    WriteBytes(data + L"a.txt", "a");
    WriteBytes(data + L"sub\\b.txt", "b");
    WriteBytes(data + L"sub\\deeper\\c.txt", "c");
    WriteBytes(data + L"hidden.txt", "h");
    ::SetFileAttributesW((data + L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    ::CreateDirectoryW((data + L"empty").c_str(), nullptr);
    CFolderHandler handler(kapp::FromStd(data), Uri(data).Get(), kAll);
    auto description = SaveOne(handler, folder / L"data.db");
    const wxXmlNode* item = description->GetRoot()->GetChildren();
    EXPECT_EQ("true", item->GetAttribute("available"));
    std::vector<std::wstring> saved;
    for (const wxXmlNode* child = item->GetChildren(); child; child = child->GetNext()) {
        EXPECT_EQ("regentry_user", child->GetName());
        EXPECT_EQ("0", child->GetAttribute("type"));
        EXPECT_EQ("true", child->GetAttribute("available"));
        saved.push_back(child->GetAttribute("destination").ToStdWstring());
    }
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ((std::vector<std::wstring>{data + L"a.txt", data + L"hidden.txt", data + L"sub\\b.txt",
                                         data + L"sub\\deeper\\c.txt"}),
              saved);

    handler.Clear();
    EXPECT_FALSE(Exists(data));
    LoadOne(handler, folder / L"data.db");
    EXPECT_EQ("a", ReadBytes(data + L"a.txt"));
    EXPECT_EQ("c", ReadBytes(data + L"sub\\deeper\\c.txt"));
    EXPECT_EQ("h", ReadBytes(data + L"hidden.txt"));
    EXPECT_FALSE(Exists(data + L"empty")) << "empty folders leave no trace";
}

// A store holding one folder section whose files, each "payload", go to the given destinations.
template <size_t N>
void WriteFolderStore(const std::wstring& store, const std::wstring& folder, const std::wstring (&targets)[N]) {
    std::string xml = "<appmanager><regentry_user type=\"1\" name=\"" + Attr(folder) + "\">";
    std::vector<ArchiveEntry> entries;
    for (const std::wstring& target : targets) {
        xml += "<regentry_user type=\"0\" available=\"true\" destination=\"" + Attr(target) + "\"/>";
        entries.push_back({target, "payload"});
    }
    xml += "</regentry_user></appmanager>";
    WriteArchive(store, xml, entries);
}

TEST(FolderHandler, AHostileStoreWritesNothingOutsideTheFolder) {
    TempFolder folder;
    const std::wstring data = folder / L"reg\\";
    CFolderHandler handler(kapp::FromStd(data), Uri(data).Get(), kAll);
    const std::wstring targets[] = {
        data + L"..\\outside.txt",
        data + L"sub\\..\\..\\outside2.txt",
        folder / L"regx\\sibling.txt",
        folder / L"outside3.txt",
        L"Z:" + data.substr(2) + L"otherdrive.txt",
        data + L"CON",
        data + L"nul.txt",
        data + L"good.txt:stream",
        L"\\\\.\\" + data + L"device.txt",
        L"\\\\?\\" + data + L"..\\outside4.txt",
        L"relative\\x.txt",
        data + L"good.txt",
    };
    WriteFolderStore(folder / L"data.db", data, targets);
    LoadOne(handler, folder / L"data.db");
    EXPECT_EQ((std::vector<std::wstring>{L"data.db", L"reg"}), List(folder.Path()));
    EXPECT_EQ(std::vector<std::wstring>{L"good.txt"}, List(data));
    EXPECT_EQ("payload", ReadBytes(data + L"good.txt"));
    EXPECT_FALSE(Exists(L"Z:" + data.substr(2) + L"otherdrive.txt"));
}

// Makes link a junction (a mount point) to the folder target; false where the file system
// cannot.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
    kest::win32::UniqueFile folder(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) return false;
    const std::wstring substitute = L"\\??\\" + target, print = target;
    // The mount point layout of a reparse buffer: tag, lengths, then both names with their NULs.
    std::vector<uint8_t> buffer(8 + 8 + (substitute.size() + print.size() + 2) * sizeof(wchar_t));
    auto put16 = [&](size_t at, size_t value) {
        buffer[at] = uint8_t(value);
        buffer[at + 1] = uint8_t(value >> 8);
    };
    const uint32_t tag = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT
    for (int i = 0; i < 4; ++i) buffer[i] = uint8_t(tag >> (8 * i));
    put16(4, buffer.size() - 8);
    put16(8, 0);
    put16(10, substitute.size() * sizeof(wchar_t));
    put16(12, (substitute.size() + 1) * sizeof(wchar_t));
    put16(14, print.size() * sizeof(wchar_t));
    std::memcpy(buffer.data() + 16, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
    std::memcpy(buffer.data() + 16 + (substitute.size() + 1) * sizeof(wchar_t), print.c_str(),
                (print.size() + 1) * sizeof(wchar_t));
    DWORD returned = 0;
    return ::DeviceIoControl(folder.get(), 0x000900A4 /* FSCTL_SET_REPARSE_POINT */, buffer.data(), DWORD(buffer.size()),
                             nullptr, 0, &returned, nullptr) != FALSE;
}

// A junction planted inside the folder does not take a restored file outside it.
TEST(FolderHandler, ARestoreDoesNotWriteThroughAJunctionInsideTheFolder) {
    TempFolder folder;
    const std::wstring data = folder / L"data\\";
    const std::wstring outside = folder / L"outside";
    ::CreateDirectoryW(data.c_str(), nullptr);
    ::CreateDirectoryW(outside.c_str(), nullptr);
    // Only a junction that the file system follows shows anything.
    const bool made = MakeJunction(data + L"link", outside);
    WriteBytes(data + L"link\\probe.txt", "x");
    if (!made || !Exists(outside + L"\\probe.txt")) GTEST_SKIP() << "junctions are not followed on this file system";
    ::DeleteFileW((outside + L"\\probe.txt").c_str());
    CFolderHandler handler(kapp::FromStd(data), Uri(data).Get(), kapp::RestoreFromStore);
    const std::wstring targets[] = {data + L"link\\evil.txt", data + L"link\\deeper\\evil.txt", data + L"good.txt"};
    WriteFolderStore(folder / L"data.db", data, targets);
    LoadOne(handler, folder / L"data.db");
    EXPECT_EQ(std::vector<std::wstring>{}, List(outside));
    EXPECT_EQ("payload", ReadBytes(data + L"good.txt"));
    ::RemoveDirectoryW((data + L"link").c_str());
}

TEST(FileHandler, WithoutSaveToStoreTheElementHasNoDestinationAndNothingIsRestored) {
    TempFolder folder;
    const std::wstring file = folder / L"f.txt";
    WriteBytes(file, "content");
    CFileHandler handler(kapp::FromStd(file), Uri(file).Get(), kapp::RemoveFromHost | kapp::RestoreFromStore);
    auto description = SaveOne(handler, folder / L"data.db");
    const wxXmlNode* item = description->GetRoot()->GetChildren();
    EXPECT_EQ("0", item->GetAttribute("type"));
    EXPECT_EQ("true", item->GetAttribute("available"));
    EXPECT_FALSE(item->HasAttribute("destination"));
    handler.Clear();
    EXPECT_FALSE(Exists(file));
    LoadOne(handler, folder / L"data.db");
    EXPECT_FALSE(Exists(file));
}

TEST(FileHandler, RestoresOnlyToItsOwnPath) {
    TempFolder folder;
    const std::wstring file = folder / L"f.txt";
    CFileHandler handler(kapp::FromStd(file), Uri(file).Get(), kAll);
    struct Case {
        const char* name;
        std::wstring destination;
        const char* available;
        bool restored;
    };
    const Case cases[] = {
        {"own path", file, "true", true},
        {"own path in capitals", file, "TRUE", true},
        {"not available", file, "false", false},
        {"no available", file, nullptr, false},
        {"another file", folder / L"other.txt", "true", false},
        {"dot-dot to itself", folder / L"x\\..\\f.txt", "true", false},
        {"stream of itself", file + L":s", "true", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::DeleteFileW(file.c_str());
        std::string xml = "<appmanager><regentry_user type=\"0\" name=\"" + Attr(file) + "\" destination=\"" +
                          Attr(c.destination) + "\"";
        if (c.available) xml += std::string(" available=\"") + c.available + "\"";
        xml += "/></appmanager>";
        WriteArchive(folder / L"data.db", xml, {{c.destination, "stored"}});
        LoadOne(handler, folder / L"data.db");
        EXPECT_EQ(c.restored, Exists(file));
        EXPECT_EQ((c.restored ? std::vector<std::wstring>{L"data.db", L"f.txt"} : std::vector<std::wstring>{L"data.db"}),
                  List(folder.Path()));
    }
}

TEST(RunAndWait, StartsTheProgramAndReportsAFailedStart) {
    const std::wstring cmd = kapp::FindOnSearchPath(L"cmd.exe");
    ASSERT_FALSE(cmd.empty());
    EXPECT_TRUE(kapp::FindOnSearchPath(L"no-such-program-here.exe").empty());
    TempFolder folder;
    const std::wstring marker = folder / L"ran.txt";
    EXPECT_EQ(0u, kapp::RunAndWait(cmd, L"/c echo x> \"" + marker + L"\"", 30));
    EXPECT_TRUE(Exists(marker));
    EXPECT_EQ(uint32_t(ERROR_FILE_NOT_FOUND), kapp::RunAndWait(folder / L"missing.exe", L"", 1));
}

}  // namespace
}  // namespace kapp_test
