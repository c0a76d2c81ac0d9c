#include "MessagePump.h"
#include "TempFolder.h"

#include "kest/Error.h"
#include "kest/Stream.h"
#include "kest/System.h"
#include "kest/Thread.h"
#include "kest/win32/System.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <malloc.h>
#include <process.h>
#include <regex>
#include <string>

namespace kest_test {

using namespace kest;
using namespace kest::win32;

namespace {

String UriString(const P<IURI>& uri) {
    String text;
    uri->ToString(text);
    return text;
}

std::string Latin1(const String& text) {
    String converted = text.ConvertTo(Latin1Encoding());
    return std::string(static_cast<const char*>(converted.Data()), size_t(converted.ByteLength()));
}

void PutFile(const std::wstring& path, const char* content) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), content, DWORD(std::strlen(content)), &written, nullptr));
}

std::string FileText(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<missing>";
    char buffer[256];
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) return "<unreadable>";
    return std::string(buffer, read);
}

ISystem& System() { return *GetSystem(); }

}  // namespace

// ------------------------------------------------------------------------------ the system itself

TEST(System, OSNamesAndVersionTests) {
    struct Case {
        int32_t platform, major, minor;
        const char* servicePack;
        const char* name;
        bool nt, at98or2000, atMEor2000, at2000, atXP, atVista;
    } cases[] = {
        {2, 6, 1, "", "Windows 7", true, true, true, true, true, true},
        {2, 6, 1, "Service Pack 1", "Windows 7 Service Pack 1", true, true, true, true, true, true},
        {2, 6, 0, "", "Windows Vista", true, true, true, true, true, true},
        {2, 6, 2, "", "Windows 8", true, true, true, true, true, true},
        {2, 6, 3, "", "Windows 8.1", true, true, true, true, true, true},
        {2, 10, 0, "", "Windows NT 10.0", true, true, true, true, true, true},
        {2, 5, 0, "", "Windows 2000", true, true, true, true, false, false},
        {2, 5, 1, "Service Pack 3", "Windows XP Service Pack 3", true, true, true, true, true, false},
        {2, 5, 2, "", "Windows 2003 Server", true, true, true, true, true, false},
        {2, 4, 0, "", "Windows NT 4.0", true, false, false, false, false, false},
        {2, 3, 51, "", "Windows NT 3.51", true, false, false, false, false, false},
        {1, 4, 0, "", "Windows 95", false, false, false, false, false, false},
        {1, 4, 10, "", "Windows 98", false, true, false, false, false, false},
        {1, 4, 90, "", "Windows ME", false, true, true, false, false, false},
        {1, 3, 11, "", "Windows 3.11", false, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        OSVersion version;
        version.platform = c.platform;
        version.major = c.major;
        version.minor = c.minor;
        version.servicePack = String(c.servicePack);
        P<CSystem> system = New<CSystem>(&version);
        EXPECT_EQ(Latin1(system->GetOSName()), c.name);
        EXPECT_EQ(system->IsNT(), c.nt) << c.name;
        EXPECT_EQ(system->IsAtLeast98Or2000(), c.at98or2000) << c.name;
        EXPECT_EQ(system->IsAtLeastMEOr2000(), c.atMEor2000) << c.name;
        EXPECT_EQ(system->IsAtLeast2000(), c.at2000) << c.name;
        EXPECT_EQ(system->IsAtLeastXP(), c.atXP) << c.name;
        EXPECT_EQ(system->IsAtLeastVista(), c.atVista) << c.name;
    }
}

TEST(System, RunningSystem) {
    P<IWin32System> win32 = Cast<IWin32System>(GetSystem());
    ASSERT_TRUE(win32);
    EXPECT_TRUE(win32->IsNT());
    EXPECT_TRUE(System().GetOSName().StartsWith(String("Windows")));
    EXPECT_EQ(System().GetProcessId(), ::GetCurrentProcessId());
    EXPECT_GE(System().GetSystemInfo().processors, 1u);
    EXPECT_GT(System().GetMemoryStatus().totalPhysical, 0u);
    EXPECT_FALSE(System().GetUserName().IsEmpty());
    // Critical-error and open-file dialogs are off.
    EXPECT_EQ(::GetErrorMode() & 0x8001u, 0x8001u);

    // A library without the version export, or no library at all, gives the default.
    EXPECT_EQ(win32->GetDllVersion(String("kernel32.dll"), 0x40000), 0x40000);
    EXPECT_EQ(win32->GetDllVersion(String("no_such_library_here.dll"), 7), 7);
    EXPECT_GE(win32->GetShell32Version(), 0x40000);
    EXPECT_EQ(win32->GetShell32Version(), win32->GetShell32Version());

    void* block = win32->AllocShellMemory(16);
    EXPECT_NE(block, nullptr);
    win32->FreeShellMemory(block);
}

TEST(System, WellKnownFolders) {
    P<IURI> folders[] = {System().GetTempFolder(),    System().GetWindowsFolder(), System().GetCurrentFolder(),
                         System().GetAppDataFolder(), System().GetDesktopFolder(), System().GetDocumentsFolder()};
    for (const P<IURI>& folder : folders) {
        ASSERT_TRUE(folder);
        EXPECT_TRUE(UriString(folder).EndsWith(String("/"))) << Latin1(UriString(folder));
        EXPECT_TRUE(System().PathExists(folder.Get())) << Latin1(UriString(folder));
    }
    P<IWin32System> win32 = Cast<IWin32System>(GetSystem());
    EXPECT_TRUE(win32->GetSpecialFolder(0x24 /* the Windows folder */));
    EXPECT_FALSE(win32->GetSpecialFolder(0x7FFF));
}

TEST(System, ShellFolderFromItsSettings) {
    const struct Case {
        const wchar_t* text;
        bool nt;
        const char* uri;
    } cases[] = {
        {L"C:\\Users\\u\\AppData\\Local", true, "file:///C:/Users/u/AppData/Local/"},
        {L"C:\\Users\\u\\AppData\\Local\\", true, "file:///C:/Users/u/AppData/Local/"},
        {L"C:\\WINDOWS\\Application Data", false, "file:///C:/WINDOWS/Application%20Data/"},
        // Only outside the NT family is a folder without settings made up in the Windows folder.
        {L"", false, "file:///C:/WINDOWS/Application%20Data/"},
        {L"", true, "/"},
    };
    for (const Case& c : cases) {
        P<IURI> uri = CSystem::ShellFolderFromText(String(c.text), c.nt, String("C:\\WINDOWS\\"), L"Application Data");
        EXPECT_EQ(Latin1(UriString(uri)), c.uri) << Latin1(String(c.text)) << (c.nt ? " on NT" : " outside NT");
    }
}

// ------------------------------------------------------------------------------ shell name space

namespace {

// The shell's folders are COM objects: the thread joins an apartment for the test's length.
class ComApartment {
public:
    ComApartment() : m_result(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_result)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Joined() const { return SUCCEEDED(m_result); }

private:
    HRESULT m_result;
};

std::wstring Wide(const String& text) { return std::wstring(text.AsUTF16().WideData()); }

}  // namespace

TEST(Shell, ItemIdListsOfAFolderAndItsFile) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.Joined());
    TempFolder folder;
    PutFile(folder.Path() + L"child.txt", "x");
    std::wstring folderPath = folder.Path().substr(0, folder.Path().size() - 1);
    std::wstring childPath = folder.Path() + L"child.txt";
    P<IWin32System> shell = Cast<IWin32System>(GetSystem());

    UniqueItemIdList folderList = shell->PathToItemIdList(String::Copy(folderPath.c_str()));
    ASSERT_TRUE(folderList);
    EXPECT_EQ(Wide(shell->ItemIdListToPath(folderList.get())), folderPath);
    uint32_t folderAttributes = shell->GetItemAttributes(folderList.get(), SFGAO_FOLDER | SFGAO_FILESYSTEM);
    EXPECT_EQ(folderAttributes, uint32_t(SFGAO_FOLDER | SFGAO_FILESYSTEM));

    // The file's list relative to its folder, as the folder itself parses it.
    TComPtr<IShellFolder> bound = shell->BindToFolder(folderList.get());
    ASSERT_TRUE(bound);
    std::wstring childName = L"child.txt";
    UniqueItemIdList childItem;
    ASSERT_TRUE(SUCCEEDED(bound->ParseDisplayName(nullptr, nullptr, childName.data(), nullptr, childItem.put(), nullptr)));
    EXPECT_EQ(Wide(shell->GetDisplayName(bound.get(), childItem.get(), SHGDN_INFOLDER | SHGDN_FORPARSING)), childName);

    // Folder + item is the file's absolute list: same size as the parts, same item as parsing
    // the full path, and its parent is the folder again.
    UniqueItemIdList joined = shell->ConcatItemIdLists(folderList.get(), childItem.get());
    EXPECT_EQ(shell->GetItemIdListSize(joined.get()),
              shell->GetItemIdListSize(folderList.get()) + shell->GetItemIdListSize(childItem.get()) - 2);
    EXPECT_EQ(Wide(shell->ItemIdListToPath(joined.get())), childPath);
    UniqueItemIdList parsed = shell->PathToItemIdList(String::Copy(childPath.c_str()));
    EXPECT_EQ(shell->CompareItemIdLists(joined.get(), parsed.get()), 0);
    EXPECT_NE(shell->CompareItemIdLists(joined.get(), folderList.get()), 0);
    EXPECT_EQ(Wide(shell->GetItemDisplayName(joined.get(), SHGDN_FORPARSING)), childPath);
    EXPECT_EQ(shell->GetItemAttributes(joined.get(), SFGAO_FOLDER | SFGAO_FILESYSTEM), uint32_t(SFGAO_FILESYSTEM));
    LPCITEMIDLIST last = nullptr;
    TComPtr<IShellFolder> parent = shell->BindToParentFolder(joined.get(), &last);
    ASSERT_TRUE(parent);
    EXPECT_EQ(Wide(shell->GetDisplayName(parent.get(), last, SHGDN_INFOLDER | SHGDN_FORPARSING)), childName);

    // A copy is a list of its own with the same bytes, freed through the shell allocator.
    UniqueItemIdList copy = shell->CopyItemIdList(joined.get());
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.get(), joined.get());
    ASSERT_EQ(shell->GetItemIdListSize(copy.get()), shell->GetItemIdListSize(joined.get()));
    EXPECT_EQ(std::memcmp(copy.get(), joined.get(), shell->GetItemIdListSize(joined.get())), 0);
    EXPECT_EQ(shell->CompareItemIdLists(copy.get(), joined.get()), 0);
    shell->FreeShellMemory(copy.release());

    // Null is the empty list: it joins to nothing, copies to nothing, measures nothing.
    UniqueItemIdList same = shell->ConcatItemIdLists(nullptr, folderList.get());
    EXPECT_EQ(shell->CompareItemIdLists(same.get(), folderList.get()), 0);
    EXPECT_FALSE(shell->CopyItemIdList(nullptr));
    EXPECT_EQ(shell->GetItemIdListSize(nullptr), 0u);
}

