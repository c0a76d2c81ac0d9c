// The zip save and load managers: round trips, names, counters, working folders, and archives
// that are damaged, foreign or cut short.
#include "Archives.h"
#include "kapp/AppmanError.h"
#include "kapp/CryptedFileStream.h"
#include "kapp/ZipManagers.h"
#include "kest/Error.h"
#include "kest/System.h"

#include <gtest/gtest.h>

#include <wx/wfstream.h>
#include <wx/zipstrm.h>

namespace kapp_test {
namespace {

using kapp::CZipLoadManager;
using kapp::CZipSaveManager;
using kest::P;
using kest::String;

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }
std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

TEST(ZipManagers, FilesAndDocumentsComeBackAsTheyWereStored) {
    TempFolder folder;
    const std::wstring archive = folder / L"store\\data.db";
    WriteBytes(folder / L"in\\a.txt", "alpha");
    WriteBytes(folder / L"in\\b.bin", std::string(300000, 'b') + "end");
    WriteBytes(folder / L"in\\empty.txt", "");
    {
        CZipSaveManager save(Uri(archive).Get());
        EXPECT_TRUE(save.AddFile(Uri(folder / L"in\\a.txt").Get(), true));
        EXPECT_TRUE(save.AddFile(Uri(folder / L"in\\b.bin").Get(), false));
        EXPECT_TRUE(save.AddFile(Uri(folder / L"in\\empty.txt").Get(), true));
        EXPECT_FALSE(save.AddFile(Uri(folder / L"in\\missing.txt").Get(), true));
        auto document = ParseXml("<appmanager version=\"1\"><regentry_user name=\"x\"/></appmanager>");
        EXPECT_TRUE(save.AddXmlDocument(*document, String(kapp::kDescriptionEntry)));
        EXPECT_FALSE(Exists(archive)) << "nothing is in place before the archive is complete";
        save.Commit();
    }
    ASSERT_TRUE(Exists(archive));
    EXPECT_EQ(std::vector<std::wstring>{L"data.db"}, List(folder / L"store")) << "no partial file is left";
    // On disk the archive is no plain zip.
    EXPECT_NE("PK", ReadBytes(archive).substr(0, 2));

    CZipLoadManager load(Uri(archive).Get());
    EXPECT_TRUE(load.IsReadable());
    EXPECT_EQ(4u, load.EntryCount());
    EXPECT_TRUE(load.ExtractFile(kapp::FromStd(folder / L"in\\a.txt"), Uri(folder / L"out\\deep\\a.txt").Get()));
    EXPECT_EQ("alpha", ReadBytes(folder / L"out\\deep\\a.txt"));
    EXPECT_TRUE(load.ExtractFile(String("b.bin"), Uri(folder / L"out\\b.bin").Get()));
    EXPECT_TRUE(std::string(300000, 'b') + "end" == ReadBytes(folder / L"out\\b.bin"));
    EXPECT_TRUE(load.ExtractFile(kapp::FromStd(folder / L"in\\empty.txt"), Uri(folder / L"out\\empty.txt").Get()));
    EXPECT_EQ("", ReadBytes(folder / L"out\\empty.txt"));
    auto document = load.LoadXmlDocument(String(kapp::kDescriptionEntry));
    ASSERT_TRUE(document);
    EXPECT_EQ("x", document->GetRoot()->GetChildren()->GetAttribute("name"));
}

TEST(ZipManagers, NamesOutsideTheLocalCodePageSurvive) {
    TempFolder folder;
    const std::wstring name = L"\u65E5\u672C\u00E9\u0416.txt";
    WriteBytes(folder / name, "wide");
    const std::wstring archive = folder / L"data.db";
    {
        CZipSaveManager save(Uri(archive).Get());
        ASSERT_TRUE(save.AddFile(Uri(folder / name).Get(), true));
        save.Commit();
    }
    CZipLoadManager load(Uri(archive).Get());
    EXPECT_TRUE(load.ExtractFile(kapp::FromStd(folder / name), Uri(folder / L"out.txt").Get()));
    EXPECT_EQ("wide", ReadBytes(folder / L"out.txt"));
}

TEST(ZipManagers, WorkFilesAndEntryNamesShareOneCounter) {
    TempFolder folder;
    CZipSaveManager save(Uri(folder / L"data.db").Get());
    EXPECT_FALSE(save.WorkFolder());
    const std::wstring first = kapp::PathOf(save.CreateWorkFile(String("regsection."), String(".reg")).Get());
    EXPECT_EQ(String("regsection.2.reg"), save.MakeEntryName(String("regsection."), String(".reg")));
    const std::wstring second = kapp::PathOf(save.CreateWorkFile(String("regsection."), String(".reg")).Get());
    EXPECT_EQ(L"regsection.1.reg", FileName(first));
    EXPECT_EQ(L"regsection.3.reg", FileName(second));
    EXPECT_EQ(FolderOf(first), FolderOf(second));
    EXPECT_FALSE(Exists(first)) << "a work file is only named, not made";
    const std::wstring workFolder = FolderOf(first);
    EXPECT_EQ(0u, FileName(workFolder).find(L"ovport_zip_"));
    EXPECT_TRUE(Exists(workFolder));
}

TEST(ZipManagers, WorkingFoldersGoWithTheirManagers) {
    TempFolder folder;
    const std::wstring archive = folder / L"data.db";
    std::wstring saveFolder, loadFolder;
    {
        CZipSaveManager save(Uri(archive).Get());
        saveFolder = FolderOf(kapp::PathOf(save.CreateWorkFile(String("w"), String(".tmp")).Get()));
        WriteBytes(saveFolder + L"\\left.txt", "x");
        save.Commit();
    }
    {
        CZipLoadManager load(Uri(archive).Get());
        loadFolder = kapp::PathOf(load.GetWorkFolder().Get());
        EXPECT_EQ(loadFolder, kapp::PathOf(load.GetWorkFolder().Get()));
        EXPECT_NE(std::wstring::npos, loadFolder.find(L"ovport_unzip_"));
        EXPECT_NE(std::wstring::npos, loadFolder.find(L"_temp"));
        WriteBytes(loadFolder + L"left.txt", "x");
    }
    EXPECT_FALSE(Exists(saveFolder));
    EXPECT_FALSE(Exists(loadFolder));
}

TEST(ZipManagers, AMissingArchiveIsError17) {
    TempFolder folder;
    try {
        CZipLoadManager load(Uri(folder / L"none.db").Get());
        FAIL() << "no error";
    } catch (const kapp::CAppmanError& e) {
        EXPECT_EQ(17, e.code);
    }
}

// A host file goes only when its replacement is in hand.
TEST(ZipManagers, ExtractingAMissingEntryFailsAndLeavesTheTarget) {
    TempFolder folder;
    WriteArchive(folder / L"data.db", "", {{L"here.txt", "here"}});
    WriteBytes(folder / L"target.txt", "old");
    CZipLoadManager load(Uri(folder / L"data.db").Get());
    EXPECT_FALSE(load.ExtractFile(String("absent.txt"), Uri(folder / L"target.txt").Get()));
    EXPECT_EQ("old", ReadBytes(folder / L"target.txt"));
    EXPECT_FALSE(load.LoadXmlDocument(String("absent.xml")));
    EXPECT_TRUE(load.ExtractFile(String("here.txt"), Uri(folder / L"target.txt").Get()));
    EXPECT_EQ("here", ReadBytes(folder / L"target.txt"));
    EXPECT_EQ((std::vector<std::wstring>{L"data.db", L"target.txt"}), List(folder.Path())) << "nothing left beside it";
}

DWORD WINAPI ReleaseLater(void* file) {
    ::Sleep(300);
    static_cast<kest::win32::UniqueFile*>(file)->reset();
    return 0;
}

// A scanner or indexer that has the finished file open for a moment does not fail the save.
TEST(ZipManagers, ReplacingWaitsForAProgramThatHoldsTheNewFile) {
    TempFolder folder;
    const std::wstring source = folder / L"new.tmp", target = folder / L"data.db";
    WriteBytes(source, "new");
    WriteBytes(target, "old");
    kest::win32::UniqueFile held(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    // Another thread lets go of it a moment later, as the scanner would.
    kest::win32::UniqueHandle release(::CreateThread(nullptr, 0, &ReleaseLater, &held, 0, nullptr));
    ASSERT_TRUE(release);
    EXPECT_NO_THROW(kapp::ReplaceFileDurably(source, target));
    ::WaitForSingleObject(release.get(), INFINITE);
    EXPECT_EQ("new", ReadBytes(target));
    EXPECT_FALSE(Exists(source));
}

struct NameCase {
    const wchar_t* given;
    const wchar_t* internal;
};

TEST(ZipManagers, EntryNamesDropDriveAndLeadingSeparators) {
    const NameCase cases[] = {
        {L"C:\\a\\b.txt", L"a/b.txt"},
        {L"D:\\a\\b.txt", L"a/b.txt"},
        {L"\\\\?\\C:\\a\\b.txt", L"a/b.txt"},
        {L"regsection.1.reg", L"regsection.1.reg"},
        {L"@@portable@@_description.xml", L"@@portable@@_description.xml"},
        {L"\\lead\\x", L"lead/x"},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(wxString(c.internal), kapp::InternalEntryName(kest::String(c.given))) << Narrow(c.given);
    }
}

// Two drives that share the path below the drive letter meet in one entry; the later one wins.
TEST(ZipManagers, TheSamePathOnTwoDrivesIsOneEntryAndTheLaterWins) {
    TempFolder folder;
    // Wine's Z: maps the host's root, so \tmp exists on it; C: gets the same folder.
    const std::wstring below = L"\\tmp\\kapp_drives_" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring onC = L"C:" + below + L"\\same.txt";
    const std::wstring onZ = L"Z:" + below + L"\\same.txt";
    WriteBytes(onC, "from C");
    WriteBytes(onZ, "from Z");
    if (!Exists(onZ) || !Exists(onC)) GTEST_SKIP() << "no second drive";
    const std::wstring archive = folder / L"data.db";
    {
        CZipSaveManager save(Uri(archive).Get());
        ASSERT_TRUE(save.AddFile(Uri(onC).Get(), true));
        ASSERT_TRUE(save.AddFile(Uri(onZ).Get(), true));
        save.Commit();
    }
    TempFolder::RemoveTree(L"C:" + below);
    TempFolder::RemoveTree(L"Z:" + below);
    CZipLoadManager load(Uri(archive).Get());
    EXPECT_EQ(1u, load.EntryCount());
    EXPECT_TRUE(load.ExtractFile(kapp::FromStd(onC), Uri(folder / L"out.txt").Get()));
    EXPECT_EQ("from Z", ReadBytes(folder / L"out.txt"));
}

// A plain zip of the same content: what the archive would be without scrambling.
void WritePlainZip(const std::wstring& path) {
    wxFileOutputStream file{wxString(path)};
    wxZipOutputStream zip(file);
    zip.PutNextEntry("a.txt");
    zip.Write("plain", 5);
    zip.Close();
}

TEST(ZipManagers, ForeignAndDamagedArchivesGiveNoEntriesOrFailCleanly) {
    TempFolder folder;
    const std::wstring good = folder / L"good.db";
    const std::string payload = Noise(50000, 3);
    WriteArchive(good, "<appmanager version=\"1\"/>", {{L"a.txt", payload}});
    const std::string bytes = ReadBytes(good);

    struct Case {
        const char* name;
        std::string bytes;
        bool mustFail = false;
    };
    std::vector<Case> cases = {
        {"empty", ""},
        {"text", "this is no archive at all"},
        {"noise", std::string(4096, '\x5A')},
        {"cut to half", bytes.substr(0, bytes.size() / 2)},
        {"cut before the directory's end", bytes.substr(0, bytes.size() - 10)},
        {"first bytes only", bytes.substr(0, 30)},
    };
    // A bit flipped in the middle of the entry's data (noise, so the data is as long as the
    // payload and the middle of the file lies inside it): the CRC check must catch it.
    std::string flipped = bytes;
    flipped[bytes.size() / 2] = char(flipped[bytes.size() / 2] ^ 0x01);
    cases.push_back({"flipped data", flipped, true});
    // The end record's entry count and directory offset pointing into nowhere.
    std::string badDirectory = bytes;
    for (size_t i = badDirectory.size() - 22 + 10; i < badDirectory.size() - 22 + 20; ++i) badDirectory[i] = char(0xEE);
    cases.push_back({"bad directory", badDirectory});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = folder / L"bad.db";
        WriteBytes(path, c.bytes);
        CZipLoadManager load(Uri(path).Get());
        const std::wstring target = folder / L"out.txt";
        ::DeleteFileW(target.c_str());
        const bool extracted = load.ExtractFile(String("a.txt"), Uri(target).Get());
        if (c.mustFail) {
            EXPECT_FALSE(extracted);
        }
        if (extracted) {
            EXPECT_TRUE(payload == ReadBytes(target)) << "whatever is extracted is whole";
        } else {
            EXPECT_FALSE(Exists(target)) << "no partial file is left";
            EXPECT_EQ((std::vector<std::wstring>{L"bad.db", L"good.db"}), List(folder.Path()));
        }
        auto document = load.LoadXmlDocument(String(kapp::kDescriptionEntry));
        (void)document;
    }
    // A plain zip is no data store.
    WritePlainZip(folder / L"plain.db");
    CZipLoadManager plain(Uri(folder / L"plain.db").Get());
    EXPECT_FALSE(plain.IsReadable());
    EXPECT_EQ(0u, plain.EntryCount());
    EXPECT_FALSE(plain.ExtractFile(String("a.txt"), Uri(folder / L"plain.txt").Get()));
}


TEST(ZipManagers, AFailedSaveLeavesThePreviousArchiveAsItWas) {
    TempFolder folder;
    const std::wstring archive = folder / L"data.db";
    WriteArchive(archive, "<appmanager version=\"1\"/>", {{L"old.txt", "old"}});
    const std::string before = ReadBytes(archive);
    WriteBytes(folder / L"big.bin", Noise(400000, 7));
    for (size_t budget : {size_t(0), size_t(100), size_t(5000), size_t(150000)}) {
        SCOPED_TRACE(budget);
        bool failed = false;
        try {
            CZipSaveManager save(Uri(archive).Get(), [budget](const wxString& path) {
                return std::unique_ptr<wxOutputStream>(std::make_unique<CFailingStream>(path, budget));
            });
            save.AddFile(Uri(folder / L"big.bin").Get(), true);
            save.Commit();
        } catch (const kest::CError&) {
            failed = true;
        }
        EXPECT_TRUE(failed);
        EXPECT_TRUE(before == ReadBytes(archive));
        EXPECT_EQ((std::vector<std::wstring>{L"big.bin", L"data.db"}), List(folder.Path())) << "no partial file is left";
    }
    // A save manager that goes without Commit leaves the old archive too.
    {
        CZipSaveManager save(Uri(archive).Get());
        save.AddFile(Uri(folder / L"big.bin").Get(), true);
    }
    EXPECT_TRUE(before == ReadBytes(archive));
}

}  // namespace
}  // namespace kapp_test
