// The splash window: shown only when enabled, timed by its fade and total time, and closed at
// once by a key press that reaches the application's message filter.
#include "app/PyrlanApp.h"
#include "app/Splash.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

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
        // The fade alone (32 steps of 20 ms, 640 ms at least) outlasts a total of 620 ms: no
        // wait after it. A second wait of the total would take the splash past 1260 ms.
        SplashCase{"FadeLongerThanTotal", true, true, 620, 20, false, 640, 1200},
        // Without fade the whole total is waited for after one drawing.
        SplashCase{"NoFadeWaitsTheTotal", true, false, 400, 60, false, 390, 3000},
        // A key press closes the splash long before its time.
        SplashCase{"KeyPressCloses", true, false, 10000, 60, true, 0, 5000}),
    [](const ::testing::TestParamInfo<SplashCase>& info) { return std::string(info.param.name); });

// An application object that notes the key presses its message filter let through, and
// whether a splash was said to be showing at that moment.
class CKeyWatchingApp : public CPyrlanApp {
public:
    CKeyWatchingApp() : CPyrlanApp(InstanceGuard::None) {}
    bool PreTranslateMessage(MSG* msg) override {
        const bool consumed = CPyrlanApp::PreTranslateMessage(msg);
        if (!consumed && msg->message == WM_KEYDOWN) splashShowingAtKey.push_back(IsSplashShowing());
        return consumed;
    }
    std::vector<bool> splashShowingAtKey;
};

TEST(SplashFilter, TheFirstKeyPressClosesTheSplashAndTheNextOneIsTheProgramsAgain) {
    CKeyWatchingApp app;
    EnableSplash(true);
    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_KEYDOWN, 'A', 0));
    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_KEYDOWN, 'B', 0));
    ShowSplash(false, 10000, 60, nullptr);
    EnableSplash(false);
    EXPECT_FALSE(IsSplashShowing());
    EXPECT_EQ(std::vector<bool>{false}, app.splashShowingAtKey);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(SplashFilter, PassesMessagesThroughWhenNoSplashExists) {
    MSG key{};
    key.message = WM_KEYDOWN;
    EXPECT_FALSE(SplashPreTranslate(&key));
}

}  // namespace
