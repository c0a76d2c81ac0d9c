// The data store under a process that dies: a session of the portable manager runs in a child
// process (this test program, started again), which is ended at seeded moments of its Stop. After
// each death the store is the previous one byte for byte or a complete new one, and the next
// start brings every item back.
//
// make test runs a short seeded series; the long one is
//     KAPP_CRASH_RUNS=250 KAPP_CRASH_SEED=1 tools/wine-run.sh build64/bin/kapp_tests.exe --gtest_filter='CrashConsistency.*'
#include "Archives.h"
#include "CrashChild.h"
#include "kapp/ApplicationManager.h"
#include "kapp/PortableAppManager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace kapp_test {

namespace {

const int kAll = kapp::SaveToStore | kapp::RemoveFromHost | kapp::RestoreFromStore;
constexpr int kFiles = 12;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

std::wstring FileOf(const std::wstring& host, int i) {
    return WithSlash(host) + L"data\\f" + std::to_wstring(i) + L".bin";
}

std::string OldContent(int i) { return Noise(30000, uint32_t(i)); }
std::string NewContent(int i) { return Noise(30000, uint32_t(1000 + i)); }

// One session: start, write every file with content (when given), stop.
void Session(const std::wstring& app, const std::wstring& host, std::string (*content)(int)) {
    kapp::CPortableAppManager manager(app, WithSlash(app) + L"datastore\\data.db", WithSlash(app) + L"init.zip");
    manager.AddFolder((WithSlash(host) + L"data\\").c_str(), kAll);
    manager.Start();
    if (content)
        for (int i = 0; i < kFiles; ++i) WriteBytes(FileOf(host, i), content(i));
    manager.Stop();
}

}  // namespace

std::wstring WithSlash(const std::wstring& path) { return kapp::WithTrailingBackslash(path); }

int RunCrashChild() {
    const std::wstring app = Environment(L"KAPP_CRASH_APP"), host = Environment(L"KAPP_CRASH_HOST");
    if (app.empty() || host.empty()) return 2;
    try {
        Session(app, host, &NewContent);
    } catch (...) {
        return 1;
    }
    return 0;
}

namespace {

// Starts this program as a child session and ends it after delayMs (never when negative).
// Whether it ran to its end.
bool RunChild(const std::wstring& app, const std::wstring& host, int delayMs) {
    wchar_t self[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    EXPECT_TRUE(n > 0 && n <= MAX_PATH);
    ::SetEnvironmentVariableW(L"KAPP_CRASH_APP", app.c_str());
    ::SetEnvironmentVariableW(L"KAPP_CRASH_HOST", host.c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\" --crash-child";
    std::vector<wchar_t> writable(command.begin(), command.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const BOOL started =
        ::CreateProcessW(self, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    ::SetEnvironmentVariableW(L"KAPP_CRASH_APP", nullptr);
    ::SetEnvironmentVariableW(L"KAPP_CRASH_HOST", nullptr);
    EXPECT_TRUE(started);
    if (!started) return false;
    kest::win32::UniqueHandle process(info.hProcess), thread(info.hThread);
    if (delayMs >= 0 && ::WaitForSingleObject(process.get(), DWORD(delayMs)) == WAIT_TIMEOUT) {
        ::TerminateProcess(process.get(), 99);
    }
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 60000));
    DWORD code = 99;
    ::GetExitCodeProcess(process.get(), &code);
    return code == 0;
}

// Whether the store holds exactly the files with the given contents.
bool StoreHolds(const std::wstring& store, const std::wstring& host, std::string (*content)(int)) {
    kapp::CZipLoadManager load(Uri(store).Get());
    if (!load.IsReadable() || !load.LoadXmlDocument(kest::String(kapp::kDescriptionEntry))) return false;
    TempFolder out(L"crashout");
    for (int i = 0; i < kFiles; ++i) {
        if (!load.ExtractFile(kapp::FromStd(FileOf(host, i)), Uri(out / L"f.bin").Get())) return false;
        if (ReadBytes(out / L"f.bin") != content(i)) return false;
    }
    return true;
}

TEST(CrashConsistency, AStopEndedAtAnyMomentLeavesTheOldOrTheNewStore) {
    const std::wstring runsText = Environment(L"KAPP_CRASH_RUNS"), seedText = Environment(L"KAPP_CRASH_SEED");
    const int runs = runsText.empty() ? 12 : std::max(1, int(std::wcstol(runsText.c_str(), nullptr, 10)));
    const unsigned seed = seedText.empty() ? 20261210u : unsigned(std::wcstoul(seedText.c_str(), nullptr, 10));
    TempFolder app(L"crashapp");
    TempFolder host(L"crashhost");
    const std::wstring store = app / L"datastore\\data.db";

    // A full child session's length is the range of the moments.
    auto prepare = [&] {
        TempFolder::RemoveTree(app / L"datastore");
        TempFolder::RemoveTree(host / L"data");
        Session(app.Path(), host.Path(), &OldContent);  // the first run: the store holds the old files
        Session(app.Path(), host.Path(), nullptr);      // a later one: the store stays, the host too
        return ReadBytes(store);
    };
    std::string old = prepare();
    ASSERT_TRUE(StoreHolds(store, host.Path(), &OldContent));
    const DWORD begin = ::GetTickCount();
    ASSERT_TRUE(RunChild(app.Path(), host.Path(), -1));
    const int length = int(::GetTickCount() - begin) + 1;
    ASSERT_TRUE(StoreHolds(store, host.Path(), &NewContent));

    std::mt19937 random(seed);
    int oldSeen = 0, newSeen = 0;
    for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE("run " + std::to_string(run) + " of seed " + std::to_string(seed));
        old = prepare();
        const int delay = int(random() % unsigned(length + length / 4));
        RunChild(app.Path(), host.Path(), delay);
        const std::string after = ReadBytes(store);
        const bool isOld = after == old;
        const bool isNew = !isOld && StoreHolds(store, host.Path(), &NewContent);
        EXPECT_TRUE(isOld || isNew) << "ended after " << delay << " ms";
        oldSeen += isOld;
        newSeen += isNew;
        // The next session brings every file back, as the store has it.
        {
            kapp::CPortableAppManager manager(app.Path(), store, app / L"init.zip");
            manager.AddFolder((host / L"data\\").c_str(), kAll);
            ASSERT_NO_THROW(manager.Start());
            for (int i = 0; i < kFiles; ++i) {
                const std::string now = ReadBytes(FileOf(host.Path(), i));
                EXPECT_TRUE(now == (isOld ? OldContent(i) : NewContent(i))) << "file " << i;
            }
            manager.Stop();
        }
        EXPECT_EQ(std::vector<std::wstring>{L"data.db"}, List(app / L"datastore")) << "nothing left beside it";
    }
    std::printf("[ crashes ] %d runs (seed %u, moments 0-%d ms): old store %d, new store %d, other 0 expected\n", runs,
                seed, length + length / 4, oldSeen, newSeen);
}

}  // namespace
}  // namespace kapp_test
