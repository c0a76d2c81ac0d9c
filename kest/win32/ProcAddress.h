// Entry points found at run time, for functions that not every supported system has.
#pragma once

#include <windows.h>

namespace kest::win32 {

// The exported function of a loaded module as the type the caller expects, or null.
template <typename F>
F ProcAddress(HMODULE module, const char* name) noexcept {
    if (!module) return nullptr;
    // Through the generic function pointer type, which converts to any other without loss.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace kest::win32