TEST(Shell, DesktopFolderAndFailures) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.Joined());
    P<IWin32System> shell = Cast<IWin32System>(GetSystem());
    TComPtr<IShellFolder> desktop;
    shell->GetDesktopFolder(desktop);
    ASSERT_TRUE(desktop);
    // The empty list binds to the desktop itself.
    TComPtr<IShellFolder> root = shell->BindToFolder(nullptr);
    ASSERT_TRUE(root);
    TComPtr<IUnknown> a, b;
    ASSERT_TRUE(SUCCEEDED(desktop->QueryInterface(IID_PPV_ARGS(a.put()))));
    ASSERT_TRUE(SUCCEEDED(root->QueryInterface(IID_PPV_ARGS(b.put()))));
    EXPECT_EQ(a.get(), b.get());

    TempFolder folder;
    try {
        shell->PathToItemIdList(folder.PathString(L"missing.txt"));
        ADD_FAILURE() << "parsed a missing file";
    } catch (const CFileNotFoundError& e) {
        EXPECT_GE(e.GetDescription().Find(String("missing.txt")), 0);
    }
    EXPECT_THROW(shell->GetDisplayName(nullptr, nullptr, SHGDN_NORMAL), CInvalidArgError);

    // Shell memory is writable for its whole size; freeing null is allowed.
    void* block = shell->AllocShellMemory(64);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, 64);
    shell->FreeShellMemory(block);
    shell->FreeShellMemory(nullptr);
}

