// Start-up benchmark: the program with the demo engine and 40 language packs (the active one
// with 20 000 texts), started in turns with a bare program that only shows a 400 x 300 pop-up
// window and with the portable edition in a folder of its own (the same packs, its data store
// beside it); all write the start-up trace, and the medians are printed side by side. See
// README.md.
#include "lang/LangPackMan.h"
#include "tests/app/support/ProgramRun.h"
#include "tests/lang/PackWriter.h"

#include "kest/win32/Handles.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

constexpr int kPacks = 40;
constexpr int kTexts = 20000;
constexpr double kGoalMs = 50;

struct StepTime {
    double at = 0, took = 0;
};
using Trace = std::map<std::string, StepTime>;

// Reads a trace file: "name TAB at TAB took" per line.
bool ReadTrace(const std::wstring& path, Trace& trace, std::vector<std::string>& order) {
    const std::wstring text = ReadTextFile(path);
    std::istringstream lines(std::string(text.begin(), text.end()));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        std::string name;
        StepTime t;
        if (!std::getline(fields, name, '\t') || !(fields >> t.at >> t.took)) return false;
        if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
        trace[name] = t;
    }
    return !trace.empty();
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

bool RunBare(const std::wstring& exe) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    kest::win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    return ::WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0;
}

// One program's traces over the runs: every step's start and length, and its life's end.
struct Series {
    std::vector<std::string> order;
    std::map<std::string, std::vector<double>> at, took;
    std::vector<double> splash, splashEnd, engine, engineEnd, exit, lifetime;

    void Add(Trace& trace, double lifetimeMs) {
        for (const auto& [name, t] : trace) {
            at[name].push_back(t.at);
            took[name].push_back(t.took);
        }
        splash.push_back(trace["splash-shown"].at);
        splashEnd.push_back(trace["splash"].at + trace["splash"].took);
        engine.push_back(trace["StartBlazen"].at);
        const double engineDone = trace["StartBlazen"].at + trace["StartBlazen"].took;
        engineEnd.push_back(engineDone);
        lifetime.push_back(lifetimeMs);
        // From the engine's return to the process's end: the manager's stop, the clean-up, the
        // framework's and the system's part of ending a process.
        exit.push_back(lifetimeMs - engineDone);
    }
};

