// The support tool brvstore, run as its own process: stores the portable manager wrote, listed,
// described and extracted; plain zips out of stores and initial archives into them; damaged
// and foreign files reported with a failing exit code.
#include "Archives.h"
#include "kapp/ApplicationManager.h"
#include "kapp/PortableAppManager.h"
#include "kest/win32/Handles.h"

#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include <gtest/gtest.h>

#include <map>

namespace kapp_test {
namespace {

const int kAll = kapp::SaveToStore | kapp::RemoveFromHost | kapp::RestoreFromStore;
const DWORD kToolTimeoutMs = 60000;

std::wstring ToolPath() {
    return BuildFile(KAPP_STORE_TOOL);
}

struct ToolRun {
    DWORD code = 0;
    std::string out;
    std::string err;
};

// Runs brvstore with the arguments; what it prints goes through files in scratch.
ToolRun RunTool(const TempFolder& scratch, const std::wstring& arguments) {
    static int runs = 0;
    const std::wstring outPath = scratch / (L"out" + std::to_wstring(++runs) + L".txt");
    const std::wstring errPath = scratch / (L"err" + std::to_wstring(runs) + L".txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    ToolRun run;
    {
        kest::win32::UniqueFile out(::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        kest::win32::UniqueFile err(::CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(out && err);
        if (!out || !err) return {999, "", ""};
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.get();
        startup.hStdError = err.get();
        const std::wstring tool = ToolPath();
        std::wstring command = L"\"" + tool + L"\" " + arguments;
        PROCESS_INFORMATION process{};
        const BOOL started = ::CreateProcessW(tool.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                              nullptr, nullptr, &startup, &process);
        EXPECT_TRUE(started) << Narrow(tool);
        if (!started) return {999, "", ""};
        kest::win32::UniqueHandle processHandle(process.hProcess);
        kest::win32::UniqueHandle threadHandle(process.hThread);
        if (::WaitForSingleObject(process.hProcess, kToolTimeoutMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.hProcess, 998);
            ::WaitForSingleObject(process.hProcess, INFINITE);
            ADD_FAILURE() << "brvstore did not finish: " << Narrow(arguments);
        }
        EXPECT_TRUE(::GetExitCodeProcess(process.hProcess, &run.code));
    }
    run.out = ReadBytes(outPath);
    run.err = ReadBytes(errPath);
    return run;
}

// A command-line argument in quotes; a trailing backslash is doubled, or it would escape the quote.
std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + (!text.empty() && text.back() == L'\\' ? L"\\" : L"") + L"\"";
}

// The entry name the store gives a file saved by its full path, and where extraction puts it.
std::wstring EntryOf(const std::wstring& path) { return kapp::InternalEntryName(kapp::FromStd(path)).ToStdWstring(); }
std::wstring BelowFolder(const TempFolder& folder, const std::wstring& path) {
    return folder / kapp::Backslashes(EntryOf(path));
}

// A store as the portable manager writes it: one file and one folder with a file in a
// subfolder, bytes that do not compress and bytes that do.
struct WrittenStore {
    TempFolder app{L"toolapp"};
    TempFolder host{L"toolhost"};
    std::map<std::wstring, std::string> files;  // host path -> bytes saved

    WrittenStore() {
        const std::wstring settings = host / L"settings.ini";
        const std::wstring folder = host / L"profile\\";
        files[settings] = "[main]\r\nlanguage=de\r\n";
        files[folder + L"sub\\noise.bin"] = Noise(300000, 17);
        files[folder + L"empty.txt"] = "";
        for (const auto& [path, bytes] : files) WriteBytes(path, bytes);
        auto manager = kapp::CreateApplicationManager(app.Path().c_str(), Store().c_str(), (app / L"init.zip").c_str(), true);
        manager->AddFile(settings.c_str(), kAll);
        manager->AddFolder(folder.c_str(), kAll);
        manager->Start();
        for (const auto& [path, bytes] : files) WriteBytes(path, bytes);  // Start cleared the host
        manager->Stop();
        kapp::DeleteApplicationManager(manager);
    }
    std::wstring Store() const { return app / L"datastore\\data.db"; }
};

TEST(StoreTool, APortableStoreIsListedDescribedAndExtractedByteIdentically) {
    WrittenStore store;
    ASSERT_TRUE(Exists(store.Store()));
    TempFolder scratch(L"tool");

    const ToolRun list = RunTool(scratch, L"list " + Quoted(store.Store()));
    EXPECT_EQ(0u, list.code) << list.err;
    EXPECT_NE(std::string::npos, list.out.find(Narrow(kapp::kDescriptionEntry))) << list.out;
    for (const auto& [path, bytes] : store.files)
        EXPECT_NE(std::string::npos, list.out.find(Narrow(EntryOf(path)))) << Narrow(path) << "\n" << list.out;
    EXPECT_NE(std::string::npos, list.out.find("      300000  ")) << "sizes are listed\n" << list.out;

    const ToolRun describe = RunTool(scratch, L"describe " + Quoted(store.Store()));
    EXPECT_EQ(0u, describe.code) << describe.err;
    auto document = ParseXml(describe.out);
    ASSERT_TRUE(document->GetRoot());
    EXPECT_EQ("appmanager", document->GetRoot()->GetName());
    EXPECT_NE(std::string::npos, describe.out.find(Attr(store.host / L"settings.ini"))) << describe.out;

    TempFolder all(L"toolall");
    const ToolRun extract = RunTool(scratch, L"extract " + Quoted(store.Store()) + L" --all " + Quoted(all.Path()));
    EXPECT_EQ(0u, extract.code) << extract.err;
    for (const auto& [path, bytes] : store.files)
        EXPECT_TRUE(bytes == ReadBytes(BelowFolder(all, path))) << Narrow(path);
    EXPECT_TRUE(Exists(all / kapp::kDescriptionEntry));

    // One entry by the name the list shows, into a folder that does not exist yet.
    TempFolder one(L"toolone");
    const std::wstring noise = store.host / L"profile\\sub\\noise.bin";
    const ToolRun single =
        RunTool(scratch, L"extract " + Quoted(store.Store()) + L" " + Quoted(EntryOf(noise)) + L" " + Quoted(one / L"new"));
    EXPECT_EQ(0u, single.code) << single.err;
    EXPECT_TRUE(store.files[noise] == ReadBytes(one / (L"new\\" + kapp::Backslashes(EntryOf(noise)))));
    EXPECT_EQ(std::vector<std::wstring>{L"new"}, List(one.Path()));

    const ToolRun missing = RunTool(scratch, L"extract " + Quoted(store.Store()) + L" no/such/entry " + Quoted(one.Path()));
    EXPECT_EQ(1u, missing.code);
    EXPECT_NE(std::string::npos, missing.err.find("has no entry 'no/such/entry'")) << missing.err;
}

// The plain zip's entries and bytes, read with the ordinary zip streams.
std::map<std::wstring, std::string> ReadPlainZip(const std::wstring& path) {
    std::map<std::wstring, std::string> entries;
    wxFileInputStream file{wxString(path)};
    EXPECT_TRUE(file.IsOk());
    wxZipInputStream zip(file);
    while (std::unique_ptr<wxZipEntry> entry{zip.GetNextEntry()}) {
        std::string bytes;
        char buffer[4096];
        while (size_t n = zip.Read(buffer, sizeof buffer).LastRead()) bytes.append(buffer, n);
        EXPECT_EQ(wxSTREAM_EOF, zip.GetLastError()) << entry->GetInternalName();
        entries[entry->GetInternalName().ToStdWstring()] = bytes;
    }
    EXPECT_EQ(wxSTREAM_EOF, zip.GetLastError());
    return entries;
}

TEST(StoreTool, AnUnscrambledStoreReadsAsAPlainZip) {
    WrittenStore store;
    TempFolder scratch(L"tool");
    const std::wstring plain = scratch / L"plain.zip";
    const ToolRun run = RunTool(scratch, L"unscramble " + Quoted(store.Store()) + L" " + Quoted(plain));
    EXPECT_EQ(0u, run.code) << run.err;
    EXPECT_EQ("PK", ReadBytes(plain).substr(0, 2));

    const auto entries = ReadPlainZip(plain);
    for (const auto& [path, bytes] : store.files) {
        auto it = entries.find(EntryOf(path));
        ASSERT_NE(entries.end(), it) << Narrow(path);
        EXPECT_TRUE(bytes == it->second) << Narrow(path);
    }
    EXPECT_EQ(1u, entries.count(kapp::kDescriptionEntry));

    // The plain zip is no store: the tool says so instead of reading garbage.
    const ToolRun again = RunTool(scratch, L"list " + Quoted(plain));
    EXPECT_EQ(1u, again.code);
    EXPECT_NE(std::string::npos, again.err.find("is a plain zip file, not a scrambled data store")) << again.err;

    const ToolRun itself = RunTool(scratch, L"unscramble " + Quoted(store.Store()) + L" " + Quoted(store.Store()));
    EXPECT_EQ(1u, itself.code);
    EXPECT_NE(std::string::npos, itself.err.find("is the store itself")) << itself.err;
    EXPECT_FALSE(ReadPlainZip(plain).empty());
    const auto stillStore = RunTool(scratch, L"list " + Quoted(store.Store()));
    EXPECT_EQ(0u, stillStore.code) << "the store is untouched\n" << stillStore.err;
}

// An initial archive built from a description and a folder starts a first portable run with
// the folder's files, and reads back through the tool.
TEST(StoreTool, ABuiltInitialArchiveStartsAFirstRun) {
    TempFolder app(L"toolapp");
    TempFolder host(L"toolhost");
    TempFolder source(L"toolsrc");
    TempFolder scratch(L"tool");
    const std::wstring settings = host / L"settings.ini";
    const std::string description =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- kept as written -->\n<appmanager version=\"1\">"
        "<regentry_init type=\"0\" name=\"" + Attr(settings) + "\" available=\"true\" destination=\"" + Attr(settings) + "\"/>"
        "</appmanager>\n";
    WriteBytes(scratch / L"description.xml", description);
    WriteBytes(BelowFolder(source, settings), "shipped defaults");
    WriteBytes(source / L"extra\\readme.txt", "not in the description");

    const ToolRun build = RunTool(scratch, L"build-init " + Quoted(scratch / L"description.xml") + L" " +
                                               Quoted(source.Path()) + L" " + Quoted(app / L"init.zip"));
    ASSERT_EQ(0u, build.code) << build.err;
    EXPECT_EQ((std::vector<std::wstring>{L"init.zip"}), List(app.Path())) << "no partial file is left";

    const ToolRun describe = RunTool(scratch, L"describe " + Quoted(app / L"init.zip"));
    EXPECT_EQ(0u, describe.code) << describe.err;
    EXPECT_EQ(description, describe.out);
    const ToolRun list = RunTool(scratch, L"list " + Quoted(app / L"init.zip"));
    EXPECT_NE(std::string::npos, list.out.find("extra/readme.txt")) << list.out;

    auto manager = kapp::CreateApplicationManager(app.Path().c_str(), (app / L"datastore\\data.db").c_str(),
                                                  (app / L"init.zip").c_str(), true);
    manager->AddFile(settings.c_str(), kAll);
    EXPECT_TRUE(manager->Start());
    EXPECT_EQ("shipped defaults", ReadBytes(settings));
    manager->Stop();
    kapp::DeleteApplicationManager(manager);

    struct BadInput {
        const char* name;
        std::string descriptionText;
        const char* message;
    };
    const BadInput bad[] = {
        {"not XML", "<appmanager", "is no well-formed XML document"},
        {"no description", "", "no such file"},
    };
    for (const BadInput& c : bad) {
        const std::wstring path = scratch / L"bad.xml";
        ::DeleteFileW(path.c_str());
        if (!c.descriptionText.empty()) WriteBytes(path, c.descriptionText);
        const ToolRun run =
            RunTool(scratch, L"build-init " + Quoted(path) + L" " + Quoted(source.Path()) + L" " + Quoted(scratch / L"x.zip"));
        EXPECT_EQ(1u, run.code) << c.name;
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << c.name << ": " << run.err;
        EXPECT_FALSE(Exists(scratch / L"x.zip")) << c.name;
    }
}

// Every reading command on files that are no intact store: a clear message, exit code 1, and
// nothing left behind in the output folder or file.
TEST(StoreTool, DamagedAndForeignFilesAreReportedWithAFailingExitCode) {
    WrittenStore store;
    const std::string good = ReadBytes(store.Store());
    ASSERT_GT(good.size(), 1000u);
    // A byte in the middle of the incompressible entry's data: the directory still reads, the
    // entry's check sum does not match.
    std::string flipped = good;
    flipped[good.size() / 2] = char(flipped[good.size() / 2] ^ 0x55);
    std::string plainZip = good;
    kapp::ScrambleBuffer(reinterpret_cast<uint8_t*>(plainZip.data()), plainZip.size(), 0);

    struct Case {
        const char* name;
        bool exists;
        std::string bytes;
        const char* message;         // for list, describe, unscramble and extract --all
        bool listable;               // the directory reads: only the extraction fails
    };
    const Case cases[] = {
        {"missing", false, "", "no such file", false},
        {"empty", true, "", "is empty or cut short: not a data store", false},
        {"three bytes", true, good.substr(0, 3), "is empty or cut short: not a data store", false},
        {"foreign text", true, "Just some text, not an archive.\r\n", "is not a data store", false},
        {"plain zip", true, plainZip, "is a plain zip file, not a scrambled data store", false},
        {"cut in half", true, good.substr(0, good.size() / 2), "is damaged", false},
        {"directory cut off", true, good.substr(0, good.size() - 30), "is damaged", false},
        {"flipped data byte", true, flipped, "is damaged or cannot be written", true},
    };
    for (const Case& c : cases) {
        TempFolder scratch(L"toolbad");
        const std::wstring path = scratch / L"data.db";
        if (c.exists) WriteBytes(path, c.bytes);
        const std::wstring target = scratch / L"out";
        const struct {
            const wchar_t* command;
            std::wstring arguments;
            bool failsWhenListable;
        } commands[] = {
            {L"list", Quoted(path), false},
            {L"unscramble", Quoted(path) + L" " + Quoted(target), false},
            {L"extract", Quoted(path) + L" --all " + Quoted(target), true},
        };
        for (const auto& command : commands) {
            const ToolRun run = RunTool(scratch, std::wstring(command.command) + L" " + command.arguments);
            const std::string what = std::string(c.name) + ", " + Narrow(command.command) + ": " + run.err;
            if (c.listable && !command.failsWhenListable) {
                EXPECT_EQ(0u, run.code) << what;
                ::DeleteFileW(target.c_str());
                continue;
            }
            EXPECT_EQ(1u, run.code) << what;
            EXPECT_NE(std::string::npos, run.err.find(c.message)) << what;
            EXPECT_NE(std::string::npos, run.err.find("brvstore: ")) << what;
            if (c.listable) {
                EXPECT_FALSE(Exists(BelowFolder(scratch, store.host / L"profile\\sub\\noise.bin")))
                    << "a damaged entry leaves no file behind: " << what;
            } else {
                EXPECT_FALSE(Exists(target)) << what;
            }
        }
    }
}

TEST(StoreTool, WrongCommandLinesPrintTheUsage) {
    TempFolder scratch(L"tool");
    for (const wchar_t* arguments : {L"", L"list", L"list a b", L"frobnicate x", L"extract a b"}) {
        const ToolRun run = RunTool(scratch, arguments);
        EXPECT_EQ(2u, run.code) << Narrow(arguments);
        EXPECT_NE(std::string::npos, run.err.find("usage: brvstore list <store>")) << Narrow(arguments);
    }
}

// Entry names that would climb out of the folder are refused; the others still come out.
TEST(StoreTool, EntriesCannotLeaveTheExtractionFolder) {
    TempFolder scratch(L"tool");
    TempFolder target(L"toolout");
    const std::wstring store = scratch / L"data.db";
    // Written by a plain zip writer through the scrambled stream: the save manager would
    // normalise the names.
    {
        auto file = std::make_unique<kapp::CCryptedOutputFileStream>(wxString(store));
        wxZipOutputStream zip(file.release());
        for (const char* name : {"../escaped.txt", "a/../../escaped2.txt", "fine/kept.txt"}) {
            zip.PutNextEntry(name);
            zip.Write("x", 1);
        }
        ASSERT_TRUE(zip.Close());
    }
    const ToolRun run = RunTool(scratch, L"extract " + Quoted(store) + L" --all " + Quoted(target / L"in"));
    EXPECT_EQ(1u, run.code);
    EXPECT_NE(std::string::npos, run.err.find("would leave the folder")) << run.err;
    EXPECT_EQ("x", ReadBytes(target / L"in\\fine\\kept.txt"));
    EXPECT_EQ(std::vector<std::wstring>{L"in"}, List(target.Path()));
    EXPECT_FALSE(Exists(scratch / L"escaped.txt"));
}

}  // namespace
}  // namespace kapp_test
