// The normal and portable managers: their states and errors, registrations, the runs from the
// initial archive and from the store, stores that fail or cannot be read, temporary folders.
#include "Archives.h"
#include "kapp/ApplicationManager.h"
#include "kapp/CryptedFileStream.h"
#include "kapp/PortableAppManager.h"
#include "kest/Error.h"
#include "kest/System.h"
#include "kest/win32/Handles.h"

#include <gtest/gtest.h>

#include <functional>

namespace kapp_test {
namespace {

using kapp::CAppmanError;
using kapp::CPortableAppManager;
using kapp::IApplicationManager;
using kest::String;

const int kAll = kapp::SaveToStore | kapp::RemoveFromHost | kapp::RestoreFromStore;

int CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CAppmanError& e) {
        return e.code;
    }
    return 0;
}

std::unique_ptr<IApplicationManager> MakePortable(const TempFolder& app) {
    return kapp::CreateApplicationManager(app.Path().c_str(), (app / L"datastore\\data.db").c_str(),
                                          (app / L"init.zip").c_str(), true);
}

std::unique_ptr<IApplicationManager> MakeNormal(const TempFolder&) {
    return kapp::CreateApplicationManager(L"", L"", L"", false);
}

struct StateCase {
    const char* name;
    std::function<void(IApplicationManager&)> action;
    int code;
};

TEST(Managers, EveryCallOutOfOrderRaisesItsCode) {
    const StateCase cases[] = {
        {"stop before start", [](IApplicationManager& m) { m.Stop(); }, 10},
        {"stop twice", [](IApplicationManager& m) { m.Start(), m.Stop(), m.Stop(); }, 10},
        {"start twice", [](IApplicationManager& m) { m.Start(), m.Start(); }, 12},
        {"section when started", [](IApplicationManager& m) { m.Start(), m.AddRegistrySection(L"HKEY_CURRENT_USER", L"S\\X", 7); }, 12},
        {"folder when started", [](IApplicationManager& m) { m.Start(), m.AddFolder(L"C:\\x\\", 7); }, 12},
        {"file when started", [](IApplicationManager& m) { m.Start(), m.AddFile(L"C:\\x.txt", 7); }, 12},
        {"start, stop, start, stop", [](IApplicationManager& m) { m.Start(), m.Stop(), m.Start(), m.Stop(); }, 0},
    };
    for (auto make : {&MakeNormal, &MakePortable}) {
        for (const StateCase& c : cases) {
            TempFolder app;
            auto manager = make(app);
            SCOPED_TRACE(std::string(c.name) + (manager->IsPortable() ? " (portable)" : " (normal)"));
            EXPECT_EQ(c.code, CodeOf([&] { c.action(*manager); }));
            // Releasing a started manager is refused, and it stays; once stopped it goes.
            auto* started = dynamic_cast<kapp::CApplicationManager*>(manager.get());
            if (started->IsStarted()) {
                EXPECT_EQ(11, CodeOf([&] { kapp::DeleteApplicationManager(manager); }));
                ASSERT_TRUE(manager);
                manager->Stop();
            }
            kapp::DeleteApplicationManager(manager);
            EXPECT_FALSE(manager);
        }
    }
}

TEST(Managers, RegistryRootsAreCheckedOnlyByThePortableManager) {
    TempFolder app;
    auto normal = MakeNormal(app);
    auto portable = MakePortable(app);
    for (const wchar_t* root : {L"HKEY_CURRENT_USER\\Software", L"HKEY/X", L"HKEY_NOWHERE"}) {
        EXPECT_TRUE(normal->AddRegistrySection(root, L"Software\\X", kAll));
        EXPECT_EQ(13, CodeOf([&] { portable->AddRegistrySection(root, L"Software\\X", kAll); }));
    }
}