bool WritePacks(const std::wstring& folder, const std::wstring& systemTag,
                const std::vector<std::pair<std::string, std::wstring>>& texts) {
    const std::wstring lang = folder + L"lang\\";
    if (!::CreateDirectoryW(lang.c_str(), nullptr)) return false;
    const std::vector<std::pair<std::string, std::wstring>> few(texts.begin(), texts.begin() + 200);
    for (int i = 0; i < kPacks; ++i) {
        const std::wstring tag = i == 0 ? systemTag : L"x-bench" + std::to_wstring(i);
        const auto& content = i == 0 ? texts : few;
        const std::wstring path = lang + L"OrdaviaStudio_" + std::to_wstring(i) + L".brvLang";
        pack_test::WriteFile(path, i % 2 == 0 ? pack_test::MakeResourceFile(tag, tag, content)
                                              : pack_test::FlatPackBytes(pack_test::MakeFlatPack("LANGPU16", tag, content)));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    CProgramFolder program(Engine::Demo, DriveAccess::Real);
    // The portable edition: its own program and initial archive in place of the installed ones.
    CProgramFolder portable(Engine::Demo, DriveAccess::Real);
    const std::wstring portableBuild = BuildPath(ORDAVIA_PORTABLE_DIR);
    for (const wchar_t* name : {L"OrdaviaStudio.exe", L"init.zip"}) {
        if (!::CopyFileW((portableBuild + name).c_str(), (portable.Folder() + name).c_str(), FALSE)) {
            std::fprintf(stderr, "cannot copy the portable edition's %ls; build it first\n", name);
            return 1;
        }
    }
    // The large pack speaks the system language, so that the program chooses it.
    const std::wstring systemTag = CLangPackMan().GetSystemLanguageTag();
    std::vector<std::pair<std::string, std::wstring>> texts;
    for (int i = 0; i < kTexts; ++i)
        texts.push_back({"CDialog" + std::to_string(i % 97) + ".Item" + std::to_string(i) + ".Caption",
                         L"Translated text number " + std::to_wstring(i) + L" of the user interface"});
    if (!WritePacks(program.Folder(), systemTag, texts) || !WritePacks(portable.Folder(), systemTag, texts)) {
        std::fprintf(stderr, "cannot create the language folder\n");
        return 1;
    }
    std::printf("%d runs each; %d packs, the active one (%ls) with %d texts\n\n", runs, kPacks, systemTag.c_str(),
                kTexts);

    const std::wstring bare = ModuleFolder() + L"bare_window.exe";
    std::vector<std::string> bareOrder;
    std::vector<double> bareWindow;
    Series installed, travelling;
    // The portable edition's first start restores from the initial archive; later ones from its
    // store, as every start after the first does. One unmeasured start makes the store.
    {
        const RunResult first = portable.Run();
        if (first.timedOut || !first.dialogs.empty()) {
            std::fprintf(stderr, "the portable edition's first start failed\n");
            return 1;
        }
    }
    for (int run = 0; run < runs; ++run) {
        // The three take turns, so that the machine's load weighs on all alike.
        for (int which = 0; which < 3; ++which) {
            const CProgramFolder& folder = which == 2 ? portable : program;
            const std::wstring traceFile = folder.Folder() + L"startup-trace.txt";
            ::DeleteFileW(traceFile.c_str());
            if (!::SetEnvironmentVariableW(L"ORDAVIA_STARTUP_TRACE", traceFile.c_str())) return 1;
            bool ran = false;
            double lifetime = 0;
            if (which == 0) {
                ran = RunBare(bare);
            } else {
                const RunResult result = folder.Run();
                ran = !result.timedOut && result.dialogs.empty();
                lifetime = result.lifetimeMs;
                if (!result.dialogs.empty())
                    std::fprintf(stderr, "the program showed \"%ls\"\n", result.dialogs.front().text.c_str());
            }
            ::SetEnvironmentVariableW(L"ORDAVIA_STARTUP_TRACE", nullptr);
            Trace trace;
            std::vector<std::string>& order = which == 0 ? bareOrder : which == 1 ? installed.order : travelling.order;
            static const char* const kNames[] = {"bare program", "program", "portable edition"};
            if (!ran || !ReadTrace(traceFile, trace, order)) {
                std::fprintf(stderr, "run %d of the %s gave no trace\n", run + 1, kNames[which]);
                return 1;
            }
            if (which == 0) bareWindow.push_back(trace["window-shown"].at);
            else (which == 1 ? installed : travelling).Add(trace, lifetime);
        }
    }

    std::printf("%-20s %12s %12s %14s %12s   (medians, ms)\n", "step", "began at", "took", "portable: at", "took");
    std::vector<std::string> order = installed.order;
    for (const std::string& name : travelling.order)
        if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
    for (const std::string& name : order)
        std::printf("%-20s %12.1f %12.1f %14.1f %12.1f\n", name.c_str(), Median(installed.at[name]),
                    Median(installed.took[name]), Median(travelling.at[name]), Median(travelling.took[name]));

    const double bareMs = Median(bareWindow), splashMs = Median(installed.splash), endMs = Median(installed.splashEnd),
                 engineMs = Median(installed.engine);
    std::printf("\nbare program's window on screen   %8.1f ms\n", bareMs);
    std::printf("splash on screen                  %8.1f ms   %+8.1f ms after the bare window (goal %.0f or less)\n",
                splashMs, splashMs - bareMs, kGoalMs);
    std::printf("splash closed                     %8.1f ms\n", endMs);
    std::printf("StartBlazen entered               %8.1f ms   %+8.1f ms after the splash closed (goal %.0f or less)\n",
                engineMs, engineMs - endMs, kGoalMs);

    const double portableSplash = Median(travelling.splash), exitMs = Median(installed.exit),
                 portableExit = Median(travelling.exit);
    std::printf("\n%-34s %10s %10s %10s %8s\n", "portable edition beside installed", "installed", "portable", "difference",
                "goal");
    std::printf("%-34s %10.1f %10.1f %+10.1f %8s\n", "splash on screen (ms)", splashMs, portableSplash,
                portableSplash - splashMs, "<= 100");
    std::printf("%-34s %10.1f %10.1f %+10.1f %8s\n", "exit: engine's return to end (ms)", exitMs, portableExit,
                portableExit - exitMs, "<= 300");
    std::printf("%-34s %10.1f %10.1f %+10.1f\n", "whole run (ms)", Median(installed.lifetime),
                Median(travelling.lifetime), Median(travelling.lifetime) - Median(installed.lifetime));
    return 0;
}
