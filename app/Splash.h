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