TEST(Managers, TheNormalManagerKeepsNothing) {
    TempFolder app;
    auto manager = MakeNormal(app);
    EXPECT_FALSE(manager->IsPortable());
    EXPECT_TRUE(manager->AddRegistrySection(L"HKEY_CURRENT_USER", L"Software\\X", kAll));
    EXPECT_TRUE(manager->AddRegistrySection(L"HKEY_CURRENT_USER", L"Software\\X", kAll));
    EXPECT_TRUE(manager->AddFolder(L"C:\\x", kAll));
    EXPECT_TRUE(manager->AddFile(L"C:\\x.txt", kAll));
    EXPECT_TRUE(manager->Start());
    const std::wstring temp = manager->GetTempFolder();
    EXPECT_TRUE(Exists(temp));
    EXPECT_TRUE(manager->Stop());
    EXPECT_FALSE(Exists(temp));
}

struct NameCase {
    const char* call;
    std::function<bool(IApplicationManager&)> add;
    const wchar_t* name;
};

TEST(Managers, PortableRegistrationsNameTheirHandlers) {
    const NameCase cases[] = {
        {"section with slashes", [](IApplicationManager& m) { return m.AddRegistrySection(L"HKEY_CURRENT_USER", L"Software/X", kAll); },
         L"HKEY_CURRENT_USER\\Software\\X"},
        {"section with its backslash", [](IApplicationManager& m) { return m.AddRegistrySection(L"HKEY_LOCAL_MACHINE", L"\\Software\\X", kAll); },
         L"HKEY_LOCAL_MACHINE\\Software\\X"},
        {"folder without backslash", [](IApplicationManager& m) { return m.AddFolder(L"C:/data", kAll); }, L"C:\\data\\"},
        {"file naming a folder", [](IApplicationManager& m) { return m.AddFile(L"C:/data/", kAll); }, L"C:\\data\\"},
        {"file", [](IApplicationManager& m) { return m.AddFile(L"C:/data/f.txt", kAll); }, L"C:\\data\\f.txt"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.call);
        TempFolder app;
        auto manager = MakePortable(app);
        auto& portable = dynamic_cast<CPortableAppManager&>(*manager);
        EXPECT_TRUE(c.add(*manager));
        ASSERT_EQ(1u, portable.HandlerCount());
        kapp::IDataStoreHandler* handler = portable.FindHandler(String(c.name));
        ASSERT_NE(nullptr, handler);
        const bool isFolder = std::wstring(c.name).back() == L'\\' && std::wstring(c.name).find(L"HKEY") != 0;
        EXPECT_EQ(isFolder, dynamic_cast<kapp::CFolderHandler*>(handler) != nullptr);
        EXPECT_FALSE(c.add(*manager)) << "a second registration of the same item";
        EXPECT_EQ(1u, portable.HandlerCount());
    }
}

TEST(Managers, ThePortableManagerNeedsAnAdministrator) {
    TempFolder app;
    EXPECT_FALSE(kapp::IsUserAdministratorOn(1)) << "not of the NT family";
    EXPECT_EQ(9, CodeOf([&] {
                  CPortableAppManager manager(app.Path(), app / L"datastore\\data.db", app / L"init.zip", [] { return false; });
              }));
    // Wine's user is an administrator.
    EXPECT_TRUE(kapp::IsUserAdministrator());
    auto manager = MakePortable(app);
    EXPECT_TRUE(manager->IsPortable());
    EXPECT_TRUE(Exists(app / L"datastore")) << "the store's folder is made at once";
}

