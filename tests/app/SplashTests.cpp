// The splash window: shown only when enabled, timed by its fade and total time, and closed at
// once by a key press that reaches the application's message filter.
#include "app/PyrlanApp.h"
#include "app/Splash.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

#include <string>
#include <vector>

namespace {

struct SplashCase {
    const char* name;
    bool enabled;
    bool fade;
    DWORD total, step;
    bool keyPress;
    DWORD atLeastMs, atMostMs;
};

class Splash : public ::testing::TestWithParam<SplashCase> {};

TEST_P(Splash, ShowsForItsTimeAndReturnsWhenGone) {
    const SplashCase& c = GetParam();
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);  // its message filter is the splash's way in
    EnableSplash(c.enabled);
    if (c.keyPress) {
        ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_KEYDOWN, VK_SPACE, 0));
    }
    const DWORD start = ::timeGetTime();
    ShowSplash(c.fade, c.total, c.step, nullptr);
    const DWORD took = ::timeGetTime() - start;
    EXPECT_FALSE(IsSplashShowing());
    EXPECT_GE(took, c.atLeastMs);
    EXPECT_LE(took, c.atMostMs);
    EnableSplash(false);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

INSTANTIATE_TEST_SUITE_P(
    Timing, Splash,
    ::testing::Values(
        // Not enabled: no window, no wait.
        SplashCase{"NotEnabled", false, true, 3000, 60, false, 0, 200},
        // The fade alone (32 steps of 10 ms) outlasts a total of 50 ms: no wait after it.
        SplashCase{"FadeLongerThanTotal", true, true, 50, 10, false, 300, 3000},
        // Without fade the whole total is waited for after one drawing.
        SplashCase{"NoFadeWaitsTheTotal", true, false, 400, 60, false, 390, 3000},
        // A key press closes the splash long before its time.
        SplashCase{"KeyPressCloses", true, false, 10000, 60, true, 0, 5000}),
    [](const ::testing::TestParamInfo<SplashCase>& info) { return std::string(info.param.name); });

// What the splash drew, when, and which windows of its class this thread created.
struct Drawn {
    SplashDrawing kind;
    BYTE alpha;
    DWORD at;
};
std::vector<Drawn> g_drawn;
int g_splashWindows = 0;

void RecordDrawing(SplashDrawing kind, BYTE alpha) {
    g_drawn.push_back({kind, alpha, ::timeGetTime()});
}

LRESULT CALLBACK CountSplashWindows(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (!IS_INTRESOURCE(create->lpszClass) && std::wstring(create->lpszClass) == L"OrdaviaSplash")
            ++g_splashWindows;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

struct DrawCase {
    const char* name;
    bool enabled;
    bool missingPicture;
    bool fade;
    DWORD total, step;
    int windows;
    std::vector<int> fadeAlphas;  // in order
    std::vector<int> onceAlphas;
    DWORD waitAfterLastMin, waitAfterLastMax;  // from the last fade or single drawing to the return
};

std::vector<int> FadeSteps() {
    std::vector<int> alphas;
    for (int a = 0; a < 255; a += 8) alphas.push_back(a);
    return alphas;
}

class SplashDrawings : public ::testing::TestWithParam<DrawCase> {};

TEST_P(SplashDrawings, StepsAndWaits) {
    const DrawCase& c = GetParam();
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
    g_drawn.clear();
    g_splashWindows = 0;
    SplashTestHooks hooks{c.missingPicture ? ::GetModuleHandleW(L"kernel32.dll") : nullptr, &RecordDrawing};
    SetSplashTestHooks(&hooks);
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, &CountSplashWindows, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    EnableSplash(c.enabled);
    const DWORD start = ::timeGetTime();
    ShowSplash(c.fade, c.total, c.step, nullptr);
    const DWORD end = ::timeGetTime();
    EnableSplash(false);
    ::UnhookWindowsHookEx(hook);
    SetSplashTestHooks(nullptr);

    EXPECT_EQ(c.windows, g_splashWindows);
    std::vector<int> fades, onces;
    DWORD lastDrawing = start;
    for (const Drawn& d : g_drawn) {
        if (d.kind == SplashDrawing::Paint) continue;
        (d.kind == SplashDrawing::Fade ? fades : onces).push_back(d.alpha);
        lastDrawing = d.at;
    }
    EXPECT_EQ(c.fadeAlphas, fades);
    EXPECT_EQ(c.onceAlphas, onces);
    EXPECT_GE(end - lastDrawing, c.waitAfterLastMin);
    EXPECT_LE(end - lastDrawing, c.waitAfterLastMax);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplashDrawings,
    ::testing::Values(
        DrawCase{"NotEnabled", false, false, true, 1500, 10, 0, {}, {}, 0, 200},
        DrawCase{"MissingPicture", true, true, true, 1500, 10, 0, {}, {}, 0, 200},
        // 32 steps of 10 ms outlast a total of 50 ms: after the last step only its own pause.
        DrawCase{"FadeLongerThanTotal", true, false, true, 50, 10, 1, FadeSteps(), {}, 0, 250},
        // The fade takes about 32 x 5 ms; the rest of 900 ms is waited for after it.
        DrawCase{"FadeShorterThanTotal", true, false, true, 900, 5, 1, FadeSteps(), {}, 500, 3000},
        DrawCase{"NoFadeOneOpaqueDrawing", true, false, false, 400, 60, 1, {}, {255}, 390, 3000}),
    [](const ::testing::TestParamInfo<DrawCase>& info) { return std::string(info.param.name); });

TEST(SplashFilter, PassesMessagesThroughWhenNoSplashExists) {
    MSG key{};
    key.message = WM_KEYDOWN;
    EXPECT_FALSE(SplashPreTranslate(&key));
}

}  // namespace
