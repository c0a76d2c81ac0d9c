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

// Tests watch every drawing of the picture and may take it from another module.
enum class SplashDrawing { Fade, Once, Paint };
struct SplashTestHooks {
    HMODULE resources;  // null: the program's own
    void (*onDraw)(SplashDrawing kind, BYTE alpha);
};
// Null removes them.
void SetSplashTestHooks(const SplashTestHooks* hooks);