// The product's run: the first from the initial archive, the next ones from the store.
TEST(PortableManager, FirstRunFromTheInitialArchiveThenFromTheStore) {
    TempFolder app;
    TempFolder host(L"host");
    const std::wstring settings = host / L"settings.ini";
    const std::wstring folder = host / L"profile\\";
    WriteArchive(app / L"init.zip",
                 "<appmanager version=\"1\">"
                 "<regentry_init type=\"0\" name=\"" + Attr(settings) + "\" available=\"true\" destination=\"" + Attr(settings) + "\"/>"
                 "<regentry_user type=\"0\" name=\"" + Attr(settings) + "\" available=\"true\" destination=\"wrong\"/>"
                 "</appmanager>",
                 {{settings, "initial"}});
    WriteBytes(settings, "left on the host");
    WriteBytes(folder + L"p.txt", "host profile");

    auto run = [&](const std::function<void()>& whileRunning) {
        auto manager = MakePortable(app);
        manager->AddFile(settings.c_str(), kAll);
        manager->AddFolder(folder.c_str(), kAll);
        manager->Start();
        whileRunning();
        manager->Stop();
        kapp::DeleteApplicationManager(manager);
    };

    run([&] {
        EXPECT_EQ("initial", ReadBytes(settings));
        EXPECT_FALSE(Exists(folder)) << "cleared, and the initial archive has nothing for it";
        WriteBytes(settings, "first run");
        WriteBytes(folder + L"sub\\q.txt", "made in the first run");
    });
    EXPECT_TRUE(Exists(app / L"datastore\\data.db"));
    EXPECT_FALSE(Exists(settings)) << "the first run clears the host after writing the store";
    EXPECT_FALSE(Exists(folder));

    run([&] {
        EXPECT_EQ("first run", ReadBytes(settings));
        EXPECT_EQ("made in the first run", ReadBytes(folder + L"sub\\q.txt"));
        WriteBytes(settings, "second run");
    });
    EXPECT_EQ("second run", ReadBytes(settings)) << "later runs leave the host as it is";

    run([&] { EXPECT_EQ("second run", ReadBytes(settings)); });
}

TEST(PortableManager, WithoutInitialArchiveTheHostIsClearedAndStartSucceeds) {
    TempFolder app;
    TempFolder host(L"host");
    WriteBytes(host / L"f.txt", "x");
    WriteBytes(host / L"keep.txt", "kept");
    auto manager = MakePortable(app);
    manager->AddFile((host / L"f.txt").c_str(), kAll);
    manager->AddFile((host / L"keep.txt").c_str(), kapp::SaveToStore | kapp::RestoreFromStore);
    EXPECT_TRUE(manager->Start());
    EXPECT_FALSE(Exists(host / L"f.txt"));
    EXPECT_EQ("kept", ReadBytes(host / L"keep.txt"));
    manager->Stop();
}

TEST(PortableManager, DescriptionsAreReadLeniently) {
    TempFolder app;
    TempFolder host(L"host");
    const std::wstring a = host / L"a.txt", b = host / L"b.txt", c = host / L"c.txt";
    WriteArchive(app / L"init.zip",
                 "<other version=\"7\">"
                 "<regentry_init type=\"0\" name=\"" + Attr(a) + "\" available=\"true\" destination=\"" + Attr(a) + "\"/>"
                 "<regentry_init type=\"0\" name=\"" + Attr(host / L"unregistered.txt") + "\" available=\"true\" destination=\"" + Attr(host / L"unregistered.txt") + "\"/>"
                 "<regentry_init name=\"" + Attr(b) + "\" available=\"true\" destination=\"" + Attr(b) + "\"/>"
                 "<regentry_init type=\"zero\" name=\"" + Attr(c) + "\" available=\"true\" destination=\"" + Attr(c) + "\"/>"
                 "</other>",
                 {{a, "a"}, {b, "b"}, {c, "c"}, {host / L"unregistered.txt", "u"}});
    auto manager = MakePortable(app);
    for (const std::wstring& file : {a, b, c}) manager->AddFile(file.c_str(), kAll);
    manager->Start();
    EXPECT_EQ("a", ReadBytes(a)) << "another root name and version are read all the same";
    EXPECT_FALSE(Exists(b)) << "no type matches no kind";
    EXPECT_EQ("c", ReadBytes(c)) << "letters read as type 0";
    EXPECT_FALSE(Exists(host / L"unregistered.txt"));
    manager->Stop();
}


