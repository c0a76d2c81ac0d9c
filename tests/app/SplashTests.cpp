// The splash window: shown only when enabled, timed by its fade and total time, and closed at
// once by a key press that reaches the application's message filter.
#include "app/PyrlanApp.h"
#include "app/Splash.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

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

TEST(SplashFilter, PassesMessagesThroughWhenNoSplashExists) {
    MSG key{};
    key.message = WM_KEYDOWN;
    EXPECT_FALSE(SplashPreTranslate(&key));
}

}  // namespace
