// The program's own delay-load helper, given import tables of this test program: a library or
// a function that cannot be found ends in the stand-in, never in an empty slot.
#include "app/Browser.h"
#include "app/DelayedImports.h"
#include "tests/app/ShellDoubles.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// One delayed import table of one function, laid out as the linker lays it out, inside this
// program's image (its addresses are offsets from the image's base).
struct ImportTable {
    ImgDelayDescr descriptor;
    HMODULE module;
    FARPROC slots[2];
    IMAGE_THUNK_DATA names[2];
    WORD hint;
    char function[64];
    char library[64];
};
ImportTable g_table;

DWORD Offset(const void* p) {
    return static_cast<DWORD>(static_cast<const BYTE*>(p) - reinterpret_cast<const BYTE*>(&__ImageBase));
}

FARPROC Resolve(const char* library, const char* function) {
    g_table = {};
    std::snprintf(g_table.library, sizeof g_table.library, "%s", library);
    std::snprintf(g_table.function, sizeof g_table.function, "%s", function);
    g_table.names[0].u1.AddressOfData = Offset(&g_table.hint);
    g_table.descriptor.grAttrs = dlattrRva;
    g_table.descriptor.rvaDLLName = Offset(g_table.library);
    g_table.descriptor.rvaHmod = Offset(&g_table.module);
    g_table.descriptor.rvaIAT = Offset(g_table.slots);
    g_table.descriptor.rvaINT = Offset(g_table.names);
    return delayed_imports::Resolve(&g_table.descriptor, &g_table.slots[0]);
}

struct ResolveCase {
    const char* name;
    const char* library;
    const char* function;
    bool found;  // the real function, else its stand-in
};

class DelayedImport : public testing::TestWithParam<ResolveCase> {};

TEST_P(DelayedImport, FillsItsSlot) {
    const ResolveCase& c = GetParam();
    const FARPROC resolved = Resolve(c.library, c.function);
    ASSERT_NE(nullptr, resolved);
    EXPECT_EQ(resolved, g_table.slots[0]) << "later calls go straight to what the first one found";
    if (c.found) {
        const HMODULE library = ::GetModuleHandleA(c.library);
        EXPECT_EQ(library, g_table.module);
        EXPECT_EQ(::GetProcAddress(library, c.function), resolved);
    } else {
        EXPECT_EQ(delayed_imports::StandIn(c.function), resolved);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DelayedImport,
    testing::Values(ResolveCase{"Found", "kernel32.dll", "GetTickCount", true},
                    ResolveCase{"LibraryMissing", "ordavia-no-such-library.dll", "ShellExecuteW", false},
                    ResolveCase{"FunctionMissing", "kernel32.dll", "InitCommonControlsEx", false}),
    [](const testing::TestParamInfo<ResolveCase>& info) { return std::string(info.param.name); });

// A library of the system's name beside the program never stands in for the system's.
TEST(DelayedImportLibrary, ComesFromTheSystemFolder) {
    Resolve("kernel32.dll", "GetTickCount");
    wchar_t path[MAX_PATH] = {}, folder[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(g_table.module, path, MAX_PATH), 0u);
    ASSERT_GT(::GetSystemDirectoryW(folder, MAX_PATH), 0u);
    EXPECT_EQ(0, _wcsnicmp(path, folder, wcslen(folder))) << path;
}

// The stand-ins fail the way the functions report failures, so callers take their own path.
TEST(DelayedImportStandIn, BrowserThatCannotLoadIsReported) {
    const auto shellExecute = reinterpret_cast<ShellExecuteFunction>(
        reinterpret_cast<void*>(Resolve("ordavia-no-such-library.dll", "ShellExecuteW")));
    app_tests::CMessageRecorder messages;
    const ShellExecuteFunction old = SetShellExecuteFunction(shellExecute);
    OpenInBrowser(L"https://www.brenvalo.example/");
    SetShellExecuteFunction(old);
    ASSERT_EQ(1u, messages.Shown().size());
    EXPECT_EQ(L"Could not launch browser", messages.Shown()[0].text);
}

TEST(DelayedImportStandIn, CommonControlsThatCannotLoadAnswerFalse) {
    const auto init = reinterpret_cast<decltype(&::InitCommonControlsEx)>(
        reinterpret_cast<void*>(Resolve("ordavia-no-such-library.dll", "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    EXPECT_FALSE(init(&controls));
}

// Every function the program's link delays has a stand-in: a name added to a list without one
// would end the program at a failed first call.
TEST(DelayedImportStandIn, EveryDelayedFunctionHasOne) {
    std::vector<std::string> missing;
    int listed = 0;
    for (const char* library : {"comctl32", "shell32", "shlwapi", "version"}) {
        std::ifstream def(std::string("Z:") + ORDAVIA_SOURCE_DIR + "/cmake/delayload/" + library + ".def");
        ASSERT_TRUE(def) << library;
        std::string line;
        while (std::getline(def, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            if (line.empty() || line.rfind("LIBRARY", 0) == 0 || line.rfind("EXPORTS", 0) == 0) continue;
            const std::string name = line.substr(0, line.find('@'));
            ++listed;
            if (!delayed_imports::StandIn(name)) missing.push_back(name);
        }
    }
    EXPECT_GT(listed, 0);
    EXPECT_TRUE(missing.empty()) << testing::PrintToString(missing);
}

}  // namespace
