// Owners for what the shell hands out: COM interface pointers and item id lists.
#pragma once

#include "kest/win32/Handles.h"
#include "kest/win32/Win32.h"

#include <objbase.h>
#include <shlobj.h>

#include "kest/win32/UndefWin32Names.h"

#include <utility>

namespace kest::win32 {

// Holds one reference to a COM interface and releases it in its destructor. It moves but never
// copies: a second owner asks for its own reference through Copy, so every AddRef is visible.
template <typename T>
class TComPtr {
public:
    TComPtr() noexcept = default;
    // Takes over a reference the caller already holds.
    explicit TComPtr(T* p) noexcept : m_p(p) {}
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    TComPtr(TComPtr&& other) noexcept : m_p(other.release()) {}
    TComPtr& operator=(TComPtr&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~TComPtr() { reset(); }

    // A new owner of the same object, with a reference of its own.
    TComPtr Copy() const noexcept {
        if (m_p) m_p->AddRef();
        return TComPtr(m_p);
    }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    T* release() noexcept { return std::exchange(m_p, nullptr); }
    void reset(T* p = nullptr) noexcept {
        T* old = std::exchange(m_p, p);
        if (old) old->Release();
    }
    // For the void** out-parameters of QueryInterface-like calls: releases what was held first.
    void** put_void() noexcept {
        reset();
        return reinterpret_cast<void**>(&m_p);
    }
    T** put() noexcept {
        reset();
        return &m_p;
    }

private:
    T* m_p = nullptr;
};

// Item id lists live in the shell's allocator, which is the task allocator.
struct ItemIdListTraits {
    static LPITEMIDLIST Invalid() { return nullptr; }
    static bool IsValid(LPITEMIDLIST p) { return p != nullptr; }
    static void Close(LPITEMIDLIST p) { ::CoTaskMemFree(p); }
};
using UniqueItemIdList = TUniqueHandle<LPITEMIDLIST, ItemIdListTraits>;

}  // namespace kest::win32
