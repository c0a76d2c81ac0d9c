// The splash window: shown only when enabled, timed by its fade and total time, and closed at
// once by a key press that reaches the application's message filter.
#include "app/PyrlanApp.h"
#include "app/Resources.h"
#include "app/Splash.h"
#include "kest/win32/Handles.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

#include <cstdlib>
#include <ostream>
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
    SplashTestHooks hooks{c.missingPicture ? ::GetModuleHandleW(L"kernel32.dll") : nullptr, &RecordDrawing, nullptr};
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

TEST(SplashPaintAlpha, RisesOverTheFadeInTimeThenStaysFull) {
    struct Case {
        DWORD created, now;
        int alpha;
    } cases[] = {
        {1000, 1000, 0},
        {1000, 1020, 1},
        {1000, 3500, 127},
        {1000, 6000, 255},
        {1000, 61000, 255},
        // The tick counter wraps 1024 ms after creation: before the wrap, at it and after it.
        {0xFFFFFC00u, 0xFFFFFDF4u, 25},
        {0xFFFFFC00u, 0x000005C4u, 127},
        {0xFFFFFC00u, 0x00002000u, 255},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.alpha, SplashPaintAlpha(c.created, c.now)) << std::hex << c.created << " " << c.now;
}

// The splash window's pixel at one point of the picture, read just before each drawing.
struct Sample {
    SplashDrawing kind;
    BYTE alpha;
    COLORREF before;
    DWORD at;
};
struct PixelWatch {
    POINT point{};
    std::vector<Sample> samples;
    int repaintAtFadeAlpha = -1;  // a fade step before which the window is repainted
    DWORD repaintAskedAt = 0;
    DWORD createdAt = 0;
};
PixelWatch g_watch;

COLORREF SplashPixel() {
    HWND splash = ::FindWindowW(L"OrdaviaSplash", nullptr);
    kest::win32::CWindowDC dc(splash);
    return splash && dc ? ::GetPixel(dc.get(), g_watch.point.x, g_watch.point.y) : CLR_INVALID;
}