TEST(System, SubSystemTable) {
    P<IBase> object = New<CObject>();
    String type("kest_test.SubSystem");
    EXPECT_FALSE(System().HasSubSystem(type));
    try {
        System().GetSubSystem(type);
        ADD_FAILURE() << "found a sub-system that was never registered";
    } catch (const CNoSuchObjectError& e) {
        EXPECT_EQ(e.GetDescription(), String("No sub system of type kest_test.SubSystem was found."));
    }
    System().RegisterSubSystem(type, object.Get());
    EXPECT_TRUE(System().HasSubSystem(type));
    EXPECT_EQ(System().GetSubSystem(type), object);
    System().UnregisterSubSystem(type);
    EXPECT_FALSE(System().HasSubSystem(type));
}

TEST(System, MessageLoopLeavesTheQuitMessageToItsOwner) {
    ::PostQuitMessage(3);
    System().ProcessMessages();  // returns at the quit message and puts it back
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, WPARAM(3));
    System().RunMessageLoop();  // which ends this loop at once, taking it
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

// ------------------------------------------------------------------------------------- workers

class CThreadRecorder : public CObject, public IWorker {
public:
    void Work() override {
        ++runs;
        thread = ::GetCurrentThreadId();
    }
    int runs = 0;
    DWORD thread = 0;
};