TEST(PortableManager, ASaveThatFailsHalfwayLeavesThePreviousStoreByteIdentical) {
    TempFolder app;
    TempFolder host(L"host");
    const std::wstring folder = host / L"data\\";
    for (int i = 0; i < 20; ++i) WriteBytes(folder + L"f" + std::to_wstring(i) + L".bin", Noise(20000, uint32_t(i)));
    const std::wstring store = app / L"datastore\\data.db";
    {
        auto manager = MakePortable(app);
        manager->AddFolder(folder.c_str(), kapp::SaveToStore | kapp::RestoreFromStore);
        manager->Start();
        manager->Stop();
    }
    const std::string before = ReadBytes(store);
    ASSERT_GT(before.size(), 1000u);
    WriteBytes(folder + L"new.bin", "changed since");

    auto manager = MakePortable(app);
    auto& portable = dynamic_cast<CPortableAppManager&>(*manager);
    manager->AddFolder(folder.c_str(), kapp::SaveToStore | kapp::RestoreFromStore);
    manager->Start();
    portable.SetArchiveStreamOpener([](const wxString& path) {
        return std::unique_ptr<wxOutputStream>(std::make_unique<CFailingStream>(path, 30000));
    });
    EXPECT_THROW(manager->Stop(), kest::CError);
    EXPECT_TRUE(before == ReadBytes(store));
    // Still started, the session holds its lock beside the store.
    EXPECT_EQ((std::vector<std::wstring>{L"data.db", L"data.db.lock"}), List(app / L"datastore"));
    // Still started: the caller may try again, and a later save goes through.
    portable.SetArchiveStreamOpener({});
    EXPECT_TRUE(manager->Stop());
    EXPECT_TRUE(before != ReadBytes(store));
}