void WatchPixel(SplashDrawing kind, BYTE alpha) {
    g_watch.samples.push_back({kind, alpha, SplashPixel(), ::timeGetTime()});
    if (kind == SplashDrawing::Fade && alpha == g_watch.repaintAtFadeAlpha) {
        g_watch.repaintAskedAt = ::timeGetTime();
        ::RedrawWindow(::FindWindowW(L"OrdaviaSplash", nullptr), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
}

LRESULT CALLBACK NoteSplashCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (!IS_INTRESOURCE(create->lpszClass) && std::wstring(create->lpszClass) == L"OrdaviaSplash")
            g_watch.createdAt = ::timeGetTime();
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Runs a fading splash with the pixel watch; answers when ShowSplash was called.
DWORD ShowWatchedSplash(DWORD stepMs, const wchar_t* blendLibrary) {
    SplashTestHooks hooks{nullptr, &WatchPixel, blendLibrary};
    SetSplashTestHooks(&hooks);
    kest::win32::UniqueHook hook(::SetWindowsHookExW(WH_CBT, &NoteSplashCreation, nullptr, ::GetCurrentThreadId()));
    EXPECT_TRUE(hook);
    EnableSplash(true);
    const DWORD start = ::timeGetTime();
    ShowSplash(true, 50, stepMs, nullptr);
    EnableSplash(false);
    SetSplashTestHooks(nullptr);
    return start;
}

// The picture's own pixel at the watched point.
COLORREF PicturePixel() {
    kest::win32::UniqueGdiObject picture(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SPLASH), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    kest::win32::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    if (!picture || !dc) return CLR_INVALID;
    HGDIOBJ previous = ::SelectObject(dc.get(), picture.get());
    const COLORREF pixel = ::GetPixel(dc.get(), g_watch.point.x, g_watch.point.y);
    ::SelectObject(dc.get(), previous);
    return pixel;
}

std::string Rgb(COLORREF c) {
    return "RGB(" + std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," +
           std::to_string(GetBValue(c)) + ")";
}

// Each channel of actual within 2 of expected.
::testing::AssertionResult Near(COLORREF expected, COLORREF actual) {
    const auto channel = [](COLORREF c, int shift) { return int((c >> shift) & 0xFF); };
    for (int shift : {0, 8, 16})
        if (std::abs(channel(expected, shift) - channel(actual, shift)) > 2)
            return ::testing::AssertionFailure() << "expected about " << Rgb(expected) << ", got " << Rgb(actual);
    return ::testing::AssertionSuccess();
}

// What one blending step leaves over a pixel: the picture with constant alpha over it.
COLORREF Blended(COLORREF below, COLORREF picture, int alpha) {
    const auto mix = [&](int shift) {
        const int b = int((below >> shift) & 0xFF), p = int((picture >> shift) & 0xFF);
        return COLORREF((p * alpha + b * (255 - alpha) + 127) / 255) << shift;
    };
    return mix(0) | mix(8) | mix(16);
}

struct BlendCase {
    const char* name;
    const wchar_t* blendLibrary;
    bool copied;  // the picture is copied as it is: no fading
};

void PrintTo(const BlendCase& c, std::ostream* os) {
    *os << c.name;
}

class SplashBlending : public ::testing::TestWithParam<BlendCase> {};

TEST_P(SplashBlending, EachStepBlendsThePictureOrCopiesItWithoutTheBlendFunction) {
    const BlendCase& c = GetParam();
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
    g_watch = PixelWatch{};
    g_watch.point = {100, 205};  // in the name bar: far from the empty window's colour
    const COLORREF picture = PicturePixel();
    ASSERT_NE(CLR_INVALID, picture);
    ShowWatchedSplash(10, c.blendLibrary);

    const std::vector<Sample>& drawn = g_watch.samples;
    size_t fades = 0;
    for (const Sample& s : drawn) fades += s.kind == SplashDrawing::Fade;
    EXPECT_EQ(32u, fades);  // the same steps, and so the same timing, either way
    ASSERT_FALSE(drawn.empty());
    ASSERT_FALSE(Near(picture, drawn[0].before)) << "the empty window already shows the picture";
    // What each drawing left is what the next one found.
    for (size_t i = 0; i + 1 < drawn.size(); ++i) {
        const COLORREF expected = c.copied ? picture : Blended(drawn[i].before, picture, drawn[i].alpha);
        EXPECT_TRUE(Near(expected, drawn[i + 1].before))
            << "after drawing " << i << " (" << (drawn[i].kind == SplashDrawing::Fade ? "fade" : "paint")
            << ") with alpha " << int(drawn[i].alpha);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplashBlending,
    ::testing::Values(BlendCase{"Blended", nullptr, false},
                      BlendCase{"LibraryWithoutBlendFunction", L"kernel32.dll", true},
                      BlendCase{"NoBlendLibrary", L"ordavia-no-such-library.dll", true}),
    [](const ::testing::TestParamInfo<BlendCase>& info) { return std::string(info.param.name); });

TEST(SplashPaint, ARepaintDuringTheFadeDrawsWithTheAlphaOfTheTimeSinceCreation) {
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
    g_watch = PixelWatch{};
    g_watch.repaintAtFadeAlpha = 128;  // about 16 steps of 40 ms in
    const DWORD start = ShowWatchedSplash(40, nullptr);
    ASSERT_NE(0u, g_watch.repaintAskedAt);
    ASSERT_NE(0u, g_watch.createdAt);

    // Created between the start and the creation hook; painted between the request and the drawing.
    const DWORD least = (g_watch.repaintAskedAt - g_watch.createdAt) * 255 / 5000;
    EXPECT_GT(least, 0u);  // the request came late enough to tell a rising alpha from 0
    int repaints = 0;
    for (const Sample& s : g_watch.samples) {
        if (s.kind != SplashDrawing::Paint || s.at < g_watch.repaintAskedAt) continue;
        ++repaints;
        EXPECT_GE(s.alpha, least);
        EXPECT_LE(s.alpha, (s.at - start) * 255 / 5000);
    }
    EXPECT_GE(repaints, 1);
}

TEST(SplashFilter, PassesMessagesThroughWhenNoSplashExists) {
    MSG key{};
    key.message = WM_KEYDOWN;
    EXPECT_FALSE(SplashPreTranslate(&key));
}

}  // namespace