TEST(System, SignalWorkFromAnotherThreadRunsWorkersOnTheWindowThread) {
    P<CThreadRecorder> worker = New<CThreadRecorder>();
    System().AddWorker(worker.Get());
    struct Signal : CObject, IRunnable {
        void Run() override {
            for (int i = 0; i < 100; ++i) GetSystem()->SignalWork();
        }
    };
    GetThreadManager()->CreateThread(New<Signal>().Get())->Join();
    EXPECT_TRUE(System().IsWorkPending());
    EXPECT_TRUE(PumpUntil([&] { return worker->runs > 0; }));
    EXPECT_EQ(worker->thread, ::GetCurrentThreadId());
    EXPECT_FALSE(System().IsWorkPending());
    PumpUntil([] { return false; }, 30);
    EXPECT_EQ(worker->runs, 1);  // a hundred signals, one wake-up
    System().RemoveWorker(worker.Get());
}

// A worker that, in its first pass, signals work again and then pumps messages as a modal
// dialog of its own would.
class CModalWorker : public CObject, public IWorker {
public:
    void Work() override {
        if (++runs == 1) {
            GetSystem()->SignalWork();
            GetSystem()->ProcessMessages();
        }
    }
    int runs = 0;
};

TEST(System, ASignalWhileAWorkerPumpsMessagesBringsAnotherPass) {
    P<CModalWorker> worker = New<CModalWorker>();
    System().AddWorker(worker.Get());
    System().SignalWork();
    EXPECT_TRUE(PumpUntil([&] { return worker->runs >= 2; }, 3000));
    PumpUntil([] { return false; }, 30);
    EXPECT_EQ(worker->runs, 2);
    EXPECT_FALSE(System().IsWorkPending());
    System().RemoveWorker(worker.Get());
}

// A loop of someone else's takes the wake-up from the queue and drops it. The mark must not
// claim a message that is gone, and the dropped signal must still get its pass: from the next
// signal at once, or without one as soon as the thread takes its next message.
TEST(System, AWakeUpTakenFromTheQueueWithoutDispatchIsNotLost) {
    struct Case {
        const char* name;
        bool signalAgain;  // else the thread takes a message of its own next
    };
    const Case cases[] = {{"signalled again", true}, {"next message taken", false}};
    auto* system = dynamic_cast<CSystem*>(GetSystem().Get());
    ASSERT_NE(system, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        P<CThreadRecorder> worker = New<CThreadRecorder>();
        System().AddWorker(worker.Get());
        System().SignalWork();
        MSG msg;
        ASSERT_TRUE(::PeekMessageW(&msg, system->GetWindowTimer()->GetWindow(), kWorkMessage, kWorkMessage, PM_REMOVE));
        EXPECT_FALSE(System().IsWorkPending());
        if (c.signalAgain)
            System().SignalWork();
        else
            ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0));
        EXPECT_TRUE(PumpUntil([&] { return worker->runs > 0; }, 3000));
        EXPECT_FALSE(System().IsWorkPending());
        PumpUntil([] { return false; }, 30);
        EXPECT_EQ(worker->runs, 1);
        System().RemoveWorker(worker.Get());
    }
}

// ---------------------------------------------------------------------------- files and folders

