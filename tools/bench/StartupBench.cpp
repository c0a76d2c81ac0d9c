// Start-up benchmark: the program with the demo engine and 40 language packs (the active one
// with 20 000 texts), started in turns with a bare program that only shows a 400 x 300 pop-up
// window; both write the start-up trace, and the medians are printed side by side. See README.md.
#include "lang/LangPackMan.h"
#include "tests/app/support/ProgramRun.h"
#include "tests/lang/PackWriter.h"

#include "kest/win32/Handles.h"

#include <windows.h>

#include <algorithm>
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

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    CProgramFolder program(Engine::Demo, DriveAccess::Real);
    const std::wstring lang = program.Folder() + L"lang\\";
    if (!::CreateDirectoryW(lang.c_str(), nullptr)) {
        std::fprintf(stderr, "cannot create the language folder\n");
        return 1;
    }
    // The large pack speaks the system language, so that the program chooses it.
    const std::wstring systemTag = CLangPackMan().GetSystemLanguageTag();
    std::vector<std::pair<std::string, std::wstring>> texts;
    for (int i = 0; i < kTexts; ++i)
        texts.push_back({"CDialog" + std::to_string(i % 97) + ".Item" + std::to_string(i) + ".Caption",
                         L"Translated text number " + std::to_wstring(i) + L" of the user interface"});
    const std::vector<std::pair<std::string, std::wstring>> few(texts.begin(), texts.begin() + 200);
    for (int i = 0; i < kPacks; ++i) {
        const std::wstring tag = i == 0 ? systemTag : L"x-bench" + std::to_wstring(i);
        const auto& content = i == 0 ? texts : few;
        const std::wstring path = lang + L"OrdaviaStudio_" + std::to_wstring(i) + L".brvLang";
        pack_test::WriteFile(path, i % 2 == 0 ? pack_test::MakeResourceFile(tag, tag, content)
                                              : pack_test::FlatPackBytes(pack_test::MakeFlatPack("LANGPU16", tag, content)));
    }
    std::printf("%d runs each; %d packs, the active one (%ls) with %d texts\n\n", runs, kPacks, systemTag.c_str(),
                kTexts);

    const std::wstring bare = ModuleFolder() + L"bare_window.exe";
    const std::wstring traceFile = program.Folder() + L"startup-trace.txt";
    std::vector<std::string> order, bareOrder;
    std::map<std::string, std::vector<double>> at, took;
    std::vector<double> bareWindow, splash, splashEnd, engine;
    for (int run = 0; run < runs; ++run) {
        // Bare program and program take turns, so that the machine's load weighs on both alike.
        for (int which = 0; which < 2; ++which) {
            ::DeleteFileW(traceFile.c_str());
            if (!::SetEnvironmentVariableW(L"ORDAVIA_STARTUP_TRACE", traceFile.c_str())) return 1;
            bool ran = false;
            if (which == 0) {
                ran = RunBare(bare);
            } else {
                const RunResult result = program.Run();
                ran = !result.timedOut && result.dialogs.empty();
                if (!result.dialogs.empty())
                    std::fprintf(stderr, "the program showed \"%ls\"\n", result.dialogs.front().text.c_str());
            }
            ::SetEnvironmentVariableW(L"ORDAVIA_STARTUP_TRACE", nullptr);
            Trace trace;
            if (!ran || !ReadTrace(traceFile, trace, which == 0 ? bareOrder : order)) {
                std::fprintf(stderr, "run %d of the %s gave no trace\n", run + 1, which == 0 ? "bare program" : "program");
                return 1;
            }
            if (which == 0) {
                bareWindow.push_back(trace["window-shown"].at);
                continue;
            }
            for (const auto& [name, t] : trace) {
                at[name].push_back(t.at);
                took[name].push_back(t.took);
            }
            splash.push_back(trace["splash-shown"].at);
            splashEnd.push_back(trace["splash"].at + trace["splash"].took);
            engine.push_back(trace["StartBlazen"].at);
        }
    }

    std::printf("%-20s %12s %12s   (medians, ms)\n", "step", "began at", "took");
    for (const std::string& name : order)
        std::printf("%-20s %12.1f %12.1f\n", name.c_str(), Median(at[name]), Median(took[name]));

    const double bareMs = Median(bareWindow), splashMs = Median(splash), endMs = Median(splashEnd),
                 engineMs = Median(engine);
    std::printf("\nbare program's window on screen   %8.1f ms\n", bareMs);
    std::printf("splash on screen                  %8.1f ms   %+8.1f ms after the bare window (goal %.0f or less)\n",
                splashMs, splashMs - bareMs, kGoalMs);
    std::printf("splash closed                     %8.1f ms\n", endMs);
    std::printf("StartBlazen entered               %8.1f ms   %+8.1f ms after the splash closed (goal %.0f or less)\n",
                engineMs, engineMs - endMs, kGoalMs);
    return 0;
}
