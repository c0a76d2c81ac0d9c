// The Windows headers for the library's Windows side. They define plain names such as
// CreateMutex, DeleteFile or Yield as macros for the A/W function pairs; the library's own
// interfaces use those names for their operations, so the macros go. Code here calls the W
// functions by their full names.
#pragma once

#include <windows.h>

#include "kest/win32/UndefWin32Names.h"