TEST(SystemFiles, DeleteFile) {
    TempFolder folder;
    PutFile(folder.Path() + L"ro.txt", "x");
    ASSERT_TRUE(::SetFileAttributesW((folder.Path() + L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(System().DeleteFile(folder.Uri(L"ro.txt").Get()));
    EXPECT_FALSE(Exists(folder.Path() + L"ro.txt"));
    EXPECT_FALSE(System().DeleteFile(folder.Uri(L"ro.txt").Get()));
    EXPECT_FALSE(System().DeleteFile(folder.Uri(L"no\\such\\folder.txt").Get()));
    EXPECT_FALSE(System().DeleteFile(CURI::Parse(String("http://h/x")).Get()));

    // A file held open without delete sharing stays, and says why.
    PutFile(folder.Path() + L"held.txt", "x");
    UniqueFile held(::CreateFileW((folder.Path() + L"held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    try {
        System().DeleteFile(folder.Uri(L"held.txt").Get());
        ADD_FAILURE() << "deleted a file that is in use";
    } catch (const CError& e) {
        EXPECT_TRUE(e.GetDescription().StartsWith(String("Error deleting the file '") + folder.PathString(L"held.txt") + "' ("))
            << e.what();
    }
}

TEST(SystemFiles, CreateFolder) {
    TempFolder folder;
    P<IURI> deep = folder.Uri(L"a\\b\\c");
    System().CreateFolder(folder.Uri(L"a").Get(), true);
    System().CreateFolder(deep.Get(), false);
    EXPECT_TRUE(Exists(folder.Path() + L"a\\b\\c"));
    System().CreateFolder(deep.Get(), false);  // existing is fine when allowed
    try {
        System().CreateFolder(deep.Get(), true);
        ADD_FAILURE() << "an existing folder was created again";
    } catch (const CError& e) {
        EXPECT_TRUE(e.GetDescription().StartsWith(String("Error creating the folder '") + UriString(deep) + "' ("))
            << e.what();
        EXPECT_FALSE(e.GetDescription().EndsWith(String("\n).")));
    }
    // A folder URI ends in "/"; that does not make the folder "already there".
    System().CreateFolder(folder.Uri(L"d\\e\\").Get(), true);
    EXPECT_TRUE(Exists(folder.Path() + L"d\\e"));
}

TEST(SystemFiles, UniqueFilesAndFolders) {
    TempFolder folder;
    P<IURI> file = System().CreateUniqueFile(folder.Uri().Get(), String("tmp"), String(".dat"));
    std::string name = Latin1(UriString(file));
    name = name.substr(name.rfind('/') + 1);
    EXPECT_TRUE(std::regex_match(name, std::regex("tmp[0-9A-F]{8}\\.dat"))) << name;
    EXPECT_TRUE(System().FileExists(file.Get()));
    EXPECT_NE(UriString(System().CreateUniqueFile(folder.Uri().Get(), String("tmp"), String(".dat"))), UriString(file));

    P<IURI> sub = System().CreateUniqueFolder(folder.Uri().Get(), String("job"), String::Null());
    EXPECT_TRUE(UriString(sub).EndsWith(String("/")));
    EXPECT_TRUE(System().PathExists(sub.Get()));
    EXPECT_FALSE(System().FileExists(sub.Get()));
    EXPECT_TRUE(System().FindExists(sub.Get()));

    // A missing folder, or a prefix no name may hold, fails at once, not after ten thousand
    // names.
    EXPECT_THROW(System().CreateUniqueFile(folder.Uri(L"missing\\").Get(), String("tmp"), String(".dat")),
                 CFileNotFoundError);
    DWORD start = ::GetTickCount();
    try {
        System().CreateUniqueFile(folder.Uri().Get(), String("bad<|>"), String(".dat"));
        ADD_FAILURE() << "a name with forbidden characters was created";
    } catch (const CError& e) {
        EXPECT_TRUE(e.GetDescription().StartsWith(String("Error creating unique file name. "))) << e.what();
    }
    EXPECT_LT(::GetTickCount() - start, 1000u);

    P<IURI> temp = System().CreateUniqueTempFile(String("kest"), String(".tmp"));
    EXPECT_TRUE(System().DeleteFile(temp.Get()));
}

TEST(SystemFiles, MoveCopyAndTrees) {
    TempFolder folder;
    PutFile(folder.Path() + L"a.txt", "alpha");
    PutFile(folder.Path() + L"b.txt", "beta");
    try {
        System().MoveFile(folder.Uri(L"a.txt").Get(), folder.Uri(L"b.txt").Get(), false);
        ADD_FAILURE() << "moved over an existing file";
    } catch (const CFileError& e) {
        EXPECT_EQ(e.GetDescription(), String("Error moving file '") + UriString(folder.Uri(L"a.txt")) + "' to '" +
                                          UriString(folder.Uri(L"b.txt")) + "'.");
    }
    System().MoveFile(folder.Uri(L"a.txt").Get(), folder.Uri(L"b.txt").Get(), true);
    EXPECT_FALSE(Exists(folder.Path() + L"a.txt"));
    EXPECT_EQ(FileText(folder.Path() + L"b.txt"), "alpha");

    System().CopyFile(folder.Uri(L"b.txt").Get(), folder.Uri(L"c.txt").Get(), false);
    EXPECT_EQ(FileText(folder.Path() + L"c.txt"), "alpha");
    EXPECT_THROW(System().CopyFile(folder.Uri(L"b.txt").Get(), folder.Uri(L"c.txt").Get(), false), CFileError);
    EXPECT_THROW(System().MoveFile(CURI::Parse(String("http://h/x")).Get(), folder.Uri(L"d.txt").Get(), false),
                 CInvalidArgError);

    // A tree with a read-only file in it goes as a whole; what is not there gives false.
    System().CreateFolder(folder.Uri(L"tree\\x\\y").Get(), false);
    PutFile(folder.Path() + L"tree\\x\\y\\ro.txt", "r");
    ASSERT_TRUE(::SetFileAttributesW((folder.Path() + L"tree\\x\\y\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    PutFile(folder.Path() + L"tree\\top.txt", "t");
    System().MoveFolder(folder.Uri(L"tree\\").Get(), folder.Uri(L"moved\\").Get(), false);
    EXPECT_TRUE(Exists(folder.Path() + L"moved\\x\\y\\ro.txt"));
    // Over an existing folder only when asked to, and then the old one is replaced.
    System().CreateFolder(folder.Uri(L"other\\old").Get(), false);
    EXPECT_THROW(System().MoveFolder(folder.Uri(L"other").Get(), folder.Uri(L"moved").Get(), false), CFileError);
    System().MoveFolder(folder.Uri(L"moved").Get(), folder.Uri(L"other").Get(), true);
    EXPECT_TRUE(Exists(folder.Path() + L"other\\x\\y\\ro.txt"));
    EXPECT_FALSE(Exists(folder.Path() + L"other\\old"));
    System().MoveFolder(folder.Uri(L"other").Get(), folder.Uri(L"moved").Get(), false);
    EXPECT_FALSE(System().DeleteFolder(folder.Uri(L"tree").Get()));
    EXPECT_THROW(System().DeleteFolder(folder.Uri(L"moved").Get()), CError);  // not empty
    EXPECT_TRUE(System().DeleteFolderTree(folder.Uri(L"moved\\").Get()));
    EXPECT_FALSE(Exists(folder.Path() + L"moved"));
    EXPECT_FALSE(System().DeleteFolderTree(folder.Uri(L"moved\\").Get()));
}

// The names in a folder, "." and ".." left out.
std::vector<std::wstring> Entries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &data));
    if (!find) return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find.get(), &data));
    return names;
}

TEST(SystemFiles, MovingOverAnEntryLosesItOnlyWhenTheMoveSucceeds) {
    TempFolder folder;
    System().CreateFolder(folder.Uri(L"outer\\inner").Get(), false);
    PutFile(folder.Path() + L"outer\\inner\\keep.txt", "kept");
    // A folder cannot go into a folder inside itself: the move fails once the entry in its way
    // is gone, and that entry comes back.
    EXPECT_THROW(System().MoveFolder(folder.Uri(L"outer").Get(), folder.Uri(L"outer\\inner").Get(), true),
                 CFileError);
    EXPECT_EQ(FileText(folder.Path() + L"outer\\inner\\keep.txt"), "kept");
    EXPECT_EQ(Entries(folder.Path() + L"outer\\"), std::vector<std::wstring>{L"inner"});

    // A move that succeeds leaves nothing of the old entry behind.
    PutFile(folder.Path() + L"new.txt", "new");
    PutFile(folder.Path() + L"old.txt", "old");
    System().MoveFile(folder.Uri(L"new.txt").Get(), folder.Uri(L"old.txt").Get(), true);
    System().CreateFolder(folder.Uri(L"target\\gone").Get(), false);
    System().MoveFolder(folder.Uri(L"outer").Get(), folder.Uri(L"target").Get(), true);
    EXPECT_EQ(FileText(folder.Path() + L"old.txt"), "new");
    EXPECT_EQ(FileText(folder.Path() + L"target\\inner\\keep.txt"), "kept");
    EXPECT_EQ(Entries(folder.Path() + L"target\\"), std::vector<std::wstring>{L"inner"});
    std::vector<std::wstring> left = Entries(folder.Path());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::wstring>{L"old.txt", L"target"}));
}

// Moving with overwrite over an entry of either kind: a folder replaces a file or a folder, a
// file never replaces a folder; either way nothing set aside stays behind.
struct OverwriteCase {
    const char* name;
    bool sourceIsFolder, destinationIsFolder;
    bool moves;
};

class MoveOverwriting : public testing::TestWithParam<OverwriteCase> {};

TEST_P(MoveOverwriting, ReplacesOrChangesNothing) {
    const OverwriteCase& c = GetParam();
    TempFolder folder;
    auto make = [&folder](const std::wstring& name, bool isFolder, const char* content) {
        if (isFolder) {
            ASSERT_TRUE(::CreateDirectoryW((folder.Path() + name).c_str(), nullptr));
            PutFile(folder.Path() + name + L"\\inside.txt", content);
        } else {
            PutFile(folder.Path() + name, content);
        }
    };
    auto content = [&folder](const std::wstring& name, bool isFolder) {
        return FileText(folder.Path() + name + (isFolder ? L"\\inside.txt" : L""));
    };
    make(L"src", c.sourceIsFolder, "new");
    make(L"dst", c.destinationIsFolder, "old");
    auto move = [&] {
        if (c.sourceIsFolder)
            System().MoveFolder(folder.Uri(L"src").Get(), folder.Uri(L"dst").Get(), true);
        else
            System().MoveFile(folder.Uri(L"src").Get(), folder.Uri(L"dst").Get(), true);
    };
    std::vector<std::wstring> left;
    if (c.moves) {
        move();
        left = Entries(folder.Path());
        EXPECT_EQ(left, std::vector<std::wstring>{L"dst"});
        EXPECT_EQ(content(L"dst", c.sourceIsFolder), "new");
    } else {
        EXPECT_THROW(move(), CFileError);
        left = Entries(folder.Path());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::wstring>{L"dst", L"src"}));
        EXPECT_EQ(content(L"src", c.sourceIsFolder), "new");
        EXPECT_EQ(content(L"dst", c.destinationIsFolder), "old");
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, MoveOverwriting,
                         testing::Values(OverwriteCase{"FileOverFile", false, false, true},
                                         OverwriteCase{"FileOverFolder", false, true, false},
                                         OverwriteCase{"FolderOverFile", true, false, true},
                                         OverwriteCase{"FolderOverFolder", true, true, true}),
                         [](const testing::TestParamInfo<OverwriteCase>& info) { return std::string(info.param.name); });

