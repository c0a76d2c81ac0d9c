// Global service slots: the library's singletons, created on first use from any thread.
//
//     P<IFoo>& FooSlot() {
//         static TServiceSlot<IFoo> slot;      // constant-initialised: no construction race
//         return slot.Get(&CreateFoo);
//     }
//
// The slot is filled under the library's global lock and published through two ready marks;
// a caller returns only once both marks hold their values, so no thread ever sees a half-made
// service.
#pragma once

#include "kest/Object.h"

#include <cstdint>

namespace kest {

// The library's global lock (recursive: a factory may reach other slots).
void LockGlobal() noexcept;
void UnlockGlobal() noexcept;

class CGlobalLock {
public:
    CGlobalLock() noexcept { LockGlobal(); }
    ~CGlobalLock() { UnlockGlobal(); }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;
};

namespace detail {
inline constexpr uint32_t kReadyMark1 = 0x3D92A405u;
inline constexpr uint32_t kReadyMark2 = 0x73DF5089u;

// Atomic reads and writes with the ordering publication needs.
uint32_t LoadMark(const volatile uint32_t& mark) noexcept;
void StoreMark(volatile uint32_t& mark, uint32_t value) noexcept;
// Gives the processor away for about a millisecond.
void YieldSlice() noexcept;
// A factory that asked for its own slot while filling it.
[[noreturn]] void RaiseSlotRecursion();
}  // namespace detail

template <typename I>
class TServiceSlot {
public:
    using Factory = P<I> (*)();

    constexpr TServiceSlot() noexcept = default;
    TServiceSlot(const TServiceSlot&) = delete;
    TServiceSlot& operator=(const TServiceSlot&) = delete;

    P<I>& Get(Factory factory) {
        if (!IsReady()) Fill(factory);
        while (!IsReady()) detail::YieldSlice();
        return m_service;
    }

    bool IsReady() const noexcept {
        return detail::LoadMark(m_mark1) == detail::kReadyMark1 &&
               detail::LoadMark(m_mark2) == detail::kReadyMark2;
    }

private:
    void Fill(Factory factory) {
        CGlobalLock lock;
        if (m_created) {
            // Another thread finished while we waited for the lock, or the factory running
            // on this very thread (the lock is recursive) asked for its own slot.
            if (!IsReady()) detail::RaiseSlotRecursion();
            return;
        }
        m_created = true;
        try {
            m_service = factory();
        } catch (...) {
            // Leave the slot empty so that a later call tries again instead of waiting forever.
            m_created = false;
            throw;
        }
        detail::StoreMark(m_mark1, detail::kReadyMark1);
        detail::StoreMark(m_mark2, detail::kReadyMark2);
    }

    P<I> m_service;
    volatile uint32_t m_mark1 = 0;
    volatile uint32_t m_mark2 = 0;
    bool m_created = false;
};

}  // namespace kest
