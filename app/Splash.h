// The product picture, faded in at the centre of the screen while the program starts.
#pragma once

#include <windows.h>

void EnableSplash(bool enable);
// Shows the splash and returns once it is gone.
void ShowSplash(bool fade, DWORD totalMs, DWORD stepMs, HWND parent);
// Closes the splash on a key press or mouse click; true when the message was consumed.
bool SplashPreTranslate(const MSG* msg);
// True while a splash window exists.
bool IsSplashShowing();

// The alpha of a repaint at a tick count: rising from 0 when the window was created to 255
// over the fade-in time, and 255 after it, also across a wrap of the tick counter.
BYTE SplashPaintAlpha(DWORD createdMs, DWORD nowMs);

// Tests watch every drawing of the picture (just before it is drawn), may take the picture
// from another module, and may take the blending function from another library.
enum class SplashDrawing { Fade, Once, Paint };
struct SplashTestHooks {
    HMODULE resources;  // null: the program's own
    void (*onDraw)(SplashDrawing kind, BYTE alpha);
    const wchar_t* blendLibrary;  // null: msimg32.dll
};
// Null removes them.
void SetSplashTestHooks(const SplashTestHooks* hooks);
