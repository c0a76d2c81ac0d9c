// Owners for Win32 handles: each closes its handle in its destructor, moves but never copies.
#pragma once

#include <windows.h>

#include <utility>

namespace kest::win32 {

template <typename H, typename Traits>
class TUniqueHandle {
public:
    TUniqueHandle() noexcept = default;
    explicit TUniqueHandle(H h) noexcept : m_h(h) {}
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    TUniqueHandle(TUniqueHandle&& other) noexcept : m_h(other.release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~TUniqueHandle() { reset(); }

    H get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return Traits::IsValid(m_h); }
    H release() noexcept { return std::exchange(m_h, Traits::Invalid()); }
    void reset(H h = Traits::Invalid()) noexcept {
        H old = std::exchange(m_h, h);
        if (Traits::IsValid(old)) Traits::Close(old);
    }
    // For out-parameters of Win32 functions: releases what was held first.
    H* put() noexcept {
        reset();
        return &m_h;
    }

private:
    H m_h = Traits::Invalid();
};

struct HandleTraits {  // kernel objects whose "none" is NULL
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile and friends answer INVALID_HANDLE_VALUE
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { ::RegCloseKey(h); }
};
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static bool IsValid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { ::FreeLibrary(h); }
};
struct WindowTraits {
    static HWND Invalid() { return nullptr; }
    static bool IsValid(HWND h) { return h != nullptr; }
    static void Close(HWND h) {
        if (::IsWindow(h)) ::DestroyWindow(h);
    }
};
struct MenuTraits {
    static HMENU Invalid() { return nullptr; }
    static bool IsValid(HMENU h) { return h != nullptr; }
    static void Close(HMENU h) { ::DestroyMenu(h); }
};
struct GdiTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static bool IsValid(HGDIOBJ h) { return h != nullptr; }
    static void Close(HGDIOBJ h) { ::DeleteObject(h); }
};
struct MemoryDCTraits {
    static HDC Invalid() { return nullptr; }
    static bool IsValid(HDC h) { return h != nullptr; }
    static void Close(HDC h) { ::DeleteDC(h); }
};
struct FindTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
struct ViewTraits {  // MapViewOfFile's views
    static void* Invalid() { return nullptr; }
    static bool IsValid(void* p) { return p != nullptr; }
    static void Close(void* p) { ::UnmapViewOfFile(p); }
};

struct HookTraits {
    static HHOOK Invalid() { return nullptr; }
    static bool IsValid(HHOOK h) { return h != nullptr; }
    static void Close(HHOOK h) { ::UnhookWindowsHookEx(h); }
};

using UniqueHandle = TUniqueHandle<HANDLE, HandleTraits>;
using UniqueFile = TUniqueHandle<HANDLE, FileHandleTraits>;
using UniqueRegKey = TUniqueHandle<HKEY, RegKeyTraits>;
using UniqueModule = TUniqueHandle<HMODULE, ModuleTraits>;
using UniqueWindow = TUniqueHandle<HWND, WindowTraits>;
using UniqueMenu = TUniqueHandle<HMENU, MenuTraits>;
using UniqueGdiObject = TUniqueHandle<HGDIOBJ, GdiTraits>;
using UniqueMemoryDC = TUniqueHandle<HDC, MemoryDCTraits>;
using UniqueFind = TUniqueHandle<HANDLE, FindTraits>;
using UniqueView = TUniqueHandle<void*, ViewTraits>;
using UniqueHook = TUniqueHandle<HHOOK, HookTraits>;

// A window's device context, released to its window.
class CWindowDC {
public:
    explicit CWindowDC(HWND wnd) noexcept : m_wnd(wnd), m_dc(::GetDC(wnd)) {}
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;
    ~CWindowDC() {
        if (m_dc) ::ReleaseDC(m_wnd, m_dc);
    }
    HDC get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }

private:
    HWND m_wnd;
    HDC m_dc;
};

}  // namespace kest::win32
