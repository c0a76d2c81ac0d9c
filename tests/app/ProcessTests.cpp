// The real program, started as its own process from a private copy of the program folder.
#include "tests/app/support/ProgramRun.h"

#include "kest/win32/Handles.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const wchar_t kDisplayName[] = L"Brenvalo Ordavia 2010 Advanced";

const wchar_t kBurnHandlerKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\"
    L"BRVBrenvalo_Ordavia_2010_AdvancedBURNONARRIVAL";

void ForgetAutoplayText() {
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kBurnHandlerKey);
}

std::wstring AutoplayText() {
    kest::win32::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBurnHandlerKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return L"(none)";
    wchar_t text[256] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), L"Action", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS)
        return L"(none)";
    return text;
}

size_t Count(const std::wstring& text, const std::wstring& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

TEST(Process, PlainStartShowsTheSplashRunsTheEngineAndExitsCleanly) {
    CProgramFolder program;
    ForgetAutoplayText();
    RunResult run = program.Run();
    EXPECT_EQ(L"Burn CD/DVD", AutoplayText());
    ForgetAutoplayText();
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.dialogs.empty());
    EXPECT_EQ(1u, Count(run.record, L"start\n")) << run.record;
    EXPECT_TRUE(Contains(run.record, L"free=results\n")) << run.record;
    // The splash fades in over 32 steps of 60 milliseconds before anything else happens.
    EXPECT_GE(run.elapsedMs, 1900u);
    EXPECT_EQ(L"InitWmiDrives SOFTWARE\\brenvalo\\Brenvalo Ordavia 2010 Advanced\\drives\n",
              ReadTextFile(program.SptiPath()));
}

TEST(Process, SecondInstanceEndsAtOnceAndSilently) {
    CProgramFolder first;
    CProgramFolder second;
    const std::wstring event = L"OrdaviaTestsEngineHold" + std::to_wstring(::GetCurrentProcessId());
    kest::win32::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
    ASSERT_TRUE(release);
    PROCESS_INFORMATION running = first.Start(L"", {{L"REC_ENGINE_WAIT", event}});
    // Wait until the first instance is inside the engine.
    for (int i = 0; i < 600 && !Contains(ReadTextFile(first.RecordPath()), L"waiting\n"); ++i) ::Sleep(50);
    ASSERT_TRUE(Contains(ReadTextFile(first.RecordPath()), L"waiting\n"));

    RunResult again = second.Run(L"", {}, 20000);
    EXPECT_FALSE(again.timedOut);
    EXPECT_EQ(0u, again.exitCode);
    EXPECT_TRUE(again.dialogs.empty());
    EXPECT_TRUE(again.record.empty());
    EXPECT_TRUE(again.trace.empty());
    // It ended before any start-up step: the drive-access library was never asked.
    EXPECT_FALSE(FileExists(second.SptiPath()));

    ASSERT_TRUE(::SetEvent(release.get()));
    RunResult done = first.Finish(running, 30000);
    EXPECT_FALSE(done.timedOut);
    EXPECT_EQ(0u, done.exitCode);
}

TEST(Process, MissingEngineLibraryIsReportedOnceThenTheProgramEnds) {
    CProgramFolder program(Engine::None);
    ForgetAutoplayText();
    RunResult run = program.Run();
    EXPECT_EQ(L"(none)", AutoplayText());
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(1u, run.dialogs.size());
    EXPECT_EQ(L"Could not load qdxburn.dll", run.dialogs[0].text);
    EXPECT_EQ(kDisplayName, run.dialogs[0].caption);
    EXPECT_EQ(1u, Count(run.trace, L"messagebox"));
    EXPECT_TRUE(Contains(run.trace, L"type=16 caption=Brenvalo Ordavia 2010 Advanced text=Could not load qdxburn.dll"))
        << run.trace;
}

TEST(Process, EngineWithoutFreeEntryIsReportedAndNotStarted) {
    CProgramFolder program(Engine::RecordingWithoutFree);
    RunResult run = program.Run();
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(1u, run.dialogs.size());
    EXPECT_EQ(L"Could not load qdxburn.dll", run.dialogs[0].text);
    EXPECT_TRUE(Contains(run.trace, L"type=16 ")) << run.trace;
    EXPECT_TRUE(run.record.empty()) << run.record;
}

TEST(Process, MissingDriveAccessIsReportedAndStartupGoesOn) {
    CProgramFolder program(Engine::Recording, DriveAccess::None);
    RunResult run = program.Run();
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(1u, run.dialogs.size());
    EXPECT_EQ(L"Could not load brv_spti.dll", run.dialogs[0].text);
    // Shown before the program names itself: the caption is still the module's name.
    EXPECT_EQ(L"OrdaviaStudio", run.dialogs[0].caption);
    EXPECT_TRUE(Contains(run.trace, L"type=16 ")) << run.trace;
    EXPECT_TRUE(Contains(run.record, L"free=results\n")) << run.record;
}

TEST(Process, EngineWithoutResultsGetsThemBackAsNone) {
    CProgramFolder program;
    RunResult run = program.Run(L"", {{L"REC_ENGINE_RESULTS", L"none"}});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.dialogs.empty());
    EXPECT_TRUE(Contains(run.record, L"free=null\n")) << run.record;
}

TEST(Process, ShellMenusInTheEnginesMenuBar) {
    CProgramFolder program;
    RunResult run = program.Run();
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    // The online-services library beside the program offers its information channels, and a
    // plain installation checks for updates itself (update type 2) and has no upgrade.
    EXPECT_TRUE(Contains(run.record, L"menusetup=0\nmenu=&File\nmenu=&Options|2000 Languages...|2100 Channels...\n"
                                     L"menu=Internet|2002 Recommend Program to a Friend|-|2015 My Brenvalo|"
                                     L"2003 Today's Special Offers|2004 Brenvalo free Service Letter|"
                                     L"2010 Brenvalo Homepage|2005 Brenvalo Products|107 Brenvalo Support|-|"
                                     L"32795 Buy Recordables online|-|2006 Online Update|-|"
                                     L"1040 &Send Problem Report to Brenvalo...\nmenu=&Help\n"))
        << run.record;
}

TEST(Process, DemoEngineRunsToItsEndWithoutADisplay) {
    CProgramFolder program(Engine::Demo, DriveAccess::Real);
    RunResult run = program.Run();
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.dialogs.empty());
}

}  // namespace