// The folder in the way cannot be deleted while a file in it is open: the move is undone and
// the folder put back (or, where an open file keeps its folder from being renamed, nothing
// moves at all), and no set-aside copy stays behind.
TEST(SystemFiles, AMoveWhoseOldEntryCannotGoChangesNothing) {
    TempFolder folder;
    System().CreateFolder(folder.Uri(L"src").Get(), false);
    PutFile(folder.Path() + L"src\\new.txt", "new");
    System().CreateFolder(folder.Uri(L"dst").Get(), false);
    PutFile(folder.Path() + L"dst\\old.txt", "old");
    {
        UniqueFile held(::CreateFileW((folder.Path() + L"dst\\old.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_THROW(System().MoveFolder(folder.Uri(L"src").Get(), folder.Uri(L"dst").Get(), true), CFileError);
    }
    std::vector<std::wstring> left = Entries(folder.Path());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::wstring>{L"dst", L"src"}));
    EXPECT_EQ(FileText(folder.Path() + L"src\\new.txt"), "new");
    EXPECT_EQ(FileText(folder.Path() + L"dst\\old.txt"), "old");
}

// A tree deeper than a recursive walk could go in 64 KB of stack: a walk that keeps a
// directory search per level on the stack needs more than twice that here.
struct DeepWalk {
    P<IURI> uri;
    bool deleted = false;
    bool raised = false;
};

constexpr size_t kWalkStack = 64 * 1024;

unsigned __stdcall DeleteDeepTree(void* arg) {
    auto* walk = static_cast<DeepWalk*>(arg);
    // Whatever stack the system gives a thread, all but the walk's share is taken first.
    MEMORY_BASIC_INFORMATION region = {};
    if (!::VirtualQuery(&region, &region, sizeof(region))) return 1;
    const auto here = reinterpret_cast<uintptr_t>(&region);
    const uintptr_t bottom = reinterpret_cast<uintptr_t>(region.AllocationBase) + 16 * 1024;  // guard pages
    if (here < bottom + kWalkStack) return 2;
    volatile char* taken = static_cast<volatile char*>(_alloca(here - bottom - kWalkStack));
    taken[0] = 0;
    try {
        walk->deleted = GetSystem()->DeleteFolderTree(walk->uri.Get());
    } catch (...) {
        walk->raised = true;
    }
    return taken[0];
}

TEST(SystemFiles, DeleteFolderTreeGoesAnyDepthOnASmallStack) {
    TempFolder folder;
    std::wstring path = L"\\\\?\\" + folder.Path() + L"deep";
    ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
    for (int level = 0; level < 200; ++level) {
        path += L"\\d";
        ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr)) << level;
    }
    PutFile(path + L"\\leaf.txt", "x");
    DeepWalk walk{folder.Uri(L"deep\\")};
    UniqueHandle thread(reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 1024 * 1024, &DeleteDeepTree, &walk, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr)));
    ASSERT_TRUE(thread);
    ASSERT_EQ(::WaitForSingleObject(thread.get(), 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    ASSERT_TRUE(::GetExitCodeThread(thread.get(), &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(walk.raised);
    EXPECT_TRUE(walk.deleted);
    EXPECT_FALSE(Exists(folder.Path() + L"deep"));
}

TEST(SystemFiles, Recycle) {
    TempFolder folder;
    PutFile(folder.Path() + L"bin.txt", "b");
    System().CreateFolder(folder.Uri(L"binned\\inner").Get(), false);
    PutFile(folder.Path() + L"binned\\inner\\x.txt", "x");
    EXPECT_TRUE(System().RecycleFile(folder.Uri(L"bin.txt").Get()));
    EXPECT_FALSE(Exists(folder.Path() + L"bin.txt"));
    EXPECT_TRUE(System().RecycleFolder(folder.Uri(L"binned\\").Get()));
    EXPECT_FALSE(Exists(folder.Path() + L"binned"));

    EXPECT_FALSE(System().RecycleFile(folder.Uri(L"missing.txt").Get()));
    EXPECT_FALSE(System().RecycleFolder(folder.Uri(L"missing\\").Get()));
    EXPECT_FALSE(System().RecycleFile(CURI::Parse(String("http://h/x")).Get()));
}

// A path well beyond MAX_PATH, through every operation on the way.
TEST(SystemFiles, LongPaths) {
    TempFolder folder;
    std::wstring segment(100, L'L');
    std::wstring deep = segment + L"\\" + segment + L"\\" + segment;
    P<IURI> deepFolder = folder.Uri(deep + L"\\");
    System().CreateFolder(deepFolder.Get(), true);
    P<IURI> file = folder.Uri(deep + L"\\data.bin");
    ASSERT_GT(System().UriToPath(file.Get(), false).Length(), 300);
    EXPECT_TRUE(System().UriToPath(file.Get(), false).StartsWith(String("\\\\?\\")));

    {
        P<IOutStream> out = GetStreamManager()->RequireOutStream(file.Get(), kShareNone);
        out->Write("long way", 8);
    }
    EXPECT_TRUE(System().FileExists(file.Get()));
    P<IURI> moved = folder.Uri(deep + L"\\moved.bin");
    System().MoveFile(file.Get(), moved.Get(), false);
    EXPECT_FALSE(System().FileExists(file.Get()));
    {
        P<IInStream> in = GetStreamManager()->RequireInStream(moved.Get(), kShareRead);
        char text[8];
        in->ReadFully(text, 8);
        EXPECT_EQ(std::string(text, 8), "long way");
    }
    P<IURI> unique = System().CreateUniqueFile(deepFolder.Get(), String("tmp"), String(".dat"));
    EXPECT_TRUE(System().DeleteFile(unique.Get()));
    EXPECT_TRUE(System().DeleteFile(moved.Get()));
    EXPECT_FALSE(System().FileExists(moved.Get()));
    EXPECT_TRUE(System().DeleteFolderTree(folder.Uri(segment + L"\\").Get()));
    EXPECT_FALSE(Exists(folder.Path() + segment));
}

}  // namespace kest_test