TEST(PortableManager, AnUnreadableStoreIsKeptAsideAndTheRunStartsAfresh) {
    struct Case {
        const char* name;
        std::function<void(const std::wstring&)> write;
    };
    const Case cases[] = {
        {"noise", [](const std::wstring& store) { WriteBytes(store, std::string(5000, '\x33')); }},
        {"no description", [](const std::wstring& store) { WriteArchive(store, "", {{L"a.txt", "a"}}); }},
        {"broken description",
         [](const std::wstring& store) {
             TempFolder scratch;
             WriteBytes(scratch / L"d.xml", "<appmanager><unclosed></appmanager>");
             kapp::CZipSaveManager save(Uri(store).Get());
             save.AddFileAs(Uri(scratch / L"d.xml").Get(), String(kapp::kDescriptionEntry));
             save.Commit();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder app;
        TempFolder host(L"host");
        const std::wstring file = host / L"f.txt";
        WriteArchive(app / L"init.zip",
                     "<appmanager><regentry_init type=\"0\" name=\"" + Attr(file) + "\" available=\"true\" destination=\"" +
                         Attr(file) + "\"/></appmanager>",
                     {{file, "initial"}});
        const std::wstring store = app / L"datastore\\data.db";
        c.write(store);
        const std::string unreadable = ReadBytes(store);
        auto manager = MakePortable(app);
        manager->AddFile(file.c_str(), kAll);
        manager->Start();
        EXPECT_EQ("initial", ReadBytes(file));
        const std::vector<std::wstring> names = List(app / L"datastore");
        ASSERT_EQ(2u, names.size()) << "the aside copy and the session's lock";
        EXPECT_EQ(L"data.db.lock", names[0]);
        EXPECT_EQ(0u, names[1].find(L"data.db.unreadable-")) << Narrow(names[1]);
        EXPECT_TRUE(unreadable == ReadBytes(app / (L"datastore\\" + names[1])));
        manager->Stop();
        EXPECT_EQ(2u, List(app / L"datastore").size());
    }
}

// A file is registered on its own or found below a registered folder.
struct ItemCase {
    const char* name;
    bool inFolder;
    bool laterRun;  // a store exists already
};
const ItemCase kItemCases[] = {
    {"file, first run", false, false},
    {"file, later run", false, true},
    {"folder file, first run", true, false},
    {"folder file, later run", true, true},
};

// One run of the portable manager with host\data\f.txt registered as a file or below its
// folder; Stop's answer.
bool RunOnce(const TempFolder& app, const TempFolder& host, bool inFolder, const std::function<void()>& whileRunning) {
    auto manager = MakePortable(app);
    if (inFolder) {
        EXPECT_TRUE(manager->AddFolder((host / L"data\\").c_str(), kAll));
    } else {
        EXPECT_TRUE(manager->AddFile((host / L"data\\f.txt").c_str(), kAll));
    }
    manager->Start();
    whileRunning();
    const bool complete = manager->Stop();
    kapp::DeleteApplicationManager(manager);
    return complete;
}

kest::win32::UniqueFile HoldWithoutSharing(const std::wstring& path) {
    kest::win32::UniqueFile held(
        ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(held) << Narrow(path);
    return held;
}

// A file that another program holds at Stop cannot be stored: it is not described as stored,
// not removed from the host, and the next start leaves it there.
TEST(PortableManager, AFileThatCannotBeReadAtStopStaysOnTheHost) {
    for (const ItemCase& c : kItemCases) {
        SCOPED_TRACE(c.name);
        TempFolder app;
        TempFolder host(L"host");
        const std::wstring file = host / L"data\\f.txt";
        if (c.laterRun) RunOnce(app, host, c.inFolder, [&] { WriteBytes(file, "stored"); });
        kest::win32::UniqueFile held;
        EXPECT_FALSE(RunOnce(app, host, c.inFolder, [&] {
            WriteBytes(file, "held");
            held = HoldWithoutSharing(file);
        })) << "Stop reports what it could not store";
        held.reset();
        EXPECT_EQ("held", ReadBytes(file));
        EXPECT_TRUE(RunOnce(app, host, c.inFolder, [&] { EXPECT_EQ("held", ReadBytes(file)) << "kept at the start"; }));
        RunOnce(app, host, c.inFolder, [&] { EXPECT_EQ("held", ReadBytes(file)) << "stored at last"; });
    }
}

// A file that could not be put back at the start (held by another program) is carried into the
// next store from the previous one; the host's stale copy does not replace it.
TEST(PortableManager, AFileThatDidNotComeBackIsCarriedIntoTheNextStore) {
    for (const ItemCase& c : kItemCases) {
        if (!c.laterRun) continue;
        SCOPED_TRACE(c.name);
        TempFolder app;
        TempFolder host(L"host");
        const std::wstring file = host / L"data\\f.txt";
        RunOnce(app, host, c.inFolder, [&] { WriteBytes(file, "stored"); });
        WriteBytes(file, "stale");
        kest::win32::UniqueFile held = HoldWithoutSharing(file);
        RunOnce(app, host, c.inFolder, [&] {
            held.reset();
            EXPECT_EQ("stale", ReadBytes(file)) << "not restored";
        });
        ::DeleteFileW(file.c_str());
        RunOnce(app, host, c.inFolder, [&] { EXPECT_EQ("stored", ReadBytes(file)); });
    }
}

// A registry file that the start refused is not lost with the next store either.
TEST(PortableManager, ARefusedRegistryFileIsCarriedIntoTheNextStore) {
    TempFolder app;
    const std::wstring key = L"Software\\OrdaviaTests\\Carried-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring name = L"HKEY_CURRENT_USER\\" + key;
    const std::string reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n\"V\"=\"x\"\r\n";
    WriteArchive(app / L"datastore\\data.db",
                 "<appmanager><regentry_user type=\"2\" name=\"" + Attr(name) +
                     "\" destination=\"regsection.1.reg\"/></appmanager>",
                 {{L"regsection.1.reg", reg}});
    auto manager = MakePortable(app);
    manager->AddRegistrySection(L"HKEY_CURRENT_USER", key.c_str(), kAll);
    manager->Start();
    manager->Stop();
    kapp::CZipLoadManager load(Uri(app / L"datastore\\data.db").Get());
    auto description = load.LoadXmlDocument(String(kapp::kDescriptionEntry));
    ASSERT_TRUE(description);
    const wxString entry = description->GetRoot()->GetChildren()->GetAttribute("destination");
    TempFolder out;
    ASSERT_TRUE(load.ExtractFile(kapp::FromWx(entry), Uri(out / L"r.reg").Get()));
    EXPECT_TRUE(reg == ReadBytes(out / L"r.reg"));
}

// Paths that could be saved but never restored are refused when they are registered.
TEST(Managers, PortableRegistrationsThatCouldNeverBeRestoredAreRefused) {
    const NameCase cases[] = {
        {"relative file", [](IApplicationManager& m) { return m.AddFile(L"data\\f.txt", kAll); }, nullptr},
        {"file stream", [](IApplicationManager& m) { return m.AddFile(L"C:\\data\\f.txt:s", kAll); }, nullptr},
        {"device name", [](IApplicationManager& m) { return m.AddFile(L"C:\\data\\nul.txt", kAll); }, nullptr},
        {"folder with dot-dot", [](IApplicationManager& m) { return m.AddFolder(L"C:\\data\\..\\x", kAll); }, nullptr},
        {"relative folder", [](IApplicationManager& m) { return m.AddFolder(L"data", kAll); }, nullptr},
        {"key with a trailing backslash", [](IApplicationManager& m) { return m.AddRegistrySection(L"HKEY_CURRENT_USER", L"Software\\X\\", kAll); }, nullptr},
        {"key with an empty part", [](IApplicationManager& m) { return m.AddRegistrySection(L"HKEY_CURRENT_USER", L"Software\\\\X", kAll); }, nullptr},
        {"the root itself", [](IApplicationManager& m) { return m.AddRegistrySection(L"HKEY_CURRENT_USER", L"", kAll); }, nullptr},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.call);
        TempFolder app;
        auto manager = MakePortable(app);
        EXPECT_FALSE(c.add(*manager));
        EXPECT_EQ(0u, dynamic_cast<CPortableAppManager&>(*manager).HandlerCount());
    }
}

// A store that another program holds is no damaged store: Start fails and clears nothing.
TEST(PortableManager, AStoreThatCannotBeOpenedFailsStartAndClearsNothing) {
    TempFolder app;
    TempFolder host(L"host");
    const std::wstring file = host / L"data\\f.txt";
    RunOnce(app, host, false, [&] { WriteBytes(file, "stored"); });
    WriteBytes(file, "on the host");
    const std::wstring store = app / L"datastore\\data.db";
    kest::win32::UniqueFile held(::CreateFileW(store.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    auto manager = MakePortable(app);
    manager->AddFile(file.c_str(), kAll);
    EXPECT_THROW(manager->Start(), kest::CError);
    EXPECT_EQ("on the host", ReadBytes(file));
    EXPECT_EQ(std::vector<std::wstring>{L"data.db"}, List(app / L"datastore")) << "not set aside";
    held.reset();
    EXPECT_TRUE(manager->Start());
    EXPECT_EQ("stored", ReadBytes(file));
    manager->Stop();
}

// Two sessions of one portable copy: the second cannot start while the first runs.
TEST(PortableManager, OneSessionAtATimeAndLeftoversOfACrashedSaveGo) {
    TempFolder app;
    TempFolder host(L"host");
    const std::wstring file = host / L"data\\f.txt";
    RunOnce(app, host, false, [&] { WriteBytes(file, "stored"); });
    WriteBytes(app / L"datastore\\data.db.0123ABCD.tmp", "left by a crash");
    WriteBytes(app / L"datastore\\data.db.notours.tmp", "someone else's");
    auto first = MakePortable(app);
    auto second = MakePortable(app);
    first->AddFile(file.c_str(), kAll);
    second->AddFile(file.c_str(), kAll);
    first->Start();
    EXPECT_FALSE(Exists(app / L"datastore\\data.db.0123ABCD.tmp"));
    EXPECT_TRUE(Exists(app / L"datastore\\data.db.notours.tmp"));
    WriteBytes(file, "first session");
    EXPECT_THROW(second->Start(), kest::CError);
    EXPECT_EQ("first session", ReadBytes(file)) << "the second start changes nothing";
    EXPECT_TRUE(first->Stop());
    EXPECT_TRUE(second->Start());
    EXPECT_EQ("first session", ReadBytes(file));
    second->Stop();
}

TEST(TempFolders, OneFolderUntilStopAndItsRules) {
    for (auto make : {&MakeNormal, &MakePortable}) {
        TempFolder app;
        auto manager = make(app);
        manager->Start();
        const std::wstring first = manager->GetTempFolder();
        EXPECT_EQ(first, std::wstring(manager->GetTempFolder()));
        EXPECT_EQ(first, std::wstring(manager->CreateTempFolderIn(L"")));
        EXPECT_EQ(first, std::wstring(manager->CreateTempFolderIn(nullptr)));
        std::wstring name = first;
        if (!name.empty() && name.back() == L'\\') name.pop_back();
        name = name.substr(name.find_last_of(L'\\') + 1);
        ASSERT_EQ(17u, name.size()) << Narrow(name);
        EXPECT_EQ(L"app_", name.substr(0, 4));
        EXPECT_EQ(L"_temp", name.substr(12));
        for (wchar_t c : name.substr(4, 8)) EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'));

        // A folder in a base of the caller's, made when missing; the previous one goes.
        std::wstring base = app / L"base/inner";
        const std::wstring second = manager->CreateTempFolderIn(base.c_str());
        EXPECT_EQ(0u, second.find(app / L"base\\inner\\app_")) << Narrow(second);
        EXPECT_TRUE(Exists(second));
        EXPECT_FALSE(Exists(first));
        EXPECT_EQ(second, std::wstring(manager->GetTempFolder()));

        // A base that cannot be made keeps the folder there is.
        EXPECT_EQ(second, std::wstring(manager->CreateTempFolderIn(L"Q:\\no\\such\\drive")));
        manager->Stop();
        EXPECT_FALSE(Exists(second));
    }
}

}  // namespace
}  // namespace kapp_test

namespace kapp_test {
namespace {

// The initial archive the build makes for the product reads as a data store with a description.
TEST(InitialArchive, TheProductsArchiveReadsAndStartsAFirstRun) {
    std::wstring path = L"Z:" + std::wstring(wxString(KAPP_INIT_ARCHIVE).ToStdWstring());
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    ASSERT_TRUE(Exists(path)) << Narrow(path);
    {
        kapp::CZipLoadManager load(Uri(path).Get());
        EXPECT_TRUE(load.IsReadable());
        auto description = load.LoadXmlDocument(String(kapp::kDescriptionEntry));
        ASSERT_TRUE(description);
        EXPECT_EQ("appmanager", description->GetRoot()->GetName());
        EXPECT_EQ("1", description->GetRoot()->GetAttribute("version"));
    }
    TempFolder app;
    CopyFileW(path.c_str(), (app / L"init.zip").c_str(), FALSE);
    auto manager = MakePortable(app);
    manager->AddRegistrySection(L"HKEY_CURRENT_USER", L"Software\\OrdaviaTests\\InitialArchive", kapp::RestoreFromStore);
    EXPECT_TRUE(manager->Start());
    manager->Stop();
    EXPECT_TRUE(Exists(app / L"datastore\\data.db"));
}

}  // namespace
}  // namespace kapp_test
