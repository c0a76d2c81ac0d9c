// The start-up trace of the real program: one line per step, in the order the steps end, with
// times that fit together; and nothing at all without the variable.
#include "tests/app/support/ProgramRun.h"

#include "kest/win32/Handles.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace testing_support;

namespace {

struct TraceLine {
    std::wstring step;
    double at = 0, took = 0;
};

// Parses "name TAB at TAB took" lines (CRLF); a malformed line fails the test.
std::vector<TraceLine> ParseTrace(const std::wstring& text) {
    std::vector<TraceLine> lines;
    std::wistringstream in(text);
    std::wstring line;
    while (std::getline(in, line)) {
        EXPECT_TRUE(!line.empty() && line.back() == L'\r') << "not a CRLF line: " << line.c_str();
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        std::wistringstream fields(line);
        TraceLine t;
        std::wstring rest;
        const bool ok = std::getline(fields, t.step, L'\t') && (fields >> t.at >> t.took) && !(fields >> rest);
        EXPECT_TRUE(ok && !t.step.empty() && t.at >= 0 && t.took >= 0) << "malformed line: " << line.c_str();
        lines.push_back(t);
    }
    return lines;
}

std::set<std::wstring> FilesIn(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    kest::win32::UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &data));
    if (find) {
        do names.insert(data.cFileName);
        while (::FindNextFileW(find.get(), &data));
    }
    return names;
}

const std::vector<std::wstring> kStepsUpToTheEngine = {
    L"framework-start", L"application-folder", L"manager-start", L"drive-access", L"splash-shown", L"splash",
    L"framework-registry", L"windows-version", L"engine-load", L"product-values", L"language", L"upgrade-name",
    L"help-file"};

struct TraceCase {
    const char* name;
    Engine engine;
    std::vector<std::wstring> stepsAfter;  // after the help file
    size_t dialogs;
};

class StartupTraceRun : public testing::TestWithParam<TraceCase> {};

TEST_P(StartupTraceRun, EveryStepAppendsOneLineInOrder) {
    const TraceCase& c = GetParam();
    CProgramFolder program(c.engine);
    const std::wstring traceFile = program.Folder() + L"startup.txt";
    // The trace is appended to: an earlier run's lines stay.
    {
        kest::win32::UniqueFile file(::CreateFileW(traceFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        const char earlier[] = "earlier\t1.0\t2.0\r\n";
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), earlier, sizeof earlier - 1, &written, nullptr));
    }
    RunResult run = program.Run(L"", {{L"ORDAVIA_STARTUP_TRACE", traceFile}});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(c.dialogs, run.dialogs.size());

    std::vector<TraceLine> lines = ParseTrace(ReadTextFile(traceFile));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(L"earlier", lines.front().step);
    lines.erase(lines.begin());
    std::vector<std::wstring> expected = kStepsUpToTheEngine;
    expected.insert(expected.end(), c.stepsAfter.begin(), c.stepsAfter.end());
    std::vector<std::wstring> steps;
    for (const TraceLine& t : lines) steps.push_back(t.step);
    ASSERT_EQ(expected, steps);

    // Steps follow one another: none begins before the one written before it has ended (the
    // splash's mark lies inside the splash step). Times have one decimal, hence the slack.
    const TraceLine* previous = nullptr;
    for (const TraceLine& t : lines) {
        if (t.step == L"splash-shown") continue;
        if (previous) {
            EXPECT_GE(t.at + 0.15, previous->at + previous->took) << t.step.c_str();
        }
        previous = &t;
    }
    const TraceLine& shown = lines[4];
    const TraceLine& splash = lines[5];
    EXPECT_GE(shown.at + 0.15, splash.at);
    EXPECT_LE(shown.at, splash.at + splash.took + 0.15);
    EXPECT_GE(splash.took, 1900.0);  // 32 fade steps of 60 milliseconds
    // Every step counts from the creation of the process, which came before the first step.
    EXPECT_GT(lines.front().at, 0.0);
    EXPECT_LT(lines.back().at + lines.back().took, double(run.elapsedMs) + 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Trace, StartupTraceRun,
    testing::Values(
        TraceCase{"WithEngine", Engine::Recording,
                  {L"autoplay-texts", L"about-text", L"engine-prepare", L"StartBlazen", L"manager-stop",
                   L"framework-cleanup"},
                  0},
        // Without the engine library start-up ends after the help file, with no shutdown steps.
        TraceCase{"WithoutEngine", Engine::None, {}, 1}),
    [](const testing::TestParamInfo<TraceCase>& info) { return std::string(info.param.name); });

// The libraries the program loads on first use (the language dialog's controls, the shell's
// functions) are not in the process when the engine starts: loading them before the program's
// first line delayed the splash.
TEST(StartupLibraries, NoneOfTheOnDemandLibrariesIsLoadedWhenTheEngineStarts) {
    CProgramFolder program;
    RunResult run = program.Run();
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    const std::wstring line = L"loaded.on.demand=";
    const size_t at = run.record.find(line);
    ASSERT_NE(std::wstring::npos, at) << run.record.c_str();
    EXPECT_EQ(line + L"\n", run.record.substr(at, run.record.find(L'\n', at) + 1 - at));
}

TEST(StartupTrace, WithoutTheVariableNothingIsWritten) {
    CProgramFolder program;
    const std::set<std::wstring> before = FilesIn(program.Folder());
    // Cleared, in case the developer running the tests has it set.
    RunResult run = program.Run(L"", {{L"ORDAVIA_STARTUP_TRACE", L""}});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    std::set<std::wstring> added;
    for (const std::wstring& name : FilesIn(program.Folder()))
        if (!before.count(name)) added.insert(name);
    // Only the recorders' files: the engine's record and the drive-access library's.
    EXPECT_EQ((std::set<std::wstring>{L"record.txt", L"spti.txt"}), added);
}

}  // namespace
